"""The command line, end to end, through subprocesses."""

import json
import os
import pty
import re
import subprocess
import sys
from importlib import metadata, resources
from pathlib import Path

import pytest

from tarvello import Element, XYCutConfig, compute_order, compute_order_ostrel
from tarvello.labels import label_from_name

# Under the debug interpreter of the reference-leak hunt every test runs six
# times, and these spend minutes in child processes whose references the hunt
# cannot see anyway.
IN_CHILD_PROCESSES = pytest.mark.skipif(
    hasattr(sys, "gettotalrefcount"), reason="runs in child processes; nothing for the leak hunt"
)

SAMPLE_DIR = Path(str(resources.files("tarvello").joinpath("samples")))
SAMPLES = sorted(SAMPLE_DIR.glob("*.json"))


def run(*args, input=None, cwd=None):
    result = subprocess.run(
        [sys.executable, "-m", "tarvello", *map(str, args)],
        input=input, capture_output=True, text=True, cwd=cwd, timeout=60,
    )
    assert "Traceback" not in result.stderr
    return result


def lines(text):
    return [json.loads(line) for line in text.splitlines()]


def page(*elements, bounds=(0, 0, 100, 100), **extra):
    return {**extra, "page_bounds": list(bounds), "elements": list(elements)}


def element(id, x1, y1, x2, y2, label="text"):
    return {"id": id, "bbox": [x1, y1, x2, y2], "label": label}


# Two columns, listed right column first.
TWO_COLUMNS = page(
    element(4, 60, 20, 100, 30), element(3, 60, 0, 100, 10),
    element(2, 0, 20, 40, 30), element(1, 0, 0, 40, 10),
)
ALONE = page(element(9, 10, 10, 90, 20))


def jsonl(*pages):
    return "".join(json.dumps(p) + "\n" for p in pages)


def api_order(data, function=compute_order, config=None):
    elements = [Element(e["id"], *e["bbox"], label_from_name(e["label"])) for e in data["elements"]]
    return function(elements, tuple(data["page_bounds"]), config)


@IN_CHILD_PROCESSES
class TestOrder:
    def test_samples_give_the_same_orders_as_compute_order(self):
        result = run("order", *SAMPLES)
        assert result.returncode == 0, result.stderr
        assert result.stderr == ""
        expected = []
        for path in SAMPLES:
            data = json.loads(path.read_text())
            expected.append({"file": str(path), "page": data["page_id"], "order": api_order(data)})
        assert lines(result.stdout) == expected

    def test_json_lines_from_standard_input_are_numbered_from_0(self):
        result = run("order", "-", input=jsonl(TWO_COLUMNS, ALONE))
        assert (result.returncode, result.stderr) == (0, "")
        assert result.stdout == '{"page": 0, "order": [1, 2, 3, 4]}\n{"page": 1, "order": [9]}\n'

    def test_a_json_document_may_be_pretty_printed_or_a_list_of_pages(self, tmp_path):
        (tmp_path / "one.json").write_text(json.dumps(TWO_COLUMNS, indent=2))
        (tmp_path / "many.json").write_text(json.dumps([ALONE, {**TWO_COLUMNS, "page_id": "p2"}], indent=1))
        assert lines(run("order", tmp_path / "one.json").stdout) == [{"page": 0, "order": [1, 2, 3, 4]}]
        assert lines(run("order", tmp_path / "many.json").stdout) == [
            {"page": 0, "order": [9]},
            {"page": "p2", "order": [1, 2, 3, 4]},
        ]

    def test_blank_lines_and_unknown_keys_are_skipped(self, tmp_path):
        noisy = {**ALONE, "width": 100, "elements": [{**ALONE["elements"][0], "score": 0.9}]}
        (tmp_path / "pages.jsonl").write_text("\n" + jsonl(noisy) + "\n\n" + jsonl(noisy))
        result = run("order", tmp_path / "pages.jsonl")
        assert lines(result.stdout) == [{"page": 0, "order": [9]}, {"page": 1, "order": [9]}]

    def test_a_missing_label_is_regular(self):
        unlabelled = {"page_bounds": [0, 0, 100, 100], "elements": [{"id": 9, "bbox": [10, 10, 90, 20]}]}
        assert lines(run("order", "-", input=jsonl(unlabelled)).stdout) == [{"page": 0, "order": [9]}]

    @pytest.mark.parametrize("path", SAMPLES, ids=lambda p: p.stem)
    def test_engine_and_tuning_options_reach_the_engine(self, path):
        data = json.loads(path.read_text())
        ostrel = run("order", "--engine", "ostrel", path)
        assert lines(ostrel.stdout)[0]["order"] == api_order(data, compute_order_ostrel)
        tuned = run("order", "--min-cut-threshold", "4", "--histogram-resolution-scale", "1",
                    "--same-row-tolerance", "30", path)
        config = XYCutConfig(4, 1, 30)
        assert lines(tuned.stdout)[0]["order"] == api_order(data, compute_order, config)

    def test_output_goes_to_a_file(self, tmp_path):
        result = run("order", "--output", tmp_path / "out.jsonl", "-", input=jsonl(ALONE))
        assert (result.returncode, result.stdout) == (0, "")
        assert (tmp_path / "out.jsonl").read_text() == '{"page": 0, "order": [9]}\n'

    def test_the_console_script_is_installed(self):
        try:
            metadata.distribution("tarvello")
        except metadata.PackageNotFoundError:
            pytest.skip("the package is not installed here (a staged test run)")
        script = Path(sys.executable).parent / "tarvello"
        result = subprocess.run([script, "order", "-"], input=jsonl(ALONE), capture_output=True, text=True)
        assert (result.returncode, result.stdout) == (0, '{"page": 0, "order": [9]}\n')


