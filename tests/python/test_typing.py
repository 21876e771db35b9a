"""The stubs match the built module, and the package's own code type-checks."""

import subprocess
import sys
from pathlib import Path

import pytest

import tarvello

pytest.importorskip("mypy")
# mypy runs in child processes, for tens of seconds each under the leak hunt's debug interpreter, which cannot see them.
pytestmark = pytest.mark.skipif(hasattr(sys, "gettotalrefcount"), reason="runs in child processes")

INSTALLED = Path(tarvello.__file__).parent
SOURCES = Path(__file__).resolve().parents[2] / "python" / "tarvello"


def python_m(*args, cwd):
    result = subprocess.run([sys.executable, "-m", *map(str, args)], capture_output=True, text=True, cwd=cwd, timeout=120)
    return result.returncode, result.stdout + result.stderr


def test_the_stubs_ship_with_the_package_true_to_the_built_module(tmp_path):
    assert (INSTALLED / "py.typed").is_file()
    assert (INSTALLED / "_tarvello_core.pyi").read_text() == (SOURCES / "_tarvello_core.pyi").read_text()
    # From an empty folder, so that the installed package is the one checked.
    status, output = python_m("mypy.stubtest", "tarvello._tarvello_core", cwd=tmp_path)
    assert status == 0, output


USE = """
from tarvello import Element, SemanticLabel, XYCutConfig, compute_order, order_boxes

elements = [Element(1, 0.0, 0.0, 10.0, 10.0, SemanticLabel.Vision)]
ids: list[int] = compute_order(elements, (0, 0, 612, 792), XYCutConfig(same_row_tolerance=4))
indices: list[int] = order_boxes([(0, 0, 10, 10)], ["title"], engine="ostrel")
label: SemanticLabel = elements[0].label
code: int = int(label)
"""

MISUSE = {
    "compute_order([1], (0, 0, 1, 1))": 'List item 0 has incompatible type "int"; expected "Element"',
    "Element(1, 0, 0, 1, 1, 3)": 'Argument 6 to "Element" has incompatible type "int"; expected "SemanticLabel"',
    "Element(1, 0, 0, 1, 1, SemanticLabel.Regular).x1 = 2.0": 'Property "x1" defined in "Element" is read-only',
    "XYCutConfig(same_row=4)": 'Unexpected keyword argument "same_row" for "XYCutConfig"',
}


def test_the_package_and_a_user_program_pass_strict_mypy_and_misuse_is_caught(tmp_path):
    # One run for all: each run checks the whole package again. The misuse is all there is to find.
    program = tmp_path / "use.py"
    program.write_text(USE + "\n".join(MISUSE) + "\n")
    status, output = python_m("mypy", "--strict", "--no-incremental", "--cache-dir", "/dev/null", SOURCES, program, cwd=tmp_path)
    assert status == 1 and all(message in output for message in MISUSE.values()), output
    assert f"Found {len(MISUSE)} errors in 1 file " in output, output
