// Counts, for one element at a time, the other elements its box overlaps with
// positive area, stopping at a limit. Elements sorted by top edge, in short
// runs under a tree of their largest bottom edge, so a query only walks the
// elements that share its vertical extent instead of the whole page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/records.hpp"
#include "paper/quintor/src/utils/scratch_arena.hpp"

namespace tarvello::paper {

// Whether f counts against e: another id, and a positive-area intersection
// (strict comparisons, so a NaN anywhere means none). Both are elements or
// boxes of them.
template <class Box, class OtherBox>
inline bool overlaps(const Box& e, const OtherBox& f) {
    // Vertical extents first: the elements counted are wide, so those are
    // what most others fail on.
    return e.y1 < f.y2 && f.y1 < e.y2 && e.x1 < f.x2 && f.x1 < e.x2 && f.id != e.id;
}

class OverlapIndex {
public:
    explicit OverlapIndex(std::span<const Element> elements);

    // Elements f that overlap e, counted up to `limit`.
    std::size_t count_overlaps(const Element& e, std::size_t limit) const;

private:
    // What the overlap test reads of an element.
    struct Box {
        std::uint64_t id;
        float x1;
        float y1;
        float x2;
        float y2;
    };
    ScratchVector<Box> by_top_;        // of the NaN-free elements, ascending y1
    ScratchVector<float> max_bottom_;  // implicit tree over runs of by_top_, leaves at leaf_base_
    std::size_t leaf_base_ = 1;
};

}  // namespace tarvello::paper
