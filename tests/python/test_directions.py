"""Reading directions: a page mirrored or turned and read in the matching
direction gives exactly the order of the page read left to right, and
hand-made pages come out as a reader of them reads them."""

import pytest
from hypothesis import given
from hypothesis import strategies as st

from stress_support import LABELS
from tarvello import SemanticLabel, order_boxes, order_pages

H, V = SemanticLabel.HorizontalTitle, SemanticLabel.VerticalTitle
TITLES_EXCHANGED = {H: V, V: H}

# The page as it is set, from the page the engines read: the inverse of the
# mapping each direction makes.
SET_AS = {
    "rtl": (lambda x1, y1, x2, y2: (-x2, y1, -x1, y2), {}),
    "vertical-rl": (lambda x1, y1, x2, y2: (-y2, x1, -y1, x2), TITLES_EXCHANGED),
    "vertical-lr": (lambda x1, y1, x2, y2: (y1, x1, y2, x2), TITLES_EXCHANGED),
}

coordinate = st.integers(-300, 300)
box = st.tuples(coordinate, coordinate, st.integers(0, 120), st.integers(0, 120)).map(
    lambda b: (b[0], b[1], b[0] + b[2], b[1] + b[3]))


@given(st.lists(st.tuples(box, st.sampled_from(LABELS)), max_size=30), st.sampled_from(sorted(SET_AS)),
       st.sampled_from(["paper", "ostrel"]), st.booleans())
def test_a_page_set_in_a_direction_reads_as_the_page_read_left_to_right(items, direction, engine, given_bounds):
    boxes = [b for b, _ in items]
    labels = [label for _, label in items]
    bounds = (-400, -400, 500, 500) if given_bounds else None
    expected = order_boxes(boxes, labels, bounds, engine)
    turn, exchange = SET_AS[direction]
    set_boxes = [turn(*b) for b in boxes]
    set_labels = [exchange.get(label, label) for label in labels]
    set_bounds = turn(*bounds) if bounds else None
    assert order_boxes(set_boxes, set_labels, set_bounds, engine, direction=direction) == expected
    assert order_pages([(set_boxes, set_labels, set_bounds)], engine=engine, direction=direction) == [expected]


# A two-column Arabic article: the headline across the page, then the
# right-hand column with a figure between its paragraphs, then the left one.
ARABIC = {
    "headline": ((40, 30, 560, 80), "title"),
    "right 1": ((310, 100, 560, 300), "text"),
    "figure": ((310, 320, 560, 500), "figure"),
    "right 2": ((310, 520, 560, 760), "text"),
    "left 1": ((40, 100, 290, 430), "text"),
    "left 2": ((40, 440, 290, 760), "text"),
}
# A vertical Japanese page: a vertical headline at the right edge, then four
# columns, each read top to bottom, the columns right to left.
JAPANESE = {
    "headline": ((520, 40, 560, 500), "vertical_title"),
    "column 1": ((400, 40, 490, 760), "text"),
    "column 2": ((290, 40, 380, 760), "text"),
    "column 3": ((180, 40, 270, 760), "text"),
    "column 4": ((70, 40, 160, 760), "text"),
}


@pytest.mark.parametrize("engine", ["paper", "ostrel"])
@pytest.mark.parametrize("page, direction", [(ARABIC, "rtl"), (JAPANESE, "vertical-rl")])
def test_hand_made_pages_read_as_a_reader_reads_them(page, direction, engine):
    names = list(page)
    shuffled = names[::-1]  # given in no reading order
    order = order_boxes([page[n][0] for n in shuffled], [page[n][1] for n in shuffled], (0, 0, 600, 800), engine,
                        direction=direction)
    assert [shuffled[i] for i in order] == names


def test_a_direction_not_known_is_refused():
    with pytest.raises(ValueError, match="^direction must be one of 'ltr', 'rtl', 'vertical-rl', 'vertical-lr', not 'ttb'$"):
        order_boxes([(0, 0, 1, 1)], direction="ttb")
