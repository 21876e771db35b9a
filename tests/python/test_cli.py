"""The command line, end to end, through subprocesses."""

import contextlib
import json
import os
import pty
import re
import subprocess
import sys
from importlib import metadata, resources
from pathlib import Path

import pytest

from tarvello.cli import main

# The leak hunt runs every test six times and cannot see child processes.
IN_CHILD_PROCESSES = pytest.mark.skipif(hasattr(sys, "gettotalrefcount"), reason="runs in child processes")
pytestmark = IN_CHILD_PROCESSES

SAMPLE_DIR = Path(str(resources.files("tarvello").joinpath("samples")))
SAMPLES = sorted(SAMPLE_DIR.glob("*.json"))


def run(*args, input=None, cwd=None):
    result = subprocess.run([sys.executable, "-m", "tarvello", *map(str, args)], input=input, capture_output=True,
                            text=True, cwd=cwd, timeout=60)
    assert "Traceback" not in result.stderr
    return result


def lines(text):
    return [json.loads(line) for line in text.splitlines()]


def page(*elements, bounds=(0, 0, 100, 100), **extra):
    return {**extra, "page_bounds": list(bounds), "elements": list(elements)}


def element(id, x1, y1, x2, y2, label="text"):
    return {"id": id, "bbox": [x1, y1, x2, y2], "label": label}


def jsonl(*pages):
    return "".join(json.dumps(p) + "\n" for p in pages)


# Two columns, listed right column first.
TWO_COLUMNS = page(element(4, 60, 20, 100, 30), element(3, 60, 0, 100, 10), element(2, 0, 20, 40, 30), element(1, 0, 0, 40, 10))
ALONE = page({"id": 9, "bbox": [10, 10, 90, 20]})  # no label: Regular


def test_documents_lists_blank_lines_and_unknown_keys(tmp_path):
    # A single page per document is the samples' form (below).
    (tmp_path / "many.json").write_text(json.dumps([ALONE, {**TWO_COLUMNS, "page_id": "p2"}], indent=1))
    noisy = {**ALONE, "width": 100, "elements": [{**ALONE["elements"][0], "score": 0.9}]}
    (tmp_path / "noisy.jsonl").write_text("\n" + jsonl(noisy) + "\n\n" + jsonl(noisy))
    result = run("order", "many.json", "noisy.jsonl", cwd=tmp_path)
    assert (result.returncode, result.stderr) == (0, "")
    assert lines(result.stdout) == [
        {"file": "many.json", "page": 0, "order": [9]},
        {"file": "many.json", "page": "p2", "order": [1, 2, 3, 4]},
        {"file": "noisy.jsonl", "page": 0, "order": [9]},
        {"file": "noisy.jsonl", "page": 1, "order": [9]},
    ]


@pytest.mark.parametrize("options, order", [
    (["--engine", "paper"], [1, 2, 4, 5, 6, 7, 8, 9, 3, 10, 11, 12, 13, 14]),
    ([], list(range(1, 15))),
    (["--engine", "paper", "--min-cut-threshold", "4", "--histogram-resolution-scale", "1", "--same-row-tolerance", "30"],
     [1, 2, 3, 10, 4, 5, 6, 8, 7, 9, 11, 12, 13, 14]),
])
def test_engine_and_tuning_options_reach_the_engine(options, order):
    result = run("order", *options, SAMPLE_DIR / "newspaper.json")
    assert lines(result.stdout) == [{"page": "newspaper-a1", "order": order}]


def test_read_right_to_left_the_right_column_comes_first_into_a_file(tmp_path):
    result = run("order", "--direction", "rtl", "--output", tmp_path / "out.jsonl", "-", input=jsonl(TWO_COLUMNS))
    assert (result.returncode, result.stdout) == (0, "")
    assert (tmp_path / "out.jsonl").read_text() == '{"page": 0, "order": [3, 4, 1, 2]}\n'


def test_the_console_script_is_installed():
    try:
        metadata.distribution("tarvello")
    except metadata.PackageNotFoundError:
        pytest.skip("the package is not installed here (a staged test run)")
    script = Path(sys.executable).parent / "tarvello"
    result = subprocess.run([script, "order", "-"], input=jsonl(ALONE), capture_output=True, text=True)
    assert (result.returncode, result.stdout) == (0, '{"page": 0, "order": [9]}\n')


