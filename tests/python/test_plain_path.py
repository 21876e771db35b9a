"""The native plain-box path (order_boxes, order_pages) gives the orders and log records of the module's own
functions, whatever form the boxes come in; examples, every bad value named by its place, threads."""

import logging
import sys
import threading

import pytest
from conftest import LABELS, int_boxes
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from tarvello import Element, SemanticLabel, XYCutConfig, compute_order, compute_order_ostrel, order_boxes, order_pages
from tarvello import reset_log_cache

FUNCTIONS = {"paper": compute_order, "ostrel": compute_order_ostrel}
try:
    import numpy
except ImportError:  # an interpreter without numpy
    numpy = None
# numpy's own references grow under the leak hunt.
NUMPY_OK = numpy is not None and not hasattr(sys, "gettotalrefcount")


@pytest.fixture
def records(caplog):
    """The tarvello records seen so far, from DEBUG up, with what tells them apart."""
    caplog.set_level(logging.DEBUG, logger="tarvello")
    reset_log_cache()
    return lambda: [(r.name, r.levelno, r.pathname, r.lineno, r.getMessage(), getattr(r, "page", None))
                    for r in caplog.records]


def default_bounds(boxes):
    x_min, y_min = (min([0.0, *(b[k] for b in boxes)]) for k in (0, 1))
    x_max, y_max = (max([low, *(b[k] for b in boxes)]) for low, k in ((x_min, 2), (y_min, 3)))
    return x_min, y_min, max(x_max, x_min + 1.0), max(y_max, y_min + 1.0)


def reference(boxes, labels, bounds, engine):
    """The order and the records of the module's own function on Elements."""
    elements = [Element(i, *map(float, b), label) for i, (b, label) in enumerate(zip(boxes, labels))]
    return FUNCTIONS[engine](elements, tuple(map(float, bounds or default_bounds(boxes))))


pages = st.tuples(st.lists(st.tuples(int_boxes(-50, 400, 200), st.sampled_from(LABELS)), max_size=40),
                  st.sampled_from(["paper", "ostrel"]), st.booleans())


def forms(boxes):
    """The same boxes in every form the path reads."""
    yield [list(map(float, b)) for b in boxes]
    yield tuple(tuple(b) for b in boxes)
    if NUMPY_OK and boxes:
        for dtype in (numpy.float32, numpy.float64, numpy.int32, numpy.int64):
            yield numpy.array(boxes, dtype=dtype)
        wide = numpy.zeros((2 * len(boxes), 9))
        wide[::2, 1:9:2] = boxes
        yield wide[::2, 1:9:2]  # strided rows and columns
        yield numpy.asfortranarray(numpy.array(boxes, dtype=numpy.float64))


@given(pages)
@settings(suppress_health_check=[HealthCheck.function_scoped_fixture])  # records are cleared per input
def test_every_form_gives_the_orders_and_records_of_the_module_functions(caplog, records, page):
    items, engine, given_bounds = page
    boxes, labels = [b for b, _ in items], [label for _, label in items]
    bounds = (-60, -60, 700, 700) if given_bounds else None
    caplog.clear()
    expected = reference(boxes, labels, bounds, engine)
    expected_records = records()
    # Every form, and COCO's x, y, width, height for the same boxes.
    sized = [(x1, y1, x2 - x1, y2 - y1) for x1, y1, x2, y2 in boxes]
    for form, box_format in [*((form, "xyxy") for form in forms(boxes)), (sized, "xywh")]:
        caplog.clear()
        assert order_boxes(form, labels, bounds, engine, box_format=box_format) == expected
        assert records() == expected_records
    # Many pages: the same orders, and the records of each page name it.
    mapping = {"page_bounds": list(bounds or default_bounds(boxes)),
               "elements": [{"id": 10 * i, "bbox": list(b), "label": label.__repr__().split(".")[1]}
                            for i, (b, label) in enumerate(items)]}
    caplog.clear()
    assert order_pages([(boxes, labels, bounds), mapping], engine=engine, threads=2) == [
        expected, [10 * i for i in expected]]
    assert sorted(r[:5] for r in records() if r[5] == 0) == sorted(r[:5] for r in expected_records)


