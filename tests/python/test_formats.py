"""The formats of the field: the label names of its categories, COCO detection files (one page per image) and
PAGE XML."""

import json

import pytest
from test_cli import IN_CHILD_PROCESSES, run
from test_plain_path import HINT

from tarvello import SemanticLabel
from tarvello.coco import coco_images, order_coco
from tarvello.labels import CATEGORIES, LABELS, label_from_name, normalise_label_name
from tarvello.pages import PageError

pytestmark = IN_CHILD_PROCESSES

DOCLAYNET = ["Caption", "Footnote", "Formula", "List-item", "Page-footer", "Page-header", "Picture", "Section-header", "Table",
             "Text", "Title"]
PUBLAYNET = ["text", "title", "list", "table", "figure"]


def coco(images, annotations, names=DOCLAYNET):
    return {"images": images, "annotations": annotations,
            "categories": [{"id": i + 1, "name": name} for i, name in enumerate(names)]}


def annotation(id, image_id, x, y, w, h, category):
    return {"id": id, "image_id": image_id, "bbox": [x, y, w, h], "category_id": category, "area": w * h}


# Two columns under a title (category 11, Title) on the first image; a lone picture on the second; nothing on the third.
TWO_COLUMNS = [annotation(31, 1, 60, 20, 40, 10, 10), annotation(30, 1, 0, 20, 40, 10, 10),
               annotation(29, 1, 0, 0, 100, 10, 11), annotation(40, 2, 10, 10, 50, 50, 7)]
IMAGES = [{"id": 1, "file_name": "a.png", "width": 100, "height": 100},
          {"id": 2, "file_name": "b.png", "width": 100, "height": 100},
          {"id": 3, "width": 80, "height": 40}]


def order(tmp_path, document, *options):
    (tmp_path / "coco.json").write_text(json.dumps(document))
    return run("order", "--format", "coco", *options, "coco.json", cwd=tmp_path)


# The paper engine finds no place for a lone picture, and says so.
@pytest.mark.parametrize("engine, stderr", [
    ("ostrel", ""),
    ("paper", "WARNING tarvello.paper: No valid insertion for element 0 (Vision), appending [coco.json page b.png]\n"),
])
def test_each_image_is_a_page_of_its_annotation_ids(tmp_path, engine, stderr):
    result = order(tmp_path, coco(IMAGES, TWO_COLUMNS), "--engine", engine)
    assert (result.returncode, result.stderr) == (0, stderr)
    assert result.stdout == ('{"page": "a.png", "order": [29, 30, 31]}\n{"page": "b.png", "order": [40]}\n'
                             '{"page": 3, "order": []}\n')


# The table of label names that order_boxes shares with the command line and these formats.
@pytest.mark.parametrize("name, member", [
    # Case, spaces, hyphens and underscores do not matter.
    *((name, name) for name in ["CrossLayout", "HorizontalTitle", "VerticalTitle", "Vision", "Regular"]),
    ("Section-header", "HorizontalTitle"), ("SECTION HEADER", "HorizontalTitle"), ("sectionheader", "HorizontalTitle"),
    ("vertical_title", "VerticalTitle"), ("Table", "Vision"), ("figure_caption", "Regular"), ("Page-footer", "Regular"),
    *((name, ValueError(f"unknown label {name!r} {HINT}")) for name in ["sidenote", "", "figure caption x", "Visions"]),
    (3, TypeError("a label name must be a string, not int")),
])
def test_names_map_to_members_or_are_refused(name, member):
    if isinstance(member, str):
        assert label_from_name(name) is getattr(SemanticLabel, member)
        return
    with pytest.raises(type(member)) as raised:
        label_from_name(name)
    assert str(raised.value) == str(member)


