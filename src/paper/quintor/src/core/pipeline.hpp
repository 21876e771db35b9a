// The paper engine's entry: validate the page, mask, cut, re-insert.
#pragma once

#include <optional>
#include <vector>

#include "layout/records.hpp"

namespace tarvello::paper {

// The ids in reading order: every input id once for a usable page, nothing
// (and a warning record) for a page with a non-finite or non-positive side.
// Lets std::bad_alloc through.
ReadingOrder compute_paper_order(std::vector<Element> elements, const PageBounds& page_bounds,
                                 const std::optional<XYCutConfig>& config);

}  // namespace tarvello::paper
