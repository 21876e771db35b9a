"""Memory and reference counts stay flat over many mixed calls, errors and logging changes; a page 1e30 wide
costs no more memory than a small one. TARVELLO_SANITIZED=1 skips the resident-size check."""

import gc
import json
import logging
import os
import subprocess
import sys
import textwrap
import tracemalloc

import pytest
from conftest import LABELS, SCALE
from test_arguments import CASES, PLACES, Hostile, caused

import tarvello
from tarvello import Element, SemanticLabel, XYCutConfig, _boxes, compute_order, compute_order_ostrel, compute_order_paper
from tarvello import order_boxes, order_pages, reset_log_cache

# AddressSanitizer keeps freed memory in quarantine: resident size grows there.
SANITIZED = os.environ.get("TARVELLO_SANITIZED") == "1"
BIG_ID = 2**40 + 7  # not a cached small int: each result holds a fresh object
BOUNDS = (0, 0, 612, 792)
CONFIG = XYCutConfig(5, 0.5, 8)
# Two columns of text, a title and a figure: every engine step runs.
PAGE = [
    Element(BIG_ID, 0, 0, 200, 20, SemanticLabel.HorizontalTitle),
    *(Element(i, 110 * (i // 12), 30 + i % 12 * 15, 110 * (i // 12) + 90, 40 + i % 12 * 15, LABELS[i % 5]) for i in range(24)),
    Element(25, 0, 300, 200, 400, SemanticLabel.Vision),
]


# Every error path of test_arguments, and each place that wraps or passes on an error from the caller's objects.
ERROR_CALLS = [(call, error) for call, error, _ in CASES] + [
    (lambda place=place, kind=kind: PLACES[place](Hostile(caused(kind))), kind)
    for place in PLACES for kind in (TypeError, ValueError)]


# The same page for the plain-box path: boxes, a page mapping, a JSON line.
BOXES = [(e.x1, e.y1, e.x2, e.y2) for e in PAGE]
NAMES = [repr(e.label).split(".")[1] for e in PAGE]
MAPPING = {"page_bounds": list(BOUNDS), "elements": [{"id": e.id, "bbox": list(b), "label": name}
                                                      for e, b, name in zip(PAGE, BOXES, NAMES)]}
LINE = json.dumps(MAPPING).encode()
PLAIN_ERRORS = [
    (lambda: order_boxes([(0, 0, 1)]), ValueError),
    (lambda: order_boxes([(0, 0, 1, "1")]), TypeError),
    (lambda: order_boxes(BOXES, ["pie"] * len(BOXES)), ValueError),
    (lambda: order_pages([MAPPING, {**MAPPING, "elements": [{"id": 1}]}], threads=2), ValueError),
]


def plain_round(expected):
    """The plain-box path: every form of the page, and its errors."""
    configured, plain = expected[0], expected[2]
    assert [PAGE[i].id for i in order_boxes(BOXES, NAMES, BOUNDS, "paper", CONFIG)] == configured
    assert order_pages([MAPPING, MAPPING], engine="paper", threads=2) == [plain, plain]
    assert [PAGE[i].id for i in order_pages([(BOXES, NAMES, BOUNDS)], engine="paper", threads=1)[0]] == plain
    assert _boxes.order_json_lines([LINE, b"{"], 0, 0, None, 2, 1)[1] is None
    for call, error in PLAIN_ERRORS:
        with pytest.raises(error):
            call()


def raising_filter(record):
    raise KeyError("from a filter")


HANDLER = logging.NullHandler()


def mixed_round(logger, expected):
    """One round: orders, every error path, logging on and off, resets."""
    assert compute_order(PAGE, BOUNDS, CONFIG) == expected[0]
    assert compute_order_paper(PAGE, BOUNDS, CONFIG) == expected[0]
    assert compute_order_ostrel(PAGE, BOUNDS, CONFIG) == expected[1]
    assert compute_order(PAGE, (0, 0, 0, 792)) == []
    for call, error in ERROR_CALLS:
        with pytest.raises(error):
            call()
    CONFIG.same_row_tolerance = 8
    _ = [e.label for e in PAGE[:5]], [int(label) for label in LABELS], repr(LABELS[2])
    # Logging on, through a handler, then a filter that raises, then off.
    logger.setLevel(logging.DEBUG)
    logger.addHandler(HANDLER)
    reset_log_cache()
    compute_order_ostrel(PAGE[:6], (0, 0, 1, 1))
    logger.addFilter(raising_filter)
    reset_log_cache()
    with pytest.raises(KeyError):
        compute_order(PAGE[:3], BOUNDS)
    # Raised while the engine ran with the interpreter released.
    with pytest.raises(KeyError):
        order_boxes(BOXES[:3])
    logger.removeFilter(raising_filter)
    logger.removeHandler(HANDLER)
    logger.setLevel(logging.CRITICAL)
    reset_log_cache()
    compute_order(PAGE[:3], BOUNDS)
    plain_round(expected)


def watched_refcounts():
    objects = [Element, XYCutConfig, SemanticLabel, *LABELS, CONFIG, *PAGE[:3], tarvello, compute_order,
               compute_order_paper, compute_order_ostrel, reset_log_cache]
    return [sys.getrefcount(o) for o in objects]


def resident_kib():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def test_many_mixed_calls_keep_memory_and_refcounts_flat():
    expected = compute_order(PAGE, BOUNDS, CONFIG), compute_order_ostrel(PAGE, BOUNDS, CONFIG), compute_order(PAGE, BOUNDS)
    # pytest keeps every record that reaches its capture handlers, which would look like a leak: the tarvello
    # logger keeps only the handler added here.
    logger = logging.getLogger("tarvello")
    saved, logger.handlers[:], logger.propagate = logger.handlers[:], [], False
    try:
        rounds = max(50, int(2000 * SCALE))
        for _ in range(rounds // 5):
            mixed_round(logger, expected)
        gc.collect()
        refcounts, rss = watched_refcounts(), resident_kib()
        for _ in range(rounds - rounds // 5):
            mixed_round(logger, expected)
        gc.collect()
        assert watched_refcounts() == refcounts
        # Resident size may wobble with the allocator, but not grow per call.
        assert SANITIZED or resident_kib() - rss < 4096

        # The Python heap, traced over a shorter stretch (tracing is slow). The interpreter's free lists and caches
        # settle over a first stretch; a leak grows the heap over the second one just as much.
        tracemalloc.start()
        try:
            snapshots = []
            for _ in range(2):
                for _ in range(max(20, int(600 * SCALE))):
                    mixed_round(logger, expected)
                gc.collect()
                snapshots.append(tracemalloc.take_snapshot())
        finally:
            tracemalloc.stop()
    finally:
        logger.handlers[:], logger.propagate = saved, True
    diff = snapshots[1].compare_to(snapshots[0], "filename")
    assert sum(s.size_diff for s in diff if s.size_diff > 0) < 64 * 1024, [str(s) for s in diff[:10]]


@pytest.mark.parametrize("function", [compute_order, compute_order_ostrel])
def test_returned_ids_are_owned_by_the_list_alone(function):
    result = function(PAGE, BOUNDS)
    assert result.count(BIG_ID) == 1
    item = result[result.index(BIG_ID)]
    # The list and `item` (the call borrows its argument): nothing else holds it.
    assert sys.getrefcount(item) == 2


def test_a_page_1e30_wide_does_not_allocate_by_its_width():
    # In a fresh process, so that the peak resident size is these calls'.
    code = """
        import resource
        from tarvello import Element, SemanticLabel, XYCutConfig, compute_order, compute_order_ostrel
        elements = [Element(i, i * 1e28, (i % 7) * 1e28, i * 1e28 + 5e27, (i % 7) * 1e28 + 5e27,
                            SemanticLabel.Regular) for i in range(80)]
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        for order in (compute_order, compute_order_ostrel):
            for scale in (0.5, 1e9):
                result = order(elements, (0, 0, 1e30, 1e30), XYCutConfig(15, scale, 10))
                assert sorted(result) == list(range(80)), result
        print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)
        """
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert int(done.stdout) < 32 * 1024, f"peak resident size grew by {done.stdout.strip()} KiB"
