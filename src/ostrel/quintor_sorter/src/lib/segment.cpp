#include "segment.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "channel.hpp"
#include "sorted_groups.hpp"

namespace tarvello::ostrel {
namespace {

using diagnostics::debug;
using diagnostics::warn;

struct Cut {
    Axis axis;
    Gap gap;
};

// Everything a segmentation call decides before it splits: the two gap
// searches, the retry without narrow boxes, and the choice between the cuts.
// Nothing when no gap is wide enough.
template <class Index>
std::optional<Cut> choose_cut(const detail::SortedGroups<Index>& groups, detail::Group<Index> group,
                              bool prefer_horizontal_first) {
    const Gap y = groups.horizontal_gap(group);
    const detail::VerticalSearch search = groups.vertical_gap(group);
    Gap x = search.gap;
    const Index n = group.size();
    if (n != 2 && !(x.gap >= kMinCutGap)) {
        // A narrow box that bridges a column gutter hides the gutter; look
        // again without the boxes under a tenth of the span (when there are
        // any: otherwise the search would see the same boxes again).
        const float threshold = search.span * kNarrowFraction;
        if (groups.has_narrow(group, threshold)) {
            const auto [wide, count] = groups.wide_vertical_gap(group, threshold);
            if (count >= 2 && count < n && wide.gap > x.gap && wide.gap >= kMinCutGap) x = wide;
        }
    }
    const bool h = y.gap >= kMinCutGap;
    const bool v = x.gap >= kMinCutGap;
    if (!h && !v) return std::nullopt;
    if (h && v) {
        if (std::fabs(y.gap - x.gap) < kGapTieTolerance) {
            return prefer_horizontal_first ? Cut{Axis::Horizontal, y} : Cut{Axis::Vertical, x};
        }
        return y.gap > x.gap ? Cut{Axis::Horizontal, y} : Cut{Axis::Vertical, x};
    }
    return h ? Cut{Axis::Horizontal, y} : Cut{Axis::Vertical, x};
}

template <class Index>
std::vector<LayoutBox> segment_indexed(std::span<const LayoutBox> boxes, bool prefer_horizontal_first) {
    detail::SortedGroups<Index> groups(boxes);
    std::vector<LayoutBox> out;
    out.reserve(boxes.size());
    // Depth first, first group before second: the order of the recursive
    // definition, and of its records.
    std::vector<detail::Group<Index>> work{groups.whole()};
    while (!work.empty()) {
        const detail::Group<Index> group = work.back();
        work.pop_back();
        const Index n = group.size();
        if (n == 1) {
            out.push_back(groups.only_box(group));
            continue;
        }
        const std::optional<Cut> cut = choose_cut(groups, group, prefer_horizontal_first);
        if (!cut) {
            debug(kChannel, "[segment] no valid cuts for {} elements, falling back to y-then-x sort", n);
            groups.append_y_then_x(group, out);
            continue;
        }
        if (cut->axis == Axis::Horizontal) {
            debug(kChannel, "[segment] horizontal cut at y={:.1} (gap={:.1}) on {} elements", cut->gap.position,
                  cut->gap.gap, n);
        } else {
            debug(kChannel, "[segment] vertical cut at x={:.1} (gap={:.1}) on {} elements", cut->gap.position,
                  cut->gap.gap, n);
        }
        const auto [first, second] = groups.split(group, cut->axis, cut->gap.position);
        if (first.size() == 0) {
            warn(kChannel, "[segment] cut produced only 1 group for {} elements, falling back to y-then-x sort", n);
            groups.append_y_then_x(group, out);
            continue;
        }
        // Always two groups here, so the size list is exactly "first, second".
        debug(kChannel, "[segment] split into {} groups: {}, {}", 2, first.size(), second.size());
        work.push_back(second);
        work.push_back(first);
    }
    return out;
}

}  // namespace

std::vector<LayoutBox> segment(std::span<const LayoutBox> boxes, bool prefer_horizontal_first) {
    if (boxes.size() < 2) return {boxes.begin(), boxes.end()};
    // 32-bit indices halve the working lists' size; a page beyond 2^32 boxes
    // still works with full ones.
    if (boxes.size() <= std::numeric_limits<std::uint32_t>::max()) {
        return segment_indexed<std::uint32_t>(boxes, prefer_horizontal_first);
    }
    return detail::segment_wide(boxes, prefer_horizontal_first);
}

std::vector<LayoutBox> detail::segment_wide(std::span<const LayoutBox> boxes, bool prefer_horizontal_first) {
    if (boxes.size() < 2) return {boxes.begin(), boxes.end()};
    return segment_indexed<std::size_t>(boxes, prefer_horizontal_first);
}

}  // namespace tarvello::ostrel
