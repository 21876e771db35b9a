// Where a region may be cut: the widest long-enough run of empty bins of the
// elements' projection on one axis, cut at the run's middle.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>

#include "layout/records.hpp"
#include "paper/quintor/src/utils/bin_runs.hpp"
#include "paper/quintor/src/utils/scratch_arena.hpp"

namespace tarvello::paper {

// The middle of the first strictly longest run of zero counters that is at
// least `min_gap` long, or nothing.
std::optional<std::uint64_t> find_best_gap(std::span<const std::uint64_t> histogram, std::uint64_t min_gap);

// Cut x between x_min and x_max; writes the "[Histogram]" records when the
// region holds more than 15 elements.
std::optional<float> find_vertical_cut(std::span<const Element> elements, float min_cut_threshold,
                                       float histogram_resolution_scale, float x_min, float x_max);

// Cut y between y_min and y_max; writes nothing.
std::optional<float> find_horizontal_cut(std::span<const Element> elements, float min_cut_threshold,
                                         float histogram_resolution_scale, float y_min, float y_max);

// The search on one axis for one configuration, with the buffers and the
// remembered outcomes the XY-cut reuses from region to region.
class CutSearch {
public:
    CutSearch(float min_cut_threshold, float histogram_resolution_scale)
        : scale_(histogram_resolution_scale), min_gap_(min_gap_bins(min_cut_threshold, histogram_resolution_scale)) {}

    // A search without its records, so that the XY-cut can keep it for a
    // region whose elements and interval on that axis have not changed.
    // Plain fields rather than optionals: outcomes are made and copied in
    // the XY-cut's inner loop.
    struct Outcome {
        std::uint64_t bins = 0;
        bool found = false;
        std::uint64_t position = 0;  // of the chosen run, when found
        float cut = 0.0f;
    };
    // One element's projection on the searched axis, and whose it is (the
    // caller's own number, which the search carries along untouched).
    struct Projection {
        float lo;
        float hi;
        std::size_t member = 0;
    };
    Outcome outcome(std::span<const Projection> projections, float min, float max);

    // Projections merged where they overlap or touch. Bin marking is monotone
    // in both ends, so on a grid whose arithmetic is exact enough (finite
    // origin and bin size, at most 2^24 bins) the merged intervals mark
    // exactly the bins their members mark: a region that a margin cut only
    // narrowed can be searched again over them instead of every element.
    //
    // A gap between two of them is closed as well when no such grid with its
    // origin in [region_min, region_max] can fit a run long enough to be
    // chosen into it: covering that run changes no choice. Lines of one
    // paragraph then search as one interval.
    // A merged interval, with the range of its members' centres, (lo + hi) *
    // 0.5: a cut beyond that range sends all of them to the same side. Its
    // members are the sorted projections before position `end`, from the
    // previous interval's end on. `solid` when it marks a bin on every grid
    // that it stands for its members on.
    struct Interval {
        float lo;
        float hi;
        float min_centre;
        float max_centre;
        std::uint32_t end;
        bool solid;
    };
    // Positions past this do not fit an interval's end.
    static constexpr std::size_t kMaxMergedProjections = std::numeric_limits<std::uint32_t>::max();
    // Merges projections sorted by leading edge and appends the intervals to
    // `merged`; false (and what was appended unusable) when one is not a
    // finite interval with lo <= hi, which may mark bins that its merged
    // interval would not, or when there are more than kMaxMergedProjections.
    // Valid for every grid of a region inside the one given, so for any part
    // of it as long as the intervals' members go along whole.
    bool merge_projections(std::span<const Projection> sorted, float region_min, float region_max,
                           ScratchVector<Interval>& merged) const;
    // Intervals [first, last) of a merged list (which `list` may stop at
    // `last`), with the list's gap tree (see gap_tree.hpp; empty when it has
    // none).
    struct MergedRange {
        std::span<const Interval> list;
        std::size_t first = 0;
        std::size_t last = 0;
        std::span<const float> gap_tree;

        std::span<const Interval> intervals() const { return list.subspan(first, last - first); }
    };
    // The outcome over merged intervals; false when the grid is not one on
    // which they stand for their members.
    bool outcome_of_merged(const MergedRange& merged, float min, float max, Outcome& outcome);

    // True when every cut a search can choose in any part of [min, max] lies
    // beside `hull` (before its lowest centre or past its highest), so that
    // elements merged into it are never split. Holds when chosen runs are at
    // least two bins long and the grid's rounding stays well within a bin.
    bool cuts_only_beside(const Interval& hull, float min, float max) const;

    // Writes the vertical search's records for `count` elements; gives its cut.
    std::optional<float> report_vertical(const Outcome& outcome, std::size_t count, float x_min, float x_max) const;

private:
    // Sweeps spans in the order given while their starts keep rising; false
    // once one starts before its predecessor, leaving `result` to be redone.
    template <class Intervals>
    bool sweep_in_order(const AxisGrid& grid, const Intervals& intervals, Outcome& result) const;

    bool search_merged(const MergedRange& merged, float min, float max, Outcome& outcome) const;

    // The outcome of the chosen run, if any.
    static void take_choice(const AxisGrid& grid, std::optional<std::uint64_t> best, Outcome& result);

    // Above this scale bin sizes may fall below the normal floats, whose
    // rounding is not relative: the rounding bounds that merging and
    // cuts_only_beside rest on no longer hold, and both decline.
    static constexpr double kMaxScale = 1e30;

    // Outcomes over one or two merged intervals, which recur: the paragraphs
    // of a column share one hull and meet the same margin cuts. The key holds
    // the bit patterns of the region's and the intervals' ends, two to a word;
    // a slot of size 0 is empty.
    struct RememberedKey {
        std::uint64_t region = 0;
        std::uint64_t first = 0;
        std::uint64_t second = 0;
        std::size_t size = 0;
        friend bool operator==(const RememberedKey&, const RememberedKey&) = default;
    };
    struct Remembered {
        RememberedKey key;
        Outcome outcome;
    };
    static constexpr int kRememberedBits = 6;
    ScratchVector<Remembered> remembered_;

    float scale_;
    std::uint64_t min_gap_;
    ScratchVector<BinSpan> spans_;
    ScratchVector<std::int64_t> counters_;
};

}  // namespace tarvello::paper
