#include "paper/quintor/src/utils/bin_runs.hpp"

#include <algorithm>
#include <cmath>

#include "layout/float_conventions.hpp"

namespace tarvello::paper {

AxisGrid make_axis_grid(float min, float max, float histogram_resolution_scale) {
    AxisGrid grid;
    grid.min = min;
    grid.range = max - min;
    grid.bins = saturating_cast<std::uint64_t>(grid.range * histogram_resolution_scale);
    if (grid.bins != 0) grid.bin_size = grid.range / static_cast<float>(grid.bins);
    return grid;
}

std::uint64_t min_gap_bins(float min_cut_threshold, float histogram_resolution_scale) {
    return saturating_cast<std::uint64_t>(min_cut_threshold * histogram_resolution_scale);
}

BinSpan covered_bins(const AxisGrid& grid, float lo, float hi) {
    // A NaN start becomes bin 0 and a NaN end the bin count (minNum/maxNum);
    // the clamp to bins happens in float first, then once more exactly, since
    // the bin count itself may round up when made a float.
    const float first = max_num(std::floor((lo - grid.min) / grid.bin_size), 0.0f);
    const float last = min_num(std::ceil((hi - grid.min) / grid.bin_size), static_cast<float>(grid.bins));
    return {saturating_cast<std::uint64_t>(first),
            std::min(saturating_cast<std::uint64_t>(last), grid.bins)};
}

float cut_at(const AxisGrid& grid, std::uint64_t position) {
    return grid.min + grid.range * (static_cast<float>(position) / static_cast<float>(grid.bins));
}

std::optional<std::uint64_t> best_gap_of_spans(std::span<BinSpan> spans, std::uint64_t bins,
                                               std::uint64_t min_gap) {
    const auto by_start = [](const BinSpan& a, const BinSpan& b) { return a.start < b.start; };
    // Input order is often already top-down or left-right; skip the sort then.
    if (!std::is_sorted(spans.begin(), spans.end(), by_start)) std::sort(spans.begin(), spans.end(), by_start);
    GapChooser chooser(min_gap);
    std::uint64_t uncovered = 0;  // first bin not covered by the spans swept so far
    for (const BinSpan& s : spans) {
        if (s.end <= s.start) continue;
        if (s.start > uncovered) chooser.offer(uncovered, s.start - uncovered);
        uncovered = std::max(uncovered, s.end);
    }
    if (uncovered < bins) chooser.offer(uncovered, bins - uncovered);
    return chooser.best();
}

}  // namespace tarvello::paper