def test_the_table_covers_every_member_and_the_fields_categories_with_each_name_once_and_is_read_only():
    assert set(CATEGORIES) == {getattr(SemanticLabel, name) for name in dir(SemanticLabel) if name[0] != "_"}
    names = [normalise_label_name(n) for names in CATEGORIES.values() for n in names]
    assert len(names) == len(set(names)) == len(LABELS)
    assert all(label_from_name(name) for name in DOCLAYNET + PUBLAYNET)
    # Deliberate: the label bars titles and figures from being placed before the box.
    assert CATEGORIES[SemanticLabel.CrossLayout] == ("CrossLayout",)
    with pytest.raises(TypeError):
        LABELS["sidenote"] = SemanticLabel.Regular  # type: ignore[index]


BAD_IMAGE = 'coco.json: image "a.png": annotations[0].bbox: width (-3) is less than 0 (0)'


@pytest.mark.parametrize("document, message", [
    (coco(IMAGES, [annotation(5, 1, 0, 0, -3, 10, 1)]), BAD_IMAGE),
    (coco(IMAGES, [annotation(5, 1, 0, 0, 3, 10, 1), annotation(6, 2, 0, "0", 3, 10, 1)]),
     "coco.json: image \"b.png\": annotations[1].bbox[1]: expected a number, got the string '0'"),
    (coco(IMAGES, [annotation(5, 9, 0, 0, 3, 10, 1)]), "coco.json: annotations[0].image_id: no image has the id 9"),
    (coco(IMAGES, [annotation(5, 1, 0, 0, 3, 10, 99)]), "coco.json: annotations[0].category_id: no category has the id 99"),
    (coco([{"id": 1, "width": 0, "height": 5}], []), "coco.json: images[0].width: expected a positive number, got the number 0"),
    (coco(IMAGES, [], ["Text", "Marginalia"]), "coco.json: categories[1].name: unknown label 'Marginalia'"),
    ({"images": [], "categories": []}, 'coco.json: file: missing field "annotations"'),
])
def test_bad_files_name_the_field(document, message):
    # coco.py's checks, in this process; how the command line stops or goes on is below.
    with pytest.raises(PageError) as raised:
        for _, result in order_coco(coco_images(document, "coco.json"), "coco.json", "ostrel", None, 1):
            if isinstance(result, PageError):
                raise result
    assert str(raised.value).startswith(message)


@pytest.mark.parametrize("keep_going", [False, True])
def test_a_bad_image_stops_the_run_or_with_keep_going_makes_an_error_line(tmp_path, keep_going):
    result = order(tmp_path, coco(IMAGES, [annotation(5, 1, 0, 0, -3, 10, 1), *TWO_COLUMNS[3:]]), *["--keep-going"][:keep_going])
    assert (result.returncode, result.stderr) == (1, f"tarvello: {BAD_IMAGE}\n")
    assert result.stdout == ('{"page": "a.png", "error": "annotations[0].bbox: width (-3) is less than 0 (0)"}\n'
                             '{"page": "b.png", "order": [40]}\n{"page": 3, "order": []}\n' if keep_going else "")


# PAGE XML: a two-column page with a heading, a table and a separator, regions listed in no reading order, in each
# namespace, with and without a ReadingOrder already there.
PAGE_2019 = "http://schema.primaresearch.org/PAGE/gts/pagecontent/2019-07-15"
PAGE_2013 = "http://schema.primaresearch.org/PAGE/gts/pagecontent/2013-07-15"
OLD_ORDER = """
    <ReadingOrder>
      <OrderedGroup id="ro1">
        <RegionRefIndexed index="0" regionRef="r9"/>
      </OrderedGroup>
    </ReadingOrder>"""


