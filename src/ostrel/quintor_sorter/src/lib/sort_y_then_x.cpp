#include "sort_y_then_x.hpp"

#include <algorithm>

namespace tarvello::ostrel {

std::vector<LayoutBox> sort_y_then_x(std::span<const LayoutBox> boxes) {
    std::vector<LayoutBox> sorted(boxes.begin(), boxes.end());
    std::stable_sort(sorted.begin(), sorted.end(), [](const LayoutBox& a, const LayoutBox& b) {
        const auto a_top = total_order_key(a.top());
        const auto b_top = total_order_key(b.top());
        if (a_top != b_top) return a_top < b_top;
        return total_order_key(a.left()) < total_order_key(b.left());
    });
    return sorted;
}

}  // namespace tarvello::ostrel
