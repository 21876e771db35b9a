// A plain transcription of the ostrel engine's definition: it sorts every
// group afresh for each gap search, recurses natively, and writes its records
// into a list. The equivalence tests hold the engine to it, order and records.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "diagnostics/format.hpp"
#include "diagnostics/log_facade.hpp"
#include "ostrel/quintor_sorter/src/lib/layout_box.hpp"

namespace tarvello::ostrel::reference {

struct Record {
    diagnostics::LogLevel level;
    std::string message;
    friend bool operator==(const Record&, const Record&) = default;
};

using Boxes = std::vector<LayoutBox>;

class Reference {
public:
    std::vector<Record> records;

    template <class... Args>
    void log(diagnostics::LogLevel level, std::string_view templ, const Args&... args) {
        records.push_back({level, diagnostics::format(templ, args...)});
    }

    static Boxes sort_y_then_x(Boxes boxes) {
        std::stable_sort(boxes.begin(), boxes.end(), [](const LayoutBox& a, const LayoutBox& b) {
            if (total_order_less(a.top(), b.top())) return true;
            if (total_order_less(b.top(), a.top())) return false;
            return total_order_less(a.left(), b.left());
        });
        return boxes;
    }

    // Returns {position, gap}.
    static std::pair<float, float> largest_gap(const Boxes& boxes, bool horizontal) {
        auto low = [&](const LayoutBox& b) { return horizontal ? b.top() : b.left(); };
        auto high = [&](const LayoutBox& b) { return horizontal ? b.bottom() : b.right(); };
        std::vector<const LayoutBox*> sorted;
        for (const LayoutBox& b : boxes) sorted.push_back(&b);
        std::stable_sort(sorted.begin(), sorted.end(), [&](const LayoutBox* a, const LayoutBox* b) {
            if (total_order_less(low(*a), low(*b))) return true;
            if (total_order_less(low(*b), low(*a))) return false;
            return total_order_less(high(*a), high(*b));
        });
        float reach = high(*sorted[0]);
        float best_gap = 0.0f;
        float best_position = 0.0f;
        for (std::size_t k = 1; k < sorted.size(); ++k) {
            const float l = low(*sorted[k]);
            if (l > reach && l - reach > best_gap) {
                best_gap = l - reach;
                best_position = (reach + l) * 0.5f;
            }
            reach = max_num(reach, high(*sorted[k]));
        }
        return {best_position, best_gap};
    }

    Boxes segment(const Boxes& boxes, bool prefer_horizontal_first) {
        using diagnostics::LogLevel;
        const std::size_t n = boxes.size();
        if (n <= 1) return boxes;
        auto [y_position, y_gap] = largest_gap(boxes, true);
        auto [x_position, x_gap] = largest_gap(boxes, false);
        if (n != 2 && !(x_gap >= 5.0f)) {
            float largest_right = boxes[0].right();
            float smallest_left = boxes[0].left();
            for (const LayoutBox& b : boxes) {
                largest_right = max_num(largest_right, b.right());
                smallest_left = min_num(smallest_left, b.left());
            }
            const float threshold = max_num(largest_right - smallest_left, 0.0f) * 0.1f;
            Boxes wide;
            for (const LayoutBox& b : boxes) {
                if (b.width() >= threshold) wide.push_back(b);
            }
            if (wide.size() >= 2 && wide.size() < n) {
                const auto [w_position, w_gap] = largest_gap(wide, false);
                if (w_gap > x_gap && w_gap >= 5.0f) {
                    x_position = w_position;
                    x_gap = w_gap;
                }
            }
        }
        const bool h = y_gap >= 5.0f;
        const bool v = x_gap >= 5.0f;
        if (!h && !v) {
            log(LogLevel::Debug, "[segment] no valid cuts for {} elements, falling back to y-then-x sort", n);
            return sort_y_then_x(boxes);
        }
        bool horizontal = h;
        if (h && v) {
            horizontal = std::fabs(y_gap - x_gap) < 0x1p-23f ? prefer_horizontal_first : y_gap > x_gap;
        }
        if (horizontal) {
            log(LogLevel::Debug, "[segment] horizontal cut at y={:.1} (gap={:.1}) on {} elements", y_position, y_gap,
                n);
        } else {
            log(LogLevel::Debug, "[segment] vertical cut at x={:.1} (gap={:.1}) on {} elements", x_position, x_gap, n);
        }
        Boxes first;
        Boxes second;
        for (const LayoutBox& b : boxes) {
            const bool before = horizontal ? b.center_y() < y_position : b.center_x() < x_position;
            (before ? first : second).push_back(b);
        }
        if (first.empty() || second.empty()) {
            log(LogLevel::Warn, "[segment] cut produced only 1 group for {} elements, falling back to y-then-x sort",
                n);
            return sort_y_then_x(boxes);
        }
        const std::string sizes = std::to_string(first.size()) + ", " + std::to_string(second.size());
        log(LogLevel::Debug, "[segment] split into {} groups: {}", 2, std::string_view(sizes));
        Boxes result = segment(first, prefer_horizontal_first);
        const Boxes rest = segment(second, prefer_horizontal_first);
        result.insert(result.end(), rest.begin(), rest.end());
        return result;
    }

