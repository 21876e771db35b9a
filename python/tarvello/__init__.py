"""Reading order of the layout elements of a document page.

The functions take the page's elements (``Element`` boxes with an id and a
``SemanticLabel``) and the page rectangle, and return the ids in reading order.
Diagnostics go to the ``logging`` logger ``tarvello`` and its children; call
``reset_log_cache()`` after changing their levels.
"""

from importlib import metadata

from tarvello._tarvello_core import (
    Element,
    SemanticLabel,
    XYCutConfig,
    compute_order,
    compute_order_ostrel,
    compute_order_paper,
    reset_log_cache,
)

# The plain-box API lives in the package, not in the native module.
from tarvello.boxes import order_boxes, order_pages
from tarvello.lines import order_lines

try:
    __version__ = metadata.version("tarvello")
except metadata.PackageNotFoundError:  # run from the source tree, not installed
    __version__ = "0+unknown"

__all__ = [
    "Element",
    "SemanticLabel",
    "XYCutConfig",
    "compute_order",
    "compute_order_ostrel",
    "compute_order_paper",
    "order_boxes",
    "order_lines",
    "order_pages",
    "reset_log_cache",
]
