"""A pytest plugin for the debug interpreter: runs every test several times
and fails it when the total reference count or the number of allocated
memory blocks grows on every run after the warm-up, as CPython's own
`regrtest -R` does for its modules.

    python3.14d -m pytest -p refleak_hunt ...

REFLEAK_RUNS="warmups:runs" (default 3:3) sets the counts.
"""

import gc
import os
import re
import sys

import pytest
from _pytest.runner import runtestprotocol

WARMUPS, RUNS = (int(n) for n in os.environ.get("REFLEAK_RUNS", "3:3").split(":"))


def _settle():
    re.purge()
    if hasattr(sys, "_clear_internal_caches"):
        sys._clear_internal_caches()
    gc.collect()
    gc.collect()


def _totals():
    _settle()
    return sys.gettotalrefcount(), sys.getallocatedblocks()


def _leaks(deltas):
    # Noise shows up as a one-off bump, a leak as growth on every run.
    return len(deltas) > 0 and all(delta >= 1 for delta in deltas)


def pytest_configure(config):
    if not hasattr(sys, "gettotalrefcount"):
        raise pytest.UsageError("refleak_hunt needs a debug interpreter (python3.14-dbg)")


# Deltas are stored as pooled ints in lists made up front, so that keeping
# them adds nothing to the counts being measured.
_INT_POOL = {value: value for value in range(-1000, 1000)}


def _pooled(value):
    return _INT_POOL.setdefault(value, value)


_LEAKED = pytest.StashKey[str]()


def _judged(item):
    # Hypothesis keeps statistics of every run of a property; its own growth
    # would hide ours. Properties still run (and must pass) here, unjudged.
    return not getattr(getattr(item, "obj", None), "is_hypothesis_test", False)


def _forget_tracebacks(item):
    # An exception given as a parameter is the same object in every run, and
    # each raise chains a longer traceback onto it: growth, but the test's.
    callspec = getattr(item, "callspec", None)
    for value in callspec.params.values() if callspec else ():
        if isinstance(value, BaseException):
            value.__traceback__ = value.__context__ = value.__cause__ = None


@pytest.hookimpl(tryfirst=True)
def pytest_runtest_protocol(item, nextitem):
    """Runs the whole test (fixtures included) WARMUPS + RUNS times before
    pytest's own run, which then reports the verdict."""
    if not _judged(item):
        return None
    refs = [0] * RUNS
    blocks = [0] * RUNS
    before = None
    for run in range(WARMUPS + RUNS):
        _forget_tracebacks(item)
        # Torn down to its parent: the test's own fixtures go, the module's
        # and the session's stay, as between two tests of one module.
        reports = runtestprotocol(item, nextitem=item.parent, log=False)
        item._initrequest()
        # Captured output piles up on the item from run to run.
        item._report_sections.clear()
        if any(report.failed for report in reports):
            return None  # pytest's own run shows the failure
        del reports
        after = _totals()
        if run >= WARMUPS:
            refs[run - WARMUPS] = _pooled(after[0] - before[0])
            blocks[run - WARMUPS] = _pooled(after[1] - before[1])
        before = after
    if _leaks(refs) or _leaks(blocks):
        item.stash[_LEAKED] = f"leaks references {refs} and memory blocks {blocks} per run"
    return None


@pytest.hookimpl(wrapper=True)
def pytest_runtest_call(item):
    result = yield
    if _LEAKED in item.stash:
        raise AssertionError(item.stash[_LEAKED])
    return result
