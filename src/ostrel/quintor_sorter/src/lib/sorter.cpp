#include "sorter.hpp"

#include "channel.hpp"
#include "density.hpp"
#include "merge_cross_layout.hpp"
#include "segment.hpp"
#include "sort_y_then_x.hpp"

namespace tarvello::ostrel {

std::vector<LayoutBox> OstrelSorter::sort(std::vector<LayoutBox> boxes) const {
    const std::size_t n = boxes.size();
    if (n < 2) return boxes;
    diagnostics::debug(kChannel, "[sort] {} elements (beta={}, density_threshold={})", n, beta_, density_threshold_);

    const std::vector<std::size_t> detected = detect_cross_layout(boxes);
    std::vector<LayoutBox> cross;
    std::vector<LayoutBox> remaining;
    cross.reserve(detected.size());
    remaining.reserve(n - detected.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (next < detected.size() && detected[next] == i) {
            cross.push_back(boxes[i]);
            ++next;
        } else {
            remaining.push_back(boxes[i]);
        }
    }
    diagnostics::debug(kChannel, "[sort] cross-layout: {}, remaining: {}", cross.size(), remaining.size());
    if (remaining.empty()) {
        diagnostics::warn(kChannel, "[sort] all elements are cross-layout, falling back to y-then-x sort");
        return sort_y_then_x(boxes);
    }

    const float ratio = density_ratio(remaining);
    const bool prefer_horizontal_first = ratio > density_threshold_;
    diagnostics::debug(kChannel, "[sort] density_ratio={:.3}, prefer_horizontal_first={}", ratio,
                       prefer_horizontal_first);
    const std::vector<LayoutBox> main = segment(remaining, prefer_horizontal_first);
    return merge_cross_layout(cross, main);
}

}  // namespace tarvello::ostrel

namespace tarvello::ostrel {

ReadingOrder compute_ostrel_order(const std::vector<Element>& elements) {
    std::vector<LayoutBox> boxes;
    boxes.reserve(elements.size());
    for (const Element& element : elements) {
        boxes.push_back(LayoutBox{element.id, element.x1, element.y1, element.x2, element.y2});
    }
    const std::vector<LayoutBox> sorted = OstrelSorter().sort(std::move(boxes));
    ReadingOrder order;
    order.reserve(sorted.size());
    for (const LayoutBox& box : sorted) order.push_back(box.id);
    return order;
}

}  // namespace tarvello::ostrel
