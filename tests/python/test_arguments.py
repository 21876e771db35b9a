"""Every wrong argument gives one exact exception; the caller's own exceptions pass through, a plain TypeError
wrapped with the argument's name and its cause. test_leaks repeats these calls."""

import math

import pytest

from tarvello import Element, SemanticLabel, XYCutConfig, compute_order, compute_order_ostrel, compute_order_paper
from tarvello import reset_log_cache

REGULAR = SemanticLabel.Regular
ARGS = (1, 0.0, 0.0, 10.0, 10.0, REGULAR)
GOOD = [Element(1, 0, 0, 10, 10, REGULAR), Element(2, 0, 20, 10, 30, SemanticLabel.Vision)]
PAGE = (0, 0, 100, 100)
CONFIG = XYCutConfig(1, 2, 3)


class Outer:
    class Inner:
        pass


class Hostile:
    """Raises its error from every number hook and from its item 1."""

    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error

    __index__ = __float__

    def __len__(self):
        return 2

    def __getitem__(self, index):
        if index == 1:
            raise self.error
        return GOOD[0]


class Sized:
    """GOOD behind a __len__ that lies or fails: the items decide."""

    def __init__(self, length):
        self.length = length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, index):
        return GOOD[index]


StrSubclass, TupleSubclass = type("StrSubclass", (str,), {}), type("TupleSubclass", (tuple,), {})
Boom, TypeErrorSubclass = type("Boom", (Exception,), {}), type("TypeErrorSubclass", (TypeError,), {})


def ordering_cases(f):
    name = f.__name__
    return [
        (lambda: f(), TypeError, f"{name}() missing 2 required positional arguments: 'elements' and 'page_bounds'"),
        (lambda: f([]), TypeError, f"{name}() missing 1 required positional argument: 'page_bounds'"),
        (lambda: f(page_bounds=PAGE), TypeError, f"{name}() missing 1 required positional argument: 'elements'"),
        (lambda: f([], PAGE, None, None), TypeError, f"{name}() takes from 2 to 3 positional arguments but 4 were given"),
        (lambda: f([], PAGE, cfg=None), TypeError, f"{name}() got an unexpected keyword argument 'cfg'"),
        (lambda: f([], PAGE, elements=[]), TypeError, f"{name}() got multiple values for argument 'elements'"),
        (lambda: f("abc", PAGE), TypeError, "argument 'elements': Can't extract `str` to `Vec`"),
        (lambda: f(StrSubclass("x"), PAGE), TypeError, "argument 'elements': Can't extract `str` to `Vec`"),
        (lambda: f((e for e in GOOD), PAGE), TypeError,
         "argument 'elements': 'generator' object is not an instance of 'Sequence'"),
        (lambda: f(None, PAGE), TypeError, "argument 'elements': 'None' is not an instance of 'Sequence'"),
        (lambda: f({}, PAGE), TypeError, "argument 'elements': 'dict' object is not an instance of 'Sequence'"),
        (lambda: f(b"ab", PAGE), TypeError, "argument 'elements': 'int' object is not an instance of 'Element'"),
        (lambda: f([GOOD[0], None], PAGE), TypeError, "argument 'elements': 'None' is not an instance of 'Element'"),
        (lambda: f([GOOD[0], (1, 2)], PAGE), TypeError, "argument 'elements': 'tuple' object is not an instance of 'Element'"),
        (lambda: f(GOOD, [0, 0, 1, 1]), TypeError, "argument 'page_bounds': 'list' object is not an instance of 'tuple'"),
        (lambda: f(GOOD, (0, 0, 1)), ValueError, "expected tuple of length 4, but got tuple of length 3"),
        (lambda: f(GOOD, (0, 0, 1, "x")), TypeError, "argument 'page_bounds': must be real number, not str"),
        (lambda: f(GOOD, PAGE, {}), TypeError, "argument 'config': 'dict' object is not an instance of 'XYCutConfig'"),
        # The first failing argument decides; later ones are not looked at.
        (lambda: f("abc", [0], {}), TypeError, "argument 'elements': Can't extract `str` to `Vec`"),
    ]


