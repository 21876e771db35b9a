// Row-then-x order: the fallback of the XY-cut and the order in which the
// re-insertion takes each bucket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/records.hpp"

namespace tarvello::paper {

// Row and centre x as one integer that ascends with the row-then-x order:
// the row (the absolute band of centre y; saturating, NaN is row 0) in the
// high half, centre x's total-order key in the low half.
std::int64_t position_key(float centre_x, float centre_y, float same_row_tolerance);

// A position key and the index of what it belongs to, which breaks ties as
// a stable sort of the items in index order would.
struct PositionKey {
    std::int64_t key;
    std::size_t index;
};
void sort_position_keys(std::span<PositionKey> keys);

// Sorts stably by row, then by centre x in IEEE total order.
void sort_by_position(std::span<Element> elements, float same_row_tolerance);

}  // namespace tarvello::paper
