// Cross-layout detection: boxes at least beta times the widest box that
// overlap two other boxes horizontally.
#include "sorter.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace tarvello::ostrel {
namespace {

// Whether `other` overlaps `wide` horizontally by at least a tenth of the
// narrower width. Three separate tests, so that NaN fails each.
bool overlaps_enough(const LayoutBox& wide, const LayoutBox& other) {
    const float overlap = max_num(min_num(wide.right(), other.right()) - max_num(wide.left(), other.left()), 0.0f);
    const float narrower = min_num(wide.width(), other.width());
    return overlap > 0.0f && narrower > 0.0f && overlap / narrower >= kMinOverlapRatio;
}

// The boxes a candidate can count, and the order to try them in.
//
// Twice the largest width is only reachable by an infinite width (or by every
// width when all are 0; a zero width never overlaps by a share of a positive
// one, so those candidates are skipped). Against an infinite width the
// narrower width is the other box's, so only boxes of finite, positive width
// can be counted. An infinite width reaches to -inf, to +inf or both; a box
// that lies wholly beyond the candidate's finite edge overlaps nothing, so the
// boxes sorted by that edge give the only ones worth testing as a prefix.
// Whether two boxes qualify does not depend on the order they are tested in.
class Countable {
public:
    explicit Countable(std::span<const LayoutBox> boxes) : boxes_(boxes) {
        for (std::size_t j = 0; j < boxes.size(); ++j) {
            const float width = boxes[j].width();
            if (width > 0.0f && width < std::numeric_limits<float>::infinity()) by_left_.push_back(j);
        }
        by_right_ = by_left_;
        std::sort(by_left_.begin(), by_left_.end(),
                  [&](std::size_t a, std::size_t b) { return boxes[a].left() < boxes[b].left(); });
        std::sort(by_right_.begin(), by_right_.end(),
                  [&](std::size_t a, std::size_t b) { return boxes[a].right() > boxes[b].right(); });
    }

    // Whether at least two other boxes overlap `wide` enough.
    bool overlaps_two(std::size_t wide) const {
        const LayoutBox& box = boxes_[wide];
        int count = 0;
        const auto test = [&](std::size_t j) {
            if (j != wide && overlaps_enough(box, boxes_[j])) ++count;
            return count < 2;
        };
        if (std::isinf(box.left()) && !std::isinf(box.right())) {
            // From -inf to a finite right edge: only boxes starting left of it.
            for (const std::size_t j : by_left_) {
                if (!(boxes_[j].left() < box.right()) || !test(j)) break;
            }
        } else if (std::isinf(box.right()) && !std::isinf(box.left())) {
            // From a finite left edge to +inf: only boxes ending right of it.
            for (const std::size_t j : by_right_) {
                if (!(boxes_[j].right() > box.left()) || !test(j)) break;
            }
        } else {
            for (const std::size_t j : by_left_) {
                if (!test(j)) break;
            }
        }
        return count >= 2;
    }

private:
    std::span<const LayoutBox> boxes_;
    std::vector<std::size_t> by_left_;
    std::vector<std::size_t> by_right_;
};

}  // namespace

std::vector<std::size_t> OstrelSorter::detect_cross_layout(std::span<const LayoutBox> boxes) const {
    std::vector<std::size_t> cross;
    if (boxes.size() < 3) return cross;
    float largest = 0.0f;
    for (const LayoutBox& box : boxes) largest = max_num(largest, box.width());
    const float threshold = beta_ * largest;
    std::optional<Countable> countable;  // made for the first candidate, if any
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const float width = boxes[i].width();
        if (!(width >= threshold) || !(width > 0.0f)) continue;
        if (!countable) countable.emplace(boxes);
        if (countable->overlaps_two(i)) cross.push_back(i);
    }
    return cross;
}

}  // namespace tarvello::ostrel
