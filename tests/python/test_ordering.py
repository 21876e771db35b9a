"""What the three ordering functions return: examples, and any page, however degenerate, gives every id once
from each engine (or nothing from the paper engine for a page without usable area), never a crash."""

import math
from array import array

import pytest
from conftest import LABELS, element
from hypothesis import given
from hypothesis import strategies as st

from tarvello import Element, XYCutConfig, compute_order, compute_order_ostrel, compute_order_paper

PAGE = (0, 0, 100, 100)
# Two columns, listed right column first.
TWO_COLUMNS = [element(4, 60, 20, 100, 30), element(3, 60, 0, 100, 10), element(2, 0, 20, 40, 30), element(1, 0, 0, 40, 10)]


@pytest.mark.parametrize("bounds", [(0, 0, 0, 792), (10, 0, 5, 100), (0, 0, float("nan"), 1)])
def test_the_paper_engine_refuses_an_unusable_page_and_ostrel_ignores_it(bounds):
    assert compute_order(TWO_COLUMNS, bounds) == compute_order_paper(TWO_COLUMNS, bounds) == []
    assert compute_order_ostrel(TWO_COLUMNS, bounds, XYCutConfig(1, 2, 3)) == [1, 2, 3, 4]


def test_coordinates_are_rounded_to_single_precision_once():
    # 16777217 is not a float32; it rounds to 16777216, which makes these two boxes identical: input order kept.
    first = element(1, 0, 16777217.0, 10, 16777217.0)
    second = element(2, 0, 16777216.0, 10, 16777216.0)
    assert compute_order_ostrel([first, second], PAGE) == [1, 2]
    assert compute_order_ostrel([second, first], PAGE) == [2, 1]


def f32(value):
    """The single-precision value the module stores (inf beyond its range)."""
    return array("f", [value])[0]


coordinates = st.one_of(st.integers(-50, 800), st.floats(allow_nan=True, allow_infinity=True), st.floats(width=32),
                        st.sampled_from([0.0, -0.0, 1e30, -1e30, 1e39, 5e-324, 1e-45, 3.4028235e38, math.nan]))
ids = st.one_of(st.integers(0, 8), st.integers(0, 2**64 - 1))
elements = st.builds(Element, ids, coordinates, coordinates, coordinates, coordinates, st.sampled_from(LABELS))
pages = st.tuples(coordinates, coordinates, coordinates, coordinates)
configs = st.one_of(st.none(), st.builds(XYCutConfig, coordinates, coordinates, coordinates))


def page_is_usable(bounds):
    x_min, y_min, x_max, y_max = map(f32, bounds)
    width, height = f32(x_max - x_min), f32(y_max - y_min)
    return all(math.isfinite(side) and side > 0 for side in (width, height))


@given(st.lists(elements, max_size=40), pages, configs)
def test_every_engine_orders_every_id_once_or_refuses_the_page(page_elements, bounds, config):
    ids = sorted(e.id for e in page_elements)
    paper = compute_order(page_elements, bounds, config)
    assert compute_order_paper(page_elements, bounds, config) == paper
    assert all(type(i) is int for i in paper)
    assert sorted(paper) == (ids if page_is_usable(bounds) else [])
    ostrel = compute_order_ostrel(page_elements, bounds, config)
    assert sorted(ostrel) == ids
    assert compute_order_ostrel(page_elements, (0, 0, 1, 1)) == ostrel
