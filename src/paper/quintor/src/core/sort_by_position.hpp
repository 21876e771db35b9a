// Row-then-x order: the fallback of the XY-cut and the order in which the
// re-insertion takes each bucket.
#pragma once

#include <cstdint>
#include <span>

#include "layout/records.hpp"

namespace tarvello::paper {

// Absolute row band of an element's centre y; saturating, NaN is row 0.
std::int32_t position_row(const Element& element, float same_row_tolerance);

// Sorts stably by row, then by centre x in IEEE total order.
void sort_by_position(std::span<Element> elements, float same_row_tolerance);

}  // namespace tarvello::paper
