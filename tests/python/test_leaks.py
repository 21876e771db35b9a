"""Memory and reference counts stay flat over many calls that mix orders,
every error path, logging on and off and cache resets; a page 1e30 wide
costs no more memory than a small one.

TARVELLO_STRESS_SCALE (default 1) scales the number of calls, so that the
sanitizer run can take a lighter dose; TARVELLO_SANITIZED=1 (set by that
run) skips the resident-size check."""

import contextlib
import gc
import logging
import os
import subprocess
import sys
import textwrap
import tracemalloc

import pytest

from tarvello import (
    Element,
    SemanticLabel,
    XYCutConfig,
    compute_order,
    compute_order_ostrel,
    compute_order_paper,
    reset_log_cache,
)
from stress_support import LABELS, SCALE

# AddressSanitizer keeps freed memory in quarantine: resident size grows there.
SANITIZED = os.environ.get("TARVELLO_SANITIZED") == "1"
BIG_ID = 2**40 + 7  # not a cached small int: each result holds a fresh object


def page(n=24):
    """Two columns of text, a title and a figure: every engine step runs."""
    elements = [Element(BIG_ID, 0, 0, 200, 20, SemanticLabel.HorizontalTitle)]
    for i in range(n):
        column, row = divmod(i, n // 2)
        x = 0 if column == 0 else 110
        elements.append(Element(i, x, 30 + row * 15, x + 90, 40 + row * 15, LABELS[i % 5]))
    elements.append(Element(n + 1, 0, 300, 200, 400, SemanticLabel.Vision))
    return elements


PAGE = page()
CONFIG = XYCutConfig(5, 0.5, 8)


class Raising:
    def __float__(self):
        raise ValueError("no float")


class LyingSequence:
    def __len__(self):
        raise RuntimeError("no length")

    def __getitem__(self, index):
        if index == 3:
            raise TypeError("stops here")
        return PAGE[index]


class RaisingFilter(logging.Filter):
    def filter(self, record):
        raise KeyError("from a filter")


def error_calls():
    """One call per error path of the surface, each with what it raises."""
    e = PAGE[1]
    yield lambda: compute_order("abc", (0, 0, 1, 1)), TypeError
    yield lambda: compute_order(None, (0, 0, 1, 1)), TypeError
    yield lambda: compute_order([e, None], (0, 0, 1, 1)), TypeError
    yield lambda: compute_order_paper(LyingSequence(), (0, 0, 1, 1)), TypeError
    yield lambda: compute_order_ostrel([e], [0, 0, 1, 1]), TypeError
    yield lambda: compute_order([e], (0, 0, 1)), ValueError
    yield lambda: compute_order([e], (0, 0, "x", 1)), TypeError
    yield lambda: compute_order([e], (0, 0, Raising(), 1)), ValueError
    yield lambda: compute_order([e], (0, 0, 10**400, 1)), OverflowError
    yield lambda: compute_order([e], (0, 0, 1, 1), {}), TypeError
    yield lambda: compute_order([e], (0, 0, 1, 1), cfg=1), TypeError
    yield lambda: compute_order([e], (0, 0, 1, 1), elements=[e]), TypeError
    yield lambda: compute_order(), TypeError
    yield lambda: compute_order(1, 2, 3, 4), TypeError
    yield lambda: Element(-1, 0, 0, 1, 1, SemanticLabel.Regular), OverflowError
    yield lambda: Element(1.5, 0, 0, 1, 1, SemanticLabel.Regular), TypeError
    yield lambda: Element(1, 0, 0, 1, 1, 3), TypeError
    yield lambda: Element(1, "x", 0, 1, 1, SemanticLabel.Regular), TypeError
    yield lambda: XYCutConfig(None), TypeError
    yield lambda: setattr(CONFIG, "same_row_tolerance", "x"), TypeError
    yield lambda: delattr(CONFIG, "same_row_tolerance"), AttributeError
    yield lambda: SemanticLabel(), TypeError


ERROR_CALLS = list(error_calls())


def mixed_round(expected, logger, handler):
    """One round: orders, every error path, logging on and off, resets."""
    assert compute_order(PAGE, (0, 0, 612, 792), CONFIG) == expected["paper"]
    assert compute_order_paper(PAGE, (0, 0, 612, 792)) == expected["paper_default"]
    assert compute_order_ostrel(PAGE, (0, 0, 612, 792), CONFIG) == expected["ostrel"]
    assert compute_order(PAGE, (0, 0, 0, 792)) == []
    for call, error in ERROR_CALLS:
        with pytest.raises(error):
            call()
    CONFIG.same_row_tolerance = 8
    _ = [e.label for e in PAGE[:5]], [int(label) for label in LABELS], repr(LABELS[2])
    # Logging on, through a handler, then a filter that raises, then off.
    logger.setLevel(logging.DEBUG)
    logger.addHandler(handler)
    reset_log_cache()
    compute_order_ostrel(PAGE[:6], (0, 0, 1, 1))
    logger.addFilter(RAISING_FILTER)
    reset_log_cache()
    with pytest.raises(KeyError):
        compute_order(PAGE[:3], (0, 0, 612, 792))
    logger.removeFilter(RAISING_FILTER)
    logger.removeHandler(handler)
    logger.setLevel(logging.CRITICAL)
    reset_log_cache()
    compute_order(PAGE[:3], (0, 0, 612, 792))


RAISING_FILTER = RaisingFilter()


def watched_refcounts():
    import tarvello

    objects = [Element, XYCutConfig, type(SemanticLabel.Regular), *LABELS, CONFIG, *PAGE[:3], tarvello]
    objects += [compute_order, compute_order_paper, compute_order_ostrel, reset_log_cache]
    return [sys.getrefcount(o) for o in objects]


def resident_kib():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


@pytest.fixture
def expected_orders():
    return {
        "paper": compute_order(PAGE, (0, 0, 612, 792), CONFIG),
        "paper_default": compute_order_paper(PAGE, (0, 0, 612, 792)),
        "ostrel": compute_order_ostrel(PAGE, (0, 0, 612, 792), CONFIG),
    }


@contextlib.contextmanager
def records_stop_at_tarvello():
    """pytest keeps every record that reaches its capture handlers (on the
    root and on every non-propagating logger), which would look like a leak:
    here the tarvello logger keeps only the handlers the test adds."""
    logger = logging.getLogger("tarvello")
    saved = logger.handlers[:]
    logger.propagate = False
    logger.handlers.clear()
    try:
        yield logger
    finally:
        logger.handlers[:] = saved
        logger.propagate = True


def test_many_mixed_calls_keep_memory_and_refcounts_flat(expected_orders):
    with records_stop_at_tarvello() as logger:
        many_mixed_calls(expected_orders, logger)


def many_mixed_calls(expected_orders, logger):
    handler = logging.NullHandler()
    calls_per_round = 4 + len(ERROR_CALLS) + 4
    rounds = max(50, int(200_000 * SCALE / calls_per_round))
    warm_up = rounds // 5

    for _ in range(warm_up):
        mixed_round(expected_orders, logger, handler)
    gc.collect()
    refcounts = watched_refcounts()
    rss = resident_kib()
    for _ in range(rounds - warm_up):
        mixed_round(expected_orders, logger, handler)
    gc.collect()
    assert watched_refcounts() == refcounts
    # Resident size may wobble with the allocator, but not grow per call.
    if not SANITIZED:
        assert resident_kib() - rss < 4096

    # The Python heap, traced over a shorter stretch (tracing is slow). The
    # interpreter's free lists and caches settle over a first stretch; a leak
    # grows the heap over the second one just as much.
    traced_rounds = max(20, rounds // 10)
    tracemalloc.start()
    try:
        for _ in range(traced_rounds):
            mixed_round(expected_orders, logger, handler)
        gc.collect()
        before = tracemalloc.take_snapshot()
        for _ in range(traced_rounds):
            mixed_round(expected_orders, logger, handler)
        gc.collect()
        after = tracemalloc.take_snapshot()
    finally:
        tracemalloc.stop()
    grown = sum(stat.size_diff for stat in after.compare_to(before, "filename") if stat.size_diff > 0)
    assert grown < 64 * 1024, [str(s) for s in after.compare_to(before, "lineno")[:10]]


@pytest.mark.parametrize("function", [compute_order, compute_order_ostrel])
def test_returned_ids_are_owned_by_the_list_alone(function):
    result = function(PAGE, (0, 0, 612, 792))
    big = [i for i in result if i == BIG_ID]
    assert len(big) == 1
    item = result[result.index(BIG_ID)]
    # The list, `item` and getrefcount's argument: nothing else holds it.
    assert sys.getrefcount(item) == 3
    del big


@pytest.mark.parametrize("function", ["compute_order", "compute_order_ostrel"])
def test_a_page_1e30_wide_does_not_allocate_by_its_width(function):
    # In a fresh process, so that the peak resident size is this call's.
    code = textwrap.dedent(
        f"""
        import resource
        from tarvello import Element, SemanticLabel, XYCutConfig, {function} as order
        elements = [Element(i, i * 1e28, (i % 7) * 1e28, i * 1e28 + 5e27, (i % 7) * 1e28 + 5e27,
                            SemanticLabel.Regular) for i in range(80)]
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        for scale in (0.5, 1e9):
            result = order(elements, (0, 0, 1e30, 1e30), XYCutConfig(15, scale, 10))
            assert sorted(result) == list(range(80)), result
        print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)
        """
    )
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert int(done.stdout) < 32 * 1024, f"peak resident size grew by {done.stdout.strip()} KiB"
