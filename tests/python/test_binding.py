"""Argument binding and conversion errors, seen through every callable that takes arguments."""

import pytest

from tarvello import _tarvello_core as core
from tarvello._tarvello_core import Element, SemanticLabel, XYCutConfig

REGULAR = SemanticLabel.Regular
ELEMENT_ARGS = (1, 0.0, 0.0, 10.0, 10.0, REGULAR)


def raised_message(call, kind=TypeError):
    with pytest.raises(kind) as raised:
        call()
    assert type(raised.value) is kind
    return str(raised.value)


class Outer:
    class Inner:
        pass


class TestConstructorBinding:
    @pytest.mark.parametrize(
        "call, message",
        [
            (lambda: Element(*ELEMENT_ARGS, 7), "Element.__new__() takes 6 positional arguments but 7 were given"),
            (
                lambda: Element(*ELEMENT_ARGS, 7, 8, label=REGULAR),
                "Element.__new__() takes 6 positional arguments but 8 were given",
            ),
            (
                lambda: XYCutConfig(1, 2, 3, 4),
                "XYCutConfig.__new__() takes from 0 to 3 positional arguments but 4 were given",
            ),
            (
                lambda: XYCutConfig(1, 2, 3, 4, 5, bogus=1),
                "XYCutConfig.__new__() takes from 0 to 3 positional arguments but 5 were given",
            ),
        ],
    )
    def test_too_many_positional(self, call, message):
        assert raised_message(call) == message

    @pytest.mark.parametrize(
        "call, message",
        [
            (lambda: Element(*ELEMENT_ARGS, colour=1), "Element.__new__() got an unexpected keyword argument 'colour'"),
            (lambda: Element(ID=1), "Element.__new__() got an unexpected keyword argument 'ID'"),
            (lambda: XYCutConfig(cut=1), "XYCutConfig.__new__() got an unexpected keyword argument 'cut'"),
            (lambda: Element(*ELEMENT_ARGS, id=2), "Element.__new__() got multiple values for argument 'id'"),
            (
                lambda: Element(1, 2, 3, 4, 5, label=REGULAR, x2=0),
                "Element.__new__() got multiple values for argument 'x2'",
            ),
            (
                lambda: XYCutConfig(1, min_cut_threshold=2),
                "XYCutConfig.__new__() got multiple values for argument 'min_cut_threshold'",
            ),
            # The first offending keyword in the caller's order decides.
            (lambda: Element(*ELEMENT_ARGS, x1=0, bogus=1), "Element.__new__() got multiple values for argument 'x1'"),
            (lambda: Element(*ELEMENT_ARGS, bogus=1, x1=0), "Element.__new__() got an unexpected keyword argument 'bogus'"),
            # Keyword errors come before missing arguments.
            (lambda: Element(bogus=1), "Element.__new__() got an unexpected keyword argument 'bogus'"),
        ],
    )
    def test_keyword_errors(self, call, message):
        assert raised_message(call) == message

    @pytest.mark.parametrize(
        "call, message",
        [
            (lambda: Element(1, 0, 0, 1, 1), "Element.__new__() missing 1 required positional argument: 'label'"),
            (lambda: Element(1, 0, 0, 1), "Element.__new__() missing 2 required positional arguments: 'y2' and 'label'"),
            (
                lambda: Element(1, 0, 0),
                "Element.__new__() missing 3 required positional arguments: 'x2', 'y2', and 'label'",
            ),
            (
                lambda: Element(),
                "Element.__new__() missing 6 required positional arguments: "
                "'id', 'x1', 'y1', 'x2', 'y2', and 'label'",
            ),
            (
                lambda: Element(label=REGULAR, x1=0, y2=1),
                "Element.__new__() missing 3 required positional arguments: 'id', 'y1', and 'x2'",
            ),
            (
                lambda: Element(1, x2=0, y2=0, label=REGULAR),
                "Element.__new__() missing 2 required positional arguments: 'x1' and 'y1'",
            ),
        ],
    )
    def test_missing_arguments(self, call, message):
        assert raised_message(call) == message

    @pytest.mark.parametrize(
        "args, kwargs",
        [
            (ELEMENT_ARGS, {}),
            ((), dict(zip(["label", "y2", "x2", "y1", "x1", "id"], reversed(ELEMENT_ARGS)))),
            (ELEMENT_ARGS[:3], {"label": REGULAR, "y2": 10.0, "x2": 10.0}),
        ],
    )
    def test_positional_and_keyword_mixes(self, args, kwargs):
        element = Element(*args, **kwargs)
        assert (element.id, element.x2, element.label) == (1, 10.0, REGULAR)

    def test_keywords_from_a_mapping(self):
        assert Element.__new__(Element, **dict(zip(["id", "x1", "y1", "x2", "y2", "label"], ELEMENT_ARGS))).id == 1


