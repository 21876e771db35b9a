"""A page mirrored or turned and read in its direction reads as the page read left to right; so do hand-made pages."""

import pytest
from conftest import LABELS, int_boxes
from hypothesis import given
from hypothesis import strategies as st

from tarvello import SemanticLabel, order_boxes, order_pages

H, V = SemanticLabel.HorizontalTitle, SemanticLabel.VerticalTitle
TITLES_EXCHANGED = {H: V, V: H}

# The page as it is set, from the page the engines read: the inverse of the mapping each direction makes.
SET_AS = {
    "rtl": (lambda x1, y1, x2, y2: (-x2, y1, -x1, y2), {}),
    "vertical-rl": (lambda x1, y1, x2, y2: (-y2, x1, -y1, x2), TITLES_EXCHANGED),
    "vertical-lr": (lambda x1, y1, x2, y2: (y1, x1, y2, x2), TITLES_EXCHANGED),
}


@given(st.lists(st.tuples(int_boxes(-300, 300, 120), st.sampled_from(LABELS)), max_size=30),
       st.sampled_from(sorted(SET_AS)), st.sampled_from(["paper", "ostrel"]), st.booleans())
def test_a_page_set_in_a_direction_reads_as_the_page_read_left_to_right(items, direction, engine, given_bounds):
    boxes, labels = [b for b, _ in items], [label for _, label in items]
    bounds = (-400, -400, 500, 500) if given_bounds else None
    expected = order_boxes(boxes, labels, bounds, engine)
    turn, exchange = SET_AS[direction]
    set_boxes = [turn(*b) for b in boxes]
    set_labels = [exchange.get(label, label) for label in labels]
    set_bounds = turn(*bounds) if bounds else None
    assert order_boxes(set_boxes, set_labels, set_bounds, engine, direction=direction) == expected
    assert order_pages([(set_boxes, set_labels, set_bounds)], engine=engine, direction=direction) == [expected]


# Given in no reading order, each read last box first: an Arabic page (the headline, then the right column with a
# figure between its paragraphs, then the left one) and a Japanese one (a vertical headline at the right edge, then
# columns right to left, each top to bottom).
@pytest.mark.parametrize("engine", ["paper", "ostrel"])
@pytest.mark.parametrize("direction, boxes, labels", [
    ("rtl", [(40, 100, 290, 760), (310, 520, 560, 760), (310, 320, 560, 500), (310, 100, 560, 300), (40, 30, 560, 80)],
     ["text", "text", "figure", "text", "title"]),
    ("vertical-rl", [(70, 40, 160, 760), (290, 40, 380, 760), (400, 40, 490, 760), (520, 40, 560, 500)],
     ["text", "text", "text", "vertical_title"]),
])
def test_hand_made_pages_read_as_a_reader_reads_them(direction, boxes, labels, engine):
    order = order_boxes(boxes, labels, (0, 0, 600, 800), engine, direction=direction)
    assert order == list(range(len(boxes)))[::-1]
