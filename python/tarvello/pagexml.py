"""PAGE XML files: their regions ordered, and the order written back.

PAGE XML (the 2013-07-15 and 2019-07-15 schemas) is what digitisation tools
such as Transkribus, eScriptorium and OCR-D write. Each top-level region is an
element of its page: a heading ``TextRegion`` a title (``VerticalTitle`` when
turned a quarter or read top to bottom), any other text region ``Regular``,
images, graphics, charts, tables, line drawings, maps, chemistry, music and
maths ``Vision``; separators and noise are left out of the order. The order
goes into the page's ``ReadingOrder``, one ``OrderedGroup`` of
``RegionRefIndexed``, replacing any there was; the rest of the file is kept
as it was, namespaces, attribute order, comments and text included. Needs
lxml (``pip install "tarvello[pagexml]"``).
"""

from __future__ import annotations

import os
import tempfile
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from tarvello._checks import InputError
from tarvello._tarvello_core import SemanticLabel, XYCutConfig
from tarvello.boxes import order_boxes
from tarvello.pages import PageError

__all__ = ["NAMESPACES", "PageXml", "read_page_xml", "write_atomically"]

NAMESPACES = (
    "http://schema.primaresearch.org/PAGE/gts/pagecontent/2013-07-15",
    "http://schema.primaresearch.org/PAGE/gts/pagecontent/2019-07-15",
)
VISION = {"ImageRegion", "GraphicRegion", "ChartRegion", "TableRegion", "LineDrawingRegion", "MapRegion",
          "ChemRegion", "MusicRegion", "MathsRegion"}
LEFT_OUT = {"SeparatorRegion", "NoiseRegion"}
# What comes before ReadingOrder among a Page's children, by the schema.
BEFORE_READING_ORDER = {"AlternativeImage", "Border", "PrintSpace"}
DIRECTIONS = {"left-to-right": "ltr", "right-to-left": "rtl"}


@dataclass
class PageXml:
    """A parsed PAGE XML file and the regions of its page that are ordered."""

    tree: Any  # lxml's ElementTree
    page: Any  # the Page element
    namespace: str
    regions: list[Any]  # the region elements, in file order
    boxes: list[tuple[float, float, float, float]]
    labels: list[SemanticLabel]
    bounds: tuple[float, float, float, float]
    # lxml writes its own declaration, quoted its own way, and nothing after
    # the root: the file's own are kept.
    declaration: bytes  # the XML declaration as it was written, with the white space after it
    trailer: bytes  # the white space after the root element

    def direction(self) -> str:
        """The reading direction the page declares: its readingDirection, and textLineOrder when vertical."""
        reading = self.page.get("readingDirection", "left-to-right")
        if reading == "top-to-bottom":
            return "vertical-lr" if self.page.get("textLineOrder") == "left-to-right" else "vertical-rl"
        return DIRECTIONS.get(reading, "ltr")

    def order(self, engine: str, config: XYCutConfig | None, direction: str | None) -> list[str]:
        """The region ids in reading order."""
        indices = order_boxes(self.boxes, self.labels, self.bounds, engine, config,
                              direction=direction or self.direction())
        return [self.regions[i].get("id") for i in indices]

    def write_order(self, ids: list[str]) -> bytes:
        """The file with a ReadingOrder of these region ids in place of any there was."""
        tag = f"{{{self.namespace}}}"
        for old in self.page.findall(f"{tag}ReadingOrder"):
            self.page.remove(old)
        position = 0
        for k, child in enumerate(self.page):
            if isinstance(child.tag, str) and child.tag.removeprefix(tag) in BEFORE_READING_ORDER:
                position = k + 1
        # Indented like its neighbours, so that the file still reads well.
        previous = self.page[position - 1] if position else None
        indent = (previous.tail if previous is not None else self.page.text) or "\n"
        inner, innermost = indent + "  ", indent + "    "
        reading_order = self.page.makeelement(f"{tag}ReadingOrder", {})
        reading_order.text, reading_order.tail = inner, indent
        group = reading_order.makeelement(f"{tag}OrderedGroup", {"id": "tarvello_reading_order",
                                                                   "caption": "Reading order"})
        group.tail = indent
        reading_order.append(group)
        for index, region_id in enumerate(ids):
            ref = group.makeelement(f"{tag}RegionRefIndexed", {"index": str(index), "regionRef": region_id})
            ref.tail = inner if index == len(ids) - 1 else innermost
            group.append(ref)
        if ids:
            group.text = innermost
        if previous is not None:
            previous.tail = indent
        else:
            self.page.text = indent
        self.page.insert(position, reading_order)
        body: bytes = _etree().tostring(self.tree, encoding=self.tree.docinfo.encoding or "UTF-8",
                                        xml_declaration=False)
        return self.declaration + body + self.trailer


