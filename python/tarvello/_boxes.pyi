from typing import Any

from tarvello._tarvello_core import XYCutConfig

def order_boxes(
    boxes: Any, labels: Any, page_bounds: Any, engine: int, config: XYCutConfig | None, box_format: int,
    direction: int, /
) -> list[int]: ...
def order_pages(
    pages: Any, engine: int, config: XYCutConfig | None, threads: int, first_index: int, box_format: int,
    direction: int, /
) -> list[list[int]]: ...
def order_json_lines(
    lines: list[bytes], first_index: int, engine: int, config: XYCutConfig | None, threads: int, direction: int, /
) -> list[bytes | None]: ...
