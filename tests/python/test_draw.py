"""Reading-order pictures: `tarvello draw` and the SVG it writes."""

import json
import subprocess
import sys
import xml.etree.ElementTree as ET
from importlib import resources
from pathlib import Path

import pytest
from test_cli import IN_CHILD_PROCESSES

from tarvello import Element, SemanticLabel, compute_order, compute_order_ostrel
from tarvello.labels import label_from_name
from tarvello.svg import COLOURS, Panel, page_svg

SAMPLE_DIR = Path(str(resources.files("tarvello").joinpath("samples")))
SAMPLES = sorted(SAMPLE_DIR.glob("*.json"))
SVG = "{http://www.w3.org/2000/svg}"


def draw(*args, cwd=None, input=None):
    result = subprocess.run(
        [sys.executable, "-m", "tarvello", "draw", *map(str, args)],
        capture_output=True, text=True, cwd=cwd, input=input, timeout=60,
    )
    assert "Traceback" not in result.stderr
    return result


def parse(path):
    """The picture's root; ET.parse fails on anything that is not well-formed XML."""
    root = ET.parse(path).getroot()
    assert root.tag == f"{SVG}svg"
    return root


def with_class(root, name):
    return [node for node in root.iter() if node.get("class") == name]


def elements_of(data):
    return [Element(e["id"], *e["bbox"], label_from_name(e["label"])) for e in data["elements"]]


@pytest.fixture(scope="module")
def pictures(tmp_path_factory):
    """The samples drawn once with each engine choice."""
    out = tmp_path_factory.mktemp("pictures")
    written = {}
    for engine in ("paper", "ostrel", "both"):
        result = draw("--engine", engine, "--out", out / engine, *SAMPLES)
        assert (result.returncode, result.stderr) == (0, ""), result.stderr
        written[engine] = [Path(line) for line in result.stdout.splitlines()]
    return written


@IN_CHILD_PROCESSES
@pytest.mark.parametrize("engine", ["paper", "ostrel", "both"])
def test_one_picture_per_page_named_after_its_page_id(pictures, engine):
    page_ids = [json.loads(p.read_text())["page_id"] for p in SAMPLES]
    assert [p.name for p in pictures[engine]] == [f"{i}.svg" for i in page_ids]
    assert all(p.is_file() for p in pictures[engine])


@IN_CHILD_PROCESSES
@pytest.mark.parametrize("engine, panels", [("paper", 1), ("ostrel", 1), ("both", 2)])
@pytest.mark.parametrize("index", range(len(SAMPLES)))
def test_each_panel_has_its_boxes_and_one_arrow_fewer(pictures, engine, panels, index):
    root = parse(pictures[engine][index])
    count = len(json.loads(SAMPLES[index].read_text())["elements"])
    assert len(with_class(root, "page")) == panels
    assert len(with_class(root, "element")) == panels * count
    assert len(with_class(root, "rank")) == panels * count
    assert len(with_class(root, "arrow")) == panels * (count - 1)


@IN_CHILD_PROCESSES
@pytest.mark.parametrize("index", range(len(SAMPLES)))
def test_ranks_and_arrows_follow_each_engines_order(pictures, index):
    data = json.loads(SAMPLES[index].read_text())
    elements = elements_of(data)
    root = parse(pictures["both"][index])
    headings = [t.text for t in root.iter(f"{SVG}text") if t.get("font-weight") == "bold" and t.get("font-size") == "15"]
    assert headings == ["paper engine", "ostrel engine"]
    ranks = [int(g.find(f"{SVG}text").text) for g in with_class(root, "rank")]
    count = len(elements)
    for k, function in enumerate([compute_order, compute_order_ostrel]):
        order = function(elements, tuple(data["page_bounds"]))
        # Badges are drawn in input order; each carries its element's rank.
        expected = [order.index(e.id) + 1 for e in elements]
        assert ranks[k * count:(k + 1) * count] == expected


@IN_CHILD_PROCESSES
def test_the_legend_names_every_label_in_its_colour(pictures):
    root = parse(pictures["paper"][0])
    texts = [t.text for t in root.iter(f"{SVG}text")]
    for label, colour in COLOURS:
        name = repr(label).rpartition(".")[2]
        assert name in texts
        assert any(r.get("fill") == colour for r in root.iter(f"{SVG}rect"))


def test_a_box_is_coloured_by_its_label_and_tells_its_name():
    elements = [Element(3, 0, 0, 50, 10, SemanticLabel.Vision), Element(4, 0, 20, 50, 30, SemanticLabel.Regular)]
    panels = [Panel("paper engine", [4, 3])]
    svg = page_svg("a <page> & more", (0, 0, 100, 100), elements, ["chart", "text"], panels)
    root = ET.fromstring(svg)
    assert root.find(f"{SVG}title").text == "a <page> & more"
    boxes = with_class(root, "element")
    tips = [g.find(f"{SVG}title").text for g in boxes]
    assert tips == ["id 3, chart (Vision), rank 2", "id 4, text (Regular), rank 1"]
    colours = dict(COLOURS)
    assert [g.find(f"{SVG}rect").get("fill") for g in boxes] == [colours[SemanticLabel.Vision], colours[SemanticLabel.Regular]]
    [arrow] = with_class(root, "arrow")
    # From the centre of the first read (id 4) to the centre of the second (id 3).
    assert float(arrow.get("y1")) > float(arrow.get("y2"))


@IN_CHILD_PROCESSES
def test_an_empty_page_is_drawn_without_arrows(tmp_path):
    result = draw("--out", tmp_path, "-", input='{"page_bounds": [0, 0, 10, 10], "elements": []}')
    assert result.returncode == 0
    root = parse(tmp_path / "stdin-0.svg")
    assert (len(with_class(root, "page")), len(with_class(root, "arrow"))) == (1, 0)


@IN_CHILD_PROCESSES
def test_page_ids_become_safe_distinct_file_names(tmp_path):
    pages = [{"page_id": "../a b", "page_bounds": [0, 0, 10, 10], "elements": []}] * 2
    result = draw("--out", tmp_path / "new", "-", input="\n".join(json.dumps(p) for p in pages))
    assert result.returncode == 0
    assert [Path(line).name for line in result.stdout.splitlines()] == ["a_b.svg", "a_b-2.svg"]


@IN_CHILD_PROCESSES
def test_a_bad_page_stops_drawing_after_the_pictures_before_it(tmp_path):
    good = {"page_bounds": [0, 0, 10, 10], "elements": []}
    bad = {"page_bounds": [0, 0, 10, 10], "elements": [{"id": 1, "bbox": [0, 0, 1], "label": "text"}]}
    result = draw("--out", tmp_path, "-", input=json.dumps(good) + "\n" + json.dumps(bad) + "\n")
    assert result.returncode == 1
    assert result.stdout == f"{tmp_path / 'stdin-0.svg'}\n"
    assert result.stderr == (
        "tarvello: <stdin>: line 2: page 1: elements[0].bbox: expected 4 numbers (x1, y1, x2, y2), got 3\n"
    )
