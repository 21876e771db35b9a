"""What the tests share: an Element maker, labels, stress scale, box strategies, hypothesis profiles, fresh loggers."""

import logging
import os

import pytest
from hypothesis import HealthCheck, settings
from hypothesis import strategies as st

from tarvello import Element, SemanticLabel, reset_log_cache

# The five members in code order.
LABELS = [SemanticLabel.CrossLayout, SemanticLabel.HorizontalTitle, SemanticLabel.VerticalTitle, SemanticLabel.Vision,
          SemanticLabel.Regular]
# Scales the stress tests' number of calls: the sanitizer run and the reference-leak hunt take a lighter dose.
SCALE = float(os.environ.get("TARVELLO_STRESS_SCALE", "1"))

settings.register_profile("tarvello", deadline=None, max_examples=150,
                          suppress_health_check=[HealthCheck.too_slow, HealthCheck.filter_too_much])
# The reference-leak hunt repeats each test: the same examples every run.
settings.register_profile("refleak", parent=settings.get_profile("tarvello"), max_examples=25, derandomize=True, database=None)
settings.load_profile(os.environ.get("TARVELLO_HYPOTHESIS_PROFILE", "tarvello"))


def element(id, x1, y1, x2, y2, label=SemanticLabel.Regular):
    return Element(id, x1, y1, x2, y2, label)


def int_boxes(low, high, largest):
    """Integer (x1, y1, x2, y2) boxes with corners from low to high and sides up to largest."""
    corner, side = st.integers(low, high), st.integers(0, largest)
    return st.tuples(corner, corner, side, side).map(lambda b: (b[0], b[1], b[0] + b[2], b[1] + b[3]))


@pytest.fixture(autouse=True)
def quiet_fresh_logging():
    """Each test starts with the tarvello loggers at WARNING and an empty cache."""
    names = ["tarvello", "tarvello.paper", "tarvello.ostrel"]
    saved = {name: logging.getLogger(name).level for name in names}
    logging.getLogger("tarvello").setLevel(logging.WARNING)
    for name in names[1:]:
        logging.getLogger(name).setLevel(logging.NOTSET)
    reset_log_cache()
    yield
    for name, level in saved.items():
        logging.getLogger(name).setLevel(level)
    reset_log_cache()