# The page's own checks, and one nested value for the field path (single values are order_boxes's, test_plain_path).
BAD_PAGES = [
    ('{"page_bounds": [0, 0, 100, 100], "elements": [}', None, "invalid JSON: Expecting value (column 48)"),
    (json.dumps(page({"id": 5, "label": "text"})), None, 'elements[0]: missing field "bbox"'),
    (json.dumps({"page_id": "p3", "elements": []}), "p3", 'page: missing field "page_bounds"'),
    (json.dumps(page({"id": 5, "bbox": [0, "0", 10, 10]})), None, "elements[0].bbox[1]: expected a number, got the string '0'"),
    # An int past the doubles was a traceback once.
    (json.dumps(page({"id": 5, "bbox": [0, 0, 1, 10**400]})), None,
     "elements[0].bbox[3]: expected a finite number, got an integer too large for a float"),
    (json.dumps(page({"id": -1, "bbox": [0, 0, 1, 1]})), None, "elements[0].id: expected an integer from 0 to 2**64 - 1, got -1"),
    (json.dumps(page({"id": 1.5, "bbox": [0, 0, 1, 1]})), None, "elements[0].id: expected an integer, got the number 1.5"),
    (json.dumps(page(element(5, 0, 0, 1, 1), element(5, 0, 5, 1, 6))), None, "elements[1].id: 5 is also the id of elements[0]"),
    ("[1, 2]", None, "page: expected an object, got a list of 2"),
    (json.dumps({"page_bounds": [0, 0, 1, 1], "elements": {}}), None, "elements: expected a list of elements, got an object"),
    (json.dumps({**ALONE, "page_id": [1]}), None, "page_id: expected a string or an integer, got a list of 1"),
]


# Of all the lines below, what each run writes: with --keep-going every page and a failure at the end; without, a
# stop at the first bad page; a missing file named after the files before it.
@pytest.mark.parametrize("args, out, err", [
    (["--keep-going", "pages.jsonl", "-"], slice(None), slice(-1)), (["pages.jsonl", "-"], slice(1), slice(1)),
    (["-", "missing.json"], slice(-1, None), slice(-1, None)),
])
def test_a_bad_page_or_a_missing_file_stops_the_run_or_with_keep_going_makes_an_error_line(tmp_path, args, out, err):
    (tmp_path / "pages.jsonl").write_text(jsonl(TWO_COLUMNS) + "\n".join(line for line, _, _ in BAD_PAGES) + "\n" + jsonl(ALONE))
    result = run("order", *args, cwd=tmp_path, input=jsonl(ALONE))
    assert result.returncode == 1
    stdout = [
        {"file": "pages.jsonl", "page": 0, "order": [1, 2, 3, 4]},
        *({"file": "pages.jsonl", "page": key or i, "error": problem} for i, (_, key, problem) in enumerate(BAD_PAGES, 1)),
        {"file": "pages.jsonl", "page": len(BAD_PAGES) + 1, "order": [9]},
        {"file": "<stdin>", "page": 0, "order": [9]},
    ]
    stderr = [f"tarvello: pages.jsonl: line {i + 1}: page {i}{f' ({json.dumps(key)})' if key else ''}: {problem}\n"
              for i, (_, key, problem) in enumerate(BAD_PAGES, 1)] + ["tarvello: missing.json: No such file or directory\n"]
    assert lines(result.stdout) == stdout[out] and result.stderr == "".join(stderr[err])


@pytest.mark.parametrize("name, text, message", [
    ("page.json", '{\n  "page_bounds": [0, 0, 1, 1],\n  "elements": [\n    {"id": 1}\n    {"id": 2}\n  ]\n}\n',
     "page.json: line 5: invalid JSON: Expecting ',' delimiter (column 5)\n"),
    ("page.json", "\n\n{\n",
     "page.json: line 4: invalid JSON: Expecting property name enclosed in double quotes (column 1)\n"),
    ("pages.json", json.dumps([ALONE, page({"id": 1})], indent=1), 'pages.json: page 1: elements[0]: missing field "bbox"\n'),
    ("page.json", '"a page"', "page.json: page 0: page: expected an object, got the string 'a page'\n"),
    ("latin1.jsonl", '{"page_bounds": [0, 0, 1, 1], "elements": [], "page_id": "caf\xe9"}\n',
     "latin1.jsonl: line 1: page 0: not UTF-8 text: "),
])
def test_bad_json_documents_are_located(tmp_path, name, text, message):
    (tmp_path / name).write_bytes(text.encode("latin-1"))
    result = run("order", name, cwd=tmp_path)
    assert result.returncode == 1
    assert result.stderr.startswith(f"tarvello: {message}")


