// Counts, for one element at a time, the other elements its box overlaps with
// positive area, stopping at a limit. Elements sorted by top edge under a tree
// of their largest bottom edge, so a query only walks the elements that share
// its vertical extent instead of the whole page.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "layout/records.hpp"

namespace tarvello::paper {

class OverlapIndex {
public:
    explicit OverlapIndex(std::span<const Element> elements);

    // Elements f with f.id != e.id and e.x1 < f.x2, f.x1 < e.x2, e.y1 < f.y2,
    // f.y1 < e.y2, counted up to `limit`.
    std::size_t count_overlaps(const Element& e, std::size_t limit) const;

private:
    std::vector<Element> by_top_;       // NaN-free elements, ascending y1
    std::vector<float> max_bottom_;     // implicit tree over by_top_, leaves at leaf_base_
    std::size_t leaf_base_ = 1;
};

}  // namespace tarvello::paper
