// The working lists behind `segment`. Every group's boxes are kept sorted by
// (top, bottom) and by (left, right) from one sort at the start; a cut splits
// both lists with stable partitions, which keeps them sorted (a list the cut
// already leaves partitioned stays where it is). Because a group always keeps
// input order, "stable" is "ties by input index" throughout, and the gap
// searches see exactly the edge sequences a fresh sort would give.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "largest_gap.hpp"
#include "layout_box.hpp"

namespace tarvello::ostrel::detail {

// The bits of a float as an unsigned word whose order is totalOrder.
constexpr std::uint32_t ordered_bits(float value) {
    return static_cast<std::uint32_t>(total_order_key(value)) ^ 0x80000000u;
}

// A group: the same range of both lists, each list in one of its two
// buffers. A cut that has to move a list writes its halves into that list's
// other buffer at the same range; every range still pending there is disjoint
// from it.
template <class Index>
struct Group {
    Index begin;
    Index end;
    std::uint8_t y_buffer;
    std::uint8_t x_buffer;

    Index size() const { return end - begin; }
};

struct VerticalSearch {
    Gap gap;
    float span;  // max(largest right - smallest left, 0)
};

template <class Index>
class SortedGroups {
public:
    explicit SortedGroups(std::span<const LayoutBox> boxes);

    Group<Index> whole() const { return {0, static_cast<Index>(boxes_.size()), 0, 0}; }
    const LayoutBox& only_box(Group<Index> group) const { return boxes_[by_y_[group.y_buffer][group.begin].box]; }

    Gap horizontal_gap(Group<Index> group) const;
    VerticalSearch vertical_gap(Group<Index> group) const;
    // Whether any box is narrower than `threshold`.
    bool has_narrow(Group<Index> group, float threshold) const;
    // The vertical gap over the boxes at least `threshold` wide, and their count.
    std::pair<Gap, Index> wide_vertical_gap(Group<Index> group, float threshold) const;

    // Splits the group at the cut, first group first, and returns the two
    // halves; the first is empty when everything lands on one side, and then
    // the group's lists are as they were.
    std::pair<Group<Index>, Group<Index>> split(Group<Index> group, Axis axis, float position);

    // Appends the group's boxes in y-then-x order.
    void append_y_then_x(Group<Index> group, std::vector<LayoutBox>& out);

private:
    struct Entry {
        float low;
        float high;
        float center;  // center_y in the (top, bottom) list, center_x in the other
        Index box;
    };

    // The width exactly as LayoutBox::width computes it from left and right.
    static float width_of(const Entry& e) { return max_num(e.high - e.low, 0.0f); }

    std::span<const LayoutBox> boxes_;
    std::vector<float> center_x_;
    std::vector<float> center_y_;
    std::vector<Index> rank_;     // position of each box in y-then-x order
    std::vector<Index> by_rank_;  // and back
    std::vector<Entry> by_y_[2];
    std::vector<Entry> by_x_[2];
    std::vector<Index> scratch_;
};

}  // namespace tarvello::ostrel::detail
