#include "sorter.hpp"

#include <limits>

#include "channel.hpp"
#include "density.hpp"
#include "merge_cross_layout.hpp"
#include "segment.hpp"
#include "sort_y_then_x.hpp"

namespace tarvello::ostrel {
namespace {

// Whether `other` overlaps `wide` horizontally by at least a tenth of the
// narrower width. Written as three separate tests so that NaN fails each.
bool overlaps_enough(const LayoutBox& wide, const LayoutBox& other) {
    const float overlap = max_num(min_num(wide.right(), other.right()) - max_num(wide.left(), other.left()), 0.0f);
    const float narrower = min_num(wide.width(), other.width());
    return overlap > 0.0f && narrower > 0.0f && overlap / narrower >= kMinOverlapRatio;
}

}  // namespace

std::vector<std::size_t> OstrelSorter::detect_cross_layout(std::span<const LayoutBox> boxes) const {
    std::vector<std::size_t> cross;
    if (boxes.size() < 3) return cross;
    float largest = 0.0f;
    for (const LayoutBox& box : boxes) largest = max_num(largest, box.width());
    const float threshold = beta_ * largest;
    // Twice the largest width is only reachable by an infinite width (or by
    // every width when all are 0, and a zero width never overlaps by a share
    // of a positive one). Against an infinite width the narrower width is the
    // other box's, so only boxes of finite, positive width can be counted;
    // listing them once keeps a page of many wide boxes from going quadratic.
    std::vector<std::size_t> countable;
    bool listed = false;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const float width = boxes[i].width();
        if (!(width >= threshold) || !(width > 0.0f)) continue;
        if (!listed) {
            for (std::size_t j = 0; j < boxes.size(); ++j) {
                const float other = boxes[j].width();
                if (other > 0.0f && other < std::numeric_limits<float>::infinity()) countable.push_back(j);
            }
            listed = true;
        }
        int count = 0;
        for (std::size_t k = 0; k < countable.size() && count < 2; ++k) {
            const std::size_t j = countable[k];
            if (j != i && overlaps_enough(boxes[i], boxes[j])) ++count;
        }
        if (count == 2) cross.push_back(i);
    }
    return cross;
}

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
