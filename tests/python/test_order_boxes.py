"""order_boxes: plain boxes with label names in, indices out, and every bad
value named by its place; the table of label names it shares with the
command line."""

import sys

import pytest

from tarvello import SemanticLabel, XYCutConfig, order_boxes
from tarvello.labels import CATEGORIES, LABELS, label_from_name, normalise_label_name

# Two columns, listed right column first.
TWO_COLUMNS = [(60, 20, 100, 30), (0, 0, 40, 10), (60, 0, 100, 10), (0, 20, 40, 30)]
# Two boxes side by side over a wide one: as a figure, the wide one goes first.
FIGURE = [(0, 0, 40, 10), (60, 0, 100, 10), (0, 20, 100, 40)]
# A title across two columns: the paper engine reads it first, ostrel by rows.
TITLE = ([(0, 0, 40, 100), (60, 0, 100, 100), (0, 45, 100, 55)], ["text", "text", "title"])


@pytest.mark.parametrize(
    "boxes, kwargs, expected",
    [
        (TWO_COLUMNS, {}, [1, 3, 2, 0]),
        (TWO_COLUMNS, {"engine": "paper"}, [1, 3, 2, 0]),
        # No gap is wide enough for a column: rows.
        (TWO_COLUMNS, {"engine": "paper", "config": XYCutConfig(100, 0.5, 10)}, [1, 2, 3, 0]),
        (FIGURE, {"engine": "paper"}, [0, 1, 2]),
        (FIGURE, {"engine": "paper", "labels": ["text", "text", "figure"]}, [2, 0, 1]),
        (FIGURE, {"engine": "paper", "labels": ("Regular", "Plain Text", SemanticLabel.Vision), "page_bounds": (0, 0, 612, 792)}, [2, 0, 1]),
        (TITLE[0], {"engine": "paper", "labels": TITLE[1]}, [2, 0, 1]),
        # ostrel, the default, reads by rows and ignores labels.
        (TITLE[0], {"labels": TITLE[1]}, [0, 1, 2]),
        # The default page has an area even when the boxes have none.
        ([(0, 0, 0, 0)], {"engine": "paper"}, [0]),
        ([], {}, []),
    ],
)
def test_orders(boxes, kwargs, expected):
    assert order_boxes(boxes, **kwargs) == expected


def test_numpy_arrays_are_read_like_lists():
    # numpy's own calls raise the debug interpreter's reference total on every
    # run, which the reference-leak hunt would blame on the test.
    if hasattr(sys, "gettotalrefcount"):
        pytest.skip("numpy under the debug interpreter")
    numpy = pytest.importorskip("numpy")
    assert order_boxes(numpy.array(TWO_COLUMNS)) == [1, 3, 2, 0]
    assert order_boxes(numpy.array(FIGURE, dtype=numpy.float32), numpy.array(["text", "text", "figure"]),
                       engine="paper") == [2, 0, 1]
    assert order_boxes(numpy.zeros((0, 4))) == []
    with pytest.raises(ValueError, match=r"^boxes: expected an array of shape \(n, 4\), got shape \(3, 5\)$"):
        order_boxes(numpy.zeros((3, 5)))