CASES = [
    (lambda: Element(*ARGS, 7), TypeError, "Element.__new__() takes 6 positional arguments but 7 were given"),
    (lambda: Element(*ARGS, 7, 8, label=REGULAR), TypeError, "Element.__new__() takes 6 positional arguments but 8 were given"),
    (lambda: XYCutConfig(1, 2, 3, 4), TypeError, "XYCutConfig.__new__() takes from 0 to 3 positional arguments but 4 were given"),
    (lambda: XYCutConfig(1, 2, 3, 4, 5, bogus=1), TypeError,
     "XYCutConfig.__new__() takes from 0 to 3 positional arguments but 5 were given"),
    (lambda: Element(*ARGS, colour=1), TypeError, "Element.__new__() got an unexpected keyword argument 'colour'"),
    (lambda: XYCutConfig(cut=1), TypeError, "XYCutConfig.__new__() got an unexpected keyword argument 'cut'"),
    (lambda: Element(*ARGS, id=2), TypeError, "Element.__new__() got multiple values for argument 'id'"),
    (lambda: XYCutConfig(1, min_cut_threshold=2), TypeError,
     "XYCutConfig.__new__() got multiple values for argument 'min_cut_threshold'"),
    # The first offending keyword in the caller's order decides; keyword errors come before missing arguments.
    (lambda: Element(*ARGS, x1=0, bogus=1), TypeError, "Element.__new__() got multiple values for argument 'x1'"),
    (lambda: Element(*ARGS, bogus=1, x1=0), TypeError, "Element.__new__() got an unexpected keyword argument 'bogus'"),
    (lambda: Element(bogus=1), TypeError, "Element.__new__() got an unexpected keyword argument 'bogus'"),
    (lambda: Element(1, 0, 0, 1, 1), TypeError, "Element.__new__() missing 1 required positional argument: 'label'"),
    (lambda: Element(1, 0, 0, 1), TypeError, "Element.__new__() missing 2 required positional arguments: 'y2' and 'label'"),
    (lambda: Element(1, 0, 0), TypeError, "Element.__new__() missing 3 required positional arguments: 'x2', 'y2', and 'label'"),
    (lambda: Element(label=REGULAR, x1=0, y2=1), TypeError,
     "Element.__new__() missing 3 required positional arguments: 'id', 'y1', and 'x2'"),
    # Conversions run in parameter order.
    (lambda: Element(1, "x", 0, 1, 1, REGULAR), TypeError, "argument 'x1': must be real number, not str"),
    (lambda: Element(1, 0, "y1", "x2", 0, None), TypeError, "argument 'y1': must be real number, not str"),
    (lambda: Element(1, 0, 0, 1, [], REGULAR), TypeError, "argument 'y2': must be real number, not list"),
    (lambda: Element(1, 0, 10**400, 1, 1, REGULAR), OverflowError, "int too large to convert to float"),
    (lambda: Element(-1, "x1", 0, 0, 0, None), OverflowError, "can't convert negative int to unsigned"),
    (lambda: Element(2**64, 0, 0, 1, 1, REGULAR), OverflowError, "int too big to convert"),
    (lambda: Element(1.0, 0, 0, 1, 1, REGULAR), TypeError, "argument 'id': 'float' object cannot be interpreted as an integer"),
    (lambda: Element(1, 0, 0, 1, 1, 3), TypeError, "argument 'label': 'int' object is not an instance of 'SemanticLabel'"),
    (lambda: Element(1, 0, 0, 1, 1, None), TypeError, "argument 'label': 'None' is not an instance of 'SemanticLabel'"),
    (lambda: Element(1, 0, 0, 1, 1, Outer.Inner()), TypeError,
     "argument 'label': 'Outer.Inner' object is not an instance of 'SemanticLabel'"),
    (lambda: XYCutConfig(None), TypeError, "argument 'min_cut_threshold': must be real number, not NoneType"),
    (lambda: XYCutConfig(1, None), TypeError, "argument 'histogram_resolution_scale': must be real number, not NoneType"),
    (lambda: XYCutConfig(same_row_tolerance=b"1"), TypeError, "argument 'same_row_tolerance': must be real number, not bytes"),
    (lambda: setattr(CONFIG, "min_cut_threshold", "x"), TypeError, "argument 'min_cut_threshold': must be real number, not str"),
    (lambda: delattr(CONFIG, "same_row_tolerance"), AttributeError, "property has no deleter"),
    (lambda: setattr(GOOD[0], "x1", 1.0), AttributeError, "attribute 'x1' of 'builtins.Element' objects is not writable"),
    (lambda: delattr(GOOD[0], "label"), AttributeError, "attribute 'label' of 'builtins.Element' objects is not writable"),
    (lambda: SemanticLabel(), TypeError, "cannot create 'builtins.SemanticLabel' instances"),
    (lambda: reset_log_cache(1), TypeError, "tarvello._tarvello_core.reset_log_cache() takes no arguments (1 given)"),
    *(case for f in (compute_order, compute_order_paper, compute_order_ostrel) for case in ordering_cases(f)),
]