BAD_PAGES = [
    # (what, the bad line, the message after "tarvello: pages.jsonl: line 3: ")
    ("broken JSON", '{"page_bounds": [0, 0, 100, 100], "elements": [}',
     "page 2: invalid JSON: Expecting value (column 48)"),
    ("missing field", json.dumps(page({"id": 5, "label": "text"})),
     'page 2: elements[0]: missing field "bbox"'),
    ("missing page_bounds", json.dumps({"page_id": "p3", "elements": []}),
     'page 2 ("p3"): page: missing field "page_bounds"'),
    ("unknown label", json.dumps(page(element(5, 0, 0, 1, 1), element(6, 0, 0, 1, 1, "sidenote"))),
     "page 2: elements[1].label: unknown label 'sidenote' (use CrossLayout, HorizontalTitle, VerticalTitle, "
     "Vision, Regular or a layout category such as text, title or figure; the full table is "
     "tarvello.labels.CATEGORIES)"),
    ("short bbox", json.dumps(page({"id": 5, "bbox": [0, 0, 10]})),
     "page 2: elements[0].bbox: expected 4 numbers (x1, y1, x2, y2), got 3"),
    ("long bbox", json.dumps(page({"id": 5, "bbox": [0, 0, 10, 10, 10]})),
     "page 2: elements[0].bbox: expected 4 numbers (x1, y1, x2, y2), got 5"),
    ("text in bbox", json.dumps(page({"id": 5, "bbox": [0, "0", 10, 10]})),
     "page 2: elements[0].bbox[1]: expected a number, got the string '0'"),
    ("inverted bbox", json.dumps(page({"id": 5, "bbox": [10, 0, 0, 10]})),
     "page 2: elements[0].bbox: x2 (0) is less than x1 (10)"),
    ("negative id", json.dumps(page({"id": -1, "bbox": [0, 0, 1, 1]})),
     "page 2: elements[0].id: expected an integer from 0 to 2**64 - 1, got -1"),
    ("float id", json.dumps(page({"id": 1.5, "bbox": [0, 0, 1, 1]})),
     "page 2: elements[0].id: expected an integer, got the number 1.5"),
    ("duplicate id", json.dumps(page(element(5, 0, 0, 1, 1), element(5, 0, 5, 1, 6))),
     "page 2: elements[1].id: 5 is also the id of elements[0]"),
    ("page without area", json.dumps(page(bounds=(0, 0, 0, 792))),
     "page 2: page_bounds: x_max (0) must be greater than x_min (0)"),
    ("page not an object", "[1, 2]", "page 2: page: expected an object, got a list of 2"),
    ("elements not a list", json.dumps({"page_bounds": [0, 0, 1, 1], "elements": {}}),
     "page 2: elements: expected a list of elements, got an object"),
    ("page_id a list", json.dumps({**ALONE, "page_id": [1]}),
     "page 2: page_id: expected a string or an integer, got a list of 1"),
]


