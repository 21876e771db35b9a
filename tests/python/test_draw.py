"""Reading-order pictures: `tarvello draw` and the SVG it writes."""

import json
import xml.etree.ElementTree as ET
from pathlib import Path

import pytest
from test_cli import IN_CHILD_PROCESSES, SAMPLES, run

from tarvello import Element, SemanticLabel, compute_order, compute_order_ostrel
from tarvello.labels import label_from_name
from tarvello.svg import COLOURS, Panel, page_svg

SVG = "{http://www.w3.org/2000/svg}"
pytestmark = IN_CHILD_PROCESSES


def parse(path):  # ET.parse fails on anything that is not well-formed XML
    root = ET.parse(path).getroot()
    assert root.tag == f"{SVG}svg"
    return root


def with_class(root, name):
    return [node for node in root.iter() if node.get("class") == name]


@pytest.fixture(scope="module")
def pictures(tmp_path_factory):
    """The samples drawn once with one engine and with both."""
    out = tmp_path_factory.mktemp("pictures")
    written = {}
    for engine in ("paper", "both"):
        result = run("draw", "--engine", engine, "--out", out / engine, *SAMPLES)
        assert (result.returncode, result.stderr) == (0, "")
        written[engine] = [Path(line) for line in result.stdout.splitlines()]
    return written


@pytest.mark.parametrize("engine, names", [("paper", ["paper"]), ("both", ["paper", "ostrel"])])
def test_one_picture_per_page_named_after_its_page_id_with_a_panel_per_engine_ranked_by_it(pictures, engine, names):
    pages = [json.loads(p.read_text()) for p in SAMPLES]
    assert [p.name for p in pictures[engine]] == [f"{data['page_id']}.svg" for data in pages]
    functions = [{"paper": compute_order, "ostrel": compute_order_ostrel}[name] for name in names]
    for path, data in zip(pictures[engine], pages):
        root, count, panels = parse(path), len(data["elements"]), len(names)
        assert len(with_class(root, "page")) == panels
        assert len(with_class(root, "element")) == len(with_class(root, "rank")) == panels * count
        assert len(with_class(root, "arrow")) == panels * (count - 1)
        assert [t.text for t in root.iter(f"{SVG}text") if t.get("font-size") == "15"] == [f"{n} engine" for n in names]
        # Badges are drawn in input order, in each panel; each carries its element's rank.
        elements = [Element(e["id"], *e["bbox"], label_from_name(e["label"])) for e in data["elements"]]
        orders = [function(elements, tuple(data["page_bounds"])) for function in functions]
        expected = [order.index(e.id) + 1 for order in orders for e in elements]
        assert [int(g.find(f"{SVG}text").text) for g in with_class(root, "rank")] == expected


def test_a_box_is_coloured_by_its_label_and_tells_its_name():
    elements = [Element(3, 0, 0, 50, 10, SemanticLabel.Vision), Element(4, 0, 20, 50, 30, SemanticLabel.Regular)]
    svg = page_svg("a <page> & more", (0, 0, 100, 100), elements, ["chart", "text"], [Panel("paper engine", [4, 3])])
    root = ET.fromstring(svg)
    assert root.find(f"{SVG}title").text == "a <page> & more"
    boxes = with_class(root, "element")
    assert [g.find(f"{SVG}title").text for g in boxes] == ["id 3, chart (Vision), rank 2", "id 4, text (Regular), rank 1"]
    colours = dict(COLOURS)
    assert [g.find(f"{SVG}rect").get("fill") for g in boxes] == [colours[SemanticLabel.Vision], colours[SemanticLabel.Regular]]
    [arrow] = with_class(root, "arrow")
    # From the centre of the first read (id 4) to the centre of the second (id 3).
    assert float(arrow.get("y1")) > float(arrow.get("y2"))


def test_safe_distinct_file_names_no_arrows_on_an_empty_page_and_a_stop_at_a_bad_page(tmp_path):
    empty = {"page_bounds": [0, 0, 10, 10], "elements": []}
    bad = {**empty, "elements": [{"id": 1, "bbox": [0, 0, 1], "label": "text"}]}
    pages = [empty, {**empty, "page_id": "../a b"}, {**empty, "page_id": "../a b"}, bad, empty]
    result = run("draw", "--out", tmp_path / "new", "-", input="\n".join(json.dumps(p) for p in pages))
    assert [Path(line).name for line in result.stdout.splitlines()] == ["stdin-0.svg", "a_b.svg", "a_b-2.svg"]
    assert (result.returncode, result.stderr) == (
        1, "tarvello: <stdin>: line 4: page 3: elements[0].bbox: expected 4 numbers (x1, y1, x2, y2), got 3\n"
    )
    # Both engines side by side, the default of pictures.
    root = parse(tmp_path / "new" / "stdin-0.svg")
    assert (len(with_class(root, "page")), len(with_class(root, "arrow"))) == (2, 0)
