"""The one table that turns label names into ``SemanticLabel`` members.

Both the command line and :func:`tarvello.order_boxes` read labels through
:func:`label_from_name`, so a name means the same thing everywhere. Names are
matched without regard to case, spaces, hyphens and underscores:
"Section-header", "section_header" and "SECTION HEADER" are one name.

Why each category lands where it does (the paper engine is the one that reads
labels; the ostrel engine ignores them):

- Titles, headlines and section headings are ``HorizontalTitle`` (a title
  set vertically is ``VerticalTitle``): the engine takes them out of the
  column cutting and puts each one back just before the text it heads, so a
  heading never splits a column in two.
- Figures, pictures, charts, tables, formulas and other non-text blocks are
  ``Vision``: they are set aside the same way and put back next to the text
  around them, after the headings.
- Everything else that is read as text is ``Regular``: body text, list items,
  captions, footnotes, abstracts, form fields and check boxes, and page
  headers and footers too. The column cutting orders these; a caption stays
  where it lies and its figure is put back beside it.
- No category maps to ``CrossLayout``. The paper engine finds boxes that
  span columns by their geometry anyway, and the label forbids placing any
  title or figure before the box: a page header labelled so would push a
  masthead above it down the page, and nothing could be put back between the
  last column and a footer labelled so.
"""

from __future__ import annotations

from collections.abc import Mapping
from types import MappingProxyType

from tarvello._tarvello_core import SemanticLabel

__all__ = ["CATEGORIES", "LABELS", "label_from_name", "normalise_label_name"]


def normalise_label_name(name: str) -> str:
    """The form a name is looked up in: lower case, no spaces, hyphens or underscores."""
    return "".join(ch for ch in name.lower() if ch not in " -_")


#: The documented table: each member with the names that stand for it.
CATEGORIES: Mapping[SemanticLabel, tuple[str, ...]] = MappingProxyType({
    SemanticLabel.HorizontalTitle: (
        "HorizontalTitle",
        "title",
        "doc_title",
        "paragraph_title",
        "section_header",
        "section_title",
        "heading",
        "subtitle",
        "chapter_title",
        "headline",
    ),
    SemanticLabel.VerticalTitle: ("VerticalTitle",),  # also matches "vertical_title"
    SemanticLabel.Vision: (
        "Vision",
        "figure",
        "picture",
        "image",
        "photo",
        "chart",
        "diagram",
        "table",
        "formula",
        "equation",
        "isolate_formula",
        "code",
        "algorithm",
        "logo",
        "seal",
        "stamp",
        "signature",
        "barcode",
        "qr_code",
    ),
    SemanticLabel.CrossLayout: ("CrossLayout",),
    SemanticLabel.Regular: (
        "Regular",
        "text",
        "plain_text",
        "paragraph",
        "abstract",
        "list",
        "list_item",
        "caption",
        "figure_caption",
        "table_caption",
        "formula_caption",
        "footnote",
        "table_footnote",
        "reference",
        "references",
        "author",
        "byline",
        "date",
        "form",
        "key_value",
        "key_value_region",
        "field",
        "checkbox",
        "handwriting",
        "table_of_contents",
        "document_index",
        "sidebar",
        "aside",
        "page_header",
        "page_footer",
        "header",
        "footer",
        "running_head",
        "page_number",
        "abandon",
    ),
})

#: Every accepted name, in its normalised form, with the member it stands for.
LABELS: Mapping[str, SemanticLabel] = MappingProxyType(
    {
        normalise_label_name(name): label
        for label, names in CATEGORIES.items()
        for name in names
    }
)


def label_from_name(name: str) -> SemanticLabel:
    """The member a label name stands for; ``ValueError`` for a name not in the table."""
    if not isinstance(name, str):
        raise TypeError(f"a label name must be a string, not {type(name).__name__}")
    try:
        return LABELS[normalise_label_name(name)]
    except KeyError:
        raise ValueError(
            f"unknown label {name!r} (use CrossLayout, HorizontalTitle, "
            "VerticalTitle, Vision, Regular or a layout category such as text, "
            "title or figure; the full table is tarvello.labels.CATEGORIES)"
        ) from None
