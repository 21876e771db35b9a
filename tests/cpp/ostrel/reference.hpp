// The plain versions of the two steps the engine computes incrementally:
// segmentation that searches every group's gaps afresh and recurses, and
// cross-layout detection that tests every pair. They share the engine's gap
// search and y-then-x sort, which segment_test checks by hand.
#pragma once

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "diagnostics/format.hpp"
#include "ostrel/ostrel_support.hpp"
#include "ostrel/quintor_sorter/src/lib/largest_gap.hpp"
#include "ostrel/quintor_sorter/src/lib/sort_y_then_x.hpp"

namespace tarvello::ostrel::reference {

using Boxes = std::vector<LayoutBox>;
using testing::Written;

// Appends the boxes in reading order to `out`, and the records to `log`.
inline void segment(const Boxes& boxes, bool prefer_horizontal_first, Boxes& out, std::vector<Written>& log) {
    const std::size_t n = boxes.size();
    const auto note = [&](diagnostics::LogLevel level, std::string_view templ, const auto&... args) {
        log.push_back({level, "segment.cpp", diagnostics::format(templ, args...)});
    };
    const auto fall_back = [&] {
        const Boxes sorted = sort_y_then_x(boxes);
        out.insert(out.end(), sorted.begin(), sorted.end());
    };
    if (n <= 1) return fall_back();
    const Gap y = find_largest_gap(boxes, Axis::Horizontal);
    Gap x = find_largest_gap(boxes, Axis::Vertical);
    if (n != 2 && !(x.gap >= 5.0f)) {  // look again without the narrow boxes
        float left = boxes[0].left();
        float right = boxes[0].right();
        for (const LayoutBox& b : boxes) {
            left = min_num(left, b.left());
            right = max_num(right, b.right());
        }
        Boxes wide;
        for (const LayoutBox& b : boxes) {
            if (b.width() >= max_num(right - left, 0.0f) * 0.1f) wide.push_back(b);
        }
        const Gap w = wide.size() >= 2 && wide.size() < n ? find_largest_gap(wide, Axis::Vertical) : Gap{};
        if (w.gap > x.gap && w.gap >= 5.0f) x = w;
    }
    const bool h = y.gap >= 5.0f;
    const bool v = x.gap >= 5.0f;
    if (!h && !v) {
        note(testing::kDebug, "[segment] no valid cuts for {} elements, falling back to y-then-x sort", n);
        return fall_back();
    }
    const bool horizontal = h && v ? (std::fabs(y.gap - x.gap) < 0x1p-23f ? prefer_horizontal_first : y.gap > x.gap) : h;
    const Gap cut = horizontal ? y : x;
    note(testing::kDebug,
         horizontal ? "[segment] horizontal cut at y={:.1} (gap={:.1}) on {} elements"
                    : "[segment] vertical cut at x={:.1} (gap={:.1}) on {} elements",
         cut.position, cut.gap, n);
    Boxes first;
    Boxes second;
    for (const LayoutBox& b : boxes) ((horizontal ? b.center_y() : b.center_x()) < cut.position ? first : second).push_back(b);
    if (first.empty() || second.empty()) {
        note(testing::kWarn, "[segment] cut produced only 1 group for {} elements, falling back to y-then-x sort", n);
        return fall_back();
    }
    note(testing::kDebug, "[segment] split into 2 groups: {}, {}", first.size(), second.size());
    segment(first, prefer_horizontal_first, out, log);
    segment(second, prefer_horizontal_first, out, log);
}

// Indices of the boxes at least twice the widest box's width that overlap two
// others horizontally by a tenth of the narrower width.
inline std::vector<std::size_t> detect_cross_layout(const Boxes& boxes) {
    std::vector<std::size_t> found;
    if (boxes.size() < 3) return found;
    float widest = 0.0f;
    for (const LayoutBox& b : boxes) widest = max_num(widest, b.width());
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const LayoutBox& a = boxes[i];
        if (!(a.width() >= 2.0f * widest)) continue;
        int overlapping = 0;
        for (std::size_t j = 0; j < boxes.size(); ++j) {
            const LayoutBox& b = boxes[j];
            const float overlap = max_num(min_num(a.right(), b.right()) - max_num(a.left(), b.left()), 0.0f);
            const float narrower = min_num(a.width(), b.width());
            if (j != i && overlap > 0.0f && narrower > 0.0f && overlap / narrower >= 0.1f) ++overlapping;
        }
        if (overlapping >= 2) found.push_back(i);
    }
    return found;
}

}  // namespace tarvello::ostrel::reference
