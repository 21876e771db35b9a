"""What the property, leak and thread tests share."""

import os

from tarvello import SemanticLabel

# The five members in code order.
LABELS = [
    SemanticLabel.CrossLayout,
    SemanticLabel.HorizontalTitle,
    SemanticLabel.VerticalTitle,
    SemanticLabel.Vision,
    SemanticLabel.Regular,
]
# Scales the number of calls of the stress tests: the sanitizer run and the
# reference-leak hunt take a lighter dose.
SCALE = float(os.environ.get("TARVELLO_STRESS_SCALE", "1"))
