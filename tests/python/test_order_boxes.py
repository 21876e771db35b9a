import json
import random
import sys
from importlib import resources

import pytest

from tarvello import Element, SemanticLabel, XYCutConfig, compute_order, compute_order_ostrel, order_boxes
from tarvello.boxes import default_page_bounds
from tarvello.labels import label_from_name

SAMPLE_DIR = resources.files("tarvello").joinpath("samples")
SAMPLES = sorted(p.name for p in SAMPLE_DIR.iterdir() if p.name.endswith(".json"))
ENGINES = [("paper", compute_order), ("ostrel", compute_order_ostrel)]
LABELS = ["text", "title", "figure", "caption", "Regular", "CrossLayout", "VerticalTitle"]


def sample(name):
    return json.loads(SAMPLE_DIR.joinpath(name).read_text())


def random_page(seed, count=25):
    rng = random.Random(seed)
    boxes, labels = [], []
    for _ in range(count):
        x, y = rng.uniform(0, 560), rng.uniform(0, 740)
        boxes.append([x, y, x + rng.uniform(5, 300), y + rng.uniform(5, 60)])
        labels.append(rng.choice(LABELS))
    return boxes, labels


def by_compute_order(function, boxes, labels, bounds, config=None):
    """The same page as Element objects whose ids are the indices."""
    elements = [Element(i, *box, label_from_name(n)) for i, (box, n) in enumerate(zip(boxes, labels))]
    return function(elements, tuple(bounds), config)


@pytest.mark.parametrize("engine, function", ENGINES)
class TestSameOrderAsComputeOrder:
    @pytest.mark.parametrize("name", SAMPLES)
    def test_on_the_bundled_samples(self, engine, function, name):
        page = sample(name)
        boxes = [e["bbox"] for e in page["elements"]]
        labels = [e["label"] for e in page["elements"]]
        expected = by_compute_order(function, boxes, labels, page["page_bounds"])
        result = order_boxes(boxes, labels, page["page_bounds"], engine=engine)
        assert result == expected
        assert sorted(result) == list(range(len(boxes)))

    @pytest.mark.parametrize("seed", range(5))
    def test_on_random_pages_with_the_default_bounds(self, engine, function, seed):
        boxes, labels = random_page(seed)
        bounds = default_page_bounds([tuple(b) for b in boxes])
        assert order_boxes(boxes, labels, engine=engine) == by_compute_order(function, boxes, labels, bounds)

    def test_with_a_config(self, engine, function):
        boxes, labels = random_page(7)
        config = XYCutConfig(5, 1.0, 4)
        expected = by_compute_order(function, boxes, labels, (0, 0, 900, 900), config)
        assert order_boxes(boxes, labels, (0, 0, 900, 900), engine, config) == expected


def test_two_columns_read_column_by_column():
    boxes = [(60, 20, 100, 30), (0, 0, 40, 10), (60, 0, 100, 10), (0, 20, 40, 30)]
    assert order_boxes(boxes) == [1, 3, 2, 0]


def test_labels_may_be_members_or_names_and_default_to_regular():
    boxes, names = random_page(3)
    members = [label_from_name(n) for n in names]
    assert order_boxes(boxes, members) == order_boxes(boxes, names)
    assert order_boxes(boxes) == order_boxes(boxes, ["Regular"] * len(boxes))


def test_an_empty_page_gives_an_empty_list():
    assert order_boxes([]) == []


def numpy_or_skip():
    # numpy's own calls raise the debug interpreter's reference total on every
    # run, which the reference-leak hunt would blame on the test.
    if hasattr(sys, "gettotalrefcount"):
        pytest.skip("numpy under the debug interpreter")
    return pytest.importorskip("numpy")


def test_a_numpy_array_gives_the_same_order_as_lists():
    numpy = numpy_or_skip()
    boxes, labels = random_page(11)
    assert order_boxes(numpy.array(boxes), labels) == order_boxes(boxes, labels)
    assert order_boxes(numpy.array(boxes, dtype=numpy.float32), numpy.array(labels)) == order_boxes(
        numpy.array(boxes, dtype=numpy.float32).tolist(), labels
    )
    assert order_boxes(numpy.zeros((0, 4))) == []


