"""Reading order of plain boxes, for pipelines that hold boxes rather than Element objects.

The work is native (``tarvello._boxes``): boxes, arrays and pages are read
without Python objects per number, and the engines run with the interpreter
released, so threads order pages side by side.
"""

from __future__ import annotations

import os
from collections.abc import Callable, Iterable, Mapping, Sequence
from types import MappingProxyType
from typing import Any

from tarvello import _boxes
from tarvello._tarvello_core import (
    Element,
    SemanticLabel,
    XYCutConfig,
    compute_order,
    compute_order_ostrel,
)

__all__ = ["BOX_FORMATS", "DEFAULT_ENGINE", "DIRECTIONS", "ENGINES", "order_boxes", "order_pages"]

OrderFunction = Callable[
    [Sequence[Element], tuple[float, float, float, float], XYCutConfig | None], list[int]
]

#: The ordering function behind each engine name.
ENGINES: Mapping[str, OrderFunction] = MappingProxyType(
    {"paper": compute_order, "ostrel": compute_order_ostrel}
)
#: The engine used when none is named: on human-ordered pages of four public
#: collections (newspapers, early prints, modern PDF pages) its order was the
#: closer to the human one in every collection.
DEFAULT_ENGINE = "ostrel"

#: The native module's code of each engine.
ENGINE_CODES: Mapping[str, int] = MappingProxyType({"paper": 0, "ostrel": 1})

#: How a box's four numbers are read: corners, or COCO's corner and size.
BOX_FORMATS = ("xyxy", "xywh")
_FORMAT_CODES = {"xyxy": 0, "xywh": 1}

#: The reading directions: lines left to right (the engines' own), right to
#: left (Arabic, Hebrew, Persian, Urdu), and vertical columns read top to
#: bottom, the columns right to left (Chinese, Japanese, Korean) or left to
#: right (Mongolian). The others are mapped exactly onto the first.
DIRECTIONS = ("ltr", "rtl", "vertical-rl", "vertical-lr")
DIRECTION_CODES: Mapping[str, int] = MappingProxyType({name: code for code, name in enumerate(DIRECTIONS)})


def order_boxes(
    boxes: Any,
    labels: Sequence[str | SemanticLabel] | None = None,
    page_bounds: Sequence[float] | None = None,
    engine: str = DEFAULT_ENGINE,
    config: XYCutConfig | None = None,
    box_format: str = "xyxy",
    direction: str = "ltr",
) -> list[int]:
    """Reading order of plain boxes, as indices into ``boxes``, first read first.

    ``boxes``: a sequence of (x1, y1, x2, y2) boxes, left, top, right, bottom,
    with y growing down the page; or an (n, 4) array (a numpy array of
    float32, float64, int32 or int64 is read in place, and numpy is not
    needed otherwise). With ``box_format="xywh"`` each box is COCO's
    (x, y, width, height).

    ``labels``: one per box, each a ``SemanticLabel`` member or a name from
    ``tarvello.labels`` ("title", "text", "figure", "Regular", ...). None reads
    every box as ``SemanticLabel.Regular``.

    ``page_bounds``: (x_min, y_min, x_max, y_max). None takes the page to start
    at the origin, like image pixels and PDF points, and to reach the right and
    bottom edges of the furthest boxes: (0, 0, max x2, max y2), extended to
    negative coordinates when boxes lie there.

    ``engine``: "ostrel" (the default) or "paper". ``config``: an
    ``XYCutConfig`` for the paper engine; the ostrel engine ignores it.

    ``direction``: how the page is read, one of ``DIRECTIONS``: "ltr", "rtl",
    "vertical-rl" or "vertical-lr". On a vertical page a vertical headline
    (``VerticalTitle``) heads the columns as a title heads a horizontal page.

    Raises ``TypeError`` or ``ValueError`` naming the box or label at fault.
    """
    return _boxes.order_boxes(
        boxes, labels, page_bounds, _engine_code(engine), config, _format_code(box_format),
        direction_code(direction),
    )


def order_pages(
    pages: Iterable[Any],
    *,
    engine: str = DEFAULT_ENGINE,
    config: XYCutConfig | None = None,
    threads: int | None = None,
    box_format: str = "xyxy",
    direction: str = "ltr",
) -> list[list[int]]:
    """Reading orders of many pages, one list per page, in the order given.

    Each page is a mapping in the command line's format (``page_bounds``,
    ``elements`` with ``id``, ``bbox`` and ``label``; its order lists the
    ids) or a ``(boxes, labels, page_bounds)`` tuple as ``order_boxes`` takes
    them (its order lists indices; ``labels`` and ``page_bounds`` may be None).

    ``threads`` worker threads order the pages with the interpreter released
    (default: the CPUs this process may use). Log records written while a
    page is ordered carry its index as ``record.page``. ``box_format`` (how
    the four numbers of every box are read, bbox included) and ``direction``
    are ``order_boxes``'s.

    A bad page raises ``ValueError`` or ``TypeError`` naming its index and
    field (``pages[3].elements[0].bbox: ...``); its ``page`` attribute is the
    index.
    """
    if threads is None:
        threads = os.process_cpu_count() or 1
    elif isinstance(threads, bool) or not isinstance(threads, int) or threads < 1:
        raise ValueError(f"threads must be a positive integer, not {threads!r}")
    return _boxes.order_pages(
        pages, _engine_code(engine), config, threads, 0, _format_code(box_format), direction_code(direction)
    )


def _engine_code(engine: str) -> int:
    code = ENGINE_CODES.get(engine) if isinstance(engine, str) else None
    if code is None:
        raise ValueError(f"engine must be 'paper' or 'ostrel', not {engine!r}")
    return code


def direction_code(direction: str) -> int:
    """The native module's code of a reading direction; ValueError for another name."""
    code = DIRECTION_CODES.get(direction) if isinstance(direction, str) else None
    if code is None:
        raise ValueError(f"direction must be one of {', '.join(map(repr, DIRECTIONS))}, not {direction!r}")
    return code


def _format_code(box_format: str) -> int:
    code = _FORMAT_CODES.get(box_format) if isinstance(box_format, str) else None
    if code is None:
        raise ValueError(f"box_format must be 'xyxy' or 'xywh', not {box_format!r}")
    return code
