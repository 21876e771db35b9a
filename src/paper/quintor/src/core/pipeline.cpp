#include "paper/quintor/src/core/pipeline.hpp"

#include <cmath>
#include <utility>

#include "paper/quintor/src/core/masking.hpp"
#include "paper/quintor/src/core/paper_channel.hpp"
#include "paper/quintor/src/core/reinsert_masked.hpp"
#include "paper/quintor/src/core/xy_cut.hpp"

namespace tarvello::paper {

ReadingOrder compute_paper_order(std::vector<Element> elements, const PageBounds& page_bounds,
                                 const std::optional<XYCutConfig>& config) {
    if (elements.empty()) return {};
    const float width = page_bounds.x_max - page_bounds.x_min;
    const float height = page_bounds.y_max - page_bounds.y_min;
    if (!(std::isfinite(width) && width > 0.0f && std::isfinite(height) && height > 0.0f)) {
        diagnostics::warn(kPaperChannel, "Invalid page dimensions ({}, {})", width, height);
        return {};
    }
    const XYCutConfig settings = config.value_or(XYCutConfig{});
    MaskedSplit split = split_masked(std::move(elements));
    const Region page{page_bounds.x_min, page_bounds.y_min, page_bounds.x_max, page_bounds.y_max};
    std::vector<std::size_t> order = xy_cut_positions(split.regular, settings, page);
    return reinsert_masked_by_position(std::move(order), std::move(split.regular), split.masked,
                                       settings.same_row_tolerance);
}

}  // namespace tarvello::paper
