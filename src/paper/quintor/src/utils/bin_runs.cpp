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

float cut_at(const AxisGrid& grid, std::uint64_t position) {
    return grid.min + grid.range * (static_cast<float>(position) / static_cast<float>(grid.bins));
}

namespace {

// Below this many bins per span, one counter per bin is cheaper than sorting.
constexpr std::uint64_t kCountersPerSpan = 4;
constexpr std::uint64_t kMinCounters = 64;

std::optional<std::uint64_t> gap_by_counters(std::span<const BinSpan> spans, std::uint64_t bins,
                                             std::uint64_t min_gap, ScratchVector<std::int64_t>& counters) {
    // Coverage changes: +1 where a span starts, -1 where it ends.
    counters.assign(bins + 1, 0);
    for (const BinSpan& s : spans) {
        if (s.end <= s.start) continue;
        ++counters[s.start];
        --counters[s.end];
    }
    GapChooser chooser(min_gap);
    std::int64_t covering = 0;
    std::uint64_t run_start = 0;
    bool open = false;
    for (std::uint64_t bin = 0; bin < bins; ++bin) {
        covering += counters[bin];
        if (covering == 0) {
            if (!open) run_start = bin;
            open = true;
        } else if (open) {
            chooser.offer(run_start, bin - run_start);
            open = false;
        }
    }
    if (open) chooser.offer(run_start, bins - run_start);
    return chooser.best();
}

std::optional<std::uint64_t> gap_by_sweep(std::span<BinSpan> spans, std::uint64_t bins, std::uint64_t min_gap) {
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

}  // namespace

std::optional<std::uint64_t> best_gap_of_spans(std::span<BinSpan> spans, std::uint64_t bins, std::uint64_t min_gap,
                                               ScratchVector<std::int64_t>& counters, RunScan scan) {
    if (scan == RunScan::Auto) {
        const std::uint64_t few = std::max<std::uint64_t>(kMinCounters, kCountersPerSpan * spans.size());
        scan = bins <= few ? RunScan::Counters : RunScan::Sweep;
    }
    if (scan == RunScan::Counters) return gap_by_counters(spans, bins, min_gap, counters);
    return gap_by_sweep(spans, bins, min_gap);
}

}  // namespace tarvello::paper
