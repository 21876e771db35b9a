"""Checks of boxes, page rectangles and labels shared by order_boxes and the command line.

Every failure names the field it is about ("boxes[3]", "elements[2].bbox"), so
that a message points at the one value to fix.
"""

from __future__ import annotations

import math
import numbers
from collections.abc import Mapping
from typing import Any

from tarvello._tarvello_core import SemanticLabel
from tarvello.labels import label_from_name

Box = tuple[float, float, float, float]


class InputError(ValueError):
    """A value that cannot be ordered, with the name of the field it came from.

    ``page`` is the index of the page at fault in a call on many pages, and
    then ``field`` names the field within that page.
    """

    def __init__(self, field: str, problem: str, page: int | None = None) -> None:
        where = field
        if page is not None:
            where = f"pages[{page}]" if field == "page" else f"pages[{page}].{field}"
        super().__init__(f"{where}: {problem}")
        self.field = field
        self.problem = problem
        self.page = page


class InputTypeError(InputError, TypeError):
    """An InputError about a value of the wrong kind; also a TypeError, as Python expects."""


def kind(value: object) -> str:
    """How a value is named in messages: the JSON words for what JSON gives."""
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "a boolean"
    if isinstance(value, str):
        return f"the string {value!r}"
    if isinstance(value, Mapping):
        return "an object"
    if isinstance(value, numbers.Real):
        return f"the number {number_text(value)}"
    if isinstance(value, (list, tuple)):
        return f"a list of {len(value)}"
    return type(value).__name__


def number_text(value: object) -> str:
    # 612.0 reads better as 612 in a message about a page of 612 points.
    return f"{value:g}" if isinstance(value, float) else str(value)


def items(value: Any, field: str, expected: str) -> list[Any]:
    """The items of a list, tuple or array-like; strings and mappings are refused."""
    if isinstance(value, (str, bytes, Mapping)) or not hasattr(value, "__len__"):
        raise InputTypeError(field, f"expected {expected}, got {kind(value)}")
    try:
        return list(value)
    except TypeError:
        raise InputTypeError(field, f"expected {expected}, got {kind(value)}") from None


def number(value: Any, field: str) -> float:
    # bool is an int to Python, but true/false in a box is always a mistake.
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise InputTypeError(field, f"expected a number, got {kind(value)}")
    result = float(value)
    if not math.isfinite(result):
        raise InputError(field, f"expected a finite number, got {number_text(result)}")
    return result


def four_numbers(value: Any, field: str, names: str) -> Box:
    expected = f"a list of 4 numbers ({names})"
    values = items(value, field, expected)
    if len(values) != 4:
        raise InputError(field, f"expected 4 numbers ({names}), got {len(values)}")
    a, b, c, d = (number(v, f"{field}[{k}]") for k, v in enumerate(values))
    return a, b, c, d


def box(value: Any, field: str) -> Box:
    """One box as (x1, y1, x2, y2), left, top, right, bottom."""
    x1, y1, x2, y2 = four_numbers(value, field, "x1, y1, x2, y2")
    # Both engines read x1/y1 as the left/top edge; an inverted box is a
    # detector or conversion bug that would be ordered by a negative width.
    if x2 < x1:
        raise InputError(field, f"x2 ({number_text(x2)}) is less than x1 ({number_text(x1)})")
    if y2 < y1:
        raise InputError(field, f"y2 ({number_text(y2)}) is less than y1 ({number_text(y1)})")
    return x1, y1, x2, y2


def page_bounds(value: Any, field: str) -> Box:
    """The page rectangle as (x_min, y_min, x_max, y_max); it must have an area."""
    x_min, y_min, x_max, y_max = four_numbers(value, field, "x_min, y_min, x_max, y_max")
    # The paper engine answers a page without area with an empty order, which
    # would look like a page without elements; say so instead.
    if not x_max > x_min:
        raise InputError(
            field, f"x_max ({number_text(x_max)}) must be greater than x_min ({number_text(x_min)})"
        )
    if not y_max > y_min:
        raise InputError(
            field, f"y_max ({number_text(y_max)}) must be greater than y_min ({number_text(y_min)})"
        )
    return x_min, y_min, x_max, y_max


def label(value: Any, field: str) -> SemanticLabel:
    """A SemanticLabel member, or a name from the label table."""
    if isinstance(value, SemanticLabel):
        return value
    if not isinstance(value, str):
        raise InputTypeError(
            field, f"expected a label name or a SemanticLabel member, got {kind(value)}"
        )
    try:
        return label_from_name(value)
    except ValueError as error:
        raise InputError(field, str(error)) from None
