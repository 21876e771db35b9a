// The widest empty band between boxes along one axis.
#pragma once

#include <limits>
#include <span>

#include "layout_box.hpp"

namespace tarvello::ostrel {

// Horizontal: a cut at some y (reads top and bottom). Vertical: a cut at some
// x (reads left and right).
enum class Axis : unsigned char { Horizontal, Vertical };

struct Gap {
    float position = 0.0f;
    float gap = 0.0f;
};

constexpr float low_edge(const LayoutBox& box, Axis axis) {
    return axis == Axis::Horizontal ? box.top() : box.left();
}

constexpr float high_edge(const LayoutBox& box, Axis axis) {
    return axis == Axis::Horizontal ? box.bottom() : box.right();
}

// The gap search proper, fed one box at a time in ascending (low, high) order.
// Only the edge values matter, so any order that sorts equal keys together
// gives the same result.
class GapScan {
public:
    void feed(float low, float high) {
        // Both tests are strict, so NaN (and a touching box) never opens a gap;
        // the first of several equally wide gaps wins.
        if (low > reach_ && low - reach_ > best_.gap) {
            best_.gap = low - reach_;
            best_.position = (reach_ + low) * 0.5f;
        }
        reach_ = max_num(reach_, high);
    }

    Gap result() const { return best_; }
    // The maxNum of every high edge fed so far (NaN only if all were NaN).
    float reach() const { return reach_; }

private:
    Gap best_{};
    // NaN until the first box: no low edge exceeds it, and maxNum replaces it
    // by the first high edge, which is exactly "reach starts at the first box".
    float reach_ = std::numeric_limits<float>::quiet_NaN();
};

// (0, 0) when there is no gap, including for a single box or no box at all.
Gap find_largest_gap(std::span<const LayoutBox> boxes, Axis axis);

}  // namespace tarvello::ostrel
