#include "merge_cross_layout.hpp"

#include <cstddef>

#include "channel.hpp"
#include "sort_y_then_x.hpp"

namespace tarvello::ostrel {

std::vector<LayoutBox> merge_cross_layout(std::span<const LayoutBox> cross, std::span<const LayoutBox> main) {
    if (cross.empty()) return {main.begin(), main.end()};
    if (main.empty()) return sort_y_then_x(cross);
    diagnostics::debug(kChannel, "[merge] merging {} cross-layout elements into {} main elements", cross.size(),
                       main.size());
    const std::vector<LayoutBox> ordered = sort_y_then_x(cross);
    std::vector<LayoutBox> result;
    result.reserve(cross.size() + main.size());
    std::size_t i = 0;
    for (const LayoutBox& next : main) {
        // A plain comparison: a NaN top on either side lets the main box go first.
        while (i < ordered.size() && ordered[i].top() <= next.top()) result.push_back(ordered[i++]);
        result.push_back(next);
    }
    result.insert(result.end(), ordered.begin() + static_cast<std::ptrdiff_t>(i), ordered.end());
    diagnostics::debug(kChannel, "[merge] result: {} elements total", result.size());
    return result;
}

}  // namespace tarvello::ostrel
