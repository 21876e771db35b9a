// Which elements stay out of the XY-cut: titles, vision elements, and wide
// elements that overlap at least two others (they span columns).
#pragma once

#include <span>
#include <vector>

#include "layout/records.hpp"

namespace tarvello::paper {

// Median width of all elements (total order, mean of the middle two for an
// even count) times 1.3.
float cross_layout_width_threshold(std::span<const Element> elements);

struct MaskedSplit {
    std::vector<Element> regular;
    std::vector<Element> masked;
};

// Both lists keep the input order; each element lands in exactly one. The
// regular ones stay in the storage they came in.
MaskedSplit split_masked(std::vector<Element> elements);

}  // namespace tarvello::paper
