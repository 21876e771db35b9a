import pytest
from conftest import element

from tarvello import (
    Element,
    SemanticLabel,
    XYCutConfig,
    compute_order,
    compute_order_ostrel,
    compute_order_paper,
)

ORDERING_FUNCTIONS = [compute_order, compute_order_paper, compute_order_ostrel]
PAGE = (0, 0, 100, 100)

# Two columns, listed right column first: every engine reads left then right.
LEFT_TOP = element(1, 0, 0, 40, 10)
LEFT_BOTTOM = element(2, 0, 20, 40, 30)
RIGHT_TOP = element(3, 60, 0, 100, 10)
RIGHT_BOTTOM = element(4, 60, 20, 100, 30)
TWO_COLUMNS = [RIGHT_BOTTOM, RIGHT_TOP, LEFT_BOTTOM, LEFT_TOP]


@pytest.mark.parametrize("function", ORDERING_FUNCTIONS)
class TestOrders:
    def test_empty_page_gives_an_empty_list(self, function):
        assert function([], PAGE) == []

    def test_two_columns_read_column_by_column(self, function):
        assert function(TWO_COLUMNS, PAGE) == [1, 2, 3, 4]

    def test_tuple_and_keywords_are_accepted(self, function):
        assert function(elements=tuple(TWO_COLUMNS), page_bounds=(0, 0, 612, 792)) == [1, 2, 3, 4]

    def test_largest_id_and_duplicates_come_back(self, function):
        big = 2**64 - 1
        result = function([element(big, 0, 0, 10, 10), element(big, 0, 50, 10, 60)], PAGE)
        assert result == [big, big]
        assert all(type(i) is int for i in result)

    def test_config_none_is_the_same_as_omitting_it(self, function):
        assert function(TWO_COLUMNS, PAGE, None) == function(TWO_COLUMNS, PAGE)
        assert function(TWO_COLUMNS, PAGE, XYCutConfig()) == function(TWO_COLUMNS, PAGE)

    def test_a_lying_length_does_not_reserve_a_trillion(self, function):
        class Lying(list):
            def __len__(self):
                return 10**12

        assert function(Lying(TWO_COLUMNS), PAGE) == [1, 2, 3, 4]


@pytest.mark.parametrize("bounds", [(0, 0, 0, 792), (10, 0, 5, 100), (0, 0, float("nan"), 1)])
def test_paper_engine_refuses_an_unusable_page(bounds):
    assert compute_order(TWO_COLUMNS, bounds) == []
    assert compute_order_ostrel(TWO_COLUMNS, bounds) == [1, 2, 3, 4]


def test_ostrel_ignores_page_bounds_and_config_values():
    config = XYCutConfig(1, 2, 3)
    assert compute_order_ostrel(TWO_COLUMNS, (5, 5, 6, 6), config) == compute_order_ostrel(TWO_COLUMNS, PAGE)


def test_masked_title_goes_before_the_text_under_it():
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


def generator():
    yield LEFT_TOP


@pytest.mark.parametrize("function", ORDERING_FUNCTIONS)
@pytest.mark.parametrize(
    "elements, page_bounds, config, error, message",
    [
        ("abc", (0, 0, 1, 1), None, TypeError, "argument 'elements': Can't extract `str` to `Vec`"),
        (generator(), PAGE, None, TypeError, "argument 'elements': 'generator' object is not an instance of 'Sequence'"),
        ([(1, 2)], PAGE, None, TypeError, "argument 'elements': 'tuple' object is not an instance of 'Element'"),
        ([None], PAGE, None, TypeError, "argument 'elements': 'None' is not an instance of 'Element'"),
        ([LEFT_TOP], [0, 0, 100, 100], None, TypeError, "argument 'page_bounds': 'list' object is not an instance of 'tuple'"),
        ([LEFT_TOP], (0, 0, 1), None, ValueError, "expected tuple of length 4, but got tuple of length 3"),
        ([LEFT_TOP], (0, 0, 1, "x"), None, TypeError, "argument 'page_bounds': must be real number, not str"),
        ([LEFT_TOP], PAGE, {}, TypeError, "argument 'config': 'dict' object is not an instance of 'XYCutConfig'"),
        # The first failing argument wins; later ones are not looked at.
        ("abc", [0], {}, TypeError, "argument 'elements': Can't extract `str` to `Vec`"),
    ],
)
def test_conversion_errors(function, elements, page_bounds, config, error, message):
    with pytest.raises(error) as raised:
        function(elements, page_bounds, config)
    assert str(raised.value) == message
    assert type(raised.value) is error


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: compute_order([LEFT_TOP]), "compute_order() missing 1 required positional argument: 'page_bounds'"),
        (lambda: compute_order(), "compute_order() missing 2 required positional arguments: 'elements' and 'page_bounds'"),
        (lambda: compute_order([], PAGE, None, 4), "compute_order() takes from 2 to 3 positional arguments but 4 were given"),
        (lambda: compute_order([], PAGE, cfg=None), "compute_order() got an unexpected keyword argument 'cfg'"),
        (lambda: compute_order([], PAGE, elements=[]), "compute_order() got multiple values for argument 'elements'"),
        (lambda: compute_order_ostrel(page_bounds=PAGE), "compute_order_ostrel() missing 1 required positional argument: 'elements'"),
    ],
)
def test_binding_errors_name_the_function(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message


def test_sequence_failing_midway_raises_its_own_error():
    class Broken:
        def __len__(self):
            return 2

        def __getitem__(self, index):
            if index == 1:
                raise KeyError("midway")
            return LEFT_TOP

    with pytest.raises(KeyError, match="midway"):
        compute_order(Broken(), PAGE)


def test_elements_are_copied_before_the_engine_runs():
    config = XYCutConfig()
    elements = list(TWO_COLUMNS)
    result = compute_order(elements, PAGE, config)
    config.min_cut_threshold = 1000.0
    elements.clear()
    assert result == [1, 2, 3, 4]
    assert isinstance(LEFT_TOP, Element)
