"""The native plain-box path (order_boxes, order_pages) against the module's
own functions on the same pages: the same orders and the same log records,
whatever form the boxes come in; its errors; and many pages on threads."""

import logging
import sys
import threading

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from stress_support import LABELS
from tarvello import Element, compute_order, compute_order_ostrel, order_boxes, order_pages, reset_log_cache

FUNCTIONS = {"paper": compute_order, "ostrel": compute_order_ostrel}
try:
    import numpy
except ImportError:  # an interpreter without numpy
    numpy = None
# numpy's own references grow under the leak hunt.
NUMPY_OK = numpy is not None and not hasattr(sys, "gettotalrefcount")


class Records(logging.Handler):
    def __init__(self):
        super().__init__(logging.DEBUG)
        self.seen = []

    def emit(self, record):
        self.seen.append((record.name, record.levelno, record.pathname, record.lineno, record.getMessage(),
                          getattr(record, "page", None)))


@pytest.fixture
def records():
    logger = logging.getLogger("tarvello")
    handler = Records()
    logger.addHandler(handler)
    logger.setLevel(logging.DEBUG)
    reset_log_cache()
    yield handler.seen
    logger.removeHandler(handler)


def default_bounds(boxes):
    x_min = min([0.0, *(b[0] for b in boxes)])
    y_min = min([0.0, *(b[1] for b in boxes)])
    x_max = max([x_min, *(b[2] for b in boxes)])
    y_max = max([y_min, *(b[3] for b in boxes)])
    return x_min, y_min, max(x_max, x_min + 1.0), max(y_max, y_min + 1.0)


def reference(boxes, labels, bounds, engine):
    """The order and the records of the module's own function on Elements."""
    elements = [Element(i, *map(float, b), label) for i, (b, label) in enumerate(zip(boxes, labels))]
    return FUNCTIONS[engine](elements, tuple(map(float, bounds or default_bounds(boxes))))


coordinate = st.integers(-50, 400)
box = st.tuples(coordinate, coordinate, st.integers(0, 200), st.integers(0, 200)).map(
    lambda b: (b[0], b[1], b[0] + b[2], b[1] + b[3]))
