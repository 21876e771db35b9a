// How densely boxes fill their bounding region; it decides which cut wins a tie.
#pragma once

#include <span>

#include "layout_box.hpp"

namespace tarvello::ostrel {

// The summed box areas over the region's area, at most 1. A region of no area
// (or NaN area) and a NaN quotient give 1.
float density_ratio(std::span<const LayoutBox> boxes);

}  // namespace tarvello::ostrel
