"""Reading orders of JSON Lines pages as the command line's output lines.

``order_lines`` is the helper for maps over partitions of a corpus (a Dask
bag, a Spark RDD, a Ray dataset): JSON Lines texts in, one output line out
per page, and a bad page becomes an error line instead of an exception, so a
partition never dies on one page. The command line's ``order`` writes the
same lines.
"""

from __future__ import annotations

import json
from collections.abc import Iterable, Iterator

from tarvello import _boxes
from tarvello._checks import InputError
from tarvello._tarvello_core import XYCutConfig
from tarvello.boxes import DEFAULT_ENGINE, ENGINE_CODES, direction_code
from tarvello.pages import Page, PageError

__all__ = ["order_lines"]

# Pages handed to the native reader at once.
CHUNK_PAGES = 256


def order_lines(lines: Iterable[str | bytes], engine: str = DEFAULT_ENGINE, config: XYCutConfig | None = None,
                *, start: int = 0, direction: str = "ltr") -> Iterator[str]:
    """The command line's output line for each page of JSON Lines, in order.

    Each text holds one page in the command line's format; blank ones are
    skipped, as the command line skips them. A page comes out as
    ``{"page": <page_id or index>, "order": [ids]}`` and a bad one as
    ``{"page": <page_id or index>, "error": "<what is wrong>"}``, without
    the newline (text writers such as Dask's ``to_textfiles`` and Spark's
    ``saveAsTextFile`` add it). ``start`` is the index of the first page, for
    pages without a page_id; ``direction`` is ``order_boxes``'s. Orders on
    the calling thread: the cluster runs the partitions side by side.
    """
    if engine not in ENGINE_CODES:
        raise ValueError(f"engine must be 'paper' or 'ostrel', not {engine!r}")
    direction_code(direction)  # a wrong name fails here, not in the first chunk
    chunk: list[Page] = []
    index = start
    for line in lines:
        text = line.encode("utf-8", "surrogatepass") if isinstance(line, str) else line
        if not text.strip():
            continue
        chunk.append(Page("<lines>", index, None, text=text))
        index += 1
        if len(chunk) == CHUNK_PAGES:
            yield from _lines(chunk, engine, config, direction)
            chunk = []
    if chunk:
        yield from _lines(chunk, engine, config, direction)


def _lines(chunk: list[Page], engine: str, config: XYCutConfig | None, direction: str) -> Iterator[str]:
    for page, result in ordered(chunk, engine, config, 1, direction):
        yield "{" + result if isinstance(result, str) else error_line(page, result)


def error_line(page: Page, error: PageError, head: str = "{") -> str:
    """The line that stands for a bad page: its page_id or index, and what is wrong."""
    return head + json.dumps({"page": page.key, "error": error.problem})[1:]


def ordered(chunk: list[Page], engine: str, config: XYCutConfig | None, threads: int,
            direction: str = "ltr") -> Iterator[tuple[Page, str | PageError]]:
    """Each page of a chunk with the rest of its output line after "{" (no newline), or its PageError.

    Lines of plain JSON are read and ordered natively; the others, and every
    bad page, go through json and order_pages, which word the errors.
    """
    texts = [page.text for page in chunk if page.text is not None]
    tails: list[bytes | None] = [None] * len(chunk)
    if len(texts) == len(chunk):
        tails = _boxes.order_json_lines(texts, chunk[0].index, ENGINE_CODES[engine], config, threads,
                                        direction_code(direction))
    for page, tail in zip(chunk, tails):
        if tail is not None:
            yield page, tail.decode()
            continue
        try:
            order = general_order(page, engine, config, direction)
        except PageError as error:
            yield page, error
        else:
            yield page, json.dumps({"page": page.key, "order": order})[1:]


def general_order(page: Page, engine: str, config: XYCutConfig | None, direction: str = "ltr") -> list[int]:
    """The order of a page through json and order_pages, whose checks word the errors."""
    if (problem := page.not_an_object()) is not None:
        raise problem
    try:
        [order] = _boxes.order_pages([page.value], ENGINE_CODES[engine], config, 1, page.index, 0,
                                     direction_code(direction))
    except InputError as error:
        raise page.error(error) from None
    return order
