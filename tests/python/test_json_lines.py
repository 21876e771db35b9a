"""The native reader of JSON Lines gives, for a line it takes, the very output of json and order_pages."""

import json

from hypothesis import given
from hypothesis import strategies as st

from tarvello import _boxes, order_lines, order_pages
from tarvello.boxes import DIRECTIONS, ENGINE_CODES, direction_code


def general(line, index, engine, direction="ltr"):
    """The command line's output after "{" through json and order_pages; None for a bad page."""
    try:
        value = json.loads(line)
        if not isinstance(value, dict):
            return None
        [order] = order_pages([value], engine=engine, threads=1, direction=direction)
    except (ValueError, TypeError, OverflowError):
        return None
    page_id = value.get("page_id")
    key = page_id if isinstance(page_id, (str, int)) and not isinstance(page_id, bool) else index
    return json.dumps({"page": key, "order": order})[1:].encode()


number = st.one_of(st.integers(-20, 300), st.floats(-20, 300, allow_nan=False), st.sampled_from([-0.0, 0, 1e-320, 1e308]))
text = st.text(st.characters(codec="utf-8"), max_size=6)
label = st.sampled_from(["text", "Title", "Section-header", "figure", "vision", "pie", "tit\u00e9", "", 5, None])
noise = st.recursive(st.none() | st.booleans() | number | text, lambda inner: st.lists(inner, max_size=3)
                     | st.dictionaries(text, inner, max_size=3), max_leaves=6)
element = st.fixed_dictionaries(
    {"id": st.one_of(st.integers(0, 12), st.sampled_from([2**64 - 1, 2**64, -1, 1.0, True])),
     "bbox": st.lists(number, min_size=3, max_size=5)},
    optional={"label": label, "score": noise, "text": text})
page = st.fixed_dictionaries(
    {"page_bounds": st.one_of(st.just([0, 0, 400, 400]), st.lists(number, min_size=4, max_size=4)),
     "elements": st.lists(element, max_size=8)},
    optional={"page_id": st.one_of(text, st.integers(-5, 2**70), st.none(), st.booleans()), "meta": noise})


@st.composite
def lines(draw):
    value = draw(page)
    # Plain boxes most of the time, so that many pages are taken natively.
    if draw(st.booleans()):
        for i, item in enumerate(value["elements"]):
            item.update(id=i, bbox=[10 * i, 5 * i, 10 * i + 8, 5 * i + 4])
    line = json.dumps(value, ensure_ascii=draw(st.booleans()), separators=draw(st.sampled_from([(",", ":"), (", ", ": "), (" ,", " :  ")])))
    cut = draw(st.integers(0, len(line)))
    line = draw(st.sampled_from([line, line, line[:cut] + line[cut + 1:], line[:cut] + draw(st.sampled_from(list('"{}[],:0\\ \x00\u00e9'))) + line[cut:]]))
    return line.encode() + draw(st.sampled_from([b"\n", b"\r\n", b"", b"  "]))


@given(st.lists(lines(), min_size=1, max_size=4), st.sampled_from(list(ENGINE_CODES)), st.integers(0, 3),
       st.sampled_from(DIRECTIONS))
def test_a_line_read_natively_gives_the_output_of_the_general_path(batch, engine, threads, direction):
    tails = _boxes.order_json_lines(batch, 7, ENGINE_CODES[engine], None, threads, direction_code(direction))
    for i, (line, tail) in enumerate(zip(batch, tails)):
        if tail is not None:
            assert tail == general(line, 7 + i, engine, direction), line


def test_plain_pages_are_read_natively_and_others_left_alone():
    plain = b'{"page_id": "p1", "page_bounds": [0, 0, 100, 100], "elements": [{"id": 3, "bbox": [0, 0, 10, 10], "label": "Title"}, {"id": 4, "bbox": [0, 20, 10, 30]}], "x": [{"y": "\\u00e9\xc3\xa9"}]}\n'
    left = [b'{"page_id": "p\\u0031", "page_bounds": [0, 0, 1, 1], "elements": []}',  # an escape to decode
            b'{"page_bounds": [0, 0, 1, 1], "elements": [], "elements": []}',  # a repeated field
            b'{"page_bounds": [0, 0, 1, NaN], "elements": []}',
            b'{"page_bounds": [0, 0, 1, 1], "elements": [], "x": "\xff"}',  # not UTF-8
            b'{"page_bounds": [0, 0, 1, 1], "elements": []} {}']
    assert _boxes.order_json_lines([plain, *left], 0, 0, None, 2, 0) == [b'"page": "p1", "order": [3, 4]}'] + [None] * 5


def test_order_lines_gives_an_output_or_an_error_line_per_page_and_skips_blank_lines():
    good = {"page_id": "p1", "page_bounds": [0, 0, 100, 100],
            "elements": [{"id": 2, "bbox": [60, 0, 100, 10]}, {"id": 1, "bbox": [0, 0, 40, 10]}]}
    bad = {"page_bounds": [0, 0, 100, 100], "elements": [{"id": 1, "bbox": [0, 0, 1]}]}
    lines = [json.dumps(good) + "\n", "\n", json.dumps(bad).encode(), "{", json.dumps({**good, "page_id": 7, "note": "caf\u00e9"})]
    assert list(order_lines(lines, "ostrel", start=10)) == [
        '{"page": "p1", "order": [1, 2]}',
        '{"page": 11, "error": "elements[0].bbox: expected 4 numbers (x1, y1, x2, y2), got 3"}',
        '{"page": 12, "error": "invalid JSON: Expecting property name enclosed in double quotes (column 2)"}',
        '{"page": 7, "order": [1, 2]}',
    ]