    static std::vector<std::size_t> detect_cross_layout(const Boxes& boxes) {
        std::vector<std::size_t> result;
        if (boxes.size() < 3) return result;
        float largest = 0.0f;
        for (const LayoutBox& b : boxes) largest = max_num(largest, b.width());
        const float threshold = 2.0f * largest;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (!(boxes[i].width() >= threshold)) continue;
            int count = 0;
            for (std::size_t j = 0; j < boxes.size(); ++j) {
                if (j == i) continue;
                const float overlap = max_num(
                    min_num(boxes[i].right(), boxes[j].right()) - max_num(boxes[i].left(), boxes[j].left()), 0.0f);
                const float m = min_num(boxes[i].width(), boxes[j].width());
                if (overlap > 0.0f && m > 0.0f && overlap / m >= 0.1f) ++count;
                if (count == 2) break;
            }
            if (count == 2) result.push_back(i);
        }
        return result;
    }

    Boxes merge(const Boxes& cross, const Boxes& main) {
        if (cross.empty()) return main;
        if (main.empty()) return sort_y_then_x(cross);
        log(diagnostics::LogLevel::Debug, "[merge] merging {} cross-layout elements into {} main elements",
            cross.size(), main.size());
        const Boxes ordered = sort_y_then_x(cross);
        Boxes result;
        std::size_t i = 0;
        std::size_t j = 0;
        while (j < main.size()) {
            if (i < ordered.size() && ordered[i].top() <= main[j].top()) {
                result.push_back(ordered[i++]);
            } else {
                result.push_back(main[j++]);
            }
        }
        while (i < ordered.size()) result.push_back(ordered[i++]);
        log(diagnostics::LogLevel::Debug, "[merge] result: {} elements total", result.size());
        return result;
    }

    Boxes sort(const Boxes& boxes) {
        using diagnostics::LogLevel;
        const std::size_t n = boxes.size();
        if (n < 2) return boxes;
        log(LogLevel::Debug, "[sort] {} elements (beta={}, density_threshold={})", n, 2.0f, 0.9f);
        const std::vector<std::size_t> detected = detect_cross_layout(boxes);
        Boxes cross;
        Boxes remaining;
        for (std::size_t i = 0; i < n; ++i) {
            const bool is_cross = std::find(detected.begin(), detected.end(), i) != detected.end();
            (is_cross ? cross : remaining).push_back(boxes[i]);
        }
        log(LogLevel::Debug, "[sort] cross-layout: {}, remaining: {}", cross.size(), remaining.size());
        if (remaining.empty()) {
            log(LogLevel::Warn, "[sort] all elements are cross-layout, falling back to y-then-x sort");
            return sort_y_then_x(boxes);
        }
        float left = remaining[0].left();
        float right = remaining[0].right();
        float top = remaining[0].top();
        float bottom = remaining[0].bottom();
        for (const LayoutBox& b : remaining) {
            left = min_num(left, b.left());
            right = max_num(right, b.right());
            top = min_num(top, b.top());
            bottom = max_num(bottom, b.bottom());
        }
        const float region_area = max_num(right - left, 0.0f) * max_num(bottom - top, 0.0f);
        float ratio = 1.0f;
        if (region_area > 0.0f) {
            float covered = 0.0f;
            for (const LayoutBox& b : remaining) covered += b.width() * b.height();
            ratio = min_num(covered / region_area, 1.0f);
        }
        const bool prefer = ratio > 0.9f;
        log(LogLevel::Debug, "[sort] density_ratio={:.3}, prefer_horizontal_first={}", ratio, prefer);
        return merge(cross, segment(remaining, prefer));
    }
};

}  // namespace tarvello::ostrel::reference
