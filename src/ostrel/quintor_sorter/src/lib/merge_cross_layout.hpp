// Puts the boxes set aside as cross-layout back into the segmented order, by
// vertical position, without touching that order.
#pragma once

#include <span>
#include <vector>

#include "layout_box.hpp"

namespace tarvello::ostrel {

// Each cross-layout box (in y-then-x order) goes just before the first main
// box, from the current position on, whose top is at least its own.
std::vector<LayoutBox> merge_cross_layout(std::span<const LayoutBox> cross, std::span<const LayoutBox> main);

}  // namespace tarvello::ostrel