@pytest.mark.parametrize("call, error, message", CASES)
def test_a_wrong_argument_raises_one_exact_error(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert type(raised.value) is error
    assert str(raised.value) == message
    assert (CONFIG.min_cut_threshold, CONFIG.histogram_resolution_scale, CONFIG.same_row_tolerance) == (1, 2, 3)
    assert GOOD[0].x1 == 0.0 and GOOD[0].label is REGULAR


def caused(kind):
    error = kind("inner")
    error.__cause__ = KeyError("root")
    return error


# Where a caller's object is converted: each takes a Hostile.
PLACES = {
    "id": lambda value: Element(value, 0, 0, 1, 1, REGULAR),
    "x1": lambda value: Element(1, value, 0, 1, 1, REGULAR),
    "elements": lambda value: compute_order(value, PAGE),
    "page_bounds": lambda value: compute_order_ostrel(GOOD, (0, 0, value, 1)),
    "same_row_tolerance": lambda value: setattr(CONFIG, "same_row_tolerance", value),
}


@pytest.mark.parametrize("kind", [TypeError, ValueError, Boom, TypeErrorSubclass, OverflowError])
@pytest.mark.parametrize("place", PLACES)
def test_errors_of_the_callers_objects_pass_through(place, kind):
    error = caused(kind)
    with pytest.raises(kind) as raised:
        PLACES[place](Hostile(error))
    if kind is TypeError:
        assert type(raised.value) is TypeError
        assert str(raised.value) == f"argument '{place}': inner"
        assert raised.value.__cause__ is error.__cause__
    else:
        assert raised.value is error
    assert CONFIG.same_row_tolerance == 3.0


@pytest.mark.parametrize("call, expected", [
    (lambda: compute_order(b"", PAGE), []),
    (lambda: compute_order(tuple(GOOD), TupleSubclass(PAGE)), [2, 1]),
    (lambda: compute_order_paper(page_bounds=PAGE, config=None, elements=GOOD), [2, 1]),
    (lambda: compute_order_ostrel(GOOD, PAGE, XYCutConfig(math.nan, -1, math.inf)), [1, 2]),
    # A __len__ that fails or lies reserves nothing and decides nothing.
    (lambda: compute_order(Sized(ValueError("no length")), PAGE), [2, 1]),
    (lambda: compute_order(Sized(10**12), PAGE), [2, 1]),
])
def test_any_sequence_and_subclasses_are_accepted(call, expected):
    assert call() == expected
