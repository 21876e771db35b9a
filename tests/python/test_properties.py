"""Property tests of the Python surface: any page gives an order or the
documented empty result, and any wrong argument gives only the documented
exception, never a crash or a SystemError."""

import math
import os
import re
from array import array

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from tarvello import (
    Element,
    SemanticLabel,
    XYCutConfig,
    compute_order,
    compute_order_ostrel,
    compute_order_paper,
)
from stress_support import LABELS

settings.register_profile(
    "tarvello",
    deadline=None,
    max_examples=150,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.filter_too_much],
)
# The reference-leak hunt repeats each test: the same examples every run.
settings.register_profile("refleak", parent=settings.get_profile("tarvello"), max_examples=25, derandomize=True, database=None)
settings.load_profile(os.environ.get("TARVELLO_HYPOTHESIS_PROFILE", "tarvello"))

FUNCTIONS = {
    "compute_order": compute_order,
    "compute_order_paper": compute_order_paper,
    "compute_order_ostrel": compute_order_ostrel,
}


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
def test_paper_engine_orders_every_id_once_or_refuses_the_page(page_elements, bounds, config):
    order = compute_order(page_elements, bounds, config)
    assert compute_order_paper(page_elements, bounds, config) == order
    assert all(type(i) is int for i in order)
    if page_elements and page_is_usable(bounds):
        assert sorted(order) == sorted(e.id for e in page_elements)
    else:
        assert order == []


@given(st.lists(elements, max_size=40), pages, configs)
def test_ostrel_engine_orders_every_id_once_whatever_the_page(page_elements, bounds, config):
    order = compute_order_ostrel(page_elements, bounds, config)
    assert sorted(order) == sorted(e.id for e in page_elements)
    assert compute_order_ostrel(page_elements, (0, 0, 1, 1)) == order


# ---------------------------------------------------------------------------
# Wrong arguments. Each case is an argument value with the exception type and
# the exact message it must give (None: the call must succeed).


class Boom(Exception):
    pass


class TypeErrorSubclass(TypeError):
    pass


def raising(method, error):
    def hook(*args):
        raise error

    return type("Hostile", (), {method: hook})()


class HostileSequence:
    """A sequence whose length and iteration can misbehave."""

    def __init__(self, items, len_error=None, fail_at=None, error=None):
        self.items, self.len_error, self.fail_at, self.error = items, len_error, fail_at, error

    def __len__(self):
        if self.len_error is not None:
            raise self.len_error
        return len(self.items)

    def __getitem__(self, index):
        if index == self.fail_at:
            raise self.error
        return self.items[index]


GOOD = [Element(1, 0, 0, 10, 10, SemanticLabel.Regular), Element(2, 0, 20, 10, 30, SemanticLabel.Vision)]
ERRORS = [ValueError("bad value"), TypeError("bad type"), Boom("boom"), TypeErrorSubclass("sub"), OverflowError("big")]


def passed(name, error):
    """What a conversion error of argument `name` looks like to the caller."""
    if type(error) is TypeError:
        return TypeError, f"argument '{name}': {error}"
    return type(error), str(error)


def number_cases(name):
    return st.one_of(
        st.just(("x", (TypeError, f"argument '{name}': must be real number, not str"))),
        st.just((None, (TypeError, f"argument '{name}': must be real number, not NoneType"))),
        st.just((10**400, (OverflowError, "int too large to convert to float"))),
        st.sampled_from(ERRORS).map(lambda error: (raising("__float__", error), passed(name, error))),
        st.sampled_from(ERRORS).map(lambda error: (raising("__index__", error), passed(name, error))),
        st.just((type("F", (float,), {})(2.5), None)),
        st.just((True, None)),
        st.just((math.nan, None)),
    )


def elements_cases():
    def mismatch(kind):
        return TypeError, f"argument 'elements': {kind} is not an instance of 'Sequence'"

    def item_mismatch(kind):
        return TypeError, f"argument 'elements': {kind} is not an instance of 'Element'"

    return st.one_of(
        st.just(("abc", (TypeError, "argument 'elements': Can't extract `str` to `Vec`"))),
        st.just((type("S", (str,), {})("x"), (TypeError, "argument 'elements': Can't extract `str` to `Vec`"))),
        st.just((None, mismatch("'None'"))),
        st.just(({}, mismatch("'dict' object"))),
        st.just((iter(GOOD), mismatch("'list_iterator' object"))),
        st.just((5, mismatch("'int' object"))),
        st.just((b"ab", item_mismatch("'int' object"))),
        st.just((b"", None)),
        st.just(([GOOD[0], None], item_mismatch("'None'"))),
        st.just(([GOOD[0], (1, 2)], item_mismatch("'tuple' object"))),
        st.just((tuple(GOOD), None)),
        st.sampled_from(ERRORS).map(lambda error: (HostileSequence(GOOD, len_error=error), None)),
        st.tuples(st.sampled_from(ERRORS), st.integers(0, 2)).map(
            lambda case: (HostileSequence(GOOD, fail_at=case[1], error=case[0]), passed("elements", case[0]))
        ),
    )


def page_bounds_cases():
    def bounds_with(value):
        return st.integers(0, 3).map(lambda i: tuple(value if j == i else (0, 0, 100, 100)[j] for j in range(4)))

    def length_error(n):
        return ValueError, f"expected tuple of length 4, but got tuple of length {n}"

    return st.one_of(
        st.just(([0, 0, 1, 1], (TypeError, "argument 'page_bounds': 'list' object is not an instance of 'tuple'"))),
        st.just((None, (TypeError, "argument 'page_bounds': 'None' is not an instance of 'tuple'"))),
        st.integers(0, 9).filter(lambda n: n != 4).map(lambda n: ((1.0,) * n, length_error(n))),
        st.just((type("T", (tuple,), {})((0, 0, 5, 5)), None)),
        number_cases("page_bounds").flatmap(lambda case: bounds_with(case[0]).map(lambda b: (b, case[1]))),
    )


