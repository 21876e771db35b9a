from collections.abc import Sequence
from typing import ClassVar, final

__all__ = [
    "reset_log_cache",
    "compute_order_ostrel",
    "compute_order",
    "compute_order_paper",
    "XYCutConfig",
    "SemanticLabel",
    "Element",
]

def reset_log_cache() -> None:
    """Empty the cache of logger levels, so that a changed logging configuration counts."""

def compute_order(
    elements: Sequence[Element],
    page_bounds: tuple[float, float, float, float],
    config: XYCutConfig | None = None,
) -> list[int]:
    """Reading order of the elements' ids with the paper engine."""

def compute_order_paper(
    elements: Sequence[Element],
    page_bounds: tuple[float, float, float, float],
    config: XYCutConfig | None = None,
) -> list[int]:
    """Reading order of the elements' ids with the paper engine."""

def compute_order_ostrel(
    elements: Sequence[Element],
    page_bounds: tuple[float, float, float, float],
    config: XYCutConfig | None = None,
) -> list[int]:
    """Reading order of the elements' ids with the ostrel engine; bounds and config are ignored."""

@final
class SemanticLabel:
    """The role of a box; the five members are the only instances."""

    CrossLayout: ClassVar[SemanticLabel]
    HorizontalTitle: ClassVar[SemanticLabel]
    VerticalTitle: ClassVar[SemanticLabel]
    Vision: ClassVar[SemanticLabel]
    Regular: ClassVar[SemanticLabel]
    def __int__(self) -> int: ...

@final
class Element:
    """One layout box: x1, y1 the left and top edge, x2, y2 the right and bottom edge."""

    def __new__(
        cls, id: int, x1: float, y1: float, x2: float, y2: float, label: SemanticLabel
    ) -> Element: ...
    @property
    def id(self) -> int: ...
    @property
    def x1(self) -> float: ...
    @property
    def y1(self) -> float: ...
    @property
    def x2(self) -> float: ...
    @property
    def y2(self) -> float: ...
    @property
    def label(self) -> SemanticLabel: ...

@final
class XYCutConfig:
    """Tuning of the paper engine."""

    def __new__(
        cls,
        min_cut_threshold: float = 15.0,
        histogram_resolution_scale: float = 0.5,
        same_row_tolerance: float = 10.0,
    ) -> XYCutConfig: ...
    @property
    def min_cut_threshold(self) -> float: ...
    @min_cut_threshold.setter
    def min_cut_threshold(self, value: float) -> None: ...
    @property
    def histogram_resolution_scale(self) -> float: ...
    @histogram_resolution_scale.setter
    def histogram_resolution_scale(self, value: float) -> None: ...
    @property
    def same_row_tolerance(self) -> float: ...
    @same_row_tolerance.setter
    def same_row_tolerance(self, value: float) -> None: ...
