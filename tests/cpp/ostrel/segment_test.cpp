// Segmentation on small pages whose order can be read off a sketch.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "ostrel/ostrel_support.hpp"
#include "ostrel/quintor_sorter/src/lib/largest_gap.hpp"
#include "ostrel/quintor_sorter/src/lib/segment.hpp"

namespace tarvello::ostrel {
namespace {

using namespace testing;  // NOLINT(google-build-using-namespace): the ostrel test helpers

using SegmentTest = RecordsTest;

// Bit for bit, except that any NaN matches any NaN.
bool same(float a, float b) {
    return (a != a && b != b) || std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

TEST(DerivedQuantities, FollowMinNumMaxNumAndOneRoundingPerOperation) {
    struct Case {
        LayoutBox box;
        std::vector<float> left_right_width_center;
    };
    for (const Case& c : std::vector<Case>{{{0, 4, 0, 0, 0}, {0, 4, 4, 2}},                 // corners swapped
                                           {{0, kNaN, 0, 10, 0}, {10, 10, 0, kNaN}},        // one NaN corner
                                           {{0, kNaN, 0, kNaN, 0}, {kNaN, kNaN, 0, kNaN}},  // NaN is no width
                                           {{0, kInf, 0, kInf, 0}, {kInf, kInf, 0, kInf}},  // inf - inf too
                                           {{0, 16777216, 0, 1, 0}, {1, 16777216, 16777215, 8388608}}}) {
        const std::vector<float> got{c.box.left(), c.box.right(), c.box.width(), c.box.center_x()};
        for (std::size_t k = 0; k < got.size(); ++k) EXPECT_TRUE(same(got[k], c.left_right_width_center[k])) << k;
    }
}

TEST(LargestGap, IsTheFirstWidestBandPastTheFurthestReach) {
    // Touching edges leave no gap, and neither do NaN edges.
    EXPECT_EQ(find_largest_gap({{{0, 0, 0, 10, 1}, {1, 10, 0, 20, 1}}}, Axis::Vertical).gap, 0.0f);
    EXPECT_EQ(find_largest_gap({{{0, kNaN, 0, kNaN, 1}, {1, 0, 0, 1, 1}, {2, kNaN, 0, kNaN, 1}}}, Axis::Vertical).gap,
              0.0f);
    // The long first box still reaches past the short one.
    const Gap past_reach = find_largest_gap({{{0, 0, 0, 50, 1}, {1, 10, 0, 20, 1}, {2, 60, 0, 70, 1}}}, Axis::Vertical);
    EXPECT_EQ(past_reach.position, 55.0f);
    EXPECT_EQ(past_reach.gap, 10.0f);
    const Gap first = find_largest_gap({{{0, 0, 40, 1, 50}, {1, 0, 0, 1, 10}, {2, 0, 20, 1, 30}}}, Axis::Horizontal);
    EXPECT_EQ(first.position, 15.0f);
}

class CutThreshold : public SegmentTest, public ::testing::WithParamInterface<float> {};

TEST_P(CutThreshold, AGapOfFiveCutsAndLessFallsBack) {
    // Side by side, the right box higher, so y-then-x would put it first.
    const float gap = GetParam();
    const auto page = numbered({{0, 0, 10, 10, 20}, {0, 10 + gap, 0, 20 + gap, 10}});
    const bool cuts = gap >= 5.0f;
    EXPECT_EQ(ids(segment(page, false)), cuts ? (Ids{0, 1}) : (Ids{1, 0}));
    const std::vector<Written> cut{{kDebug, "segment.cpp", "[segment] vertical cut at x=12.5 (gap=5.0) on 2 elements"},
                                   {kDebug, "segment.cpp", "[segment] split into 2 groups: 1, 1"}};
    const std::vector<Written> none{
        {kDebug, "segment.cpp", "[segment] no valid cuts for 2 elements, falling back to y-then-x sort"}};
    EXPECT_EQ(written(), cuts ? cut : none);
}

INSTANTIATE_TEST_SUITE_P(Gaps, CutThreshold, ::testing::Values(5.0f, 4.99f));

class NarrowBridge : public SegmentTest, public ::testing::WithParamInterface<std::pair<float, std::size_t>> {};

TEST_P(NarrowBridge, RetryFindsTheHiddenGutterAndTheBridgeFollowsItsCenter) {
    // Columns [0, 100] and [120, 220] of lines 4 apart (too close to cut),
    // and a box under a tenth of the span that closes the gutter.
    std::vector<LayoutBox> page;
    for (float y : {0.0f, 14.0f, 28.0f}) {
        page.push_back({0, 0, y, 100, y + 10});
        page.push_back({0, 120, y, 220, y + 10});
    }
    const auto [bridge_left, place] = GetParam();
    page.push_back({0, bridge_left, 14, bridge_left + 20, 24});
    const auto order = ids(segment(numbered(page), false));
    EXPECT_EQ(order.at(place), 6u);
    EXPECT_EQ(written().at(0).message, "[segment] vertical cut at x=110.0 (gap=20.0) on 7 elements");
}

// Center 108 joins the left group after its second line; center 110, on the
// cut, opens the right group.
INSTANTIATE_TEST_SUITE_P(Bridges, NarrowBridge, ::testing::Values(std::pair{98.0f, 2u}, std::pair{100.0f, 4u}));

class EqualGaps : public SegmentTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EqualGaps, PreferenceDecidesTheTie) {
    // A 2 x 2 grid of 10-unit boxes, 10 apart both ways.
    const auto page = numbered({{0, 20, 20, 30, 30}, {0, 0, 0, 10, 10}, {0, 20, 0, 30, 10}, {0, 0, 20, 10, 30}});
    const bool rows_first = GetParam();
    EXPECT_EQ(ids(segment(page, rows_first)), rows_first ? (Ids{1, 2, 3, 0}) : (Ids{1, 3, 2, 0}));
    EXPECT_EQ(written().front().message, rows_first ? "[segment] horizontal cut at y=15.0 (gap=10.0) on 4 elements"
                                                    : "[segment] vertical cut at x=15.0 (gap=10.0) on 4 elements");
}

INSTANTIATE_TEST_SUITE_P(Preference, EqualGaps, ::testing::Bool());

TEST_F(SegmentTest, NaNCenterGoesSecondAndCanLeaveOneGroup) {
    // The last box has top = bottom = 5 but a NaN center: it opens the band
    // above the second box yet never lands before a cut.
    const auto page = numbered({{0, 0, 0, 10, 10}, {0, 0, 20, 10, 30}, {0, 0, kNaN, 10, 5}});
    EXPECT_EQ(ids(segment(page, false)), (Ids{0, 2, 1}));
    EXPECT_EQ(written(),
              (std::vector<Written>{
                  {kDebug, "segment.cpp", "[segment] horizontal cut at y=15.0 (gap=10.0) on 3 elements"},
                  {kDebug, "segment.cpp", "[segment] split into 2 groups: 1, 2"},
                  {kDebug, "segment.cpp", "[segment] horizontal cut at y=12.5 (gap=15.0) on 2 elements"},
                  {kWarn, "segment.cpp",
                   "[segment] cut produced only 1 group for 2 elements, falling back to y-then-x sort"}}));
}

TEST_F(SegmentTest, EmptyAndSingleBoxesComeBackSilently) {
    EXPECT_TRUE(segment({}, true).empty());
    EXPECT_EQ(ids(segment(std::vector<LayoutBox>{{7, kNaN, kInf, -kInf, 0}}, true)), Ids{7});
    EXPECT_TRUE(written().empty());
}

}  // namespace
}  // namespace tarvello::ostrel
