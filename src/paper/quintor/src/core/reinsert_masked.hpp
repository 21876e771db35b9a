// Puts the masked elements back into the XY-cut's order, one at a time, each
// before the element where it costs least.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "layout/records.hpp"

namespace tarvello::paper {

// Buckets by label class, each taken in row-then-x order; an element goes
// before the cheapest admissible position or, failing that, to the end.
ReadingOrder reinsert_masked(ReadingOrder order, std::span<const Element> regular, std::span<const Element> masked,
                             float same_row_tolerance);

// The same, with the order given as positions in `regular`. Both are taken
// so that they can be freed once the order is indexed.
ReadingOrder reinsert_masked_by_position(std::vector<std::size_t> positions, std::vector<Element> regular,
                                         std::span<const Element> masked, float same_row_tolerance);

}  // namespace tarvello::paper
