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
import os
import select
import stat
from collections.abc import Iterator, Mapping
from typing import IO, Any

from tarvello import _checks
from tarvello._checks import Box, InputError
from tarvello._tarvello_core import Element
from tarvello.labels import label_from_name

__all__ = ["Page", "PageError", "PageReader", "page_elements"]

JSON_LINES_SUFFIXES = (".jsonl", ".ndjson", ".jsonlines")


class Page:
    """One page of a file, not yet checked (``tarvello.order_pages`` checks it).

    A page of JSON Lines keeps its line's text and is decoded only when
    something needs its value: the native reader takes most pages as text.
    """

    __slots__ = ("_value", "index", "line", "source", "text")

    def __init__(self, source: str, index: int, line: int | None, *, text: bytes | None = None,
                 value: Any = None) -> None:
        self.source = source
        self.index = index  # position in its file, from 0
        self.line = line  # its line, for JSON Lines
        self.text = text
        self._value = value

    @property
    def value(self) -> Any:
        """The page as json gives it; PageError for a line that is not JSON."""
        if self.text is not None and self._value is None:
            try:
                self._value = json.loads(self.text)
            except ValueError as error:
                raise PageError(self.source, self.line, f"page {self.index}", _json_problem(error)) from None
        return self._value

    @property
    def page_id(self) -> str | int | None:
        """The page's own page_id, when it is one (a string or an integer)."""
        try:
            value = self.value
        except PageError:
            return None
        page_id = value.get("page_id") if isinstance(value, Mapping) else None
        return page_id if isinstance(page_id, (str, int)) and not isinstance(page_id, bool) else None


    @property
    def key(self) -> str | int:
        """What the output calls the page: its own page_id, else its index."""
        page_id = self.page_id
        return self.index if page_id is None else page_id

    def error(self, error: InputError) -> PageError:
        """The error of a bad field of this page, located in its file."""
        page = f"page {self.index}"
        if self.page_id is not None:
            page += f" ({json.dumps(self.page_id)})"
        return PageError(self.source, self.line, page, f"{error.field}: {error.problem}")

    def not_an_object(self) -> PageError | None:
        """The error of a page that is no JSON object, else None."""
        if isinstance(self.value, dict):
            return None
        return self.error(InputError("page", f"expected an object, got {_checks.kind(self.value)}"))


class PageError(Exception):
    """Bad input, located by file, line (when known) and page (when known)."""

    def __init__(self, source: str, line: int | None, page: str | None, problem: str) -> None:
        where = [source]
        if line is not None:
            where.append(f"line {line}")
        if page is not None:
            where.append(page)
        super().__init__(": ".join([*where, problem]))
        self.problem = problem  # what is wrong, without where


def page_elements(value: Mapping[str, Any]) -> tuple[Box, list[Element], list[str]]:
    """The bounds, elements and label names of a page that order_pages accepted, for pictures."""
    x_min, y_min, x_max, y_max = (float(v) for v in value["page_bounds"])
    elements = []
    names = []
    for item in value["elements"]:
        name = item.get("label", "Regular")
        x1, y1, x2, y2 = (float(v) for v in item["bbox"])
        elements.append(Element(item["id"], x1, y1, x2, y2, label_from_name(name)))
        names.append(name)
    return (x_min, y_min, x_max, y_max), elements, names


class PageReader:
    """The pages of one binary stream, in order; PageError at the first bad one.

    ``position`` is the number of bytes consumed so far, for a progress bar.
    """

    def __init__(self, stream: IO[bytes], source: str) -> None:
        self.stream = stream
        self.source = source
        self.position = 0
        self.json_lines = source.lower().endswith(JSON_LINES_SUFFIXES)
        try:
            self._file = stat.S_ISREG(os.fstat(stream.fileno()).st_mode)
        except (OSError, ValueError):
            self._file = False

    def ready(self) -> bool:
        """Whether more input can be read now, without waiting for a writer.

        A file always can; a pipe or terminal when data is there. Lines
        already buffered count as not ready, which only makes a chunk shorter.
        """
        if self._file:
            return True
        try:
            return bool(select.select([self.stream], [], [], 0)[0])
        except (OSError, ValueError):
            return False

    def __iter__(self) -> Iterator[Page]:
        line_number = 0
        index = 0
        for line in self.stream:
            line_number += 1
            self.position += len(line)
            if not line.strip():
                continue
            if not self.json_lines and not self._a_page_by_itself(line):
                # The first line is not a page by itself: one JSON document.
                yield from self._document(line, line_number - 1)
                return
            self.json_lines = True
            yield Page(self.source, index, line_number, text=line)
            index += 1

    @staticmethod
    def _a_page_by_itself(line: bytes) -> bool:
        try:
            return isinstance(json.loads(line), Mapping)
        except ValueError:
            return False

    def document(self, first_line: bytes = b"", blank_lines: int = 0) -> Any:
        """The rest of the stream as one JSON document; PageError where it is not JSON."""
        rest = self.stream.read()
        self.position += len(rest)
        try:
            return json.loads(first_line + rest)
        except json.JSONDecodeError as error:
            # json counts lines from the first one it saw, after any blank ones.
            line = error.lineno + blank_lines
            raise PageError(self.source, line, None, _json_problem(error)) from None
        except ValueError as error:
            raise PageError(self.source, None, None, _json_problem(error)) from None

    def _document(self, first_line: bytes, blank_lines: int) -> Iterator[Page]:
        value = self.document(first_line, blank_lines)
        if isinstance(value, list):
            for index, item in enumerate(value):
                yield Page(self.source, index, None, value=item)
        else:
            yield Page(self.source, 0, None, value=value)


def _json_problem(error: ValueError) -> str:
    if isinstance(error, json.JSONDecodeError):
        return f"invalid JSON: {error.msg} (column {error.colno})"
    # json.loads on bytes that are not UTF-8 raises a plain UnicodeDecodeError.
    return f"not UTF-8 text: {error}"
