// The ostrel engine's box: an id and two opposite corners, read through the
// derived edges below. Corners may come in either order, NaN or infinite.
#pragma once

#include <cstdint>

#include "layout/float_conventions.hpp"

namespace tarvello::ostrel {

struct LayoutBox {
    std::uint64_t id = 0;
    float x1 = 0.0f;
    float y1 = 0.0f;
    float x2 = 0.0f;
    float y2 = 0.0f;

    // minNum/maxNum: a single NaN corner is ignored, so the edge is the other one.
    constexpr float left() const { return min_num(x1, x2); }
    constexpr float right() const { return max_num(x1, x2); }
    constexpr float top() const { return min_num(y1, y2); }
    constexpr float bottom() const { return max_num(y1, y2); }
    // NaN extents (inf - inf, NaN edges) count as 0.
    constexpr float width() const { return max_num(right() - left(), 0.0f); }
    constexpr float height() const { return max_num(bottom() - top(), 0.0f); }
    // The sum is rounded to single precision before it is halved.
    constexpr float center_x() const { return (x1 + x2) * 0.5f; }
    constexpr float center_y() const { return (y1 + y2) * 0.5f; }
};

}  // namespace tarvello::ostrel