class Lying:
    """A sequence whose length is a lie."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        return self.length

    def __iter__(self):
        return iter(self.items)


class Failing(Lying):
    def __iter__(self):
        yield from self.items
        raise RuntimeError("the source went away")


# Two columns, listed right column first.
TWO_COLUMNS = [(60, 20, 100, 30), (0, 0, 40, 10), (60, 0, 100, 10), (0, 20, 40, 30)]
# Two boxes side by side over a wide one: as a figure, the wide one goes first.
FIGURE = [(0, 0, 40, 10), (60, 0, 100, 10), (0, 20, 100, 40)]
# A title across two columns: the paper engine reads it first, ostrel by rows.
TITLE = [(0, 0, 40, 100), (60, 0, 100, 100), (0, 45, 100, 55)]
TWO = [(0, 0, 10, 10), (0, 20, 10, 30)]
HINT = ("(use CrossLayout, HorizontalTitle, VerticalTitle, Vision, Regular or a layout category such as text, title or "
        "figure; the full table is tarvello.labels.CATEGORIES)")
LABELS_EXPECTED = "labels: expected a sequence of label names or SemanticLabel members, one per box, got"


@pytest.mark.parametrize("boxes, kwargs, expected", [
    (TWO_COLUMNS, {"engine": "paper"}, [1, 3, 2, 0]),
    # No gap is wide enough for a column: rows.
    (TWO_COLUMNS, {"engine": "paper", "config": XYCutConfig(100, 0.5, 10)}, [1, 2, 3, 0]),
    (FIGURE, {"engine": "paper"}, [0, 1, 2]),
    (FIGURE, {"engine": "paper", "labels": ["text", "text", "figure"]}, [2, 0, 1]),
    (FIGURE, {"engine": "paper", "labels": ("Regular", "Plain Text", SemanticLabel.Vision), "page_bounds": (0, 0, 612, 792)},
     [2, 0, 1]),
    (TITLE, {"engine": "paper", "labels": ["text", "text", "title"]}, [2, 0, 1]),
    # A masked title over the text, given last.
    ([(0, 20, 100, 30), (0, 40, 100, 50), (0, 0, 100, 8)], {"engine": "paper", "labels": ["text", "text", "title"]}, [2, 0, 1]),
    # ostrel, the default, reads by rows and ignores labels.
    (TITLE, {"labels": ["text", "text", "title"]}, [0, 1, 2]),
    # The default page has an area even when the boxes have none.
    ([(0, 0, 0, 0)], {"engine": "paper"}, [0]),
    ([], {}, []),
    (Lying([(0, 0, 1, 1)], 10**9), {}, [0]),
    (Lying([(0, 0, 1, 1), (0, 5, 1, 6)], 0), {}, [0, 1]),
    (Failing([(0, 0, 1, 1)], 3), {}, RuntimeError("the source went away")),
    ([(0, 0, 1, 1)], {"labels": ["\u212aey_value"]}, [0]),
    ([(0, 0, 1, 1)], {"labels": ["K\u212aey-value"]}, ValueError(f"labels[0]: unknown label 'K\u212aey-value' {HINT}")),
    # Every bad value is named by its place.
    ([(0, 0, 1, 1), (0, 0, 1, 1, 1)], {}, ValueError("boxes[1]: expected 4 numbers (x1, y1, x2, y2), got 5")),
    ([(0, 0, "1", 1)], {}, TypeError("boxes[0][2]: expected a number, got the string '1'")),
    ([(0, 0, True, 1)], {}, TypeError("boxes[0][2]: expected a number, got a boolean")),
    ([(0, float("nan"), 1, 1)], {}, ValueError("boxes[0][1]: expected a finite number, got nan")),
    ([(0, 0, 1, float("inf"))], {}, ValueError("boxes[0][3]: expected a finite number, got inf")),
    ([(0, 0, 1, 10**400)], {}, ValueError("boxes[0][3]: expected a finite number, got an integer too large for a float")),
    ([(5, 0, 1, 1)], {}, ValueError("boxes[0]: x2 (1) is less than x1 (5)")),
    ([(0, 5, 1, 1)], {}, ValueError("boxes[0]: y2 (1) is less than y1 (5)")),
    (["0011"], {}, TypeError("boxes[0]: expected a list of 4 numbers (x1, y1, x2, y2), got the string '0011'")),
    (5, {}, TypeError("boxes: expected a sequence of (x1, y1, x2, y2) boxes, got the number 5")),
    (b"0011", {}, TypeError("boxes: expected a sequence of (x1, y1, x2, y2) boxes, got bytes")),
    ({"a": 1}, {}, TypeError("boxes: expected a sequence of (x1, y1, x2, y2) boxes, got an object")),
    (memoryview(b"0011"), {}, ValueError("boxes: expected an array of shape (n, 4), got shape (4,)")),
    ([(0, 0, -1, 1)], {"box_format": "xywh"}, ValueError("boxes[0]: width (-1) is less than 0 (0)")),
    ([(0, 0, 1)], {"box_format": "xywh"}, ValueError("boxes[0]: expected 4 numbers (x, y, width, height), got 3")),
    ([(0, 0, 1, 1)], {"box_format": "yxyx"}, ValueError("box_format must be 'xyxy' or 'xywh', not 'yxyx'")),
    (TWO, {"labels": ["text"]}, ValueError("labels: expected one label per box (2), got 1")),
    (TWO, {"labels": ["text", "sidenote"]}, ValueError(f"labels[1]: unknown label 'sidenote' {HINT}")),
    (TWO, {"labels": ["text", 4]}, TypeError("labels[1]: expected a label name or a SemanticLabel member, got the number 4")),
    (TWO, {"labels": "text"}, TypeError(f"{LABELS_EXPECTED} the string 'text'")),
    (TWO, {"labels": SemanticLabel.Vision}, TypeError(f"{LABELS_EXPECTED} a SemanticLabel")),
    (TWO, {"page_bounds": (0, 0, 100)}, ValueError("page_bounds: expected 4 numbers (x_min, y_min, x_max, y_max), got 3")),
    (TWO, {"page_bounds": (0, 0, 0, 100)}, ValueError("page_bounds: x_max (0) must be greater than x_min (0)")),
    (TWO, {"page_bounds": (0, 50, 100, 50)}, ValueError("page_bounds: y_max (50) must be greater than y_min (50)")),
    (TWO, {"engine": "quick"}, ValueError("engine must be 'paper' or 'ostrel', not 'quick'")),
    (TWO, {"direction": "ttb"}, ValueError("direction must be one of 'ltr', 'rtl', 'vertical-rl', 'vertical-lr', not 'ttb'")),
    (TWO, {"config": {}}, TypeError("argument 'config': 'dict' object is not an instance of 'XYCutConfig'")),
    # Arrays of other shapes and types (none under the leak hunt); other item types and byte orders go through tolist().
    *([(numpy.zeros((0, 4)), {}, []),
       (numpy.array(FIGURE, dtype=numpy.float32), {"engine": "paper", "labels": numpy.array(["text", "text", "figure"])}, [2, 0, 1]),
       (numpy.zeros((3, 5)), {}, ValueError("boxes: expected an array of shape (n, 4), got shape (3, 5)")),
       (numpy.zeros((2, 4, 1)), {}, ValueError("boxes: expected an array of shape (n, 4), got shape (2, 4, 1)")),
       (numpy.array([[0, 0, 1, 1], [0, 0, numpy.nan, 1]], dtype=numpy.float32), {},
        ValueError("boxes[1][2]: expected a finite number, got nan")),
       (numpy.array([[0, 5, 1, 0]], dtype=numpy.int64), {}, ValueError("boxes[0]: y2 (0) is less than y1 (5)")),
       *((numpy.array(TWO_COLUMNS[1:3][::-1], dtype=dtype), {}, [1, 0]) for dtype in (numpy.uint8, ">f8")),
       (numpy.ones((1, 4), dtype=complex), {}, TypeError("boxes[0][0]: expected a number, got complex"))] if NUMPY_OK else []),
])
def test_order_boxes_examples_and_errors(boxes, kwargs, expected):
    if not isinstance(expected, Exception):
        assert order_boxes(boxes, **kwargs) == expected
        return
    with pytest.raises(type(expected)) as raised:
        order_boxes(boxes, **kwargs)
    assert str(raised.value) == str(expected)


PAGE = {"page_bounds": [0, 0, 100, 100], "elements": [{"id": 7, "bbox": [0, 0, 10, 10]}]}


@pytest.mark.parametrize("pages, error, message", [
    ([PAGE, {**PAGE, "page_id": True}], TypeError, "pages[1].page_id: expected a string or an integer, got a boolean"),
    ([[1, 2]], TypeError, "pages[0]: expected an object or a (boxes, labels, page_bounds) tuple, got a list of 2"),
    ([PAGE, ([(0, 0, 1, 1)], None)], ValueError, "pages[1]: expected 3 items (boxes, labels, page_bounds), got 2"),
    ([([(0, 0, 1, 1)], ["pie"], None)], ValueError, "pages[0].labels[0]: unknown label 'pie'"),
    ([{**PAGE, "elements": [{"id": 1, "bbox": [0, 0, 1, 1]}, {"id": 1, "bbox": [0, 0, 5]}]}], ValueError,
     "pages[0].elements[1].id: 1 is also the id of elements[0]"),
    ([{**PAGE, "elements": [{"id": 1, "bbox": [0, 0, 1, 1], "label": None}]}], TypeError,
     "pages[0].elements[0].label: expected a label name or a SemanticLabel member, got null"),
    (lambda: iter([PAGE, 5]), TypeError, "pages[1]: expected an object or a (boxes, labels, page_bounds) tuple, got the number 5"),
])
def test_a_bad_page_names_its_index_and_field(pages, error, message):
    with pytest.raises(error) as raised:
        order_pages(pages() if callable(pages) else pages)  # an iterator is made afresh for each run
    assert str(raised.value).startswith(message)
    assert raised.value.page == int(message[6])


def test_many_pages_on_threads_while_levels_change(records):
    page = [(x, y, x + 8, y + 3) for x in (0, 10, 20) for y in range(0, 90, 5)]
    pages = [(page[: 5 + i % 40], None, None) for i in range(200)]
    expected = order_pages(pages, threads=1)
    stop = threading.Event()

    def toggle():
        logger = logging.getLogger("tarvello.paper")
        while not stop.is_set():
            logger.setLevel(logging.DEBUG if logger.level != logging.DEBUG else logging.WARNING)
            reset_log_cache()

    toggler = threading.Thread(target=toggle)
    toggler.start()
    try:
        for threads in (2, 4):
            assert order_pages(pages, threads=threads) == expected
    finally:
        stop.set()
        toggler.join()
    # Every record of the ordering calls names a page, and every page wrote one.
    seen = records()
    assert {r[5] for r in seen if r[0] == "tarvello"} == set(range(200)) and all(r[5] is not None for r in seen)


def test_threads_must_be_a_positive_integer_and_any_iterable_of_pages_will_do():
    for threads in [0, -1, 1.5, True, "2"]:
        with pytest.raises(ValueError, match="^threads must be a positive integer"):
            order_pages([], threads=threads)
    assert order_pages(p for p in [PAGE]) == [[7]]
    assert order_pages([]) == []
