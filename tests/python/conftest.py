import logging

import pytest

from tarvello import Element, SemanticLabel, reset_log_cache


def element(id, x1, y1, x2, y2, label=SemanticLabel.Regular):
    return Element(id, x1, y1, x2, y2, label)


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
