"""The engines' log records in Python's logging: exact records, the level cache, exceptions from logging."""

import logging

import pytest
from conftest import element

from tarvello import compute_order, compute_order_ostrel, compute_order_paper, reset_log_cache

PAGE = (0, 0, 100, 100)
SOURCE = "src/lib/ordering_functions.cpp"
# Two boxes side by side: the paper engine cuts once and writes Debug records.
SIDE_BY_SIDE = [element(1, 0, 0, 40, 100), element(2, 60, 0, 100, 100)]


def debug_on():
    logging.getLogger("tarvello").setLevel(logging.DEBUG)
    reset_log_cache()


@pytest.mark.parametrize("function, message, line", [
    (compute_order, "compute_order (paper): 0 elements", 219),
    (compute_order_paper, "compute_order_paper: 0 elements", 231),
    (compute_order_ostrel, "compute_order_ostrel: 0 elements", 242),
])
def test_each_call_writes_one_debug_record(caplog, function, message, line):
    debug_on()
    function([], PAGE)
    [record] = caplog.records
    assert (record.name, record.levelno, record.getMessage()) == ("tarvello", logging.DEBUG, message)
    assert (record.pathname, record.lineno, record.args, record.funcName, record.exc_info) == (SOURCE, line, (), None, None)


def test_engine_records_go_to_the_child_logger_at_its_own_level(caplog):
    debug_on()
    compute_order(SIDE_BY_SIDE, PAGE)
    assert [(r.name, r.getMessage()) for r in caplog.records] == [
        ("tarvello", "compute_order (paper): 2 elements"),
        ("tarvello.paper", "[XYCut] Vertical cut at x=50, splitting 2 elements"),
        ("tarvello.paper", "  Left: 1 elements, Right: 1 elements"),
    ]
    assert caplog.records[1].pathname.startswith("src/paper/quintor/src/")
    # Each logger's own level counts.
    caplog.clear()
    logging.getLogger("tarvello.paper").setLevel(logging.INFO)
    reset_log_cache()
    compute_order(SIDE_BY_SIDE, PAGE)
    assert [r.name for r in caplog.records] == ["tarvello"]


def test_an_invalid_page_warns_at_the_default_level_and_the_cache_keeps_it_until_reset(caplog):
    compute_order(SIDE_BY_SIDE, (0, 0, 0, 792))
    assert [(r.name, r.levelno, r.getMessage()) for r in caplog.records] == [
        ("tarvello.paper", logging.WARNING, "Invalid page dimensions (0, 792)")
    ]
    caplog.clear()
    logging.getLogger("tarvello").setLevel(logging.DEBUG)
    compute_order([], PAGE)
    assert caplog.records == []
    reset_log_cache()
    compute_order([], PAGE)
    assert [r.getMessage() for r in caplog.records] == ["compute_order (paper): 0 elements"]
