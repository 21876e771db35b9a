// Projection histogram: bin marking, the gap choice, the vertical search's
// records, and every faster way of finding the runs against a plain one.
#include <algorithm>
#include <bit>
#include <tuple>

#include "layout/float_conventions.hpp"
#include "paper/quintor/src/core/gap_tree.hpp"
#include "paper/quintor/src/core/projection_histogram.hpp"
#include "paper_support.hpp"

namespace tarvello::paper {
namespace {

using namespace testing;
using Projections = std::vector<CutSearch::Projection>;

// The random marking below holds covered_bins; these pin the grid's edges.
TEST(AxisGrid, BinsGapsAndCuts) {
    EXPECT_EQ(make_axis_grid(0.0f, 100.0f, 0.5f).bins, 50u);
    EXPECT_EQ((std::vector{min_gap_bins(15.0f, 0.5f), min_gap_bins(-1.0f, 0.5f), min_gap_bins(kNaN, 0.5f)}),
              (std::vector<std::uint64_t>{7, 0, 0}));
    EXPECT_EQ(make_axis_grid(0.0f, kInf, 0.5f).bins, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(make_axis_grid(0.0f, 100.0f, -1.0f).bins, 0u);
    EXPECT_EQ(make_axis_grid(100.0f, 0.0f, 0.5f).bins, 0u);
    EXPECT_EQ(cut_at(make_axis_grid(0.0f, 100.0f, 0.5f), 25), 50.0f);
}

// The marking rule as written: floor raised to 0 (NaN giving 0), ceil lowered
// to float(bins) (NaN giving it), saturating truncation, then at most bins.
TEST(CoveredBins, MatchesTheFloatRulesOnRandomInput) {
    PageFactory factory(31);
    for (int round = 0; round < 200000; ++round) {
        const float min = factory.coordinate(1e3f) * (factory.pick(3) == 0 ? 1e7f : 1.0f);
        const float max = min + (factory.pick(2) ? factory.coordinate(1e3f) : std::pow(10.0f, factory.uniform(-3, 30)));
        const AxisGrid grid = make_axis_grid(min, max, factory.pick(2) ? 0.5f : std::pow(10.0f, factory.uniform(-6, 12)));
        if (grid.bins == 0) continue;
        const float lo = factory.pick(2) ? factory.coordinate(max - min) : min + factory.uniform(-0.2f, 1.2f) * (max - min);
        const float hi = factory.pick(2) ? factory.coordinate(max - min) : lo + factory.uniform(0.0f, 0.5f) * (max - min);
        const float first = max_num(std::floor((lo - grid.min) / grid.bin_size), 0.0f);
        const float last = min_num(std::ceil((hi - grid.min) / grid.bin_size), static_cast<float>(grid.bins));
        const BinSpan fast = covered_bins(grid, lo, hi);
        const std::pair expected(saturating_cast<std::uint64_t>(first), std::min(saturating_cast<std::uint64_t>(last), grid.bins));
        ASSERT_EQ(std::pair(fast.start, fast.end), expected) << min << " " << max << " " << lo << " " << hi;
    }
}

class HistogramRecords : public PaperTest {};

TEST_F(HistogramRecords, WrittenAboveFifteenElementsForAnyBinCount) {
    std::vector<Element> elements(15, box(1, 0, 0, 40, 10));
    EXPECT_EQ(find_vertical_cut(elements, 15.0f, 0.5f, 0.0f, 100.0f), 70.0f);
    EXPECT_TRUE(take_lines().empty());
    elements.push_back(box(2, 0, 0, 40, 10));
    EXPECT_EQ(find_vertical_cut(elements, 15.0f, 0.5f, 0.0f, 100.0f), 70.0f);
    EXPECT_EQ(take_lines(), (Lines{"[Histogram] Vertical: 50 bins, min_gap=7, x_range=0-100", "[Histogram] Found gap at bin 35, x=70"}));
    EXPECT_TRUE(find_horizontal_cut(elements, 15.0f, 0.5f, 0.0f, 100.0f).has_value());
    EXPECT_TRUE(take_lines().empty());
    EXPECT_EQ(find_vertical_cut(elements, 15.0f, 0.5f, 0.0f, 1.5f), std::nullopt);
    EXPECT_EQ(take_lines(), Lines{"[Histogram] Vertical: 0 bins, min_gap=7, x_range=0-2"});
    // Saturated bin count: the run after the boxes (which end at bin 737869760)
    // is found without any counters; 15 x 1e9 rounds to 15000000512.
    ASSERT_TRUE(find_vertical_cut(elements, 15.0f, 1e9f, 0.0f, 1e12f).has_value());
    EXPECT_EQ(take_lines(),
              (Lines{"[Histogram] Vertical: 18446744073709551615 bins, min_gap=15000000512, x_range=0-999999995904",
                     "[Histogram] Found gap at bin 9223372037223710687, x=499999997952"}));
}

// For any bin count: cut the axis at every span edge, and close a run of empty
// pieces at each piece some span covers.
std::optional<std::uint64_t> piecewise_gap(std::uint64_t bins, std::span<const BinSpan> spans, std::uint64_t min_gap) {
    std::vector<std::uint64_t> edges = {0, bins};
    for (const BinSpan& s : spans) edges.insert(edges.end(), {s.start, std::max(s.start, s.end)});
    std::sort(edges.begin(), edges.end());
    std::uint64_t best_length = 0, best = 0, run_start = 0;
    const auto close_run = [&](std::uint64_t end) {
        if (end - run_start >= min_gap && end - run_start > best_length) best_length = end - run_start, best = run_start + best_length / 2;
    };
    for (std::size_t i = 0; i + 1 < edges.size() && edges[i] < bins; ++i) {
        if (std::any_of(spans.begin(), spans.end(), [&](const BinSpan& s) { return s.start <= edges[i] && edges[i] < s.end; })) {
            close_run(edges[i]), run_start = edges[i + 1];
        }
    }
    close_run(bins);
    return best_length == 0 ? std::nullopt : std::optional(best);
}

// Projections sorted by leading edge or not: the search sweeps the first as
// they come and sorts the spans of the others; every way of finding the runs
// must give the dense counters' gap, and on huge bin counts the piecewise one.
TEST(SpanSearch, AgreesWithThePlainCountsOnRandomAxes) {
    PageFactory factory(7);
    for (int round = 0; round < 3000; ++round) {
        const float min = factory.pick(3) == 0 ? factory.coordinate(100.0f) : factory.uniform(-50.0f, 50.0f);
        const float max = min + factory.uniform(0.0f, 600.0f);
        const float scale = factory.pick(4) == 0 ? factory.uniform(0.0f, 4.0f) : 0.5f;
        const float threshold = static_cast<float>(factory.pick(30));
        const AxisGrid grid = make_axis_grid(min, max, scale);
        if (grid.bins > 5000) continue;
        Projections projections;
        for (std::size_t i = 0, count = factory.pick(12); i < count; ++i) {
            const float lo = min + factory.coordinate(max - min);
            projections.push_back({lo, factory.pick(5) == 0 ? factory.coordinate(max - min) : lo + factory.uniform(0, 80)});
        }
        const auto lead = [](float lo) { return std::isnan(lo) ? -kInf : lo; };
        const auto by_lead = [&](const auto& a, const auto& b) { return lead(a.lo) < lead(b.lo); };
        if (factory.pick(2) == 0) std::stable_sort(projections.begin(), projections.end(), by_lead);
        std::vector<BinSpan> spans;
        std::vector<std::uint64_t> dense(grid.bins, 0);
        for (const auto& p : projections) {
            spans.push_back(covered_bins(grid, p.lo, p.hi));
            for (std::uint64_t bin = spans.back().start; bin < spans.back().end; ++bin) ++dense[bin];
        }
        const std::uint64_t min_gap = min_gap_bins(threshold, scale);
        const auto expected = grid.bins == 0 ? std::nullopt : find_best_gap(dense, min_gap);
        const CutSearch::Outcome found = CutSearch(threshold, scale).outcome(projections, min, max);
        EXPECT_EQ(found.bins, grid.bins) << "round " << round;
        EXPECT_EQ(found.found ? std::optional(found.position) : std::nullopt, expected) << "round " << round;
        if (grid.bins == 0) continue;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(found.cut), std::bit_cast<std::uint32_t>(expected ? cut_at(grid, *expected) : found.cut));
        EXPECT_EQ(piecewise_gap(grid.bins, spans, min_gap), expected);
        for (const RunScan scan : {RunScan::Auto, RunScan::Counters, RunScan::Sweep}) {
            ScratchVector<std::int64_t> counters;
            EXPECT_EQ(best_gap_of_spans(spans, grid.bins, min_gap, counters, scan), expected) << "round " << round;
        }
    }

    // Huge bin counts, against the piecewise count only.
    factory = PageFactory(11);
    for (int round = 0; round < 3000; ++round) {
        const float min = factory.uniform(-1e6f, 1e6f);
        const float range = std::pow(10.0f, factory.uniform(5.0f, 30.0f));
        const float scale = factory.pick(2) == 0 ? 0.5f : std::pow(10.0f, factory.uniform(-1.0f, 12.0f));
        const AxisGrid grid = make_axis_grid(min, min + range, scale);
        if (grid.bins == 0) continue;
        std::vector<BinSpan> spans;
        for (std::size_t i = 0, count = factory.pick(20); i < count; ++i) {
            const float lo = min + factory.uniform(-0.1f, 1.0f) * range;
            spans.push_back(covered_bins(grid, lo, lo + factory.uniform(0.0f, 0.3f) * range));
        }
        const std::uint64_t min_gap = factory.pick(2) == 0 ? factory.pick(20) : grid.bins / (1 + factory.pick(40));
        ScratchVector<std::int64_t> counters;
        EXPECT_EQ(best_gap_of_spans(spans, grid.bins, min_gap, counters), piecewise_gap(grid.bins, spans, min_gap)) << "round " << round;
        EXPECT_LE(counters.capacity(), 4 * spans.size() + 65);  // memory follows the spans, not the bins
    }
}

// Merged projections must search like their members on the region, on each
// side of the cut, and on the region again as remembered. Counts the searches
// the merged intervals took, and those of them that found a cut.
struct MergedCase {
    float threshold, scale;
    Projections projections;
    float region_min, region_max, cut;
};
template <class Make>
std::pair<int, int> merged_searches_agree(std::uint32_t seed, int rounds, Make make) {
    PageFactory factory(seed);
    int searches = 0, found = 0;
    for (int round = 0; round < rounds && !::testing::Test::HasFailure(); ++round) {
        auto [threshold, scale, projections, region_min, region_max, cut] = make(factory);
        std::stable_sort(projections.begin(), projections.end(), [](const auto& a, const auto& b) { return a.lo < b.lo; });
        CutSearch search(threshold, scale);
        ScratchVector<CutSearch::Interval> merged;
        EXPECT_TRUE(search.merge_projections(projections, region_min, region_max, merged)) << "round " << round;
        for (const auto& [min, max] : {std::pair{region_min, region_max}, {region_min, cut}, {cut, region_max}, {region_min, region_max}}) {
            CutSearch::Outcome fast;
            if (!search.outcome_of_merged({merged, 0, merged.size(), {}}, min, max, fast)) continue;
            const CutSearch::Outcome full = search.outcome(projections, min, max);
            EXPECT_EQ(std::tuple(fast.bins, fast.found, fast.position, std::bit_cast<std::uint32_t>(fast.cut)),
                      std::tuple(full.bins, full.found, full.position, std::bit_cast<std::uint32_t>(full.cut))) << "round " << round;
            ++searches, found += full.found;
        }
    }
    return {searches, found};
}

// Intervals that touch, nest or sit in one bin, gaps either side of the shortest
// run, far from the origin where quotients round, regions with an odd edge.
TEST(MergedProjections, SearchLikeTheirMembers) {
    EXPECT_GT(merged_searches_agree(23, 30000, [](PageFactory& factory) {
                  const float origin = factory.pick(3) == 0 ? factory.uniform(-1e7f, 1e7f) : factory.uniform(-50.0f, 50.0f);
                  const float extent = factory.pick(4) == 0 ? factory.uniform(0.0f, 20.0f) : factory.uniform(0.0f, 700.0f);
                  const float scale = factory.pick(3) == 0 ? std::pow(10.0f, factory.uniform(-2.0f, 2.0f)) : 0.5f;
                  const float threshold = static_cast<float>(factory.pick(20));
                  const float shortest_gap = static_cast<float>(std::max<std::uint64_t>(min_gap_bins(threshold, scale), 1)) / scale;
                  const bool whole = factory.pick(2) == 0;  // whole coordinates put ends, and points, on bin edges
                  Projections projections;
                  float lo = origin + factory.uniform(-0.2f, 0.5f) * extent;
                  for (std::size_t i = 0, count = 1 + factory.pick(14); i < count; ++i) {
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
                  float region_min = factory.pick(2) == 0 ? origin : origin + factory.uniform(-0.1f, 0.6f) * extent;
                  if (whole) region_min = std::floor(region_min);
                  const float region_max = region_min + factory.uniform(0.0f, 1.2f) * extent;
                  const float cut = region_min + factory.uniform(0.0f, 1.0f) * (region_max - region_min);
                  return MergedCase{threshold, scale, projections, region_min, region_max, cut};
              }).first,
              80000);
}

// Tall regions with bin sizes that are not powers of two: bin positions
// millions of bins out round by a good fraction of a bin, and gaps right at
// the shortest choosable run must still be judged as the elements would be.
TEST(MergedProjections, SearchLikeTheirMembersWhereBinPositionsRound) {
    const auto [searches, found] = merged_searches_agree(41, 20000, [](PageFactory& factory) {
        const float region_min = factory.uniform(-1e6f, 1e6f);
        const float range = std::pow(10.0f, factory.uniform(4.0f, 6.9f));
        const float scale = factory.pick(2) == 0 ? 0.5f : factory.uniform(0.05f, 2.0f);
        const float threshold = static_cast<float>(1 + factory.pick(20));
        const float shortest_gap = static_cast<float>(std::max<std::uint64_t>(min_gap_bins(threshold, scale), 1)) / scale;
        // One box over most of the region, then a band of boxes up to its far
        // edge separated by gaps within two bins of the shortest choosable
        // run: the only runs that can be chosen.
        const float band = region_min + range - factory.uniform(10.0f, 60.0f) * shortest_gap;
        Projections projections = {{region_min - 1.0f, band}};
        for (float lo = band + shortest_gap + factory.uniform(-2.0f, 2.0f) / scale; lo < region_min + range;) {
            projections.push_back({lo, lo + factory.uniform(0.5f, 3.0f) * shortest_gap});
            lo = projections.back().hi + shortest_gap + factory.uniform(-2.0f, 2.0f) / scale;
        }
        return MergedCase{threshold, scale, projections, region_min, region_min + range, region_min + factory.uniform(0.0f, 0.5f) * range};
    });
    EXPECT_GT(searches, 60000);
    EXPECT_GT(found, 6000);  // the gaps do get chosen
}

TEST(MergedProjections, RefuseWhatMayMarkMoreThanItsMergedInterval) {
    ScratchVector<CutSearch::Interval> merged;
    CutSearch search(15.0f, 0.5f);
    for (const auto& [lo, hi] : std::vector<std::pair<float, float>>{{5, 4}, {kNaN, 4}, {0, kNaN}, {-kInf, 4}, {0, kInf}}) {
        EXPECT_FALSE(search.merge_projections(Projections{{lo, hi}}, 0.0f, 100.0f, merged)) << lo << " " << hi;
    }
    // With the defaults a run needs 7 bins, 14 units: 13.9 is too short a gap, 14 is not.
    ASSERT_TRUE(search.merge_projections(Projections{{0, 10}, {10, 12}, {11, 11}, {25.9f, 30}, {44, 50}}, 0.0f, 100.0f, merged));
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].hi, 30.0f);
    // Grids whose arithmetic is not exact enough are left to the full search.
    CutSearch::Outcome outcome;
    EXPECT_FALSE(search.outcome_of_merged({merged, 0, 2, {}}, 0.0f, 1e9f, outcome));
    EXPECT_FALSE(search.outcome_of_merged({merged, 0, 2, {}}, -kInf, 100.0f, outcome));
    ASSERT_TRUE(search.outcome_of_merged({merged, 0, 2, {}}, 100.0f, 0.0f, outcome));
    EXPECT_TRUE(outcome.bins == 0 && !outcome.found);
}

// The gap tree must choose what the sweep chooses: bands with nearly equal gaps
// (where rounding decides), lines of no size, regions far from the origin and
// narrowed to any stretch of the list, with edges beyond, into or past its ends.
TEST(GapTree, ChoosesWhatTheSweepChooses) {
    PageFactory factory(31);
    int by_tree = 0;
    for (int round = 0; round < 6000; ++round) {
        const float origin = factory.pick(3) == 0 ? factory.uniform(-1e7f, 1e7f) : 0.0f;
        const float scale = factory.pick(3) == 0 ? std::pow(10.0f, factory.uniform(-1.5f, 1.5f)) : 0.5f;
        const float threshold = static_cast<float>(factory.pick(30));
        const float gap = factory.uniform(0.5f, 40.0f);
        const bool whole = factory.pick(2) == 0;
        Projections projections;
        float y = origin;
        for (std::size_t i = 0, count = 8 + factory.pick(120); i < count; ++i) {
            const float height = factory.pick(15) == 0 ? 0.0f : factory.uniform(1.0f, 60.0f);
            projections.push_back({whole ? std::floor(y) : y, whole ? std::floor(y + height) : y + height});
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
            EXPECT_EQ(chooser.best(), swept.found ? std::optional(swept.position) : std::nullopt);
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(by_tree, 3000);
}

}  // namespace
}  // namespace tarvello::paper
