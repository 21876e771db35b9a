"""Many threads order shared pages while others change logger levels, reset
the level cache and assign configuration attributes: every order equals the
single-threaded one, and the only error a read may meet is the documented
RuntimeError of a simultaneous write."""

import logging
import random
import sys
import threading

import pytest

from tarvello import (
    Element,
    XYCutConfig,
    compute_order,
    compute_order_ostrel,
    compute_order_paper,
    reset_log_cache,
)
from stress_support import LABELS, SCALE

BORROW_ERRORS = {"Already borrowed", "Already mutably borrowed"}


def shared_page(seed, n=60):
    rng = random.Random(seed)
    elements = []
    for i in range(n):
        x, y = rng.uniform(0, 560), rng.uniform(0, 740)
        w, h = rng.choice([rng.uniform(5, 90), rng.uniform(200, 500)]), rng.uniform(5, 40)
        elements.append(Element(i, x, y, x + w, y + h, rng.choice(LABELS)))
    return elements


class CountingHandler(logging.Handler):
    def __init__(self):
        super().__init__(logging.DEBUG)
        self.count = 0

    def emit(self, record):
        self.count += 1  # a race here only miscounts; nothing checks the total


@pytest.fixture
def switchy():
    """Switch threads far more often than usual, so calls interleave."""
    old = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    yield
    sys.setswitchinterval(old)


def test_threads_get_the_single_threaded_orders_while_everything_changes(switchy):
    pages = [shared_page(seed) for seed in range(3)]
    bounds = (0, 0, 612, 792)
    steady = XYCutConfig(12, 0.5, 8)  # reassigned, always to the values it holds
    churned = XYCutConfig()  # reassigned to anything; only the ostrel engine sees it
    expected = {
        (engine, i): fn(page, bounds, steady)
        for i, page in enumerate(pages)
        for engine, fn in (("paper", compute_order), ("ostrel", compute_order_ostrel))
    }
    rounds = max(10, int(150 * SCALE))
    stop = threading.Event()
    failures = []
    borrow_errors = []

    def guarded(body):
        def run():
            try:
                body()
            except BaseException as error:  # noqa: BLE001 - reported below
                failures.append(repr(error))
                stop.set()

        return run

    def order_pages(seed):
        rng = random.Random(seed)
        for _ in range(rounds):
            i = rng.randrange(len(pages))
            for engine, call in (
                ("paper", lambda: compute_order(pages[i], bounds, steady)),
                ("paper", lambda: compute_order_paper(pages[i], bounds, steady)),
                ("ostrel", lambda: compute_order_ostrel(pages[i], bounds, churned)),
            ):
                try:
                    got = call()
                except RuntimeError as error:
                    if str(error) not in BORROW_ERRORS:
                        raise
                    borrow_errors.append(str(error))
                    continue
                assert got == expected[(engine, i)], (engine, i)
            if stop.is_set():
                return

    def change_levels(seed):
        rng = random.Random(seed)
        names = ["tarvello", "tarvello.paper", "tarvello.ostrel"]
        while not stop.is_set():
            logging.getLogger(rng.choice(names)).setLevel(
                rng.choice([logging.DEBUG, logging.INFO, logging.WARNING, logging.CRITICAL, logging.NOTSET])
            )

    def reset_cache():
        while not stop.is_set():
            reset_log_cache()

    def assign_configs(seed):
        rng = random.Random(seed)
        while not stop.is_set():
            try:
                steady.min_cut_threshold = 12
                steady.same_row_tolerance = 8
                churned.histogram_resolution_scale = rng.choice([0.5, -1.0, float("nan"), 1e9])
                churned.min_cut_threshold = rng.uniform(-5, 50)
            except RuntimeError as error:
                if str(error) not in BORROW_ERRORS:
                    raise
                borrow_errors.append(str(error))

    handler = CountingHandler()
    root = logging.getLogger("tarvello")
    root.addHandler(handler)
    try:
        workers = [threading.Thread(target=guarded(lambda s=s: order_pages(s))) for s in range(6)]
        churners = [
            threading.Thread(target=guarded(lambda: change_levels(1))),
            threading.Thread(target=guarded(lambda: change_levels(2))),
            threading.Thread(target=guarded(reset_cache)),
            threading.Thread(target=guarded(lambda: assign_configs(3))),
        ]
        for thread in workers + churners:
            thread.start()
        for thread in workers:
            thread.join()
        stop.set()
        for thread in churners:
            thread.join()
    finally:
        root.removeHandler(handler)

    assert failures == []
    # A host with a global lock never lets a read meet a write.
    if sys._is_gil_enabled():
        assert borrow_errors == []
    # After the storm a fresh cache follows the final configuration.
    reset_log_cache()
    for i, page in enumerate(pages):
        assert compute_order(page, bounds, steady) == expected[("paper", i)]


def test_threads_creating_objects_and_reading_labels_at_once(switchy):
    """Type objects and label members are made once and shared by all."""
    seen = []

    def make(seed):
        rng = random.Random(seed)
        for _ in range(max(100, int(2000 * SCALE))):
            label = rng.choice(LABELS)
            element = Element(rng.randrange(2**64), 0, 0, 1, 1, label)
            assert element.label is label
            config = XYCutConfig(rng.random())
            config.same_row_tolerance = rng.random()
        seen.append((type(element), type(config), type(label)))

    threads = [threading.Thread(target=make, args=(s,)) for s in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len(seen) == 8 and len(set(seen)) == 1
