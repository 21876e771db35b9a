"""The classes SemanticLabel, Element and XYCutConfig as Python sees them."""

import gc
import math
import operator
import sys
import threading
import weakref

import pytest

from tarvello._tarvello_core import Element, SemanticLabel, XYCutConfig

REGULAR = SemanticLabel.Regular
MEMBERS = [
    ("CrossLayout", 0),
    ("HorizontalTitle", 1),
    ("VerticalTitle", 2),
    ("Vision", 3),
    ("Regular", 4),
]
CLASSES = [SemanticLabel, Element, XYCutConfig]
LARGEST_FLOAT32 = float.fromhex("0x1.fffffep127")
# Halfway between the largest float32 and 2**128: ties to even round it up.
FLOAT32_OVERFLOW = float.fromhex("0x1.ffffffp127")


def box(**fields):
    values = dict(id=1, x1=0.0, y1=0.0, x2=10.0, y2=10.0, label=REGULAR)
    values.update(fields)
    return Element(**values)


class TestClassObjects:
    @pytest.mark.parametrize("cls", CLASSES)
    def test_names_and_module(self, cls):
        assert cls.__module__ == "builtins"
        assert cls.__qualname__ == cls.__name__
        assert cls.__name__ in {"SemanticLabel", "Element", "XYCutConfig"}

    @pytest.mark.parametrize(
        "cls, signature",
        [
            (Element, "(id, x1, y1, x2, y2, label)"),
            (XYCutConfig, "(min_cut_threshold=15.0, histogram_resolution_scale=0.5, same_row_tolerance=10.0)"),
        ],
    )
    def test_text_signature_and_empty_doc(self, cls, signature):
        assert cls.__text_signature__ == signature
        assert cls.__doc__ == ""

    def test_semantic_label_has_no_doc(self):
        assert SemanticLabel.__doc__ is None

    @pytest.mark.parametrize("cls", CLASSES)
    def test_cannot_be_subclassed(self, cls):
        with pytest.raises(TypeError, match="is not an acceptable base type"):
            type("Sub", (cls,), {})

    @pytest.mark.parametrize("make", [lambda: REGULAR, box, XYCutConfig])
    def test_instances_have_no_dict_no_weakref_no_gc(self, make):
        instance = make()
        with pytest.raises(AttributeError):
            instance.extra = 1
        with pytest.raises(TypeError):
            weakref.ref(instance)
        assert not gc.is_tracked(instance)

    @pytest.mark.parametrize("cls", CLASSES)
    def test_class_attributes_stay_settable(self, cls):
        cls.scratch_attribute = 1
        try:
            assert cls.scratch_attribute == 1
        finally:
            del cls.scratch_attribute

    @pytest.mark.parametrize("cls", CLASSES)
    def test_no_hooks_of_their_own(self, cls):
        for name in ("__slots__", "__match_args__", "__reduce__", "__copy__", "__eq__", "__lt__", "__hash__"):
            assert name not in vars(cls)


class TestSemanticLabel:
    def test_members_are_class_attributes_in_code_order(self):
        public = [name for name in vars(SemanticLabel) if not name.startswith("_")]
        assert public == [name for name, _ in MEMBERS]

    @pytest.mark.parametrize("name, code", MEMBERS)
    def test_member_int_repr_and_str(self, name, code):
        member = getattr(SemanticLabel, name)
        assert type(member) is SemanticLabel
        assert int(member) == code
        assert repr(member) == f"SemanticLabel.{name}"
        assert str(member) == f"SemanticLabel.{name}"

    def test_cannot_be_instantiated(self):
        with pytest.raises(TypeError, match="cannot create 'builtins.SemanticLabel' instances"):
            SemanticLabel()

    def test_equality_is_identity(self):
        assert SemanticLabel.Vision == SemanticLabel.Vision
        assert SemanticLabel.Vision != SemanticLabel.Regular
        assert SemanticLabel.Vision != 3
        assert hash(SemanticLabel.Vision) == object.__hash__(SemanticLabel.Vision)

    @pytest.mark.parametrize("compare", [operator.lt, operator.le, operator.gt, operator.ge])
    def test_no_ordering(self, compare):
        with pytest.raises(TypeError):
            compare(SemanticLabel.Vision, SemanticLabel.Regular)

    @pytest.mark.parametrize(
        "use",
        [operator.index, lambda m: m + 1, lambda m: -m, float, lambda m: [0, 1, 2, 3, 4, 5][m]],
    )
    def test_no_other_numeric_behaviour(self, use):
        with pytest.raises(TypeError):
            use(SemanticLabel.Vision)