def config_cases():
    def mismatch(kind):
        return TypeError, f"argument 'config': {kind} object is not an instance of 'XYCutConfig'"

    return st.one_of(
        st.just(({}, mismatch("'dict'"))),
        st.just((1.5, mismatch("'float'"))),
        st.just(((15, 0.5, 10), mismatch("'tuple'"))),
        st.just((None, None)),
        st.just((XYCutConfig(math.nan, -1, math.inf), None)),
    )


def expect(call, expectation):
    if expectation is None:
        assert isinstance(call(), list)
        return
    error_type, message = expectation
    with pytest.raises(BaseException) as caught:
        call()
    assert type(caught.value) is error_type, repr(caught.value)
    assert str(caught.value) == message


@given(st.sampled_from(sorted(FUNCTIONS)), elements_cases())
def test_wrong_elements_give_only_the_documented_errors(name, case):
    value, expectation = case
    expect(lambda: FUNCTIONS[name](value, (0, 0, 100, 100)), expectation)


@given(st.sampled_from(sorted(FUNCTIONS)), page_bounds_cases())
def test_wrong_page_bounds_give_only_the_documented_errors(name, case):
    value, expectation = case
    expect(lambda: FUNCTIONS[name](GOOD, value), expectation)


@given(st.sampled_from(sorted(FUNCTIONS)), config_cases())
def test_wrong_config_gives_only_the_documented_errors(name, case):
    value, expectation = case
    expect(lambda: FUNCTIONS[name](GOOD, (0, 0, 100, 100), config=value), expectation)


@given(
    st.sampled_from(sorted(FUNCTIONS)),
    st.lists(st.just(GOOD), max_size=6),
    st.dictionaries(st.sampled_from(["elements", "page_bounds", "config", "cfg", "page", "x"]), st.none(), max_size=3),
)
def test_any_binding_gives_a_result_or_a_binding_type_error(name, positional, keywords):
    try:
        result = FUNCTIONS[name](*positional, **keywords)
    except TypeError as error:
        assert type(error) is TypeError
        assert re.match(
            rf"({name}\(\) (takes from 2 to 3 positional arguments but \d+ (was|were) given"
            r"|got an unexpected keyword argument '\w+'|got multiple values for argument '\w+'"
            r"|missing \d required positional arguments?: .*)"
            r"|argument '(elements|page_bounds|config)': .*)$",
            str(error),
        ), str(error)
    except ValueError as error:
        assert type(error) is ValueError
        assert str(error).startswith("expected tuple of length 4, but got tuple of length")
    else:
        assert isinstance(result, list)


def id_cases():
    return st.one_of(
        st.just((1.0, None)),  # the message is the host's; only its prefix is ours
        st.just((-1, (OverflowError, None))),
        st.just((2**64, (OverflowError, None))),
        st.just((10**100, (OverflowError, None))),
        st.just((2**64 - 1, ())),
        st.just((True, ())),
        st.sampled_from(ERRORS).map(lambda error: (raising("__index__", error), passed("id", error))),
    )


@given(id_cases())
def test_element_ids_convert_or_fail_as_documented(case):
    value, expectation = case
    make = lambda: Element(value, 0, 0, 1, 1, SemanticLabel.Regular)  # noqa: E731
    if expectation == ():
        assert make().id == int(value)
    elif expectation is None:
        with pytest.raises(TypeError) as caught:
            make()
        assert type(caught.value) is TypeError and str(caught.value).startswith("argument 'id': ")
    elif expectation[1] is None:
        with pytest.raises(OverflowError) as caught:
            make()
        assert type(caught.value) is OverflowError and not str(caught.value).startswith("argument")
    else:
        expect(make, expectation)


@given(st.sampled_from(["x1", "y1", "x2", "y2"]), number_cases("x1"))
def test_element_coordinates_convert_or_fail_as_documented(name, case):
    value, expectation = case
    arguments = {**dict(id=1, x1=0, y1=0, x2=1, y2=1, label=SemanticLabel.Regular), name: value}
    if expectation is not None and expectation[1].startswith("argument 'x1'"):
        expectation = (expectation[0], expectation[1].replace("'x1'", f"'{name}'", 1))
    if expectation is None:
        assert isinstance(Element(**arguments), Element)
    else:
        expect(lambda: Element(**arguments), expectation)


@given(st.sampled_from(["min_cut_threshold", "histogram_resolution_scale", "same_row_tolerance"]), number_cases("v"))
def test_config_setters_convert_or_fail_and_keep_the_old_value(name, case):
    value, expectation = case
    config = XYCutConfig(1, 2, 3)
    before = getattr(config, name)
    if expectation is not None and expectation[1].startswith("argument 'v'"):
        expectation = (expectation[0], expectation[1].replace("'v'", f"'{name}'", 1))

    def assign():
        setattr(config, name, value)
        return []

    expect(assign, expectation)
    if expectation is not None:
        assert getattr(config, name) == before
    else:
        assert math.isnan(getattr(config, name)) or getattr(config, name) == f32(float(value))


@given(st.sampled_from(LABELS + [3, None, "Regular", 4.0]))
def test_labels_must_be_members(label):
    if isinstance(label, type(SemanticLabel.Regular)):
        assert Element(1, 0, 0, 1, 1, label).label is label
    else:
        expect(
            lambda: Element(1, 0, 0, 1, 1, label),
            (
                TypeError,
                "argument 'label': "
                + ("'None' is not" if label is None else f"'{type(label).__name__}' object is not")
                + " an instance of 'SemanticLabel'",
            ),
        )
