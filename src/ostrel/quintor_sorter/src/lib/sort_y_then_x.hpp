// The engine's fallback order: top to bottom, then left to right.
#pragma once

#include <span>
#include <vector>

#include "layout_box.hpp"

namespace tarvello::ostrel {

// A stable sort by (top, left), both compared by IEEE totalOrder, so boxes
// equal in both keys keep their input order.
std::vector<LayoutBox> sort_y_then_x(std::span<const LayoutBox> boxes);

}  // namespace tarvello::ostrel