def _etree() -> Any:
    try:
        from lxml import etree  # type: ignore[import-untyped]  # an optional extra, typed or not
    except ImportError:
        raise PageError("tarvello", None, None, 'PAGE XML needs lxml: pip install "tarvello[pagexml]"') from None
    return etree


def read_page_xml(path: str) -> PageXml:
    """The regions of a PAGE XML file; PageError naming the file and region at fault."""
    etree = _etree()
    try:
        tree = etree.parse(path, etree.XMLParser(remove_blank_text=False, resolve_entities=False, no_network=True))
    except OSError as error:
        raise PageError(path, None, None, error.strerror or str(error)) from None
    except etree.XMLSyntaxError as error:
        raise PageError(path, error.lineno, None, f"not XML: {error.msg}") from None
    root = tree.getroot()
    namespace = etree.QName(root).namespace
    if etree.QName(root).localname != "PcGts" or namespace not in NAMESPACES:
        raise PageError(path, None, None, "not PAGE XML (a PcGts root in the 2013-07-15 or 2019-07-15 namespace)")
    page = root.find(f"{{{namespace}}}Page")
    if page is None:
        raise PageError(path, None, None, "not PAGE XML: no Page element")
    try:
        bounds = (0.0, 0.0, _number(page, "imageWidth"), _number(page, "imageHeight"))
    except InputError as error:
        raise PageError(path, page.sourceline, "Page", str(error)) from None
    regions, boxes, labels = [], [], []
    for region in page:
        if not isinstance(region.tag, str):
            continue  # a comment or processing instruction
        kind = etree.QName(region).localname
        if not kind.endswith("Region") or kind in LEFT_OUT:
            continue
        where = f'region "{region.get("id")}"'
        if region.get("id") is None:
            raise PageError(path, region.sourceline, f"{kind}", "region without an id")
        try:
            boxes.append(_box(region, namespace))
        except InputError as error:
            raise PageError(path, region.sourceline, where, str(error)) from None
        regions.append(region)
        labels.append(_label(region, kind))
    return PageXml(tree, page, namespace, regions, boxes, labels, bounds, *_frame(path))


def _frame(path: str) -> tuple[bytes, bytes]:
    """The file's XML declaration with the white space after it, and its trailing white space."""
    with open(path, "rb") as stream:
        raw = stream.read()
    trailer = raw[len(raw.rstrip()):]
    if not raw.startswith(b"<?xml"):
        return b"", trailer
    end = raw.find(b"?>") + 2
    return raw[:end] + raw[end:len(raw) - len(raw[end:].lstrip())], trailer


def _number(element: Any, name: str) -> float:
    text = element.get(name)
    try:
        value = float(text)
    except (TypeError, ValueError):
        raise InputError(name, f"expected a number, got {text!r}") from None
    if not 0 < value < float("inf"):
        raise InputError(name, f"expected a positive number, got {text}")
    return value


def _box(region: Any, namespace: str) -> tuple[float, float, float, float]:
    """The bounding box of the region's Coords: its points attribute, or Point children (older files)."""
    coords = region.find(f"{{{namespace}}}Coords")
    if coords is None:
        raise InputError("Coords", "missing")
    points = coords.get("points")
    try:
        if points is not None:
            pairs = [tuple(map(float, pair.split(","))) for pair in points.split()]
        else:
            pairs = [(float(p.get("x")), float(p.get("y"))) for p in coords.findall(f"{{{namespace}}}Point")]
    except (TypeError, ValueError):
        raise InputError("Coords", f"points are not x,y pairs of numbers: {points!r}") from None
    if not pairs or any(len(pair) != 2 or not all(map(_finite, pair)) for pair in pairs):
        raise InputError("Coords", f"no usable points: {points!r}")
    xs = [pair[0] for pair in pairs]
    ys = [pair[1] for pair in pairs]
    return min(xs), min(ys), max(xs), max(ys)


def _finite(value: float) -> bool:
    return value - value == 0


def _label(region: Any, kind: str) -> SemanticLabel:
    if kind in VISION:
        return SemanticLabel.Vision
    if kind != "TextRegion" or region.get("type") != "heading":
        return SemanticLabel.Regular
    turned = abs(float(region.get("orientation", "0") or 0)) % 180 == 90
    vertical = region.get("readingDirection") == "top-to-bottom"
    return SemanticLabel.VerticalTitle if turned or vertical else SemanticLabel.HorizontalTitle


def write_atomically(path: Path, data: bytes) -> None:
    """Replaces a file's content at once: a reader sees the old file or the new one, never half of it."""
    handle, temporary = tempfile.mkstemp(dir=path.parent, prefix=f".{path.name}.")
    try:
        with os.fdopen(handle, "wb") as stream:
            stream.write(data)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise
