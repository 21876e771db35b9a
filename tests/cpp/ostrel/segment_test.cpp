// Segmentation and its parts on small pages whose order can be read off a
// sketch, and on one very deep page.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "ostrel/ostrel_support.hpp"
#include "ostrel/quintor_sorter/src/lib/largest_gap.hpp"
#include "ostrel/quintor_sorter/src/lib/segment.hpp"
#include "ostrel/quintor_sorter/src/lib/sort_y_then_x.hpp"

namespace tarvello::ostrel {
namespace {

using namespace testing;  // NOLINT(google-build-using-namespace): the ostrel test helpers

using SegmentTest = RecordsTest;

TEST(DerivedQuantities, FollowMinNumMaxNumAndOneRoundingPerOperation) {
    // Bit for bit, except that any NaN matches any NaN.
    const auto same = [](float a, float b) {
        return (a != a && b != b) || std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
    };
    struct Case {
        LayoutBox box;
        std::vector<float> left_right_width_center;
    };
    for (const Case& c : std::vector<Case>{{{0, 4, 0, 0, 0}, {0, 4, 4, 2}},                 // corners swapped
                                           {{0, kNaN, 0, 10, 0}, {10, 10, 0, kNaN}},        // one NaN corner
                                           {{0, kNaN, 0, kNaN, 0}, {kNaN, kNaN, 0, kNaN}},  // NaN is no width
                                           {{0, kInf, 0, kInf, 0}, {kInf, kInf, 0, kInf}},  // inf - inf too
                                           {{0, 16777216, 0, 1, 0}, {1, 16777216, 16777215, 8388608}},
                                           {{0, 3e38f, 0, 3e38f, 0}, {3e38f, 3e38f, 0, kInf}}}) {  // sum, then half
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

TEST(FallbackOrder, IsTopThenLeftByTotalOrderAndStable) {
    const auto page = numbered({{0, 0, kNaN, 1, kNaN}, {0, 5, 0, 6, 1}, {0, 9, -0.0f, 10, 1}, {0, 5, 1, 6, 2},
                                {0, 2, 1, 3, 2}, {0, 5, 0, 6, 1}, {0, 0, -kNaN, 1, -kNaN}, {0, 0, kNaN, 1, -1}});
    EXPECT_EQ(ids(sort_y_then_x(page)), (Ids{6, 7, 2, 1, 5, 4, 3, 0}));
}

struct SmallPage {
    const char* name;
    std::vector<LayoutBox> boxes;
    bool prefer_horizontal_first;
    Ids order;
    const char* first_record;
};

class SmallPages : public SegmentTest, public ::testing::WithParamInterface<SmallPage> {};

TEST_P(SmallPages, ReadInOrder) {
    const SmallPage& page = GetParam();
    EXPECT_EQ(ids(segment(numbered(page.boxes), page.prefer_horizontal_first)), page.order);
    EXPECT_EQ(written().at(0), (Written{kDebug, "segment.cpp", page.first_record}));
}

// Columns [0, 100] and [120, 220] of lines 4 apart (too close to cut), and a
// box under a tenth of the span that closes the gutter.
std::vector<LayoutBox> bridged_columns(float bridge_left) {
    std::vector<LayoutBox> page;
    for (float y : {0.0f, 14.0f, 28.0f}) {
        page.push_back({0, 0, y, 100, y + 10});
        page.push_back({0, 120, y, 220, y + 10});
    }
    page.push_back({0, bridge_left, 14, bridge_left + 20, 24});
    return page;
}

// A 2 x 2 grid of 10-unit boxes, 10 apart both ways.
const std::vector<LayoutBox> kGrid{{0, 20, 20, 30, 30}, {0, 0, 0, 10, 10}, {0, 20, 0, 30, 10}, {0, 0, 20, 10, 30}};

INSTANTIATE_TEST_SUITE_P(
    Cases, SmallPages,
    ::testing::Values(
        // Side by side, the right box higher: a gap of 5 cuts, less falls back
        // to y-then-x, which puts the right box first.
        SmallPage{"GapOfFive", {{0, 0, 10, 10, 20}, {0, 15, 0, 25, 10}}, false, {0, 1},
                  "[segment] vertical cut at x=12.5 (gap=5.0) on 2 elements"},
        SmallPage{"NarrowerGap", {{0, 0, 10, 10, 20}, {0, 14.99f, 0, 24.99f, 10}}, false, {1, 0},
                  "[segment] no valid cuts for 2 elements, falling back to y-then-x sort"},
        // The retry finds the gutter; the bridge follows its center: 108 joins
        // the left column after its second line, 110 (on the cut) the right.
        SmallPage{"BridgeLeftOfTheCut", bridged_columns(98), false, {0, 2, 6, 4, 1, 3, 5},
                  "[segment] vertical cut at x=110.0 (gap=20.0) on 7 elements"},
        SmallPage{"BridgeOnTheCut", bridged_columns(100), false, {0, 2, 4, 1, 6, 3, 5},
                  "[segment] vertical cut at x=110.0 (gap=20.0) on 7 elements"},
        // Equal gaps: the preference decides.
        SmallPage{"RowsFirst", kGrid, true, {1, 2, 3, 0}, "[segment] horizontal cut at y=15.0 (gap=10.0) on 4 elements"},
        SmallPage{"ColumnsFirst", kGrid, false, {1, 3, 2, 0},
                  "[segment] vertical cut at x=15.0 (gap=10.0) on 4 elements"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

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

TEST(Depth, OneColumnOfAHundredThousandLinesPeelsLineByLine) {
    // Every cut takes the top line off: 99,999 nested cuts, and no stack for them.
    constexpr std::size_t n = 100000;
    std::vector<LayoutBox> column;
    for (std::size_t i = 0; i < n; ++i) {
        const float y = 16.0f * static_cast<float>(n - 1 - i);  // given bottom line first
        column.push_back({i, 40.0f, y, 560.0f, y + 10.0f});
    }
    const auto order = segment(column, false);
    ASSERT_EQ(order.size(), n);
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(order[i].id, n - 1 - i);
}

}  // namespace
}  // namespace tarvello::ostrel
