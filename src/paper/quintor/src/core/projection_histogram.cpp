#include "paper/quintor/src/core/projection_histogram.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "paper/quintor/src/core/gap_tree.hpp"
#include "paper/quintor/src/core/paper_channel.hpp"

namespace tarvello::paper {
namespace {

// Above this many elements the vertical search tells what it does.
constexpr std::size_t kHistogramReportThreshold = 15;

}  // namespace

std::optional<std::uint64_t> find_best_gap(std::span<const std::uint64_t> histogram, std::uint64_t min_gap) {
    GapChooser chooser(min_gap);
    std::uint64_t run_start = 0;
    bool open = false;
    for (std::uint64_t bin = 0; bin < histogram.size(); ++bin) {
        if (histogram[bin] == 0) {
            if (!open) run_start = bin;
            open = true;
        } else if (open) {
            chooser.offer(run_start, bin - run_start);
            open = false;
        }
    }
    if (open) chooser.offer(run_start, histogram.size() - run_start);
    return chooser.best();
}

template <class Intervals>
bool CutSearch::sweep_in_order(const AxisGrid& grid, const Intervals& intervals, Outcome& result) const {
    GapChooser chooser(min_gap_);
    std::uint64_t uncovered = 0;  // first bin not covered by the spans swept so far
    std::uint64_t last_start = 0;
    for (const auto& interval : intervals) {
        const BinSpan s = covered_bins(grid, interval.lo, interval.hi);
        if (s.end <= s.start) continue;
        if (s.start < last_start) return false;
        last_start = s.start;
        if (s.start > uncovered) chooser.offer(uncovered, s.start - uncovered);
        uncovered = std::max(uncovered, s.end);
    }
    if (uncovered < grid.bins) chooser.offer(uncovered, grid.bins - uncovered);
    take_choice(grid, chooser.best(), result);
    return true;
}

void CutSearch::take_choice(const AxisGrid& grid, std::optional<std::uint64_t> best, Outcome& result) {
    result.found = best.has_value();
    if (best) {
        result.position = *best;
        result.cut = cut_at(grid, *best);
    }
}

CutSearch::Outcome CutSearch::outcome(std::span<const Projection> projections, float min, float max) {
    const AxisGrid grid = make_axis_grid(min, max, scale_);
    Outcome result;
    result.bins = grid.bins;
    if (grid.bins == 0) return result;
    // The XY-cut hands the projections sorted by leading edge, so the spans
    // usually come out sorted by start: sweep them as they come. Should one
    // come out of order, collect them all and let the general search sort.
    if (sweep_in_order(grid, projections, result)) return result;
    spans_.clear();
    spans_.reserve(projections.size());
    for (const Projection& p : projections) {
        const BinSpan s = covered_bins(grid, p.lo, p.hi);
        if (s.end > s.start) spans_.push_back(s);
    }
    take_choice(grid, best_gap_of_spans(spans_, grid.bins, min_gap_, counters_), result);
    return result;
}

// Touching or overlapping projections first make exact hulls. Two hulls are
// then joined across their gap only when both surely cover a bin wherever
// they lie in the grid (so the gap's empty bins form a run of their own) and
// the gap is surely shorter than any run that can be chosen.
//
// Both are judged for every exact grid (at most 2^24 bins) whose origin lies
// in [region_min, region_max]. A bin position is q(x) = fl(fl(x - origin) /
// bin_size); each rounding is within u = 2^-24 relative and 1 / bin_size is
// within scale * (1 + 2.0001u), so q(b) - q(a) lies within
// ((b - a) +- 4.0001u * reach) * scale * (1 + 2.0001u), where reach bounds
// |x - origin| for both ends: here the larger distance from any end to either
// edge of the region. kSlack rounds 4.0001u up.
bool CutSearch::merge_projections(std::span<const Projection> sorted, float region_min, float region_max,
                                  ScratchVector<Interval>& merged) const {
    constexpr double kSlack = 3e-7;
    constexpr double kMaxReach = 1e30;  // keeps every x - origin finite
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    if (sorted.empty()) return true;
    if (sorted.size() > kMaxMergedProjections) return false;
    float max_hi = sorted.front().hi;
    for (const Projection& p : sorted) {
        if (!(std::isfinite(p.lo) && std::isfinite(p.hi) && p.lo <= p.hi)) return false;
        max_hi = std::max(max_hi, p.hi);
    }
    const double scale = scale_;
    const auto from_edges = [&](double x) { return std::max(std::fabs(x - region_min), std::fabs(x - region_max)); };
    // Every end lies between the first leading edge and the last trailing
    // one, so this bounds the reach of any two of them.
    const double reach = std::max(from_edges(sorted.front().lo), from_edges(max_hi)) * (1.0 + 1e-9);
    const bool bounded = scale > 0.0 && scale <= kMaxScale && reach <= kMaxReach;
    // A chosen run is at least min_gap bins long, and at least one.
    const double shortest_run = static_cast<double>(std::max<std::uint64_t>(min_gap_, 1));
    // q(b) > q(a) on every such grid; the last term keeps the positions far
    // above the subnormal floats, whose rounding is not relative.
    const double least_apart = bounded ? std::max(kSlack * reach, 1e-30 / scale) : kInfinity;
    const auto surely_apart = [&](float a, float b) { return static_cast<double>(b) - a > least_apart; };
    // q(b) - q(a) < shortest_run on every such grid.
    const double most_short = bounded ? shortest_run * (1.0 - 1e-9) / (scale * (1.0 + kSlack)) - kSlack * reach : 0.0;
    const auto surely_short = [&](float a, float b) { return static_cast<double>(b) - a < most_short; };

    bool last_solid = false;
    const auto close_hull = [&](const Interval& hull) {
        const bool hull_solid = surely_apart(hull.lo, hull.hi);
        // last_solid holds only once this call has appended an interval.
        if (last_solid && hull_solid && surely_short(merged.back().hi, hull.lo)) {
            Interval& last = merged.back();
            last.hi = hull.hi;
            last.min_centre = std::min(last.min_centre, hull.min_centre);
            last.max_centre = std::max(last.max_centre, hull.max_centre);
            last.end = hull.end;
        } else {
            merged.push_back(hull);
            merged.back().solid = hull_solid;
            last_solid = hull_solid;
        }
    };
    Interval hull{0.0f, 0.0f, 0.0f, 0.0f, 0, false};
    bool open = false;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const Projection& p = sorted[i];
        const float centre = (p.lo + p.hi) * 0.5f;
        if (open && p.lo <= hull.hi) {
            hull.hi = std::max(hull.hi, p.hi);
            hull.min_centre = std::min(hull.min_centre, centre);
            hull.max_centre = std::max(hull.max_centre, centre);
            hull.end = static_cast<std::uint32_t>(i + 1);
            continue;
        }
        if (open) close_hull(hull);
        hull = {p.lo, p.hi, centre, centre, static_cast<std::uint32_t>(i + 1), false};
        open = true;
    }
    if (open) close_hull(hull);
    return true;
}