@IN_CHILD_PROCESSES
@pytest.mark.parametrize("what, bad, message", BAD_PAGES, ids=[b[0] for b in BAD_PAGES])
def test_a_bad_page_stops_with_file_line_page_and_field_after_the_good_pages(tmp_path, what, bad, message):
    (tmp_path / "pages.jsonl").write_text(jsonl(TWO_COLUMNS, ALONE) + bad + "\n" + jsonl(ALONE))
    result = run("order", "pages.jsonl", cwd=tmp_path)
    assert result.returncode == 1
    assert result.stdout == '{"page": 0, "order": [1, 2, 3, 4]}\n{"page": 1, "order": [9]}\n'
    assert result.stderr == f"tarvello: pages.jsonl: line 3: {message}\n"


@IN_CHILD_PROCESSES
@pytest.mark.parametrize(
    "name, text, message",
    [
        ("page.json", '{\n  "page_bounds": [0, 0, 1, 1],\n  "elements": [\n    {"id": 1}\n    {"id": 2}\n  ]\n}\n',
         "page.json: line 5: invalid JSON: Expecting ',' delimiter (column 5)"),
        ("page.json", "\n\n{\n", "page.json: line 4: invalid JSON: Expecting property name enclosed in double quotes (column 1)"),
        ("pages.json", json.dumps([ALONE, page({"id": 1})], indent=1), 'pages.json: page 1: elements[0]: missing field "bbox"'),
        ("page.json", '"a page"', "page.json: page 0: page: expected an object, got the string 'a page'"),
        ("latin1.jsonl", '{"page_bounds": [0, 0, 1, 1], "elements": [], "page_id": "caf\xe9"}\n',
         "latin1.jsonl: line 1: page 0: not UTF-8 text"),
    ],
)
def test_bad_json_documents_are_located(tmp_path, name, text, message):
    (tmp_path / name).write_bytes(text.encode("latin-1"))
    result = run("order", name, cwd=tmp_path)
    assert result.returncode == 1
    assert result.stderr.startswith(f"tarvello: {message}")


@IN_CHILD_PROCESSES
def test_a_missing_file_is_named_and_earlier_files_are_written(tmp_path):
    (tmp_path / "a.jsonl").write_text(jsonl(ALONE))
    result = run("order", "a.jsonl", "missing.json", cwd=tmp_path)
    assert result.returncode == 1
    assert lines(result.stdout) == [{"file": "a.jsonl", "page": 0, "order": [9]}]
    assert result.stderr == "tarvello: missing.json: No such file or directory\n"


@IN_CHILD_PROCESSES
@pytest.mark.parametrize(
    "args, message",
    [
        (["order"], "the following arguments are required: FILE"),
        (["order", "--engine", "fast", "-"], "argument --engine: invalid choice: 'fast'"),
        (["order", "--min-cut-threshold", "wide", "-"], "argument --min-cut-threshold: not a number: 'wide'"),
        (["order", "--same-row-tolerance", "0", "-"], "argument --same-row-tolerance: must be a positive number: '0'"),
        (["order", "--log-level", "loud", "-"], "argument --log-level: invalid choice: 'loud'"),
        (["draw", "-"], "the following arguments are required: --out"),
        ([], "the following arguments are required: COMMAND"),
    ],
)
def test_usage_errors_exit_with_2(args, message):
    result = run(*args, input="")
    assert result.returncode == 2
    assert message in result.stderr


@IN_CHILD_PROCESSES
class TestLogging:
    ONLY_A_TITLE = page(element(7, 10, 10, 90, 20, "title"))
    WARNING = "WARNING tarvello.paper: No valid insertion for element 7 (HorizontalTitle), appending [<stdin> page 0]\n"

    def test_warnings_show_by_default_with_the_page(self):
        result = run("order", "-", input=jsonl(self.ONLY_A_TITLE))
        assert (result.stdout, result.stderr) == ('{"page": 0, "order": [7]}\n', self.WARNING)

    def test_debug_shows_the_engines_records(self):
        result = run("order", "--log-level", "DEBUG", "-", input=jsonl(self.ONLY_A_TITLE))
        assert result.stderr.splitlines()[0] == "DEBUG tarvello: compute_order (paper): 1 elements [<stdin> page 0]"
        assert result.stderr.endswith(self.WARNING)

    def test_error_hides_the_warnings(self):
        result = run("order", "--log-level", "error", "-", input=jsonl(self.ONLY_A_TITLE))
        assert (result.returncode, result.stderr) == (0, "")


