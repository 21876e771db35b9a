// Projection histogram: bin marking, the gap choice, the vertical search's
// records, and the sweep over covered spans against the dense counters.
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "layout/float_conventions.hpp"
#include "paper/quintor/src/core/gap_tree.hpp"
#include "paper/quintor/src/core/projection_histogram.hpp"
#include "paper_support.hpp"

namespace tarvello::paper {
namespace {

using testing::box;
using testing::debug_line;
using testing::Line;
using testing::PageFactory;
using testing::take_lines;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr std::uint64_t kMaxBins = std::numeric_limits<std::uint64_t>::max();

TEST(FindBestGap, TakesTheMiddleOfTheFirstStrictlyLongestRun) {
    const std::vector<std::uint64_t> counters = {1, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(find_best_gap(counters, 3), 5u);
    EXPECT_EQ(find_best_gap(counters, 4), std::nullopt);
    // Equal runs: the first wins; a single empty bin qualifies with min_gap 0 or 1.
    EXPECT_EQ(find_best_gap(std::vector<std::uint64_t>{0, 0, 1, 0, 0}, 2), 1u);
    EXPECT_EQ(find_best_gap(std::vector<std::uint64_t>{2, 0, 2}, 0), 1u);
    EXPECT_EQ(find_best_gap(std::vector<std::uint64_t>{2, 0, 2}, 1), 1u);
    EXPECT_EQ(find_best_gap(std::vector<std::uint64_t>{}, 0), std::nullopt);
    // A run reaching the end counts.
    EXPECT_EQ(find_best_gap(std::vector<std::uint64_t>{1, 0, 0, 0}, 3), 2u);
}

struct CutCase {
    const char* name;
    std::vector<std::pair<float, float>> spans;
    std::optional<float> cut;
};

class DefaultVerticalCut : public ::testing::TestWithParam<CutCase> {};

// Interval (0, 100) with the defaults: 50 bins of 2 units, min_gap 7.
TEST_P(DefaultVerticalCut, OnZeroToHundred) {
    std::vector<Element> elements;
    for (const auto& [lo, hi] : GetParam().spans) elements.push_back(box(elements.size(), lo, 0, hi, 10));
    EXPECT_EQ(find_vertical_cut(elements, 15.0f, 0.5f, 0.0f, 100.0f), GetParam().cut);
    // The horizontal search reads y the same way.
    for (Element& e : elements) e = box(e.id, 0, e.x1, 10, e.x2);
    EXPECT_EQ(find_horizontal_cut(elements, 15.0f, 0.5f, 0.0f, 100.0f), GetParam().cut);
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, DefaultVerticalCut,
    ::testing::Values(CutCase{"TwoColumns", {{0, 40}, {60, 100}}, 50.0f},
                      CutCase{"RunTooShort", {{0, 40}, {50, 100}}, std::nullopt},
                      CutCase{"ShortLeadingMarginIgnored", {{10, 40}, {60, 100}}, 50.0f},
                      CutCase{"LongerMarginWins", {{30, 40}, {60, 100}}, 14.0f},
                      CutCase{"TrailingRunCounts", {{0, 40}}, 70.0f},
                      CutCase{"NothingMarked", {{12, 12}}, 50.0f},
                      CutCase{"NaNStartCoversFromZero", {{kNaN, 40}, {60, 100}}, 50.0f},
                      CutCase{"NaNEndCoversToTheEnd", {{0, 40}, {60, kNaN}}, 50.0f},
                      CutCase{"OutsideMarksNothing", {{-50, -10}, {0, 100}}, std::nullopt}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(CoveredBins, TouchedBinsCountEvenPartly) {
    const AxisGrid grid = make_axis_grid(0.0f, 100.0f, 0.5f);
    ASSERT_EQ(grid.bins, 50u);
    const auto covers = [&](float lo, float hi) {
        const BinSpan s = covered_bins(grid, lo, hi);
        return std::pair{s.start, std::max(s.start, s.end)};
    };
    EXPECT_EQ(covers(13, 13), (std::pair<std::uint64_t, std::uint64_t>{6, 7}));
    EXPECT_EQ(covers(12, 14), (std::pair<std::uint64_t, std::uint64_t>{6, 7}));
    EXPECT_EQ(covers(12, 12), (std::pair<std::uint64_t, std::uint64_t>{6, 6}));
    EXPECT_EQ(covers(kNaN, kNaN), (std::pair<std::uint64_t, std::uint64_t>{0, 50}));
    EXPECT_EQ(min_gap_bins(15.0f, 0.5f), 7u);
    EXPECT_EQ(min_gap_bins(-1.0f, 0.5f), 0u);
    EXPECT_EQ(min_gap_bins(kNaN, 0.5f), 0u);
    EXPECT_EQ(make_axis_grid(0.0f, kInf, 0.5f).bins, kMaxBins);
    EXPECT_EQ(make_axis_grid(0.0f, 100.0f, -1.0f).bins, 0u);
    EXPECT_EQ(make_axis_grid(100.0f, 0.0f, 0.5f).bins, 0u);
    EXPECT_EQ(cut_at(grid, 25), 50.0f);
}

// The marking rule as written: floor raised to 0 (NaN giving 0), ceil lowered
// to float(bins) (NaN giving it), saturating truncation, then at most bins.
BinSpan covered_bins_as_written(const AxisGrid& grid, float lo, float hi) {
    const float first = max_num(std::floor((lo - grid.min) / grid.bin_size), 0.0f);
    const float last = min_num(std::ceil((hi - grid.min) / grid.bin_size), static_cast<float>(grid.bins));
    return {saturating_cast<std::uint64_t>(first), std::min(saturating_cast<std::uint64_t>(last), grid.bins)};
}

TEST(CoveredBins, MatchesTheFloatRulesOnRandomInput) {
    PageFactory factory(31);
    for (int round = 0; round < 200000; ++round) {
        const float min = factory.coordinate(1e3f) * (factory.pick(3) == 0 ? 1e7f : 1.0f);
        const float max = min + (factory.pick(2) ? factory.coordinate(1e3f) : std::pow(10.0f, factory.uniform(-3, 30)));
        const AxisGrid grid = make_axis_grid(min, max, factory.pick(2) ? 0.5f : std::pow(10.0f, factory.uniform(-6, 12)));
        if (grid.bins == 0) continue;
        const float lo = factory.pick(2) ? factory.coordinate(max - min) : min + factory.uniform(-0.2f, 1.2f) * (max - min);
        const float hi = factory.pick(2) ? factory.coordinate(max - min) : lo + factory.uniform(0.0f, 0.5f) * (max - min);
        const BinSpan fast = covered_bins(grid, lo, hi);
        const BinSpan written = covered_bins_as_written(grid, lo, hi);
        ASSERT_EQ(fast.start, written.start) << min << " " << max << " " << lo << " " << hi;
        ASSERT_EQ(fast.end, written.end) << min << " " << max << " " << lo << " " << hi;
    }
}

class HistogramRecords : public testing::PaperTest {};

TEST_F(HistogramRecords, WrittenOnlyAboveFifteenElements) {
    std::vector<Element> elements(15, box(1, 0, 0, 40, 10));
    EXPECT_EQ(find_vertical_cut(elements, 15.0f, 0.5f, 0.0f, 100.0f), 70.0f);
    EXPECT_TRUE(take_lines().empty());
    elements.push_back(box(2, 0, 0, 40, 10));
    EXPECT_EQ(find_vertical_cut(elements, 15.0f, 0.5f, 0.0f, 100.0f), 70.0f);
    EXPECT_EQ(take_lines("projection_histogram.cpp"),
              (std::vector<Line>{debug_line("[Histogram] Vertical: 50 bins, min_gap=7, x_range=0-100"),
                                 debug_line("[Histogram] Found gap at bin 35, x=70")}));
    EXPECT_TRUE(find_horizontal_cut(elements, 15.0f, 0.5f, 0.0f, 100.0f).has_value());
    EXPECT_TRUE(take_lines().empty());
}

TEST_F(HistogramRecords, ZeroAndHugeBinCounts) {
    const std::vector<Element> elements(16, box(1, 0, 0, 40, 10));
    EXPECT_EQ(find_vertical_cut(elements, 15.0f, 0.5f, 0.0f, 1.5f), std::nullopt);
    EXPECT_EQ(take_lines(), (std::vector<Line>{debug_line("[Histogram] Vertical: 0 bins, min_gap=7, x_range=0-2")}));
    // Saturated bin count: the run after the boxes (which end at bin 737869760)
    // is found without any counters; 15 x 1e9 rounds to 15000000512.
    const auto cut = find_vertical_cut(elements, 15.0f, 1e9f, 0.0f, 1e12f);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(take_lines(),
              (std::vector<Line>{
                  debug_line("[Histogram] Vertical: 18446744073709551615 bins, min_gap=15000000512, x_range=0-999999995904"),
                  debug_line("[Histogram] Found gap at bin 9223372037223710687, x=499999997952")}));
}

// The dense counters the histogram is defined by, for a bin count small
// enough to hold them.
std::optional<std::uint64_t> dense_gap(const AxisGrid& grid, std::span<const BinSpan> spans, std::uint64_t min_gap) {
    std::vector<std::uint64_t> counters(grid.bins, 0);
    for (const BinSpan& s : spans) {
        for (std::uint64_t bin = s.start; bin < s.end; ++bin) ++counters[bin];
    }
    return find_best_gap(counters, min_gap);
}

// For any bin count: cut the axis at every span edge and test each piece's
// coverage against every span, then choose among the empty runs.
std::optional<std::uint64_t> piecewise_gap(std::uint64_t bins, std::span<const BinSpan> spans, std::uint64_t min_gap) {
    std::vector<std::uint64_t> edges = {0, bins};
    for (const BinSpan& s : spans) {
        if (s.end > s.start) edges.insert(edges.end(), {s.start, s.end});
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::uint64_t best_length = 0, best = 0, run_start = 0, run_length = 0;
    const auto close_run = [&] {
        if (run_length >= min_gap && run_length > best_length) best_length = run_length, best = run_start + run_length / 2;
        run_length = 0;
    };
    for (std::size_t i = 0; i + 1 < edges.size() && edges[i] < bins; ++i) {
        const bool covered = std::any_of(spans.begin(), spans.end(), [&](const BinSpan& s) {
            return s.start <= edges[i] && edges[i] < s.end;
        });
        if (covered) {
            close_run();
        } else {
            if (run_length == 0) run_start = edges[i];
            run_length += edges[i + 1] - edges[i];
        }
    }
    close_run();
    return best_length == 0 ? std::nullopt : std::optional(best);
}

// Projections sorted by leading edge or not: the search sweeps the first as
// they come and sorts the spans of the others; every way of finding the runs
// must give the dense counters' gap.
TEST(SpanSearch, AgreesWithTheDenseCountersOnRandomAxes) {
    PageFactory factory(7);
    for (int round = 0; round < 3000; ++round) {
        const float min = factory.pick(3) == 0 ? factory.coordinate(100.0f) : factory.uniform(-50.0f, 50.0f);
        const float max = min + factory.uniform(0.0f, 600.0f);
        const float scale = factory.pick(4) == 0 ? factory.uniform(0.0f, 4.0f) : 0.5f;
        const float threshold = static_cast<float>(factory.pick(30));
        const AxisGrid grid = make_axis_grid(min, max, scale);
        if (grid.bins > 5000) continue;
        std::vector<CutSearch::Projection> projections;
        for (std::size_t i = 0, count = factory.pick(12); i < count; ++i) {
            const float lo = min + factory.coordinate(max - min);
            const float hi = factory.pick(5) == 0 ? factory.coordinate(max - min) : lo + factory.uniform(0, 80);
            projections.push_back({lo, hi});
        }
        if (factory.pick(2) == 0) {
            std::stable_sort(projections.begin(), projections.end(), [](const auto& a, const auto& b) {
                return (std::isnan(a.lo) ? -kInf : a.lo) < (std::isnan(b.lo) ? -kInf : b.lo);
            });
        }
        std::vector<BinSpan> spans;
        for (const auto& p : projections) spans.push_back(covered_bins(grid, p.lo, p.hi));
        const std::uint64_t min_gap = min_gap_bins(threshold, scale);
        const auto expected = grid.bins == 0 ? std::nullopt : dense_gap(grid, spans, min_gap);
        if (grid.bins != 0) {
            EXPECT_EQ(piecewise_gap(grid.bins, spans, min_gap), expected);
            for (const RunScan scan : {RunScan::Auto, RunScan::Counters, RunScan::Sweep}) {
                ScratchVector<std::int64_t> counters;
                EXPECT_EQ(best_gap_of_spans(spans, grid.bins, min_gap, counters, scan), expected) << "round " << round;
            }
        }
        const CutSearch::Outcome found = CutSearch(threshold, scale).outcome(projections, min, max);
        EXPECT_EQ(found.bins, grid.bins) << "round " << round;
        EXPECT_EQ(found.found ? std::optional(found.position) : std::nullopt, expected) << "round " << round;
        if (expected) {
            EXPECT_EQ(std::bit_cast<std::uint32_t>(found.cut), std::bit_cast<std::uint32_t>(cut_at(grid, *expected)));
        }
    }
}

TEST(SpanSweep, AgreesWithThePiecewiseCountOnHugeBinCounts) {
    PageFactory factory(11);
    for (int round = 0; round < 3000; ++round) {
        const float min = factory.uniform(-1e6f, 1e6f);
        const float range = std::pow(10.0f, factory.uniform(5.0f, 30.0f));
        const float scale = factory.pick(2) == 0 ? 0.5f : std::pow(10.0f, factory.uniform(-1.0f, 12.0f));
        const AxisGrid grid = make_axis_grid(min, min + range, scale);
        if (grid.bins == 0) continue;
        std::vector<BinSpan> spans;
        const std::size_t count = factory.pick(20);
        for (std::size_t i = 0; i < count; ++i) {
            const float lo = min + factory.uniform(-0.1f, 1.0f) * range;
            spans.push_back(covered_bins(grid, lo, lo + factory.uniform(0.0f, 0.3f) * range));
        }
        const std::uint64_t min_gap = factory.pick(2) == 0 ? factory.pick(20) : grid.bins / (1 + factory.pick(40));
        ScratchVector<std::int64_t> counters;
        EXPECT_EQ(best_gap_of_spans(spans, grid.bins, min_gap, counters), piecewise_gap(grid.bins, spans, min_gap))
            << "round " << round;
        EXPECT_LE(counters.capacity(), 4 * spans.size() + 65);  // memory follows the spans, not the bins
    }
}

// Merged projections must search exactly like their members on every grid
// they are used on: intervals that touch, nest or sit in one bin, gaps just
// either side of the shortest choosable run, far from the origin where each
// quotient rounds, and regions narrowed to an odd edge.
CutSearch::MergedRange whole(std::span<const CutSearch::Interval> merged) { return {merged, 0, merged.size(), {}}; }

// The merged search on one grid against the search over every projection;
// false when the grid is left to the full search.
bool merged_search_agrees(CutSearch& search, const ScratchVector<CutSearch::Interval>& merged,
                          const std::vector<CutSearch::Projection>& projections, float min, float max, bool& found) {
    CutSearch::Outcome fast;
    if (!search.outcome_of_merged(whole(merged), min, max, fast)) return false;
    const CutSearch::Outcome full = search.outcome(projections, min, max);
    EXPECT_EQ(fast.bins, full.bins);
    EXPECT_EQ(fast.found, full.found);
    EXPECT_EQ(fast.position, full.position);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(fast.cut), std::bit_cast<std::uint32_t>(full.cut));
    found = full.found;
    return true;
}

TEST(MergedProjections, SearchLikeTheirMembers) {
    PageFactory factory(23);
    int merged_searches = 0;
    for (int round = 0; round < 30000; ++round) {
        const float origin = factory.pick(3) == 0 ? factory.uniform(-1e7f, 1e7f) : factory.uniform(-50.0f, 50.0f);
        const float extent = factory.pick(4) == 0 ? factory.uniform(0.0f, 20.0f) : factory.uniform(0.0f, 700.0f);
        const float scale = factory.pick(3) == 0 ? std::pow(10.0f, factory.uniform(-2.0f, 2.0f)) : 0.5f;
        const float threshold = static_cast<float>(factory.pick(20));
        const float shortest_gap = static_cast<float>(std::max<std::uint64_t>(min_gap_bins(threshold, scale), 1)) / scale;
        const bool whole = factory.pick(2) == 0;  // whole coordinates put ends, and points, on bin edges
        std::vector<CutSearch::Projection> projections;
        const std::size_t count = 1 + factory.pick(14);
        float lo = origin + factory.uniform(-0.2f, 0.5f) * extent;
        for (std::size_t i = 0; i < count; ++i) {
            switch (factory.pick(5)) {
                case 0: break;  // touches or starts with the previous one
                case 1: lo += factory.uniform(0.0f, 0.05f) * extent; break;
                case 2: lo += shortest_gap * factory.uniform(0.5f, 1.1f); break;
                default: lo = origin + factory.uniform(-0.2f, 1.1f) * extent;
            }
            if (whole) lo = std::floor(lo);
            const float width = factory.pick(4) == 0 ? 0.0f : factory.uniform(0.0f, 0.3f) * extent;
            projections.push_back({lo, whole ? std::floor(lo + width) : lo + width});
            if (factory.pick(2) == 0) lo += width;
        }
        std::stable_sort(projections.begin(), projections.end(),
                         [](const auto& a, const auto& b) { return a.lo < b.lo; });
        float region_min = factory.pick(2) == 0 ? origin : origin + factory.uniform(-0.1f, 0.6f) * extent;
        if (whole) region_min = std::floor(region_min);
        const float region_max = region_min + factory.uniform(0.0f, 1.2f) * extent;
        CutSearch search(threshold, scale);
        ScratchVector<CutSearch::Interval> merged;
        ASSERT_TRUE(search.merge_projections(projections, region_min, region_max, merged));
        // The region itself, then narrowed from either side; each search
        // twice, the second time as remembered.
        const float cut = region_min + factory.uniform(0.0f, 1.0f) * (region_max - region_min);
        for (const auto& [min, max] :
             {std::pair{region_min, region_max}, {region_min, cut}, {cut, region_max}, {region_min, region_max}}) {
            SCOPED_TRACE(round);
            bool found = false;
            merged_searches += merged_search_agrees(search, merged, projections, min, max, found);
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(merged_searches, 80000);
}

// Tall regions with bin sizes that are not powers of two: bin positions
// millions of bins out round by a good fraction of a bin, and gaps right at
// the shortest choosable run must still be judged as the elements would be.
TEST(MergedProjections, SearchLikeTheirMembersWhereBinPositionsRound) {
    PageFactory factory(41);
    int merged_searches = 0;
    int found = 0;
    for (int round = 0; round < 20000; ++round) {
        const float region_min = factory.uniform(-1e6f, 1e6f);
        const float range = std::pow(10.0f, factory.uniform(4.0f, 6.9f));
        const float region_max = region_min + range;
        const float scale = factory.pick(2) == 0 ? 0.5f : factory.uniform(0.05f, 2.0f);
        const float threshold = static_cast<float>(1 + factory.pick(20));
        const float shortest_gap = static_cast<float>(std::max<std::uint64_t>(min_gap_bins(threshold, scale), 1)) / scale;
        // One box over most of the region, then a band of boxes up to its
        // far edge separated by gaps within two bins of the shortest
        // choosable run: the only runs that can be chosen.
        const float band = region_max - factory.uniform(10.0f, 60.0f) * shortest_gap;
        std::vector<CutSearch::Projection> projections = {{region_min - 1.0f, band}};
        float lo = band + shortest_gap + factory.uniform(-2.0f, 2.0f) / scale;
        while (lo < region_max) {
            const float hi = lo + factory.uniform(0.5f, 3.0f) * shortest_gap;
            projections.push_back({lo, hi});
            lo = hi + shortest_gap + factory.uniform(-2.0f, 2.0f) / scale;
        }
        std::stable_sort(projections.begin(), projections.end(),
                         [](const auto& a, const auto& b) { return a.lo < b.lo; });
        CutSearch search(threshold, scale);
        ScratchVector<CutSearch::Interval> merged;
        ASSERT_TRUE(search.merge_projections(projections, region_min, region_max, merged));
        const float cut = region_min + factory.uniform(0.0f, 0.5f) * range;
        for (const auto& [min, max] : {std::pair{region_min, region_max}, {cut, region_max}}) {
            SCOPED_TRACE(round);
            bool chosen = false;
            merged_searches += merged_search_agrees(search, merged, projections, min, max, chosen);
            found += chosen;
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(merged_searches, 30000);
    EXPECT_GT(found, 3000);  // the gaps do get chosen
}

TEST(MergedProjections, RefuseWhatMayMarkMoreThanItsMergedInterval) {
    ScratchVector<CutSearch::Interval> merged;
    for (const auto& [lo, hi] : std::vector<std::pair<float, float>>{{5, 4}, {kNaN, 4}, {0, kNaN}, {-kInf, 4}, {0, kInf}}) {
        const std::vector<CutSearch::Projection> one = {{lo, hi}};
        EXPECT_FALSE(CutSearch(15.0f, 0.5f).merge_projections(one, 0.0f, 100.0f, merged)) << lo << " " << hi;
    }
    // With the defaults a run needs 7 bins, 14 units: 13.9 is too short a gap, 14 is not.
    CutSearch search(15.0f, 0.5f);
    const std::vector<CutSearch::Projection> sorted = {{0, 10}, {10, 12}, {11, 11}, {25.9f, 30}, {44, 50}};
    ASSERT_TRUE(search.merge_projections(sorted, 0.0f, 100.0f, merged));
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].hi, 30.0f);
    // Grids whose arithmetic is not exact enough are left to the full search.
    CutSearch::Outcome outcome;
    EXPECT_FALSE(search.outcome_of_merged(whole(merged), 0.0f, 1e9f, outcome));
    EXPECT_FALSE(search.outcome_of_merged(whole(merged), -kInf, 100.0f, outcome));
    ASSERT_TRUE(search.outcome_of_merged(whole(merged), 100.0f, 0.0f, outcome));
    EXPECT_EQ(outcome.bins, 0u);
    EXPECT_FALSE(outcome.found);
}

// The gap tree must choose what the sweep of the same intervals chooses:
// bands with nearly equal gaps (where rounding decides the longest), lines of
// no size that mark nothing, regions far from the origin and narrowed to any
// part of the list.
TEST(GapTree, ChoosesWhatTheSweepChooses) {
    PageFactory factory(31);
    int by_tree = 0;
    for (int round = 0; round < 6000; ++round) {
        const float origin = factory.pick(3) == 0 ? factory.uniform(-1e7f, 1e7f) : 0.0f;
        const float scale = factory.pick(3) == 0 ? std::pow(10.0f, factory.uniform(-1.5f, 1.5f)) : 0.5f;
        const float threshold = static_cast<float>(factory.pick(30));
        const float gap = factory.uniform(0.5f, 40.0f);
        const bool whole = factory.pick(2) == 0;
        std::vector<CutSearch::Projection> projections;
        float y = origin;
        for (std::size_t i = 0, count = 8 + factory.pick(120); i < count; ++i) {
            const float height = factory.pick(15) == 0 ? 0.0f : factory.uniform(1.0f, 60.0f);
            const float lo = whole ? std::floor(y) : y;
            projections.push_back({lo, whole ? std::floor(y + height) : y + height});
            y += height + gap * (factory.pick(4) == 0 ? factory.uniform(0.2f, 1.5f) : factory.uniform(0.98f, 1.02f));
        }
        CutSearch search(threshold, scale);
        ScratchVector<CutSearch::Interval> list;
        ASSERT_TRUE(search.merge_projections(projections, origin - 100.0f, y + 100.0f, list));
        if (list.size() < 8) continue;
        ScratchVector<float> tree;
        build_gap_tree(list, tree);
        for (int range = 0; range < 8; ++range) {
            const std::size_t first = factory.pick(static_cast<std::uint32_t>(list.size() - 7));
            const std::size_t last = first + 8 + factory.pick(static_cast<std::uint32_t>(list.size() - first - 7));
            // Edges beyond the range, or cutting into its first and last
            // intervals, or past them.
            const float min = list[first].lo + factory.uniform(-1.0f, 1.5f) * (list[first].hi - list[first].lo + gap);
            const float max = list[last - 1].hi - factory.uniform(-1.0f, 1.5f) * (list[last - 1].hi - list[last - 1].lo + gap);
            SCOPED_TRACE(::testing::Message() << "round " << round << " range " << first << ".." << last);
            CutSearch::Outcome swept;
            if (!search.outcome_of_merged({list, first, last, {}}, min, max, swept)) continue;
            const AxisGrid grid = make_axis_grid(min, max, scale);
            if (grid.bins == 0 || !(grid.bin_size >= std::numeric_limits<float>::min())) continue;
            GapChooser chooser(min_gap_bins(threshold, scale));
            if (!choose_run_by_gap_tree(grid, list, first, last, tree, chooser)) continue;
            ++by_tree;
            EXPECT_EQ(chooser.best().has_value(), swept.found);
            EXPECT_EQ(chooser.best().value_or(0), swept.found ? swept.position : 0);
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(by_tree, 3000);
}

}  // namespace
}  // namespace tarvello::paper
