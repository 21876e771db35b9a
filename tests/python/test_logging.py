import logging

import pytest
from conftest import element

from tarvello import compute_order, compute_order_ostrel, compute_order_paper, reset_log_cache

PAGE = (0, 0, 100, 100)
# Two boxes side by side: the paper engine cuts once and writes Debug records.
SIDE_BY_SIDE = [element(1, 0, 0, 40, 100), element(2, 60, 0, 100, 100)]


class Capture(logging.Handler):
    def __init__(self):
        super().__init__(logging.NOTSET)
        self.records = []

    def emit(self, record):
        self.records.append(record)


@pytest.fixture
def capture():
    handler = Capture()
    logger = logging.getLogger("tarvello")
    logger.addHandler(handler)
    yield handler
    logger.removeHandler(handler)


@pytest.mark.parametrize(
    "function, message, line",
    [
        (compute_order, "compute_order (paper): 0 elements", 219),
        (compute_order_paper, "compute_order_paper: 0 elements", 231),
        (compute_order_ostrel, "compute_order_ostrel: 0 elements", 242),
    ],
)
def test_each_call_writes_one_debug_record(capture, function, message, line):
    logging.getLogger("tarvello").setLevel(logging.DEBUG)
    reset_log_cache()
    function([], PAGE)
    [record] = capture.records
    assert (record.name, record.levelno, record.getMessage()) == ("tarvello", logging.DEBUG, message)
    assert record.pathname == "src/lib/ordering_functions.cpp"
    assert record.lineno == line
    assert record.args == ()
    assert record.funcName is None
    assert record.exc_info is None


def test_engine_records_go_to_the_child_logger(capture):
    logging.getLogger("tarvello").setLevel(logging.DEBUG)
    reset_log_cache()
    compute_order(SIDE_BY_SIDE, PAGE)
    messages = [(r.name, r.getMessage()) for r in capture.records]
    assert messages == [
        ("tarvello", "compute_order (paper): 2 elements"),
        ("tarvello.paper", "[XYCut] Vertical cut at x=50, splitting 2 elements"),
        ("tarvello.paper", "  Left: 1 elements, Right: 1 elements"),
    ]
    assert capture.records[1].pathname.startswith("src/paper/quintor/src/")


def test_invalid_page_warns_even_at_warning_level(capture):
    compute_order(SIDE_BY_SIDE, (0, 0, 0, 792))
    [record] = capture.records
    assert (record.name, record.levelno) == ("tarvello.paper", logging.WARNING)
    assert record.getMessage() == "Invalid page dimensions (0, 792)"


class SpyLogger:
    """Stands in for a logging.Logger and remembers how the bridge calls it."""

    def __init__(self, threshold):
        self.threshold = threshold
        self.calls = []

    def isEnabledFor(self, level):
        self.calls.append(("isEnabledFor", level))
        return level >= self.threshold

    def makeRecord(self, *args):
        self.calls.append(("makeRecord", args))
        return "made"

    def handle(self, record):
        self.calls.append(("handle", record))


@pytest.fixture
def spies(monkeypatch):
    made = {}
    made_thresholds = {}
    real_get_logger = logging.getLogger

    def get_logger(name=None):
        if name is None or not name.startswith("tarvello"):
            return real_get_logger(name)
        made.setdefault(name, SpyLogger(made_thresholds.get(name, logging.WARNING)))
        return made[name]

    monkeypatch.setattr(logging, "getLogger", get_logger)
    reset_log_cache()
    yield made, made_thresholds
    reset_log_cache()


def test_first_record_probes_the_threshold_and_caches_it(spies):
    made, _ = spies
    compute_order([], PAGE)
    assert made["tarvello"].calls == [
        ("isEnabledFor", 10),
        ("isEnabledFor", 5),
        ("isEnabledFor", 10),
        ("isEnabledFor", 20),
        ("isEnabledFor", 30),
    ]
    made["tarvello"].calls.clear()
    compute_order([], PAGE)
    assert made["tarvello"].calls == [], "a cached Warn threshold drops Debug records before Python"


def test_enabled_record_gets_nine_positional_arguments(spies):
    made, thresholds = spies
    thresholds["tarvello"] = logging.DEBUG
    compute_order_ostrel([], PAGE)
    calls = made["tarvello"].calls
    assert calls[0] == ("isEnabledFor", 10)
    assert calls[1] == (
        "makeRecord",
        ("tarvello", 10, "src/lib/ordering_functions.cpp", 242, "compute_order_ostrel: 0 elements", (), None, None, None),
    )
    assert calls[2] == ("handle", "made")
    assert calls[3:] == [("isEnabledFor", 5), ("isEnabledFor", 10)]


def test_cache_keeps_old_levels_until_reset(capture):
    compute_order([], PAGE)
    logging.getLogger("tarvello").setLevel(logging.DEBUG)
    compute_order([], PAGE)
    assert capture.records == []
    reset_log_cache()
    compute_order([], PAGE)
    assert [r.getMessage() for r in capture.records] == ["compute_order (paper): 0 elements"]


@pytest.mark.parametrize("level", [logging.CRITICAL, logging.CRITICAL + 10])
def test_logger_above_error_is_cached_as_off(spies, level):
    made, thresholds = spies
    thresholds["tarvello.paper"] = level
    compute_order(SIDE_BY_SIDE, (0, 0, 0, 1))  # one Warn record
    assert made["tarvello.paper"].calls[-1] == ("isEnabledFor", 40)
    made["tarvello.paper"].calls.clear()
    compute_order(SIDE_BY_SIDE, (0, 0, 0, 1))
    assert made["tarvello.paper"].calls == []


class Raising(logging.Filter):
    def filter(self, record):
        raise LookupError("from a filter")


def test_exception_from_a_filter_reaches_the_caller_as_itself():
    logger = logging.getLogger("tarvello")
    logger.setLevel(logging.DEBUG)
    logger.addFilter(Raising())
    try:
        reset_log_cache()
        with pytest.raises(LookupError, match="from a filter"):
            compute_order(SIDE_BY_SIDE, PAGE)
    finally:
        logger.filters.clear()
    assert compute_order(SIDE_BY_SIDE, PAGE) == [1, 2]
