// Recursive segmentation: cut a group at its widest empty band, read the part
// above (or to the left) first, and fall back to y-then-x when nothing cuts.
#pragma once

#include <span>
#include <vector>

#include "layout_box.hpp"

namespace tarvello::ostrel {

// A gap makes a cut only if it is at least this wide.
inline constexpr float kMinCutGap = 5.0f;
// Boxes narrower than this share of the group's span are left out when the
// vertical gap is searched a second time.
inline constexpr float kNarrowFraction = 0.1f;
// A horizontal and a vertical gap closer than this count as equally wide.
inline constexpr float kGapTieTolerance = 0x1p-23f;

// Returns the boxes in reading order, each exactly once. Runs from a work
// list, so a cut per box (n - 1 levels) costs no stack.
std::vector<LayoutBox> segment(std::span<const LayoutBox> boxes, bool prefer_horizontal_first);

namespace detail {
// `segment` with the full-width working indices that only pages beyond 2^32
// boxes need; reachable here so that the path runs on small pages too.
std::vector<LayoutBox> segment_wide(std::span<const LayoutBox> boxes, bool prefer_horizontal_first);
}  // namespace detail

}  // namespace tarvello::ostrel
