#include "largest_gap.hpp"

#include <algorithm>
#include <vector>

namespace tarvello::ostrel {

Gap find_largest_gap(std::span<const LayoutBox> boxes, Axis axis) {
    std::vector<const LayoutBox*> order;
    order.reserve(boxes.size());
    for (const LayoutBox& box : boxes) order.push_back(&box);
    std::stable_sort(order.begin(), order.end(), [axis](const LayoutBox* a, const LayoutBox* b) {
        const auto a_low = total_order_key(low_edge(*a, axis));
        const auto b_low = total_order_key(low_edge(*b, axis));
        if (a_low != b_low) return a_low < b_low;
        return total_order_key(high_edge(*a, axis)) < total_order_key(high_edge(*b, axis));
    });
    GapScan scan;
    for (const LayoutBox* box : order) scan.feed(low_edge(*box, axis), high_edge(*box, axis));
    return scan.result();
}

}  // namespace tarvello::ostrel