pages = st.tuples(st.lists(st.tuples(box, st.sampled_from(LABELS)), max_size=40),
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
def test_every_form_gives_the_orders_and_records_of_the_module_functions(records, page):
    items, engine, given_bounds = page
    boxes = [b for b, _ in items]
    labels = [label for _, label in items]
    bounds = (-60, -60, 700, 700) if given_bounds else None
    records.clear()
    expected = reference(boxes, labels, bounds, engine)
    expected_records = list(records)
    for form in forms(boxes):
        records.clear()
        assert order_boxes(form, labels, bounds, engine) == expected
        assert records == expected_records
    # COCO's x, y, width, height for the same boxes.
    records.clear()
    sized = [(x1, y1, x2 - x1, y2 - y1) for x1, y1, x2, y2 in boxes]
    assert order_boxes(sized, labels, bounds, engine, box_format="xywh") == expected
    assert records == expected_records
    # Many pages: the same orders, and the records of each page name it.
    mapping = {"page_bounds": list(bounds or default_bounds(boxes)),
               "elements": [{"id": 10 * i, "bbox": list(b), "label": label.__repr__().split(".")[1]}
                            for i, (b, label) in enumerate(items)]}
    records.clear()
    assert order_pages([(boxes, labels, bounds), mapping], engine=engine, threads=2) == [
        expected, [10 * i for i in expected]]
    assert sorted(r[:5] for r in records if r[5] == 0) == sorted(r[:5] for r in expected_records)


class Lying:
    """A sequence whose length is a lie."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        return self.length

    def __iter__(self):
        return iter(self.items)


class Failing:
    def __len__(self):
        return 3

    def __iter__(self):
        yield (0, 0, 1, 1)
        raise RuntimeError("the source went away")


@pytest.mark.parametrize(
    "boxes, kwargs, error, message",
    [
        (Lying([(0, 0, 1, 1)], 10**9), {}, None, [0]),
        (Lying([(0, 0, 1, 1), (0, 5, 1, 6)], 0), {}, None, [0, 1]),
        (Failing(), {}, RuntimeError, "the source went away"),
        ([(0, 0, -1, 1)], {"box_format": "xywh"}, ValueError, "boxes[0]: width (-1) is less than 0 (0)"),
        ([(0, 0, 1)], {"box_format": "xywh"}, ValueError, "boxes[0]: expected 4 numbers (x, y, width, height), got 3"),
        ([(0, 0, 1, 1)], {"box_format": "yxyx"}, ValueError, "box_format must be 'xyxy' or 'xywh', not 'yxyx'"),
        ([(0, 0, 1, 10**400)], {}, ValueError, "boxes[0][3]: expected a finite number, got an integer too large for a float"),
        ([(0, 0, 1, float("inf"))], {}, ValueError, "boxes[0][3]: expected a finite number, got inf"),
        (b"0011", {}, TypeError, "boxes: expected a sequence of (x1, y1, x2, y2) boxes, got bytes"),
        (memoryview(b"0011"), {}, ValueError, "boxes: expected an array of shape (n, 4), got shape (4,)"),
        ({"a": 1}, {}, TypeError, "boxes: expected a sequence of (x1, y1, x2, y2) boxes, got an object"),
        ([(0, 0, 1, 1)], {"labels": ["K\u212aey-value"]}, ValueError, "labels[0]: unknown label 'K\u212aey-value'"),
        ([(0, 0, 1, 1)], {"labels": ["\u212aey_value"]}, None, [0]),
    ],
)
def test_odd_sequences_and_values(boxes, kwargs, error, message):
    if error is None:
        assert order_boxes(boxes, **kwargs) == message
        return
    with pytest.raises(error) as raised:
        order_boxes(boxes, **kwargs)
    assert str(raised.value).startswith(message)


@pytest.mark.skipif(not NUMPY_OK, reason="no numpy, or the debug interpreter")
def test_arrays_of_other_shapes_and_types():
    with pytest.raises(ValueError, match=r"^boxes: expected an array of shape \(n, 4\), got shape \(2, 4, 1\)$"):
        order_boxes(numpy.zeros((2, 4, 1)))
    with pytest.raises(ValueError, match=r"^boxes\[1\]\[2\]: expected a finite number, got nan$"):
        order_boxes(numpy.array([[0, 0, 1, 1], [0, 0, numpy.nan, 1]], dtype=numpy.float32))
    with pytest.raises(ValueError, match=r"^boxes\[0\]: y2 \(0\) is less than y1 \(5\)$"):
        order_boxes(numpy.array([[0, 5, 1, 0]], dtype=numpy.int64))
    # Other item types and byte orders go through tolist().
    assert order_boxes(numpy.array([[60, 0, 100, 10], [0, 0, 40, 10]], dtype=numpy.uint8)) == [1, 0]
    assert order_boxes(numpy.array([[60, 0, 100, 10], [0, 0, 40, 10]], dtype=">f8")) == [1, 0]
    with pytest.raises(TypeError, match=r"^boxes\[0\]\[0\]: expected a number, got complex$"):
        order_boxes(numpy.ones((1, 4), dtype=complex))


PAGE = {"page_bounds": [0, 0, 100, 100], "elements": [{"id": 7, "bbox": [0, 0, 10, 10]}]}


@pytest.mark.parametrize(
    "pages, error, message",
    [
        ([PAGE, {**PAGE, "page_id": True}], TypeError, "pages[1].page_id: expected a string or an integer, got a boolean"),
        ([[1, 2]], TypeError, "pages[0]: expected an object or a (boxes, labels, page_bounds) tuple, got a list of 2"),
        ([PAGE, ([(0, 0, 1, 1)], None)], ValueError, "pages[1]: expected 3 items (boxes, labels, page_bounds), got 2"),
        ([([(0, 0, 1, 1)], ["pie"], None)], ValueError, "pages[0].labels[0]: unknown label 'pie'"),
        ([{**PAGE, "elements": [{"id": 1, "bbox": [0, 0, 1, 1]}, {"id": 1, "bbox": [0, 0, 5]}]}], ValueError,
         "pages[0].elements[1].id: 1 is also the id of elements[0]"),
        ([{**PAGE, "elements": [{"id": 1, "bbox": [0, 0, 1, 1], "label": None}]}], TypeError,
         "pages[0].elements[0].label: expected a label name or a SemanticLabel member, got null"),
        (lambda: iter([PAGE, 5]), TypeError, "pages[1]: expected an object or a (boxes, labels, page_bounds) tuple, got the number 5"),
    ],
)
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
        logging.getLogger("tarvello.paper").setLevel(logging.NOTSET)
    # Every record of the ordering calls names a page, and every page wrote one.
    calls = [r for r in records if r[0] == "tarvello"]
    assert {r[5] for r in calls} == set(range(200)) and all(r[5] is not None for r in records)


@pytest.mark.parametrize("threads", [0, -1, 1.5, True, "2"])
def test_threads_must_be_a_positive_integer(threads):
    with pytest.raises(ValueError, match="^threads must be a positive integer"):
        order_pages([], threads=threads)


def test_a_page_of_a_generator_and_no_pages():
    assert order_pages(p for p in [PAGE]) == [[7]]
    assert order_pages([]) == []
