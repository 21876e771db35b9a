"""Reading order of plain boxes, for pipelines that hold boxes rather than Element objects."""

from __future__ import annotations

from collections.abc import Callable, Mapping, Sequence
from types import MappingProxyType
from typing import Any

from tarvello import _checks
from tarvello._checks import Box
from tarvello._tarvello_core import (
    Element,
    SemanticLabel,
    XYCutConfig,
    compute_order,
    compute_order_ostrel,
)

__all__ = ["ENGINES", "default_page_bounds", "order_boxes"]

OrderFunction = Callable[
    [Sequence[Element], tuple[float, float, float, float], XYCutConfig | None], list[int]
]

#: The ordering function behind each engine name.
ENGINES: Mapping[str, OrderFunction] = MappingProxyType(
    {"paper": compute_order, "ostrel": compute_order_ostrel}
)


def order_boxes(
    boxes: Any,
    labels: Sequence[str | SemanticLabel] | None = None,
    page_bounds: Sequence[float] | None = None,
    engine: str = "paper",
    config: XYCutConfig | None = None,
) -> list[int]:
    """Reading order of plain boxes, as indices into ``boxes``, first read first.

    ``boxes``: a sequence of (x1, y1, x2, y2) boxes, left, top, right, bottom,
    with y growing down the page; or an (n, 4) array (a numpy array works, and
    numpy is not needed otherwise).

    ``labels``: one per box, each a ``SemanticLabel`` member or a name from
    ``tarvello.labels`` ("title", "text", "figure", "Regular", ...). None reads
    every box as ``SemanticLabel.Regular``.

    ``page_bounds``: (x_min, y_min, x_max, y_max). None takes the page to start
    at the origin, like image pixels and PDF points, and to reach the right and
    bottom edges of the furthest boxes: (0, 0, max x2, max y2), extended to
    negative coordinates when boxes lie there.

    ``engine``: "paper" or "ostrel". ``config``: an ``XYCutConfig`` for the
    paper engine; the ostrel engine ignores it.

    Raises ``TypeError`` or ``ValueError`` naming the box or label at fault.
    """
    function = ENGINES.get(engine) if isinstance(engine, str) else None
    if function is None:
        raise ValueError(f"engine must be 'paper' or 'ostrel', not {engine!r}")
    checked = _boxes(boxes)
    semantic = _labels(labels, len(checked))
    if page_bounds is None:
        bounds = default_page_bounds(checked)
    else:
        bounds = _checks.page_bounds(page_bounds, "page_bounds")
    # The index is the id, so the engine's order of ids is the order of indices.
    elements = [Element(i, *b, semantic[i]) for i, b in enumerate(checked)]
    return function(elements, bounds, config)


def default_page_bounds(boxes: Sequence[Box]) -> Box:
    """(0, 0, max x2, max y2), reaching below 0 where boxes do, and never without area."""
    x_min = min([0.0, *(b[0] for b in boxes)])
    y_min = min([0.0, *(b[1] for b in boxes)])
    x_max = max([x_min, *(b[2] for b in boxes)])
    y_max = max([y_min, *(b[3] for b in boxes)])
    # Boxes of no width or height at the origin still make a page.
    return x_min, y_min, max(x_max, x_min + 1.0), max(y_max, y_min + 1.0)


def _boxes(boxes: Any) -> list[Box]:
    shape = getattr(boxes, "shape", None)
    if shape is not None:
        shape = tuple(shape)
        if not (len(shape) == 2 and shape[1] == 4) and shape != (0,):
            raise _checks.InputError("boxes", f"expected an array of shape (n, 4), got shape {shape}")
        boxes = boxes.tolist()
    rows = _checks.items(boxes, "boxes", "a sequence of (x1, y1, x2, y2) boxes")
    return [_checks.box(row, f"boxes[{i}]") for i, row in enumerate(rows)]


def _labels(labels: Any, count: int) -> list[SemanticLabel]:
    if labels is None:
        return [SemanticLabel.Regular] * count
    expected = "a sequence of label names or SemanticLabel members, one per box"
    if isinstance(labels, SemanticLabel):
        raise _checks.InputTypeError("labels", f"expected {expected}, got a SemanticLabel")
    names = _checks.items(labels, "labels", expected)
    if len(names) != count:
        raise _checks.InputError("labels", f"expected one label per box ({count}), got {len(names)}")
    return [_checks.label(name, f"labels[{i}]") for i, name in enumerate(names)]
