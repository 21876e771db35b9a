"""Reading order of the layout elements of a document page."""
