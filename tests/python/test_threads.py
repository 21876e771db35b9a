"""Threads order shared pages while others change levels and configs and make objects: every order is the
single-threaded one, and the only error met is the documented RuntimeError of a simultaneous write."""

import logging
import random
import sys
import threading

from conftest import LABELS, SCALE
from tarvello import Element, XYCutConfig, compute_order, compute_order_ostrel, compute_order_paper, reset_log_cache

BORROW_ERRORS = {"Already borrowed", "Already mutably borrowed"}
FIELDS = ["min_cut_threshold", "histogram_resolution_scale", "same_row_tolerance"]
# Exact in single precision, so that a read can be compared as is.
ASSIGNED = [1.0, 2.5, -3.0, 1024.0, 0.5, 1e9]
BOUNDS = (0, 0, 612, 792)


def shared_page(rng, n=60):
    sizes = [(rng.uniform(0, 560), rng.uniform(0, 740), rng.choice([rng.uniform(5, 90), rng.uniform(200, 500)]),
              rng.uniform(5, 40)) for _ in range(n)]
    return [Element(i, x, y, x + w, y + h, rng.choice(LABELS)) for i, (x, y, w, h) in enumerate(sizes)]


def test_threads_get_the_single_threaded_orders_while_everything_changes():
    pages = [shared_page(random.Random(seed)) for seed in range(3)]
    steady = XYCutConfig(12, 0.5, 8)  # reassigned, always to the values it holds
    churned = XYCutConfig()  # reassigned to anything; only the ostrel engine sees it
    expected = {(fn, i): fn(page, BOUNDS, steady) for i, page in enumerate(pages) for fn in (compute_order, compute_order_ostrel)}
    expected.update({(compute_order_paper, i): expected[(compute_order, i)] for i in range(len(pages))})
    stop, failures, borrow_errors = threading.Event(), [], []

    def tolerating_borrow_errors(call, *args):
        try:
            return call(*args)
        except RuntimeError as error:
            if str(error) not in BORROW_ERRORS:
                raise
            borrow_errors.append(str(error))

    def order_pages(rng):
        for _ in range(max(10, int(150 * SCALE))):
            i = rng.randrange(len(pages))
            for fn, config in ((compute_order, steady), (compute_order_paper, steady), (compute_order_ostrel, churned)):
                assert tolerating_borrow_errors(fn, pages[i], BOUNDS, config) in (None, expected[(fn, i)]), (fn, i)
            if stop.is_set():
                return

    def change_levels(rng):
        levels = [logging.DEBUG, logging.INFO, logging.WARNING, logging.CRITICAL, logging.NOTSET]
        while not stop.is_set():
            logging.getLogger(rng.choice(["tarvello", "tarvello.paper", "tarvello.ostrel"])).setLevel(rng.choice(levels))
            reset_log_cache()

    def assign_configs(rng):
        while not stop.is_set():
            tolerating_borrow_errors(setattr, steady, "min_cut_threshold", 12)
            tolerating_borrow_errors(setattr, churned, rng.choice(FIELDS), rng.choice(ASSIGNED))

    def read_configs_and_make_objects(rng):
        while not stop.is_set():
            values = tolerating_borrow_errors(lambda: [getattr(churned, field) for field in FIELDS]) or []
            assert set(values) <= {*ASSIGNED, 15.0, 10.0}, values
            # Type objects and label members are made once and shared by all.
            label = rng.choice(LABELS)
            element, config = Element(rng.randrange(2**64), 0, 0, 1, 1, label), XYCutConfig(rng.random())
            assert element.label is label and (type(element), type(config)) == (Element, XYCutConfig)

    def thread(body, seed):
        def run():
            try:
                body(random.Random(seed))
            except BaseException as error:  # noqa: BLE001 - reported below
                failures.append(repr(error))
                stop.set()

        return threading.Thread(target=run)

    workers = [thread(order_pages, seed) for seed in range(6)]
    churners = [thread(body, seed) for seed, body in enumerate(
        [change_levels, change_levels, assign_configs, read_configs_and_make_objects])]
    handler, interval = logging.NullHandler(), sys.getswitchinterval()
    logging.getLogger("tarvello").addHandler(handler)
    # Switch threads far more often than usual, so that calls interleave.
    sys.setswitchinterval(1e-5)
    try:
        for t in workers + churners:
            t.start()
        for t in workers:
            t.join()
        stop.set()
        for t in churners:
            t.join()
    finally:
        sys.setswitchinterval(interval)
        logging.getLogger("tarvello").removeHandler(handler)

    assert failures == []
    # A host with a global lock never lets a read meet a write.
    assert borrow_errors == [] or not sys._is_gil_enabled()
    # After the storm a fresh cache follows the final configuration.
    reset_log_cache()
    assert [compute_order(page, BOUNDS, steady) for page in pages] == [expected[(compute_order, i)] for i in range(3)]