@pytest.mark.parametrize("args, message", [
    (["order"], "the following arguments are required: FILE"),
    (["order", "--engine", "fast", "-"], "argument --engine: invalid choice: 'fast'"),
    (["order", "--min-cut-threshold", "wide", "-"], "argument --min-cut-threshold: not a number: 'wide'"),
    (["order", "--same-row-tolerance", "0", "-"], "argument --same-row-tolerance: must be a positive number: '0'"),
    (["draw", "-"], "the following arguments are required: --out"),
])
def test_usage_errors_exit_with_2(capsys, args, message):
    # argparse stops before any input is read: no child process needed.
    with pytest.raises(SystemExit) as raised:
        main(args)
    assert raised.value.code == 2
    assert message in capsys.readouterr().err


WARNING = "WARNING tarvello.paper: No valid insertion for element 7 (HorizontalTitle), appending [<stdin> page 0]\n"


@pytest.mark.parametrize("level, stderr", [
    ([], WARNING), (["--log-level", "error"], ""),
    (["--log-level", "DEBUG"], "DEBUG tarvello: compute_order (paper): 1 elements [<stdin> page 0]\n" + WARNING),
])
def test_log_records_name_the_page_from_the_chosen_level(level, stderr):
    result = run("order", "--engine", "paper", *level, "-", input=jsonl(page(element(7, 10, 10, 90, 20, "title"))))
    assert (result.returncode, result.stdout, result.stderr) == (0, '{"page": 0, "order": [7]}\n', stderr)


def test_each_page_comes_out_before_the_next_one_goes_in():
    process = subprocess.Popen([sys.executable, "-m", "tarvello", "order", "-"], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, text=True)
    try:
        for _ in range(3):
            process.stdin.write(jsonl(TWO_COLUMNS))
            process.stdin.flush()
            assert json.loads(process.stdout.readline())["order"] == [1, 2, 3, 4]
    finally:
        process.stdin.close()
        assert process.wait(timeout=30) == 0
        process.stdout.close()


def test_memory_does_not_grow_with_the_number_of_pages(tmp_path):
    # Python's own count of allocated bytes, which a sanitizer's quarantine of freed memory does not inflate.
    script = ("import sys, tracemalloc; from tarvello.cli import main; tracemalloc.start(); status = main(['order', "
              "sys.argv[1], '--output', '/dev/null']); print(tracemalloc.get_traced_memory()[1]); sys.exit(status)")
    crowded = page(*(element(i, 10 * (i % 8), 4 * i, 10 * (i % 8) + 8, 4 * i + 3) for i in range(30)), bounds=(0, 0, 100, 200))
    peaks = []
    for count in (300, 3000):
        (tmp_path / "pages.jsonl").write_text(jsonl(crowded) * count)
        result = subprocess.run([sys.executable, "-c", script, tmp_path / "pages.jsonl"], capture_output=True, text=True)
        assert result.returncode == 0, result.stderr
        peaks.append(int(result.stdout))
    # Holding 3000 pages of 30 elements would take tens of MiB more.
    assert peaks[1] - peaks[0] < 1024 * 1024, peaks


@pytest.mark.parametrize("pages", [1, 3])
def test_a_terminal_sees_a_progress_bar_from_the_second_page_that_is_cleared_at_the_end(tmp_path, pages):
    (tmp_path / "pages.jsonl").write_text(jsonl(ALONE) * pages)
    reader, terminal = pty.openpty()
    try:
        result = subprocess.run([sys.executable, "-m", "tarvello", "order", "pages.jsonl"], stdout=subprocess.PIPE,
                                stderr=terminal, cwd=tmp_path, timeout=60)
        os.close(terminal)
        shown = b""
        # Linux answers EIO once all that was written is read and the terminal is closed.
        with contextlib.suppress(OSError):
            while chunk := os.read(reader, 4096):
                shown += chunk
    finally:
        os.close(reader)
    shown = shown.decode()
    assert result.returncode == 0
    if pages == 1:
        assert shown == ""
        return
    # The bar appears with the second page (two thirds of the bytes read); a slow machine may redraw it for the third.
    assert shown.startswith("\rpages.jsonl [" + "#" * 20 + "-" * 10 + "]  67%  2 pages\x1b[K")
    assert re.fullmatch(r"(\rpages\.jsonl \[[#-]{30}\] +\d+%  \d pages\x1b\[K)+\r\x1b\[K", shown)
