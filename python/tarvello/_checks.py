"""The errors of bad input and the wording of values in their messages.

The checks themselves are native (``tarvello._boxes``); they raise these
classes, and word a value they refuse with ``kind``. Every failure names the
field it is about ("boxes[3]", "elements[2].bbox"), so that a message points
at the one value to fix.
"""

from __future__ import annotations

import numbers
from collections.abc import Mapping

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