class TestConversionErrors:
    @pytest.mark.parametrize(
        "call, message",
        [
            (lambda: Element(1, "x", 0, 1, 1, REGULAR), "argument 'x1': must be real number, not str"),
            (lambda: Element(1, 0, 0, 1, [], REGULAR), "argument 'y2': must be real number, not list"),
            (lambda: XYCutConfig(None), "argument 'min_cut_threshold': must be real number, not NoneType"),
            (
                lambda: XYCutConfig(same_row_tolerance=b"1"),
                "argument 'same_row_tolerance': must be real number, not bytes",
            ),
            (
                lambda: Element(1, 0, 0, 1, 1, Outer.Inner()),
                "argument 'label': 'Outer.Inner' object is not an instance of 'SemanticLabel'",
            ),
        ],
    )
    def test_type_errors_carry_the_argument_name(self, call, message):
        assert raised_message(call) == message

    @pytest.mark.parametrize("error", [ValueError("bad value"), ArithmeticError("bad"), RuntimeError("odd")])
    def test_other_exceptions_pass_unchanged(self, error):
        class Raising:
            def __float__(self):
                raise error

        with pytest.raises(type(error)) as raised:
            Element(1, Raising(), 0, 1, 1, REGULAR)
        assert raised.value is error

    def test_type_error_subclass_passes_unchanged(self):
        class Special(TypeError):
            pass

        error = Special("special")

        class Raising:
            def __float__(self):
                raise error

        with pytest.raises(Special) as raised:
            XYCutConfig(Raising())
        assert raised.value is error
        assert str(raised.value) == "special"

    def test_int_too_large_for_a_float_is_an_unwrapped_overflow(self):
        message = raised_message(lambda: Element(1, 0, 10**400, 1, 1, REGULAR), OverflowError)
        assert message == "int too large to convert to float"

    @pytest.mark.parametrize("with_cause", [False, True])
    def test_wrapped_type_error_carries_the_original_cause(self, with_cause):
        root = KeyError("root")

        class Raising:
            def __float__(self):
                if with_cause:
                    raise TypeError("inner") from root
                raise TypeError("inner")

        with pytest.raises(TypeError) as raised:
            Element(1, 0, Raising(), 1, 1, REGULAR)
        assert type(raised.value) is TypeError
        assert str(raised.value) == "argument 'y1': inner"
        assert raised.value.__cause__ is (root if with_cause else None)

    def test_setter_wraps_like_the_constructor(self):
        root = KeyError("root")

        class Raising:
            def __float__(self):
                raise TypeError("inner") from root

        config = XYCutConfig()
        with pytest.raises(TypeError) as raised:
            config.histogram_resolution_scale = Raising()
        assert str(raised.value) == "argument 'histogram_resolution_scale': inner"
        assert raised.value.__cause__ is root
        assert config.histogram_resolution_scale == 0.5


ORDERING_NAMES = ["compute_order", "compute_order_paper", "compute_order_ostrel"]


@pytest.fixture(params=ORDERING_NAMES)
def ordering(request):
    function = getattr(core, request.param, None)
    if function is None:
        pytest.skip(f"{request.param} is not built yet")
    return request.param, function


class TestOrderingFunctionBinding:
    PAGE = (0, 0, 1, 1)

    def test_missing(self, ordering):
        name, function = ordering
        assert raised_message(lambda: function()) == (
            f"{name}() missing 2 required positional arguments: 'elements' and 'page_bounds'"
        )
        assert raised_message(lambda: function([])) == (
            f"{name}() missing 1 required positional argument: 'page_bounds'"
        )
        assert raised_message(lambda: function(config=None)) == (
            f"{name}() missing 2 required positional arguments: 'elements' and 'page_bounds'"
        )

    def test_too_many_positional(self, ordering):
        name, function = ordering
        assert raised_message(lambda: function([], self.PAGE, None, None)) == (
            f"{name}() takes from 2 to 3 positional arguments but 4 were given"
        )

    def test_keyword_errors(self, ordering):
        name, function = ordering
        assert raised_message(lambda: function([], self.PAGE, cfg=XYCutConfig())) == (
            f"{name}() got an unexpected keyword argument 'cfg'"
        )
        assert raised_message(lambda: function([], self.PAGE, elements=[])) == (
            f"{name}() got multiple values for argument 'elements'"
        )

    def test_keywords_are_accepted(self, ordering):
        _, function = ordering
        element = Element(*ELEMENT_ARGS)
        assert function(page_bounds=(0, 0, 100, 100), config=None, elements=[element]) == [1]
