"""What the three ordering functions return: examples, and a property test
that any page, however degenerate its numbers, gives every id once from each
engine, or the empty order from the paper engine for a page without usable
area, and never a crash. Wrong arguments are in test_arguments."""

import math
import os
from array import array

import pytest
from conftest import element
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from stress_support import LABELS
from tarvello import Element, SemanticLabel, XYCutConfig, compute_order, compute_order_ostrel, compute_order_paper

PAGE = (0, 0, 100, 100)
# Two columns, listed right column first: every engine reads left then right.
TWO_COLUMNS = [element(4, 60, 20, 100, 30), element(3, 60, 0, 100, 10), element(2, 0, 20, 40, 30), element(1, 0, 0, 40, 10)]


@pytest.mark.parametrize("function", [compute_order, compute_order_paper, compute_order_ostrel])
def test_every_engine_reads_two_columns_column_by_column(function):
    assert function([], PAGE) == []
    assert function(TWO_COLUMNS, PAGE) == [1, 2, 3, 4]
    assert function(tuple(TWO_COLUMNS), (0, 0, 612, 792), XYCutConfig()) == [1, 2, 3, 4]
    # The largest id, twice: ids come back as they went in, as Python ints.
    big = 2**64 - 1
    result = function([element(big, 0, 0, 10, 10), element(big, 0, 50, 10, 60)], PAGE)
    assert result == [big, big] and all(type(i) is int for i in result)


@pytest.mark.parametrize("bounds", [(0, 0, 0, 792), (10, 0, 5, 100), (0, 0, float("nan"), 1)])
def test_the_paper_engine_refuses_an_unusable_page_and_ostrel_ignores_it(bounds):
    assert compute_order(TWO_COLUMNS, bounds) == []
    assert compute_order_ostrel(TWO_COLUMNS, bounds, XYCutConfig(1, 2, 3)) == [1, 2, 3, 4]


def test_a_masked_title_goes_before_the_text_under_it():
    title = element(9, 0, 0, 100, 8, SemanticLabel.HorizontalTitle)
    body = [element(1, 0, 20, 100, 30), element(2, 0, 40, 100, 50)]
    assert compute_order(body + [title], PAGE) == [9, 1, 2]


def test_coordinates_are_rounded_to_single_precision_once():
    # 16777217 is not a float32; it rounds to 16777216, which makes these two
    # boxes identical, so their input order is kept.
    first = element(1, 0, 16777217.0, 10, 16777217.0)
    second = element(2, 0, 16777216.0, 10, 16777216.0)
    assert compute_order_ostrel([first, second], PAGE) == [1, 2]
    assert compute_order_ostrel([second, first], PAGE) == [2, 1]


settings.register_profile(
    "tarvello",
    deadline=None,
    max_examples=150,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.filter_too_much],
)
# The reference-leak hunt repeats each test: the same examples every run.
settings.register_profile("refleak", parent=settings.get_profile("tarvello"), max_examples=25, derandomize=True, database=None)
settings.load_profile(os.environ.get("TARVELLO_HYPOTHESIS_PROFILE", "tarvello"))


def f32(value):
    """The single-precision value the module stores (inf beyond its range)."""
    return array("f", [value])[0]


coordinates = st.one_of(
    st.integers(-50, 800),
    st.floats(allow_nan=True, allow_infinity=True),
    st.floats(width=32),
    st.sampled_from([0.0, -0.0, 1e30, -1e30, 1e39, 5e-324, 1e-45, 3.4028235e38, math.nan]),
)
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