@pytest.mark.parametrize(
    "boxes, expected",
    [
        ([(10, 20, 30, 40), (50, 5, 70, 90)], (0, 0, 70, 90)),
        ([(-10, 20, 30, 40)], (-10, 0, 30, 40)),
        ([(0, 0, 0, 0)], (0, 0, 1, 1)),
        ([], (0, 0, 1, 1)),
    ],
)
def test_default_page_bounds_start_at_the_origin_and_reach_the_furthest_box(boxes, expected):
    assert default_page_bounds(boxes) == expected


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"boxes": [(0, 0, 1)]}, ValueError, r"boxes[0]: expected 4 numbers (x1, y1, x2, y2), got 3"),
        ({"boxes": [(0, 0, 1, 1), (0, 0, 1, 1, 1)]}, ValueError,
         "boxes[1]: expected 4 numbers (x1, y1, x2, y2), got 5"),
        ({"boxes": [(0, 0, "1", 1)]}, TypeError, "boxes[0][2]: expected a number, got the string '1'"),
        ({"boxes": [(0, 0, True, 1)]}, TypeError, "boxes[0][2]: expected a number, got a boolean"),
        ({"boxes": [(0, float("nan"), 1, 1)]}, ValueError, "boxes[0][1]: expected a finite number, got nan"),
        ({"boxes": [(5, 0, 1, 1)]}, ValueError, "boxes[0]: x2 (1) is less than x1 (5)"),
        ({"boxes": [(0, 5, 1, 1)]}, ValueError, "boxes[0]: y2 (1) is less than y1 (5)"),
        ({"boxes": ["0011"]}, TypeError,
         "boxes[0]: expected a list of 4 numbers (x1, y1, x2, y2), got the string '0011'"),
        ({"boxes": 5}, TypeError,
         "boxes: expected a sequence of (x1, y1, x2, y2) boxes, got the number 5"),
        ({"labels": ["text"]}, ValueError, "labels: expected one label per box (2), got 1"),
        ({"labels": ["text", "sidenote"]}, ValueError, "labels[1]: unknown label 'sidenote'"),
        ({"labels": ["text", 4]}, TypeError,
         "labels[1]: expected a label name or a SemanticLabel member, got the number 4"),
        ({"labels": "text"}, TypeError,
         "labels: expected a sequence of label names or SemanticLabel members, one per box, got the string 'text'"),
        ({"labels": SemanticLabel.Vision}, TypeError,
         "labels: expected a sequence of label names or SemanticLabel members, one per box, got a SemanticLabel"),
        ({"page_bounds": (0, 0, 100)}, ValueError,
         "page_bounds: expected 4 numbers (x_min, y_min, x_max, y_max), got 3"),
        ({"page_bounds": (0, 0, 0, 100)}, ValueError, "page_bounds: x_max (0) must be greater than x_min (0)"),
        ({"page_bounds": (0, 50, 100, 50)}, ValueError, "page_bounds: y_max (50) must be greater than y_min (50)"),
        ({"engine": "quick"}, ValueError, "engine must be 'paper' or 'ostrel', not 'quick'"),
        ({"config": {}}, TypeError,
         "argument 'config': 'dict' object is not an instance of 'XYCutConfig'"),
    ],
)
def test_bad_arguments_name_the_value_at_fault(kwargs, error, message):
    arguments = {"boxes": [(0, 0, 10, 10), (0, 20, 10, 30)], **kwargs}
    with pytest.raises(error) as raised:
        order_boxes(**arguments)
    assert str(raised.value).startswith(message)


def test_a_numpy_array_of_the_wrong_shape_is_refused():
    numpy = numpy_or_skip()
    with pytest.raises(ValueError, match=r"^boxes: expected an array of shape \(n, 4\), got shape \(3, 5\)$"):
        order_boxes(numpy.zeros((3, 5)))
