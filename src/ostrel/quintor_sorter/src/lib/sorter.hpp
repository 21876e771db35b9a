// The ostrel engine's entry point: set aside the boxes that span columns,
// segment the rest, and merge the set-aside boxes back by vertical position.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "layout/records.hpp"
#include "layout_box.hpp"

namespace tarvello::ostrel {

// Share of the narrower box's width that a horizontal overlap must reach.
inline constexpr float kMinOverlapRatio = 0.1f;

class OstrelSorter {
public:
    OstrelSorter() = default;

    float beta() const { return beta_; }
    float density_threshold() const { return density_threshold_; }

    // A permutation of the input in reading order. Never fails.
    std::vector<LayoutBox> sort(std::vector<LayoutBox> boxes) const;

    // Indices, ascending, of the boxes at least beta times the widest box that
    // overlap two other boxes horizontally. None with fewer than three boxes.
    std::vector<std::size_t> detect_cross_layout(std::span<const LayoutBox> boxes) const;

private:
    float beta_ = 2.0f;
    float density_threshold_ = 0.9f;
};

}  // namespace tarvello::ostrel

namespace tarvello::ostrel {

// The engine's entry in the shape of the paper engine's: one label-free box
// per element, in input order, sorted with the fixed parameters; the ids in
// reading order.
ReadingOrder compute_ostrel_order(const std::vector<Element>& elements);

}  // namespace tarvello::ostrel
