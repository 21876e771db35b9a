import subprocess
import sys
import textwrap

import pytest

import tarvello
from tarvello import _tarvello_core as core

PUBLISHED = [
    "reset_log_cache",
    "compute_order_ostrel",
    "compute_order",
    "compute_order_paper",
    "XYCutConfig",
    "SemanticLabel",
    "Element",
]


def test_all_lists_the_seven_names_in_registration_order():
    assert core.__all__ == PUBLISHED
    assert core.__doc__ == ""
    assert sorted(tarvello.__all__) == sorted(PUBLISHED + ["order_boxes"])
    for name in PUBLISHED:
        assert getattr(tarvello, name) is getattr(core, name)


@pytest.mark.parametrize("name", ["compute_order", "compute_order_paper", "compute_order_ostrel"])
def test_ordering_functions_have_signatures_and_no_doc(name):
    function = getattr(core, name)
    assert function.__text_signature__ == "(elements, page_bounds, config=None)"
    assert function.__doc__ is None
    assert function.__self__ is core
    assert function.__module__ == core.__name__
    assert function.__name__ == name


def test_reset_log_cache_has_a_spanish_doc_and_takes_nothing():
    assert core.reset_log_cache.__text_signature__ == "()"
    first, second = core.reset_log_cache.__doc__.split("\n\n")
    assert "caché" in first
    assert len(second.splitlines()) == 3
    assert core.reset_log_cache() is None
    assert core.reset_log_cache() is None
    with pytest.raises(TypeError, match=r"takes no arguments \(1 given\)"):
        core.reset_log_cache(1)


def run_python(code):
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, check=True
    )


def test_second_initialisation_fails_with_the_internal_fault_and_the_first_keeps_working():
    result = run_python(
        """
        import importlib, sys
        import tarvello._tarvello_core as first
        del sys.modules["tarvello._tarvello_core"]
        try:
            importlib.import_module("tarvello._tarvello_core")
        except BaseException as error:
            print(type(error).__name__, isinstance(error, Exception), error)
        print(first.compute_order([], (0, 0, 1, 1)))
        """
    )
    lines = result.stdout.splitlines()
    assert lines[0].startswith("PanicException False ")
    assert "SetLoggerError" in lines[0]
    assert lines[1] == "[]"
    assert "internal fault" in result.stderr