class TestElementConstruction:
    @pytest.mark.parametrize(
        "given, stored",
        [
            (0.1, 0.10000000149011612),
            (1e39, math.inf),
            (-1e39, -math.inf),
            (LARGEST_FLOAT32, LARGEST_FLOAT32),
            (FLOAT32_OVERFLOW, math.inf),
            (math.nextafter(FLOAT32_OVERFLOW, 0), LARGEST_FLOAT32),
            (2.0**24 + 1, 2.0**24),
            (1e-46, 0.0),
            (7, 7.0),
            (True, 1.0),
        ],
    )
    @pytest.mark.parametrize("field", ["x1", "y1", "x2", "y2"])
    def test_coordinates_are_rounded_to_single_precision(self, field, given, stored):
        assert getattr(box(**{field: given}), field) == stored

    def test_nan_and_negative_zero_are_kept(self):
        element = box(x1=math.nan, y1=-0.0)
        assert math.isnan(element.x1)
        assert math.copysign(1.0, element.y1) == -1.0

    def test_inverted_corners_are_accepted(self):
        element = Element(1, 10, 10, 0, 0, REGULAR)
        assert (element.x1, element.y1, element.x2, element.y2) == (10.0, 10.0, 0.0, 0.0)

    def test_number_protocols_are_accepted(self):
        class HasFloat:
            def __float__(self):
                return 2.5

        class HasIndex:
            def __index__(self):
                return 3

        class FloatSubclass(float):
            pass

        element = Element(1, HasFloat(), HasIndex(), FloatSubclass(0.1), 4, REGULAR)
        assert (element.x1, element.y1, element.x2, element.y2) == (2.5, 3.0, 0.10000000149011612, 4.0)

    @pytest.mark.parametrize("id", [0, 1, 2**63, 2**64 - 1])
    def test_id_range(self, id):
        assert box(id=id).id == id

    def test_id_from_int_subclass_and_index(self):
        class Big(int):
            def __index__(self):
                raise AssertionError("an int subclass is read directly")

        class Index:
            def __index__(self):
                return 42

        assert box(id=Big(7)).id == 7
        assert box(id=True).id == 1
        assert box(id=Index()).id == 42

    @pytest.mark.parametrize("id", [-1, -(2**64), 2**64, 2**100])
    def test_out_of_range_id_is_an_unwrapped_overflow(self, id):
        with pytest.raises(OverflowError) as raised:
            box(id=id)
        assert not str(raised.value).startswith("argument")

    @pytest.mark.parametrize(
        "field, value, message",
        [
            ("id", 1.0, "argument 'id': 'float' object cannot be interpreted as an integer"),
            ("id", "1", "argument 'id': 'str' object cannot be interpreted as an integer"),
            ("id", None, "argument 'id': 'NoneType' object cannot be interpreted as an integer"),
            ("label", 3, "argument 'label': 'int' object is not an instance of 'SemanticLabel'"),
            ("label", None, "argument 'label': 'None' is not an instance of 'SemanticLabel'"),
            ("label", "Regular", "argument 'label': 'str' object is not an instance of 'SemanticLabel'"),
            ("label", SemanticLabel, "argument 'label': 'type' object is not an instance of 'SemanticLabel'"),
        ],
    )
    def test_wrong_kind_of_id_or_label(self, field, value, message):
        with pytest.raises(TypeError) as raised:
            box(**{field: value})
        assert str(raised.value) == message

    def test_conversions_run_in_parameter_order(self):
        with pytest.raises(TypeError, match="^argument 'y1'"):
            Element(1, 0, "y1", "x2", 0, None)
        with pytest.raises(OverflowError):
            Element(-1, "x1", 0, 0, 0, None)


class TestElementAttributes:
    @pytest.mark.parametrize("name, _", MEMBERS)
    def test_label_is_the_member_itself(self, name, _):
        member = getattr(SemanticLabel, name)
        assert box(label=member).label is member

    def test_values_and_types(self):
        element = Element(2**64 - 1, 1, 2.5, 3, 4, SemanticLabel.Vision)
        assert (element.id, element.x1, element.y1, element.x2, element.y2) == (2**64 - 1, 1.0, 2.5, 3.0, 4.0)
        assert type(element.id) is int
        assert all(type(getattr(element, f)) is float for f in ("x1", "y1", "x2", "y2"))

    @pytest.mark.parametrize("field", ["id", "x1", "y1", "x2", "y2", "label"])
    def test_attributes_are_read_only(self, field):
        element = box(id=5, x1=1.0)
        before = getattr(element, field)
        with pytest.raises(AttributeError, match="not writable"):
            setattr(element, field, before)
        with pytest.raises(AttributeError, match="not writable"):
            delattr(element, field)
        assert getattr(element, field) == before

    def test_default_repr_and_identity_equality(self):
        first, second = box(), box()
        assert repr(first).startswith("<builtins.Element object at 0x")
        assert first == first
        assert first != second
        assert hash(first) != hash(second)


