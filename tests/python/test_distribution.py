"""What an installed wheel holds: modules, library, stubs, samples, console script, version."""

import subprocess
import sys
from importlib import metadata
from pathlib import Path

import pytest

import tarvello

try:
    DISTRIBUTION = metadata.distribution("tarvello")
except metadata.PackageNotFoundError:
    pytest.skip("the package is not installed here (a staged test run)", allow_module_level=True)


def test_the_wheel_holds_the_modules_stubs_samples_and_console_script():
    files = {Path(str(f)).name for f in DISTRIBUTION.files or [] if str(f).startswith("tarvello/")}
    assert {"libtarvello_native.so", "_tarvello_core.pyi", "_boxes.pyi", "py.typed", "paper.json", "newspaper.json",
            "form.json"} <= files
    assert {name.split(".")[0] for name in files if name.endswith(".so")} == {"_tarvello_core", "_boxes", "libtarvello_native"}
    [script] = [e for e in DISTRIBUTION.entry_points if e.group == "console_scripts"]
    assert (script.name, script.value) == ("tarvello", "tarvello.cli:run")


def test_the_version_comes_from_the_metadata():
    assert tarvello.__version__ == DISTRIBUTION.version
    done = subprocess.run([Path(sys.executable).parent / "tarvello", "--version"], capture_output=True, text=True)
    assert (done.returncode, done.stdout) == (0, f"tarvello {DISTRIBUTION.version}\n")