@IN_CHILD_PROCESSES
class TestStreaming:
    def test_each_page_comes_out_before_the_next_one_goes_in(self):
        process = subprocess.Popen(
            [sys.executable, "-m", "tarvello", "order", "-"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
        )
        try:
            for _ in range(3):
                process.stdin.write(jsonl(TWO_COLUMNS))
                process.stdin.flush()
                assert json.loads(process.stdout.readline())["order"] == [1, 2, 3, 4]
        finally:
            process.stdin.close()
            assert process.wait(timeout=30) == 0
            process.stdout.close()

    @staticmethod
    def peak_python_memory(path):
        # Python's own count of allocated bytes, which a sanitizer's quarantine
        # of freed memory does not inflate the way it inflates the RSS.
        script = (
            "import sys, tracemalloc; from tarvello.cli import main; tracemalloc.start(); "
            "status = main(['order', sys.argv[1], '--output', '/dev/null']); "
            "print(tracemalloc.get_traced_memory()[1]); sys.exit(status)"
        )
        result = subprocess.run([sys.executable, "-c", script, path], capture_output=True, text=True, timeout=60)
        assert result.returncode == 0, result.stderr
        return int(result.stdout)

    def test_memory_does_not_grow_with_the_number_of_pages(self, tmp_path):
        crowded = page(*(element(i, 10 * (i % 8), 4 * i, 10 * (i % 8) + 8, 4 * i + 3) for i in range(30)),
                       bounds=(0, 0, 100, 200))
        line = json.dumps(crowded) + "\n"
        (tmp_path / "few.jsonl").write_text(line * 300)
        (tmp_path / "many.jsonl").write_text(line * 3000)
        few = self.peak_python_memory(tmp_path / "few.jsonl")
        many = self.peak_python_memory(tmp_path / "many.jsonl")
        # Holding 3000 pages of 30 elements would take tens of MiB more.
        assert many - few < 1024 * 1024, (few, many)


class TestProgress:
    @IN_CHILD_PROCESSES
    def test_a_terminal_sees_a_progress_bar_that_is_cleared_at_the_end(self, tmp_path):
        (tmp_path / "pages.jsonl").write_text(jsonl(ALONE, ALONE, ALONE))
        main, terminal = pty.openpty()
        try:
            result = subprocess.run(
                [sys.executable, "-m", "tarvello", "order", "pages.jsonl"],
                stdout=subprocess.PIPE, stderr=terminal, cwd=tmp_path, timeout=60,
            )
            os.close(terminal)
            shown = os.read(main, 4096).decode()
        finally:
            os.close(main)
        assert result.returncode == 0
        # The bar appears with the second page (two thirds of the bytes read);
        # a slow machine may redraw it for the third.
        assert shown.startswith("\rpages.jsonl [" + "#" * 20 + "-" * 10 + "]  67%  2 pages\x1b[K")
        assert re.fullmatch(r"(\rpages\.jsonl \[[#-]{30}\] +\d+%  \d pages\x1b\[K)+\r\x1b\[K", shown)

    @IN_CHILD_PROCESSES
    def test_a_pipe_sees_no_progress_bar(self):
        result = run("order", "-", input=jsonl(ALONE) * 50)
        assert (result.returncode, result.stderr) == (0, "")

    def test_a_single_page_shows_no_bar_even_on_a_terminal(self):
        from tarvello.cli import Progress

        class Terminal:
            written = ""

            def isatty(self):
                return True

            def write(self, text):
                self.written += text

            def flush(self):
                pass

        terminal = Terminal()
        progress = Progress(terminal, "pages.jsonl", 1000)
        progress.update(1, 400)
        assert terminal.written == ""
        progress.update(2, 500)
        assert terminal.written == "\rpages.jsonl [" + "#" * 15 + "-" * 15 + "]  50%  2 pages\x1b[K"
        progress.clear()
        assert terminal.written.endswith("\r\x1b[K")