LABELS_EXPECTED = "labels: expected a sequence of label names or SemanticLabel members, one per box, got"


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"boxes": [(0, 0, 1, 1), (0, 0, 1, 1, 1)]}, ValueError, "boxes[1]: expected 4 numbers (x1, y1, x2, y2), got 5"),
        ({"boxes": [(0, 0, "1", 1)]}, TypeError, "boxes[0][2]: expected a number, got the string '1'"),
        ({"boxes": [(0, 0, True, 1)]}, TypeError, "boxes[0][2]: expected a number, got a boolean"),
        ({"boxes": [(0, float("nan"), 1, 1)]}, ValueError, "boxes[0][1]: expected a finite number, got nan"),
        ({"boxes": [(5, 0, 1, 1)]}, ValueError, "boxes[0]: x2 (1) is less than x1 (5)"),
        ({"boxes": [(0, 5, 1, 1)]}, ValueError, "boxes[0]: y2 (1) is less than y1 (5)"),
        ({"boxes": ["0011"]}, TypeError, "boxes[0]: expected a list of 4 numbers (x1, y1, x2, y2), got the string '0011'"),
        ({"boxes": 5}, TypeError, "boxes: expected a sequence of (x1, y1, x2, y2) boxes, got the number 5"),
        ({"labels": ["text"]}, ValueError, "labels: expected one label per box (2), got 1"),
        ({"labels": ["text", "sidenote"]}, ValueError, "labels[1]: unknown label 'sidenote' (use CrossLayout, "),
        ({"labels": ["text", 4]}, TypeError, "labels[1]: expected a label name or a SemanticLabel member, got the number 4"),
        ({"labels": "text"}, TypeError, f"{LABELS_EXPECTED} the string 'text'"),
        ({"labels": SemanticLabel.Vision}, TypeError, f"{LABELS_EXPECTED} a SemanticLabel"),
        ({"page_bounds": (0, 0, 100)}, ValueError, "page_bounds: expected 4 numbers (x_min, y_min, x_max, y_max), got 3"),
        ({"page_bounds": (0, 0, 0, 100)}, ValueError, "page_bounds: x_max (0) must be greater than x_min (0)"),
        ({"page_bounds": (0, 50, 100, 50)}, ValueError, "page_bounds: y_max (50) must be greater than y_min (50)"),
        ({"engine": "quick"}, ValueError, "engine must be 'paper' or 'ostrel', not 'quick'"),
        ({"config": {}}, TypeError, "argument 'config': 'dict' object is not an instance of 'XYCutConfig'"),
    ],
)
def test_bad_arguments_name_the_value_at_fault(kwargs, error, message):
    with pytest.raises(error) as raised:
        order_boxes(**{"boxes": [(0, 0, 10, 10), (0, 20, 10, 30)], **kwargs})
    text = str(raised.value)
    # The unknown label's message goes on with a hint that test_labels checks.
    assert text == message or (message.endswith("(use CrossLayout, ") and text.startswith(message))


@pytest.mark.parametrize(
    "name, member",
    [
        # Case, spaces, hyphens and underscores do not matter.
        *((name, name) for name in ["CrossLayout", "HorizontalTitle", "VerticalTitle", "Vision", "Regular"]),
        ("Section-header", "HorizontalTitle"),
        ("SECTION HEADER", "HorizontalTitle"),
        ("sectionheader", "HorizontalTitle"),
        ("vertical_title", "VerticalTitle"),
        ("Table", "Vision"),
        ("figure_caption", "Regular"),
        ("Page-footer", "Regular"),
    ],
)
def test_names_map_to_members(name, member):
    assert label_from_name(name) is getattr(SemanticLabel, member)


@pytest.mark.parametrize("name", ["sidenote", "", "figure caption x", "Visions"])
def test_an_unknown_name_is_a_value_error_naming_it(name):
    with pytest.raises(ValueError) as raised:
        label_from_name(name)
    assert str(raised.value) == (
        f"unknown label {name!r} (use CrossLayout, HorizontalTitle, VerticalTitle, Vision, Regular or a layout "
        "category such as text, title or figure; the full table is tarvello.labels.CATEGORIES)"
    )


def test_a_name_that_is_not_a_string_is_a_type_error():
    with pytest.raises(TypeError, match="^a label name must be a string, not int$"):
        label_from_name(3)  # type: ignore[arg-type]


def test_the_table_covers_every_member_and_each_name_once_and_is_read_only():
    assert set(CATEGORIES) == {getattr(SemanticLabel, name) for name in dir(SemanticLabel) if name[0] != "_"}
    names = [normalise_label_name(n) for names in CATEGORIES.values() for n in names]
    assert len(names) == len(set(names)) == len(LABELS)
    # Deliberate: the label bars titles and figures from being placed before the box.
    assert CATEGORIES[SemanticLabel.CrossLayout] == ("CrossLayout",)
    with pytest.raises(TypeError):
        LABELS["sidenote"] = SemanticLabel.Regular  # type: ignore[index]
