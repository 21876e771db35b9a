"""Pages in the command line's JSON format, read one at a time.

A page is an object::

    {"page_id": "p1",                          (optional)
     "page_bounds": [x_min, y_min, x_max, y_max],
     "elements": [{"id": 7, "bbox": [x1, y1, x2, y2], "label": "text"}, ...]}

``label`` is optional (Regular) and takes any name of ``tarvello.labels``;
other keys are ignored. A file holds one page as one JSON document, a JSON
list of pages, or JSON Lines with one page per line. JSON Lines are read line
by line, so memory does not grow with the number of pages.
"""

from __future__ import annotations

import json
from collections.abc import Iterator, Mapping
from dataclasses import dataclass
from typing import IO, Any

from tarvello import _checks
from tarvello._checks import Box, InputError, InputTypeError
from tarvello._tarvello_core import Element

__all__ = ["Page", "PageError", "PageReader", "parse_page"]

JSON_LINES_SUFFIXES = (".jsonl", ".ndjson", ".jsonlines")
LARGEST_ID = 2**64 - 1


@dataclass(frozen=True)
class Page:
    index: int  # position in its file, from 0
    page_id: str | int | None
    bounds: Box
    elements: list[Element]
    label_names: list[str]  # as the file gave them, for the pictures

    @property
    def key(self) -> str | int:
        """What the output calls the page: its own page_id, else its index."""
        return self.index if self.page_id is None else self.page_id


class PageError(Exception):
    """Bad input, located by file, line (when known) and page (when known)."""

    def __init__(self, source: str, line: int | None, page: str | None, problem: str) -> None:
        where = [source]
        if line is not None:
            where.append(f"line {line}")
        if page is not None:
            where.append(page)
        super().__init__(": ".join([*where, problem]))


def parse_page(value: Any, index: int) -> Page:
    """A Page from a decoded JSON value; InputError names the field at fault."""
    if not isinstance(value, Mapping):
        raise InputTypeError("page", f"expected an object, got {_checks.kind(value)}")
    page_id = value.get("page_id")
    if page_id is not None and (isinstance(page_id, bool) or not isinstance(page_id, (str, int))):
        raise InputTypeError("page_id", f"expected a string or an integer, got {_checks.kind(page_id)}")
    bounds = _checks.page_bounds(_field(value, "page_bounds", ""), "page_bounds")
    raw = _checks.items(_field(value, "elements", ""), "elements", "a list of elements")
    elements: list[Element] = []
    names: list[str] = []
    first_with_id: dict[int, int] = {}
    for i, item in enumerate(raw):
        where = f"elements[{i}]"
        if not isinstance(item, Mapping):
            raise InputTypeError(where, f"expected an object, got {_checks.kind(item)}")
        id_ = _element_id(_field(item, "id", where), f"{where}.id")
        # The output lists ids, so two elements with one id could not be told apart.
        if id_ in first_with_id:
            raise InputError(f"{where}.id", f"{id_} is also the id of elements[{first_with_id[id_]}]")
        first_with_id[id_] = i
        box = _checks.box(_field(item, "bbox", where), f"{where}.bbox")
        name = item.get("label", "Regular")
        label = _checks.label(name, f"{where}.label")
        elements.append(Element(id_, *box, label))
        names.append(name)
    return Page(index, page_id, bounds, elements, names)


def _field(value: Mapping[str, Any], name: str, where: str) -> Any:
    if name not in value:
        raise InputError(where or "page", f'missing field "{name}"')
    return value[name]


def _element_id(value: Any, field: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise InputTypeError(field, f"expected an integer, got {_checks.kind(value)}")
    if not 0 <= value <= LARGEST_ID:
        raise InputError(field, f"expected an integer from 0 to 2**64 - 1, got {value}")
    return value


class PageReader:
    """The pages of one binary stream, in order; PageError at the first bad one.

    ``position`` is the number of bytes consumed so far, for a progress bar.
    """

    def __init__(self, stream: IO[bytes], source: str) -> None:
        self.stream = stream
        self.source = source
        self.position = 0
        self.json_lines = source.lower().endswith(JSON_LINES_SUFFIXES)

    def __iter__(self) -> Iterator[Page]:
        line_number = 0
        index = 0
        for line in self.stream:
            line_number += 1
            self.position += len(line)
            if not line.strip():
                continue
            value = self._decode_line(line, line_number, index)
            if value is _NOT_A_LINE:
                # The first line is not a page by itself: one JSON document.
                yield from self._document(line, line_number - 1)
                return
            self.json_lines = True
            yield self._page(value, index, line_number)
            index += 1

    def _decode_line(self, line: bytes, line_number: int, index: int) -> Any:
        try:
            value = json.loads(line)
        except ValueError as error:
            if not self.json_lines and index == 0:
                return _NOT_A_LINE
            raise PageError(self.source, line_number, f"page {index}", _json_problem(error)) from None
        if not self.json_lines and index == 0 and not isinstance(value, Mapping):
            return _NOT_A_LINE
        return value

    def _document(self, first_line: bytes, blank_lines: int) -> Iterator[Page]:
        rest = self.stream.read()
        self.position += len(rest)
        try:
            value = json.loads(first_line + rest)
        except json.JSONDecodeError as error:
            # json counts lines from the first one it saw, after any blank ones.
            line = error.lineno + blank_lines
            raise PageError(self.source, line, None, _json_problem(error)) from None
        except ValueError as error:
            raise PageError(self.source, None, None, _json_problem(error)) from None
        if isinstance(value, list):
            for index, item in enumerate(value):
                yield self._page(item, index, None)
        else:
            yield self._page(value, 0, None)

    def _page(self, value: Any, index: int, line: int | None) -> Page:
        try:
            return parse_page(value, index)
        except InputError as error:
            page = f"page {index}"
            page_id = value.get("page_id") if isinstance(value, Mapping) else None
            if isinstance(page_id, (str, int)) and not isinstance(page_id, bool):
                page += f" ({json.dumps(page_id)})"
            raise PageError(self.source, line, page, str(error)) from None


_NOT_A_LINE = object()


def _json_problem(error: ValueError) -> str:
    if isinstance(error, json.JSONDecodeError):
        return f"invalid JSON: {error.msg} (column {error.colno})"
    # json.loads on bytes that are not UTF-8 raises a plain UnicodeDecodeError.
    return f"not UTF-8 text: {error}"
