// The sorter's own steps (cross-layout detection, density ratio, merge) and
// the complete record stream of whole runs, source files included.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "ostrel/ostrel_support.hpp"
#include "ostrel/quintor_sorter/src/lib/density.hpp"
#include "ostrel/quintor_sorter/src/lib/merge_cross_layout.hpp"
#include "ostrel/quintor_sorter/src/lib/sorter.hpp"

namespace tarvello::ostrel {
namespace {

using testing::ids;
using testing::kDebug;
using testing::numbered;
using testing::written;
using testing::Written;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

using Ids = std::vector<std::uint64_t>;

class SorterTest : public ::testing::Test {
protected:
    void SetUp() override { (void)written(); }
};

TEST_F(SorterTest, HasItsFixedParameters) {
    EXPECT_EQ(OstrelSorter().beta(), 2.0f);
    EXPECT_EQ(OstrelSorter().density_threshold(), 0.9f);
}

TEST_F(SorterTest, NoneOrOneBoxComesBackUnchangedAndSilently) {
    EXPECT_TRUE(OstrelSorter().sort({}).empty());
    EXPECT_EQ(ids(OstrelSorter().sort({{42, kNaN, 1, 2, 3}})), Ids{42});
    EXPECT_TRUE(written().empty());
}

TEST_F(SorterTest, WholeRunWritesEveryRecordInOrder) {
    const auto page = testing::two_columns_of_three_lines();
    EXPECT_EQ(ids(OstrelSorter().sort(page)), (Ids{0, 2, 4, 1, 3, 5}));
    const char* cut_y15 = "[segment] horizontal cut at y=15.0 (gap=10.0) on 3 elements";
    const char* cut_y35 = "[segment] horizontal cut at y=35.0 (gap=10.0) on 2 elements";
    EXPECT_EQ(written(), (std::vector<Written>{
                             {kDebug, "sorter.cpp", "[sort] 6 elements (beta=2, density_threshold=0.9)"},
                             {kDebug, "sorter.cpp", "[sort] cross-layout: 0, remaining: 6"},
                             {kDebug, "sorter.cpp", "[sort] density_ratio=0.500, prefer_horizontal_first=false"},
                             {kDebug, "segment.cpp", "[segment] vertical cut at x=120.0 (gap=40.0) on 6 elements"},
                             {kDebug, "segment.cpp", "[segment] split into 2 groups: 3, 3"},
                             {kDebug, "segment.cpp", cut_y15},
                             {kDebug, "segment.cpp", "[segment] split into 2 groups: 1, 2"},
                             {kDebug, "segment.cpp", cut_y35},
                             {kDebug, "segment.cpp", "[segment] split into 2 groups: 1, 1"},
                             {kDebug, "segment.cpp", cut_y15},
                             {kDebug, "segment.cpp", "[segment] split into 2 groups: 1, 2"},
                             {kDebug, "segment.cpp", cut_y35},
                             {kDebug, "segment.cpp", "[segment] split into 2 groups: 1, 1"},
                         }));
}

TEST_F(SorterTest, InfinitelyWideBoxOverTwoOthersIsMergedByItsTop) {
    const auto page = numbered({{0, 0, 0, 10, 10}, {0, 0, 50, kInf, 60}, {0, 20, 100, 30, 110}});
    EXPECT_EQ(OstrelSorter().detect_cross_layout(page), (std::vector<std::size_t>{1}));
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

struct CrossCase {
    const char* name;
    std::vector<LayoutBox> boxes;
    std::vector<std::size_t> cross;
};

class CrossLayout : public ::testing::TestWithParam<CrossCase> {};

TEST_P(CrossLayout, NeedsTwiceTheWidestAndTwoOverlaps) {
    EXPECT_EQ(OstrelSorter().detect_cross_layout(GetParam().boxes), GetParam().cross);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, CrossLayout,
    ::testing::Values(
        CrossCase{"TwoBoxesNever", {{0, -kInf, 0, kInf, 1}, {1, 0, 5, 10, 6}}, {}},
        CrossCase{"FiniteWidthsNever", {{0, 0, 0, 600, 1}, {1, 0, 5, 10, 6}, {2, 20, 5, 30, 6}}, {}},
        CrossCase{"AllZeroWidthsNever", {{0, 5, 0, 5, 1}, {1, 5, 5, 5, 6}, {2, 5, 9, 5, 9}}, {}},
        // 1 of 10 units is exactly a tenth of the narrower width; 0.9 is not.
        CrossCase{"TenthOfTheNarrowerIsEnough", {{0, 0, 0, kInf, 1}, {1, -9, 5, 1, 6}, {2, 0.5f, 9, 1.5f, 9}}, {0}},
        CrossCase{"LessThanATenthIsNot", {{0, 0, 0, kInf, 1}, {1, -9.1f, 5, 0.9f, 6}, {2, 0.5f, 9, 1.5f, 9}}, {}},
        // Two infinitely wide boxes: overlap / width is inf / inf, NaN.
        CrossCase{"InfiniteBoxesDoNotCountEachOther",
                  {{0, -kInf, 0, kInf, 1}, {1, -kInf, 5, kInf, 6}, {2, 0, 9, 1, 9}},
                  {}},
        CrossCase{"SeveralAscending",
                  {{0, 0, 0, 10, 1}, {1, -kInf, 5, kInf, 6}, {2, 0, 9, 10, 9}, {3, 5, 20, kInf, 21}},
                  {1, 3}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

struct DensityCase {
    const char* name;
    std::vector<LayoutBox> boxes;
    float ratio;
};

class Density : public ::testing::TestWithParam<DensityCase> {};

TEST_P(Density, IsCoveredOverRegionCappedAtOne) { EXPECT_EQ(density_ratio(GetParam().boxes), GetParam().ratio); }

INSTANTIATE_TEST_SUITE_P(
    Pages, Density,
    ::testing::Values(DensityCase{"TilingBoxes", {{0, 0, 0, 50, 10}, {1, 50, 0, 100, 10}}, 1.0f},
                      DensityCase{"OppositeCorners", {{0, 0, 0, 10, 10}, {1, 90, 90, 100, 100}}, 0.02f},
                      DensityCase{"OverlapCapped", {{0, 0, 0, 10, 10}, {1, 0, 0, 10, 10}}, 1.0f},
                      DensityCase{"NoHeight", {{0, 0, 5, 10, 5}, {1, 20, 5, 30, 5}}, 1.0f},
                      DensityCase{"InfiniteRegion", {{0, 0, 0, kInf, 10}, {1, 0, 0, 10, 10}}, 1.0f},
                      DensityCase{"ExactlyNineTenths", {{0, 0, 0, 10, 9}, {1, 0, 10, 0, 10}}, 0.9f}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(SorterTest, ExactlyNineTenthsIsNotDenseEnough) {
    (void)OstrelSorter().sort(numbered({{0, 0, 0, 10, 9}, {0, 0, 10, 0, 10}}));
    EXPECT_EQ(written()[2].message, "[sort] density_ratio=0.900, prefer_horizontal_first=false");
}

// Boxes for the merge, named by the id's letter; only `top` matters.
LayoutBox at_top(char name, float top) { return {static_cast<std::uint64_t>(name), 0, top, 10, top + 5}; }

struct MergeCase {
    const char* name;
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
    const bool both = !c.cross.empty() && !c.main.empty();
    EXPECT_EQ(written().size(), both ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Merge,
    ::testing::Values(
        MergeCase{"TieGoesToTheCrossBox", {at_top('X', 100)}, {at_top('A', 0), at_top('B', 100)}, "AXB"},
        // Main keeps its column order: X waits for L2 and never looks at R1.
        MergeCase{"TwoColumns",
                  {at_top('X', 300)},
                  {at_top('L', 0), at_top('M', 500), at_top('R', 0), at_top('S', 500)},
                  "LXMRS"},
        MergeCase{"BelowEverythingGoesLast", {at_top('X', 900)}, {at_top('A', 0), at_top('B', 100)}, "ABX"},
        MergeCase{"CrossBoxesInYThenXOrder", {at_top('Y', 50), at_top('X', 10)}, {at_top('A', 0), at_top('B', 100)},
                  "AXYB"},
        MergeCase{"NaNTopLetsTheMainBoxGoFirst", {at_top('X', kNaN)}, {at_top('A', 0), at_top('B', 100)}, "ABX"},
        MergeCase{"OnlyMain", {}, {at_top('B', 100), at_top('A', 0)}, "BA"},
        MergeCase{"OnlyCross", {at_top('Y', 50), at_top('X', 10)}, {}, "XY"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace tarvello::ostrel
