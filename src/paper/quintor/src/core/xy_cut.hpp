// Recursive XY-cut of the regular elements: split a region at the widest empty
// band, order both halves, concatenate; order an uncuttable region by row.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "layout/records.hpp"

namespace tarvello::paper {

struct Region {
    float x_min = 0.0f;
    float y_min = 0.0f;
    float x_max = 0.0f;
    float y_max = 0.0f;
};

// Every input id exactly once. Runs on an explicit work stack, so the depth of
// the cut tree never touches the native stack.
ReadingOrder recursive_xy_cut(std::span<const Element> elements, const XYCutConfig& config, const Region& region);

// The same order as positions in `elements`.
std::vector<std::size_t> xy_cut_positions(std::span<const Element> elements, const XYCutConfig& config,
                                          const Region& region);

// The ids of the elements at `positions`, in that order.
ReadingOrder ids_at(std::span<const std::size_t> positions, std::span<const Element> elements);

}  // namespace tarvello::paper