bool CutSearch::outcome_of_merged(const MergedRange& merged, float min, float max, Outcome& outcome) {
    const std::span<const Interval> intervals = merged.intervals();
    if (intervals.size() > 2) return search_merged(merged, min, max, outcome);
    const auto pair = [](float a, float b) {
        return std::uint64_t{std::bit_cast<std::uint32_t>(a)} << 32 | std::bit_cast<std::uint32_t>(b);
    };
    // The key holds the size too, so that no two lists share one.
    const RememberedKey key{pair(min, max), intervals.size() > 0 ? pair(intervals[0].lo, intervals[0].hi) : 0,
                            intervals.size() > 1 ? pair(intervals[1].lo, intervals[1].hi) : 0, intervals.size()};
    const std::uint64_t hash = (key.region ^ key.first * 0x9E37'79B9'7F4A'7C15u ^ key.second * 0xC2B2'AE3D'27D4'EB4Fu ^
                                key.size) * 0x9E37'79B9'7F4A'7C15u;
    if (remembered_.empty()) remembered_.resize(std::size_t{1} << kRememberedBits);
    Remembered& slot = remembered_[hash >> (64 - kRememberedBits)];
    if (slot.key == key) {
        outcome = slot.outcome;
        return true;
    }
    if (!search_merged(merged, min, max, outcome)) return false;
    slot = {key, outcome};
    return true;
}

