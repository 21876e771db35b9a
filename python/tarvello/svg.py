"""Reading-order pictures: one plain SVG per page, one panel per engine.

Each panel shows the page rectangle, every box coloured by its label, the
box's rank in the reading order, and an arrow from each element to the next.
Only elements that every browser draws; no script, no external file.
"""

from __future__ import annotations

from collections.abc import Sequence
from dataclasses import dataclass
from xml.sax.saxutils import escape

from tarvello._checks import Box
from tarvello._tarvello_core import Element, SemanticLabel

__all__ = ["COLOURS", "Panel", "page_svg"]

#: The colour of each label's boxes, in the legend's order.
COLOURS: tuple[tuple[SemanticLabel, str], ...] = (
    (SemanticLabel.HorizontalTitle, "#d62728"),
    (SemanticLabel.VerticalTitle, "#9467bd"),
    (SemanticLabel.Vision, "#2ca02c"),
    (SemanticLabel.Regular, "#1f77b4"),
    (SemanticLabel.CrossLayout, "#ff7f0e"),
)
_COLOUR = dict(COLOURS)

PANEL_WIDTH = 420.0  # pixels given to the page's width in each panel
MARGIN = 20.0
HEADING = 26.0  # room above each page for the panel's heading
LEGEND = 34.0
BADGE = 8.0  # radius of the rank badges


@dataclass(frozen=True)
class Panel:
    heading: str  # e.g. "paper engine"
    order: Sequence[int]  # element ids, first read first


@dataclass(frozen=True)
class _Frame:
    """Maps page units to the pixels of one panel."""

    left: float
    top: float
    x_min: float
    y_min: float
    scale: float

    def place(self, box: Box) -> Box:
        return (
            self.left + (box[0] - self.x_min) * self.scale,
            self.top + (box[1] - self.y_min) * self.scale,
            self.left + (box[2] - self.x_min) * self.scale,
            self.top + (box[3] - self.y_min) * self.scale,
        )


def page_svg(
    title: str,
    bounds: Box,
    elements: Sequence[Element],
    label_names: Sequence[str],
    panels: Sequence[Panel],
) -> str:
    """The SVG text of one page, with the panels side by side."""
    x_min, y_min, x_max, y_max = bounds
    scale = PANEL_WIDTH / (x_max - x_min)
    width = MARGIN + len(panels) * (PANEL_WIDTH + MARGIN)
    height = MARGIN + HEADING + (y_max - y_min) * scale + LEGEND
    out = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width:.0f}" height="{height:.0f}" '
        f'viewBox="0 0 {width:.0f} {height:.0f}" font-family="Helvetica, Arial, sans-serif">',
        f"<title>{escape(title)}</title>",
        '<defs><marker id="head" viewBox="0 0 10 10" refX="9" refY="5" markerWidth="6" '
        'markerHeight="6" orient="auto"><path d="M0,0 L10,5 L0,10 z" fill="#222"/></marker></defs>',
        f'<rect width="{width:.0f}" height="{height:.0f}" fill="#f2f2f2"/>',
    ]
    for k, panel in enumerate(panels):
        frame = _Frame(MARGIN + k * (PANEL_WIDTH + MARGIN), MARGIN + HEADING, x_min, y_min, scale)
        out.append(
            f'<text x="{frame.left:.1f}" y="{MARGIN + 14:.1f}" font-size="15" '
            f'font-weight="bold">{escape(panel.heading)}</text>'
        )
        out.append(f'<rect class="page" {_corners(frame.place(bounds))} fill="white" stroke="#999"/>')
        out.extend(_panel(frame, elements, label_names, panel.order))
    out.extend(_legend(height - LEGEND / 2))
    out.append("</svg>")
    return "\n".join(out) + "\n"


def _panel(
    frame: _Frame, elements: Sequence[Element], label_names: Sequence[str], order: Sequence[int]
) -> list[str]:
    # Boxes first, then arrows, then badges, so that ranks stay readable.
    rank = {id_: r for r, id_ in enumerate(order, 1)}
    placed = {e.id: frame.place((e.x1, e.y1, e.x2, e.y2)) for e in elements}
    out = []
    for e, name in zip(elements, label_names):
        colour = _COLOUR[e.label]
        tip = f"id {e.id}, {name} ({_bare(e.label)}), rank {rank.get(e.id, '-')}"
        out.append(
            f'<g class="element"><title>{escape(tip)}</title><rect {_corners(placed[e.id])} '
            f'fill="{colour}" fill-opacity="0.18" stroke="{colour}" stroke-width="1.2"/></g>'
        )
    centres = [_centre(placed[i]) for i in order if i in placed]
    for (ax, ay), (bx, by) in zip(centres, centres[1:]):
        out.append(
            f'<line class="arrow" x1="{ax:.1f}" y1="{ay:.1f}" x2="{bx:.1f}" y2="{by:.1f}" '
            'stroke="#222" stroke-opacity="0.75" stroke-width="1.3" marker-end="url(#head)"/>'
        )
    for e in elements:
        if e.id in rank:
            x, y = placed[e.id][:2]
            out.append(
                f'<g class="rank"><circle cx="{x + BADGE + 1:.1f}" cy="{y + BADGE + 1:.1f}" '
                f'r="{BADGE}" fill="{_COLOUR[e.label]}"/><text x="{x + BADGE + 1:.1f}" '
                f'y="{y + BADGE + 4.5:.1f}" font-size="11" font-weight="bold" fill="white" '
                f'text-anchor="middle">{rank[e.id]}</text></g>'
            )
    return out


def _legend(y: float) -> list[str]:
    out = []
    x = MARGIN
    for label, colour in COLOURS:
        name = _bare(label)
        out.append(
            f'<rect x="{x:.1f}" y="{y - 9:.1f}" width="14" height="12" fill="{colour}" '
            f'fill-opacity="0.35" stroke="{colour}"/>'
            f'<text x="{x + 19:.1f}" y="{y + 1:.1f}" font-size="12">{name}</text>'
        )
        x += 32 + 7.2 * len(name)
    return out


def _corners(box: Box) -> str:
    x1, y1, x2, y2 = box
    return f'x="{x1:.1f}" y="{y1:.1f}" width="{x2 - x1:.1f}" height="{y2 - y1:.1f}"'


def _centre(box: Box) -> tuple[float, float]:
    return (box[0] + box[2]) / 2, (box[1] + box[3]) / 2


def _bare(label: SemanticLabel) -> str:
    # repr is "SemanticLabel.Vision"; the legend shows the bare name.
    return repr(label).rpartition(".")[2]
