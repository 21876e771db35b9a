"""The native module as Python sees it: its names, SemanticLabel, Element and XYCutConfig, and a second
initialisation that fails cleanly."""

import gc
import math
import operator
import subprocess
import sys
import textwrap
import weakref

import pytest

import tarvello
from tarvello import Element, SemanticLabel, XYCutConfig
from tarvello import _tarvello_core as core

REGULAR = SemanticLabel.Regular
MEMBERS = ["CrossLayout", "HorizontalTitle", "VerticalTitle", "Vision", "Regular"]
FIELDS = ["min_cut_threshold", "histogram_resolution_scale", "same_row_tolerance"]
LARGEST_FLOAT32 = float.fromhex("0x1.fffffep127")
# Halfway between the largest float32 and 2**128: ties to even round it up.
FLOAT32_OVERFLOW = float.fromhex("0x1.ffffffp127")


def config_values(config):
    return tuple(getattr(config, field) for field in FIELDS)


def test_the_package_publishes_the_modules_names_and_the_plain_box_path():
    assert set(tarvello.__all__) == {*core.__all__, "order_boxes", "order_lines", "order_pages"} and len(core.__all__) == 7
    assert all(getattr(tarvello, name) is getattr(core, name) for name in core.__all__)


def test_a_second_initialisation_fails_with_the_internal_fault_and_the_first_keeps_working():
    code = """
        import importlib, sys
        import tarvello._tarvello_core as first
        del sys.modules["tarvello._tarvello_core"]
        try:
            importlib.import_module("tarvello._tarvello_core")
        except BaseException as error:
            print(type(error).__name__, isinstance(error, Exception), error)
        print(first.compute_order([], (0, 0, 1, 1)))
        """
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, check=True)
    fault, order = result.stdout.splitlines()
    assert fault.startswith("PanicException False ") and "SetLoggerError" in fault
    assert order == "[]"
    assert "internal fault" in result.stderr


@pytest.mark.parametrize("make", [lambda: REGULAR, lambda: Element(1, 0, 0, 1, 1, REGULAR), XYCutConfig])
def test_final_classes_of_builtins_with_plain_instances(make):
    instance = make()
    cls = type(instance)
    assert (cls.__module__, cls.__qualname__) == ("builtins", cls.__name__)
    with pytest.raises(TypeError, match="is not an acceptable base type"):
        type("Sub", (cls,), {})
    cls.scratch_attribute = 1  # the class's own attributes stay settable
    del cls.scratch_attribute
    # No dict, no weak references, no garbage collection.
    with pytest.raises(AttributeError):
        instance.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(instance)
    assert not gc.is_tracked(instance)
    if cls is not SemanticLabel:  # members are made once
        other = make()
        assert repr(instance).startswith(f"<builtins.{cls.__name__} object at 0x")
        assert instance == instance and instance != other and hash(instance) != hash(other)


def test_label_members_in_code_order():
    assert [name for name in vars(SemanticLabel) if not name.startswith("_")] == MEMBERS
    for code, name in enumerate(MEMBERS):
        member = getattr(SemanticLabel, name)
        assert type(member) is SemanticLabel and int(member) == code
        assert repr(member) == str(member) == f"SemanticLabel.{name}"
        assert Element(1, 0, 0, 1, 1, member).label is member


def test_labels_compare_by_identity_and_have_no_order_or_arithmetic():
    vision = SemanticLabel.Vision
    assert vision == SemanticLabel.Vision and vision != REGULAR and vision != 3
    assert hash(vision) == object.__hash__(vision)
    for use in (operator.lt, operator.ge, operator.add, lambda m, _: -m, lambda m, _: operator.index(m), lambda m, _: float(m)):
        with pytest.raises(TypeError):
            use(vision, REGULAR)


@pytest.mark.parametrize("given, stored", [
    (type("FloatSubclass", (float,), {})(0.1), 0.10000000149011612), (1e39, math.inf), (-1e39, -math.inf),
    (LARGEST_FLOAT32, LARGEST_FLOAT32), (FLOAT32_OVERFLOW, math.inf), (math.nextafter(FLOAT32_OVERFLOW, 0), LARGEST_FLOAT32),
    (2.0**24 + 1, 2.0**24), (1e-46, 0.0), (True, 1.0), (-1, -1.0),
])
def test_coordinates_and_settings_are_rounded_to_single_precision(given, stored):
    element, config, assigned = Element(1, given, given, given, given, REGULAR), XYCutConfig(given, given, given), XYCutConfig()
    for field in FIELDS:
        setattr(assigned, field, given)
    for values in [(element.x1, element.y1, element.x2, element.y2), config_values(config), config_values(assigned)]:
        assert values == (stored,) * len(values) and all(type(value) is float for value in values)


def test_element_keeps_each_value_where_it_was_given():
    # An int subclass is read directly, not through __index__.
    Big = type("Big", (int,), {"__index__": lambda self: 1 / 0})
    HasFloat, HasIndex = type("HasFloat", (), {"__float__": lambda self: 2.5}), type("HasIndex", (), {"__index__": lambda self: 3})
    # Keywords in any order; inverted corners, NaN and negative zero as given.
    element = Element(Big(7), HasFloat(), label=SemanticLabel.Vision, y2=math.nan, x2=-0.0, y1=HasIndex())
    assert (element.id, element.x1, element.y1, element.label) == (7, 2.5, 3.0, SemanticLabel.Vision)
    assert math.copysign(1.0, element.x2) == -1.0 and math.isnan(element.y2)
    ids = [Element(id, 0, 0, 1, 1, REGULAR).id for id in (0, 2**64 - 1, True, HasIndex())]
    assert ids == [0, 2**64 - 1, 1, 3] and all(type(id) is int for id in ids)


def test_config_defaults_positions_and_keywords_per_instance():
    configs = [XYCutConfig(), XYCutConfig(1), XYCutConfig(1, 2, same_row_tolerance=3), XYCutConfig(histogram_resolution_scale=0)]
    assert [config_values(c) for c in configs] == [(15.0, 0.5, 10.0), (1.0, 0.5, 10.0), (1.0, 2.0, 3.0), (15.0, 0.0, 10.0)]
    configs[0].min_cut_threshold = 4
    assert config_values(configs[0]) == (4.0, 0.5, 10.0) and config_values(XYCutConfig()) == (15.0, 0.5, 10.0)