CONFIG_FIELDS = ["min_cut_threshold", "histogram_resolution_scale", "same_row_tolerance"]
DEFAULTS = (15.0, 0.5, 10.0)


def config_values(config):
    return tuple(getattr(config, field) for field in CONFIG_FIELDS)


class TestXYCutConfig:
    @pytest.mark.parametrize(
        "args, kwargs, expected",
        [
            ((), {}, DEFAULTS),
            ((), {"same_row_tolerance": 4}, (15.0, 0.5, 4.0)),
            ((1,), {}, (1.0, 0.5, 10.0)),
            ((1, 2), {"same_row_tolerance": 3}, (1.0, 2.0, 3.0)),
            ((), {"histogram_resolution_scale": 0.1}, (15.0, 0.10000000149011612, 10.0)),
            ((-1, 0, 1e39), {}, (-1.0, 0.0, math.inf)),
        ],
    )
    def test_construction_and_defaults(self, args, kwargs, expected):
        assert config_values(XYCutConfig(*args, **kwargs)) == expected

    @pytest.mark.parametrize("position, field", list(enumerate(CONFIG_FIELDS)))
    def test_none_is_not_a_default(self, position, field):
        args = [1.0] * position + [None]
        with pytest.raises(TypeError) as raised:
            XYCutConfig(*args)
        assert str(raised.value) == f"argument '{field}': must be real number, not NoneType"

    @pytest.mark.parametrize("field", CONFIG_FIELDS)
    @pytest.mark.parametrize("value, stored", [(4, 4.0), (0.1, 0.10000000149011612), (-1e39, -math.inf)])
    def test_assignment_converts_like_the_constructor(self, field, value, stored):
        config = XYCutConfig()
        setattr(config, field, value)
        assert getattr(config, field) == stored

    @pytest.mark.parametrize("field", CONFIG_FIELDS)
    @pytest.mark.parametrize("value, kind", [("x", "str"), (None, "NoneType"), ([], "list")])
    def test_failed_assignment_keeps_the_value(self, field, value, kind):
        config = XYCutConfig(1, 2, 3)
        with pytest.raises(TypeError) as raised:
            setattr(config, field, value)
        assert str(raised.value) == f"argument '{field}': must be real number, not {kind}"
        assert config_values(config) == (1.0, 2.0, 3.0)

    @pytest.mark.parametrize("field", CONFIG_FIELDS)
    def test_attributes_cannot_be_deleted(self, field):
        config = XYCutConfig()
        with pytest.raises(AttributeError) as raised:
            delattr(config, field)
        assert str(raised.value) == "property has no deleter"
        assert config_values(config) == DEFAULTS

    def test_instances_are_independent_and_compare_by_identity(self):
        first, second = XYCutConfig(), XYCutConfig()
        first.min_cut_threshold = 1
        assert second.min_cut_threshold == 15.0
        assert first != second
        assert repr(first).startswith("<builtins.XYCutConfig object at 0x")


class TestThreads:
    def test_readers_see_only_assigned_values_while_writers_assign(self):
        # Every value is exact in single precision, so a read can be compared as is.
        assigned = [1.0, 2.5, -3.0, 1024.0, 0.5]
        allowed = set(assigned) | set(DEFAULTS)
        config = XYCutConfig()
        element = Element(9, 1, 2, 3, 4, SemanticLabel.Vision)
        stop = threading.Event()
        seen = []
        failures = []

        def write(offset):
            try:
                count = 0
                while not stop.is_set():
                    for field in CONFIG_FIELDS:
                        setattr(config, field, assigned[(count + offset) % len(assigned)])
                    count += 1
            except BaseException as error:  # noqa: BLE001 - reported below
                failures.append(error)

        def read():
            try:
                values = set()
                for _ in range(20000):
                    values.update(config_values(config))
                    assert element.label is SemanticLabel.Vision
                    assert (element.id, element.x2) == (9, 3.0)
                seen.append(values)
            except BaseException as error:  # noqa: BLE001 - reported below
                failures.append(error)

        interval = sys.getswitchinterval()
        sys.setswitchinterval(1e-6)
        try:
            writers = [threading.Thread(target=write, args=(n,)) for n in range(3)]
            readers = [threading.Thread(target=read) for _ in range(4)]
            for thread in writers + readers:
                thread.start()
            for thread in readers:
                thread.join()
            stop.set()
            for thread in writers:
                thread.join()
        finally:
            sys.setswitchinterval(interval)

        assert failures == []
        assert len(seen) == len(readers)
        assert set().union(*seen) <= allowed
        assert config_values(config)[0] in allowed