def page_xml(namespace, old_order="", points=True, direction=""):
    def coords(x1, y1, x2, y2):
        if points:
            return f'<pc:Coords points="{x1},{y1} {x2},{y1} {x2},{y2} {x1},{y2}"/>'
        return f'<pc:Coords><pc:Point x="{x1}" y="{y1}"/><pc:Point x="{x2}" y="{y2}"/></pc:Coords>'
    return f"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<pc:PcGts xmlns:pc="{namespace}" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
  <pc:Metadata><pc:Creator>scanner</pc:Creator><pc:Created>2026-01-01T00:00:00</pc:Created><pc:LastChange>2026-01-01T00:00:00</pc:LastChange></pc:Metadata>
  <pc:Page imageFilename="p.png" imageWidth="600" imageHeight="800"{direction}>{old_order.replace("<", "<pc:").replace("<pc:/", "</pc:")}
    <!-- a comment the run keeps -->
    <pc:TextRegion id="right" type="paragraph" custom="kept">{coords(320, 120, 560, 760)}<pc:TextEquiv><pc:Unicode>Second &amp; last</pc:Unicode></pc:TextEquiv></pc:TextRegion>
    <pc:SeparatorRegion id="sep">{coords(300, 120, 302, 760)}</pc:SeparatorRegion>
    <pc:TableRegion id="table" orientation="0">{coords(40, 500, 280, 760)}</pc:TableRegion>
    <pc:TextRegion type="heading" id="head">{coords(40, 40, 560, 90)}</pc:TextRegion>
    <pc:TextRegion id="left" type="paragraph">{coords(40, 120, 280, 480)}</pc:TextRegion>
  </pc:Page>
</pc:PcGts>
"""


def reading_order_lines(text):
    return [line for line in text.splitlines() if "ReadingOrder" in line or "OrderedGroup" in line or "RegionRef" in line]


def run_page_xml(tmp_path, text, *options, name="page.xml"):
    (tmp_path / name).write_text(text)
    return run("page-xml", *options, name, cwd=tmp_path)


LTR, RTL = ["head", "left", "table", "right"], ["head", "right", "left", "table"]


@pytest.mark.parametrize("namespace, old_order, points, direction, order", [
    (PAGE_2019, "", True, "", LTR), (PAGE_2013, OLD_ORDER, True, "", LTR), (PAGE_2019, OLD_ORDER, False, "", LTR),
    (PAGE_2019, "", True, ' readingDirection="right-to-left"', RTL)])
def test_page_xml_gets_a_reading_order_and_keeps_the_rest(tmp_path, namespace, old_order, points, direction, order):
    pytest.importorskip("lxml")
    text = page_xml(namespace, old_order, points, direction)
    result = run_page_xml(tmp_path, text, "--in-place")
    assert (result.returncode, result.stderr, result.stdout) == (0, "", "page.xml\n")
    written = (tmp_path / "page.xml").read_text()
    assert reading_order_lines(written) == [
        "    <pc:ReadingOrder>",
        '      <pc:OrderedGroup id="tarvello_reading_order" caption="Reading order">',
        *(f'        <pc:RegionRefIndexed index="{i}" regionRef="{r}"/>' for i, r in enumerate(order)),
        "      </pc:OrderedGroup>",
        "    </pc:ReadingOrder>",
    ]
    # Everything but the ReadingOrder is as it was, byte for byte.
    def without_order(t):
        return [line for line in t.split("\n") if line not in reading_order_lines(t)]
    assert without_order(written) == without_order(text)


@pytest.mark.parametrize("text, message", [
    ("<html/>", "bad.xml: not PAGE XML (a PcGts root in the 2013-07-15 or 2019-07-15 namespace)"),
    ("<a>", "bad.xml: line 1: not XML: "),
    (page_xml(PAGE_2019).replace('points="40,120 280,120 280,480 40,480"', 'points="40,x"'),
     'bad.xml: line 10: region "left": Coords: points are not x,y pairs of numbers'),
])
def test_a_bad_page_xml_file_is_named_and_the_others_go_on(tmp_path, text, message):
    pytest.importorskip("lxml")
    (tmp_path / "good.xml").write_text(page_xml(PAGE_2019))
    result = run_page_xml(tmp_path, text, "--out", "out", "good.xml", name="bad.xml")
    assert result.returncode == 1 and result.stderr.startswith(f"tarvello: {message}"), result.stderr
    assert result.stdout == "out/good.xml\n" and "RegionRefIndexed" in (tmp_path / "out" / "good.xml").read_text()
