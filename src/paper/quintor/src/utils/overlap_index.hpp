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

// Whether f counts against e: another id, and a positive-area intersection
// (strict comparisons, so a NaN anywhere means none).
inline bool overlaps(const Element& e, const Element& f) {
    return f.id != e.id && e.x1 < f.x2 && f.x1 < e.x2 && e.y1 < f.y2 && f.y1 < e.y2;
}

class OverlapIndex {
public:
    explicit OverlapIndex(std::span<const Element> elements);

    // Elements f that overlap e, counted up to `limit`.
    std::size_t count_overlaps(const Element& e, std::size_t limit) const;

private:
    std::vector<Element> by_top_;       // NaN-free elements, ascending y1
    std::vector<float> max_bottom_;     // implicit tree over by_top_, leaves at leaf_base_
    std::size_t leaf_base_ = 1;
};

}  // namespace tarvello::paper
