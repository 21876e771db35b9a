// The sorter's own steps (cross-layout detection, density ratio, merge) and
// complete record streams, source files included.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ostrel/ostrel_support.hpp"
#include "ostrel/quintor_sorter/src/lib/density.hpp"
#include "ostrel/quintor_sorter/src/lib/merge_cross_layout.hpp"
#include "ostrel/quintor_sorter/src/lib/segment.hpp"
#include "ostrel/quintor_sorter/src/lib/sorter.hpp"

namespace tarvello::ostrel {
namespace {

using namespace testing;  // NOLINT(google-build-using-namespace): the ostrel test helpers

using SorterTest = RecordsTest;

TEST_F(SorterTest, NoneOrOneBoxComesBackUnchangedAndSilently) {
    EXPECT_TRUE(OstrelSorter().sort({}).empty());
    EXPECT_TRUE(segment({}, true).empty());
    EXPECT_EQ(ids(OstrelSorter().sort({{42, kNaN, 1, 2, 3}})), Ids{42});
    EXPECT_EQ(ids(segment(std::vector<LayoutBox>{{7, kNaN, kInf, -kInf, 0}}, true)), Ids{7});
    EXPECT_TRUE(written().empty());
}

TEST_F(SorterTest, TwoColumnsAreCutAtTheGutterThenLineByLine) {
    // Three lines 10 high and 10 apart per column, a gutter of 40; given row
    // by row, so ids 0, 2, 4 are the left column.
    const auto page = numbered({{0, 0, 0, 100, 10}, {0, 140, 0, 240, 10}, {0, 0, 20, 100, 30},
                                {0, 140, 20, 240, 30}, {0, 0, 40, 100, 50}, {0, 140, 40, 240, 50}});
    EXPECT_EQ(ids(OstrelSorter().sort(page)), (Ids{0, 2, 4, 1, 3, 5}));
    const Written first_line{kDebug, "segment.cpp", "[segment] horizontal cut at y=15.0 (gap=10.0) on 3 elements"};
    const Written second_line{kDebug, "segment.cpp", "[segment] horizontal cut at y=35.0 (gap=10.0) on 2 elements"};
    const Written split_1_2{kDebug, "segment.cpp", "[segment] split into 2 groups: 1, 2"};
    const Written split_1_1{kDebug, "segment.cpp", "[segment] split into 2 groups: 1, 1"};
    EXPECT_EQ(written(), (std::vector<Written>{
                             {kDebug, "sorter.cpp", "[sort] 6 elements (beta=2, density_threshold=0.9)"},
                             {kDebug, "sorter.cpp", "[sort] cross-layout: 0, remaining: 6"},
                             {kDebug, "sorter.cpp", "[sort] density_ratio=0.500, prefer_horizontal_first=false"},
                             {kDebug, "segment.cpp", "[segment] vertical cut at x=120.0 (gap=40.0) on 6 elements"},
                             {kDebug, "segment.cpp", "[segment] split into 2 groups: 3, 3"},
                             first_line, split_1_2, second_line, split_1_1,  // left column
                             first_line, split_1_2, second_line, split_1_1,  // right column
                         }));
}

TEST_F(SorterTest, InfinitelyWideBoxOverTwoOthersIsMergedByItsTop) {
    const auto page = numbered({{0, 0, 0, 10, 10}, {0, 0, 50, kInf, 60}, {0, 20, 100, 30, 110}});
    EXPECT_EQ(ids(OstrelSorter().sort(page)), (Ids{0, 1, 2}));
    EXPECT_EQ(written(), (std::vector<Written>{
                             {kDebug, "sorter.cpp", "[sort] 3 elements (beta=2, density_threshold=0.9)"},
                             {kDebug, "sorter.cpp", "[sort] cross-layout: 1, remaining: 2"},
                             {kDebug, "sorter.cpp", "[sort] density_ratio=0.061, prefer_horizontal_first=false"},
                             {kDebug, "segment.cpp", "[segment] horizontal cut at y=55.0 (gap=90.0) on 2 elements"},
                             {kDebug, "segment.cpp", "[segment] split into 2 groups: 1, 1"},
                             {kDebug, "merge_cross_layout.cpp",
                              "[merge] merging 1 cross-layout elements into 2 main elements"},
                             {kDebug, "merge_cross_layout.cpp", "[merge] result: 3 elements total"},
                         }));
}

TEST_F(SorterTest, ExactlyNineTenthsIsNotDenseEnough) {
    (void)OstrelSorter().sort(numbered({{0, 0, 0, 10, 9}, {0, 0, 10, 0, 10}}));
    EXPECT_EQ(written().at(2).message, "[sort] density_ratio=0.900, prefer_horizontal_first=false");
}

TEST(CrossLayout, NeedsTwiceTheWidestAndTwoOverlapsOfATenth) {
    const OstrelSorter sorter;
    using Found = std::vector<std::size_t>;
    // Two boxes, finite widths, zero widths: never.
    EXPECT_EQ(sorter.detect_cross_layout({{{0, -kInf, 0, kInf, 1}, {1, 0, 5, 10, 6}}}), Found{});
    EXPECT_EQ(sorter.detect_cross_layout({{{0, 0, 0, 600, 1}, {1, 0, 5, 10, 6}, {2, 20, 5, 30, 6}}}), Found{});
    EXPECT_EQ(sorter.detect_cross_layout({{{0, 5, 0, 5, 1}, {1, 5, 5, 5, 6}, {2, 5, 9, 5, 9}}}), Found{});
    // 1 of 10 units is exactly a tenth of the narrower width; 0.9 is not.
    EXPECT_EQ(sorter.detect_cross_layout({{{0, 0, 0, kInf, 1}, {1, -9, 5, 1, 6}, {2, 0.5f, 9, 1.5f, 9}}}), Found{0});
    EXPECT_EQ(sorter.detect_cross_layout({{{0, 0, 0, kInf, 1}, {1, -9.1f, 5, 0.9f, 6}, {2, 0.5f, 9, 1.5f, 9}}}),
              Found{});
    // Infinite boxes do not count each other (inf / inf is NaN).
    EXPECT_EQ(sorter.detect_cross_layout({{{0, -kInf, 0, kInf, 1}, {1, -kInf, 5, kInf, 6}, {2, 0, 9, 1, 9}}}),
              Found{});
}

TEST(Density, IsCoveredOverRegionCappedAtOne) {
    EXPECT_EQ(density_ratio({{{0, 0, 0, 10, 10}, {1, 90, 90, 100, 100}}}), 0.02f);  // opposite corners
    EXPECT_EQ(density_ratio({{{0, 0, 0, 10, 10}, {1, 0, 0, 10, 10}}}), 1.0f);       // overlap, capped
    EXPECT_EQ(density_ratio({{{0, 0, 5, 10, 5}, {1, 20, 5, 30, 5}}}), 1.0f);        // no area
    EXPECT_EQ(density_ratio({{{0, 0, 0, kInf, 10}, {1, 0, 0, 10, 10}}}), 1.0f);     // inf / inf
}

// Merge inputs as letters with tops; the letter is the id.
std::vector<LayoutBox> tops(std::string_view names, std::vector<float> top) {
    std::vector<LayoutBox> boxes;
    for (std::size_t i = 0; i < names.size(); ++i) boxes.push_back({std::uint64_t(names[i]), 0, top[i], 10, top[i] + 5});
    return boxes;
}

struct MergeCase {
    std::vector<LayoutBox> cross;
    std::vector<LayoutBox> main;
    std::string expected;
};

class Merge : public SorterTest, public ::testing::WithParamInterface<MergeCase> {};

TEST_P(Merge, PutsEachCrossBoxBeforeTheFirstMainBoxNotAboveIt) {
    const MergeCase& c = GetParam();
    std::string order;
    for (const LayoutBox& box : merge_cross_layout(c.cross, c.main)) order += static_cast<char>(box.id);
    EXPECT_EQ(order, c.expected);
    EXPECT_EQ(written().size(), !c.cross.empty() && !c.main.empty() ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Merge,
    ::testing::Values(MergeCase{tops("X", {100}), tops("AB", {0, 100}), "AXB"},  // a tie goes to the cross box
                      // Main keeps its column order: X waits for L2, never looks at R1.
                      MergeCase{tops("X", {300}), tops("LMRS", {0, 500, 0, 500}), "LXMRS"},
                      MergeCase{tops("YX", {50, 10}), tops("AB", {0, 100}), "AXYB"},
                      MergeCase{tops("X", {kNaN}), tops("AB", {0, 100}), "ABX"},
                      MergeCase{{}, tops("BA", {100, 0}), "BA"}, MergeCase{tops("YX", {50, 10}), {}, "XY"}));

}  // namespace
}  // namespace tarvello::ostrel
