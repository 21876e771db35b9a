// An order position of the re-insertion, and what a group of consecutive ones
// holds: how many, the range of their target coordinates and the highest label
// class, for pruning.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace tarvello::paper {

// One order position. The target's box is kept with it, so that scanning a
// run of positions reads the run, not elements all over the page.
struct OrderSlot {
    std::uint64_t id = 0;
    float x1 = 0.0f;
    float y1 = 0.0f;
    float x2 = 0.0f;
    float y2 = 0.0f;
    std::int8_t target_class = -1;  // -1: the id matches no element

    bool has_target() const { return target_class >= 0; }
};

struct TargetBounds {
    static constexpr float kInf = std::numeric_limits<float>::infinity();

    std::size_t count = 0;
    float min_x1 = kInf;
    float max_x1 = -kInf;
    float max_x2 = -kInf;
    float min_y1 = kInf;
    float max_y1 = -kInf;
    float min_y2 = kInf;
    float max_y2 = -kInf;
    std::int8_t max_class = -1;  // -1: no position is admissible for anyone
    bool irregular = false;      // a target with a non-finite coordinate: bounds say nothing

    void add(const OrderSlot& t) {
        TargetBounds one;
        one.count = 1;
        if (t.has_target()) {
            one.max_class = t.target_class;
            if (std::isfinite(t.x1) && std::isfinite(t.y1) && std::isfinite(t.x2) && std::isfinite(t.y2)) {
                one.min_x1 = one.max_x1 = t.x1;
                one.max_x2 = t.x2;
                one.min_y1 = one.max_y1 = t.y1;
                one.min_y2 = one.max_y2 = t.y2;
            } else {
                one.irregular = true;
            }
        }
        merge(one);
    }

    void merge(const TargetBounds& other) {
        count += other.count;
        min_x1 = std::min(min_x1, other.min_x1);
        max_x1 = std::max(max_x1, other.max_x1);
        max_x2 = std::max(max_x2, other.max_x2);
        min_y1 = std::min(min_y1, other.min_y1);
        max_y1 = std::max(max_y1, other.max_y1);
        min_y2 = std::min(min_y2, other.min_y2);
        max_y2 = std::max(max_y2, other.max_y2);
        max_class = std::max(max_class, other.max_class);
        irregular = irregular || other.irregular;
    }
};

}  // namespace tarvello::paper