bool CutSearch::search_merged(const MergedRange& merged, float min, float max, Outcome& outcome) const {
    constexpr std::uint64_t kExactBins = std::uint64_t{1} << 24;  // float(bins) is bins
    const AxisGrid grid = make_axis_grid(min, max, scale_);
    outcome = Outcome{};
    outcome.bins = grid.bins;
    if (grid.bins == 0) return true;
    constexpr std::size_t kTreeSearchFrom = 64;  // intervals; fewer sweep faster
    const bool exact = std::isfinite(grid.min) && std::isfinite(grid.bin_size) && grid.bin_size > 0.0f &&
                       grid.bins <= kExactBins;
    if (!exact) return false;
    if (!merged.gap_tree.empty() && merged.last - merged.first >= kTreeSearchFrom &&
        grid.bin_size >= std::numeric_limits<float>::min()) {
        GapChooser chooser(min_gap_);
        if (choose_run_by_gap_tree(grid, merged.list, merged.first, merged.last, merged.gap_tree, chooser)) {
            take_choice(grid, chooser.best(), outcome);
            return true;
        }
    }
    return sweep_in_order(grid, merged.intervals(), outcome);  // merged intervals rise, and so do their starts
}

// A chosen run [a, b) has b - a >= 2 and misses the bins the hull covers (a
// closed gap inside it is too short), so its middle lies at least one bin
// below the hull's first position or above its last. Positions are within
// 4.01 * u * scale * D bins of exact and cuts within u * scale * (4.01 * width
// + E) (u = 2^-24, D the largest distance from the hull's ends to the region's
// edges, which is at least half the width, E the larger magnitude of those
// edges): under the bound below, less than half a bin together. The cut then
// lies strictly beside the hull, and so beside its members' centres. A hull at
// least 1 / scale long covers a bin on every grid of two bins or more, so no
// run can straddle it.
bool CutSearch::cuts_only_beside(const Interval& hull, float min, float max) const {
    const double scale = scale_;
    if (min_gap_ < 2 || !(scale > 0.0 && scale <= kMaxScale) || !std::isfinite(min) || !std::isfinite(max)) return false;
    const double lo = hull.lo;
    const double hi = hull.hi;
    const double distance = std::max({std::fabs(lo - min), std::fabs(lo - max), std::fabs(hi - min), std::fabs(hi - max)});
    const double magnitude = std::max(std::fabs(static_cast<double>(min)), std::fabs(static_cast<double>(max)));
    return (hi - lo) * scale >= 1.0 && scale * (16.0 * distance + 2.0 * magnitude) <= 0x1p23;
}

std::optional<float> CutSearch::report_vertical(const Outcome& outcome, std::size_t count, float x_min,
                                                float x_max) const {
    const bool report = count > kHistogramReportThreshold;
    if (report) {
        diagnostics::debug(kPaperChannel, "[Histogram] Vertical: {} bins, min_gap={}, x_range={:.0}-{:.0}",
                           outcome.bins, min_gap_, x_min, x_max);
    }
    if (!outcome.found) return std::nullopt;
    if (report) diagnostics::debug(kPaperChannel, "[Histogram] Found gap at bin {}, x={:.0}", outcome.position, outcome.cut);
    return outcome.cut;
}

namespace {

std::vector<CutSearch::Projection> projections_on(std::span<const Element> elements, bool on_x) {
    std::vector<CutSearch::Projection> projections;
    projections.reserve(elements.size());
    for (const Element& e : elements) {
        projections.push_back(on_x ? CutSearch::Projection{e.x1, e.x2} : CutSearch::Projection{e.y1, e.y2});
    }
    return projections;
}

}  // namespace

std::optional<float> find_vertical_cut(std::span<const Element> elements, float min_cut_threshold,
                                       float histogram_resolution_scale, float x_min, float x_max) {
    CutSearch search(min_cut_threshold, histogram_resolution_scale);
    const CutSearch::Outcome found = search.outcome(projections_on(elements, true), x_min, x_max);
    return search.report_vertical(found, elements.size(), x_min, x_max);
}

std::optional<float> find_horizontal_cut(std::span<const Element> elements, float min_cut_threshold,
                                         float histogram_resolution_scale, float y_min, float y_max) {
    CutSearch search(min_cut_threshold, histogram_resolution_scale);
    const CutSearch::Outcome found = search.outcome(projections_on(elements, false), y_min, y_max);
    return found.found ? std::optional(found.cut) : std::nullopt;
}

}  // namespace tarvello::paper
