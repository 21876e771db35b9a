// Segmentation and its parts on small pages whose order can be read off a
// sketch: the gap threshold, touching edges, columns, the narrow-box retry,
// the tie between a horizontal and a vertical cut, NaN edges.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include "ostrel/ostrel_support.hpp"
#include "ostrel/quintor_sorter/src/lib/largest_gap.hpp"
#include "ostrel/quintor_sorter/src/lib/segment.hpp"

namespace tarvello::ostrel {
namespace {

using testing::ids;
using testing::kDebug;
using testing::kWarn;
using testing::numbered;
using testing::written;
using testing::Written;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class SegmentTest : public ::testing::Test {
protected:
    void SetUp() override { (void)written(); }
};

struct Derived {
    LayoutBox box;
    float left, right, top, bottom, width, height, center_x;
};

class DerivedQuantities : public ::testing::TestWithParam<Derived> {};

TEST_P(DerivedQuantities, FollowMinNumAndMaxNum) {
    const Derived& d = GetParam();
    // Bit for bit, except that any NaN matches any NaN.
    const auto same = [](float a, float b) {
        return (a != a && b != b) || std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
    };
    EXPECT_TRUE(same(d.box.left(), d.left)) << d.box.left();
    EXPECT_TRUE(same(d.box.right(), d.right)) << d.box.right();
    EXPECT_TRUE(same(d.box.top(), d.top)) << d.box.top();
    EXPECT_TRUE(same(d.box.bottom(), d.bottom)) << d.box.bottom();
    EXPECT_TRUE(same(d.box.width(), d.width)) << d.box.width();
    EXPECT_TRUE(same(d.box.height(), d.height)) << d.box.height();
    EXPECT_TRUE(same(d.box.center_x(), d.center_x)) << d.box.center_x();
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, DerivedQuantities,
    ::testing::Values(Derived{{0, 0, 0, 4, 2}, 0, 4, 0, 2, 4, 2, 2},
                      Derived{{0, 4, 2, 0, 0}, 0, 4, 0, 2, 4, 2, 2},                    // corners swapped
                      Derived{{0, kNaN, 0, 10, 0}, 10, 10, 0, 0, 0, 0, kNaN},           // one NaN corner
                      Derived{{0, kNaN, kNaN, kNaN, kNaN}, kNaN, kNaN, kNaN, kNaN, 0, 0, kNaN},
                      Derived{{0, -kInf, 0, kInf, 1}, -kInf, kInf, 0, 1, kInf, 1, kNaN},
                      Derived{{0, kInf, 0, kInf, 1}, kInf, kInf, 0, 1, 0, 1, kInf},  // inf - inf is no width
                      // The sum is rounded before it is halved: 2^24 + 1 rounds to 2^24.
                      Derived{{0, 16777216.0f, 0, 1.0f, 0}, 1, 16777216.0f, 0, 0, 16777215.0f, 0, 8388608.0f}));

struct GapCase {
    const char* name;
    std::vector<LayoutBox> boxes;
    Axis axis;
    Gap expected;
};

class LargestGap : public ::testing::TestWithParam<GapCase> {};

TEST_P(LargestGap, FindsTheFirstWidestBand) {
    const GapCase& c = GetParam();
    const Gap gap = find_largest_gap(c.boxes, c.axis);
    EXPECT_EQ(gap.position, c.expected.position);
    EXPECT_EQ(gap.gap, c.expected.gap);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LargestGap,
    ::testing::Values(
        GapCase{"SingleBox", {{0, 0, 0, 10, 10}}, Axis::Vertical, {0, 0}},
        GapCase{"TouchingBoxes", {{0, 0, 0, 10, 10}, {1, 10, 0, 20, 10}}, Axis::Vertical, {0, 0}},
        GapCase{"OverlapAllTheWay", {{0, 0, 0, 10, 10}, {1, 5, 0, 20, 10}, {2, 0, 0, 30, 10}}, Axis::Vertical, {0, 0}},
        // The long box reaches past the short one: the gap starts at its end.
        GapCase{"ReachIsTheFurthestEdgeSoFar", {{0, 0, 0, 50, 1}, {1, 10, 0, 20, 1}, {2, 60, 0, 70, 1}},
                Axis::Vertical, {55, 10}},
        GapCase{"FirstOfEqualGapsWins", {{0, 0, 0, 1, 10}, {1, 0, 20, 1, 30}, {2, 0, 40, 1, 50}}, Axis::Horizontal,
                {15, 10}},
        GapCase{"InputOrderDoesNotMatter", {{0, 0, 40, 1, 50}, {1, 0, 0, 1, 10}, {2, 0, 20, 1, 30}}, Axis::Horizontal,
                {15, 10}},
        GapCase{"NaNEdgesOpenNoGap", {{0, kNaN, 0, kNaN, 1}, {1, 0, 0, 10, 1}, {2, kNaN, 0, kNaN, 1}},
                Axis::Vertical, {0, 0}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Two boxes side by side; the right one is higher, so y-then-x puts it first.
struct ThresholdCase {
    float gap;
    std::vector<std::uint64_t> order;
    std::vector<Written> records;
};

class CutThreshold : public SegmentTest, public ::testing::WithParamInterface<ThresholdCase> {};

TEST_P(CutThreshold, AGapOfFiveCutsAndLessFallsBack) {
    const ThresholdCase& c = GetParam();
    const auto page = numbered({{0, 0, 10, 10, 20}, {0, 10 + c.gap, 0, 20 + c.gap, 10}});
    EXPECT_EQ(ids(segment(page, false)), c.order);
    EXPECT_EQ(written(), c.records);
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, CutThreshold,
    ::testing::Values(
        ThresholdCase{5.0f,
                      {0, 1},
                      {{kDebug, "segment.cpp", "[segment] vertical cut at x=12.5 (gap=5.0) on 2 elements"},
                       {kDebug, "segment.cpp", "[segment] split into 2 groups: 1, 1"}}},
        ThresholdCase{4.99f,
                      {1, 0},
                      {{kDebug, "segment.cpp",
                        "[segment] no valid cuts for 2 elements, falling back to y-then-x sort"}}}));

TEST_F(SegmentTest, TwoColumnsAreCutAtTheGutterThenLineByLine) {
    const auto page = testing::two_columns_of_three_lines();
    EXPECT_EQ(ids(segment(page, false)), (std::vector<std::uint64_t>{0, 2, 4, 1, 3, 5}));
    const auto records = written();
    ASSERT_EQ(records.size(), 10u);
    EXPECT_EQ(records[0].message, "[segment] vertical cut at x=120.0 (gap=40.0) on 6 elements");
    EXPECT_EQ(records[1].message, "[segment] split into 2 groups: 3, 3");
    EXPECT_EQ(records[2].message, "[segment] horizontal cut at y=15.0 (gap=10.0) on 3 elements");
    EXPECT_EQ(records[4].message, "[segment] horizontal cut at y=35.0 (gap=10.0) on 2 elements");
}

// Columns [0, 100] and [120, 220] of lines 4 apart (too close to cut), and
// a box under a tenth of the span that closes the gutter.
struct BridgeCase {
    const char* name;
    float bridge_left;
    float bridge_right;
    std::size_t position_in_order;  // where the bridge ends up
};

class NarrowBridge : public SegmentTest, public ::testing::WithParamInterface<BridgeCase> {};

TEST_P(NarrowBridge, RetryFindsTheHiddenGutter) {
    const BridgeCase& c = GetParam();
    std::vector<LayoutBox> page;
    for (int line = 0; line < 3; ++line) {
        const auto y = static_cast<float>(line) * 14.0f;
        page.push_back({0, 0, y, 100, y + 10});
        page.push_back({0, 120, y, 220, y + 10});
    }
    page.push_back({0, c.bridge_left, 14, c.bridge_right, 24});
    page = numbered(page);
    const auto order = ids(segment(page, false));
    ASSERT_EQ(order.size(), 7u);
    EXPECT_EQ(order[c.position_in_order], 6u);
    const auto records = written();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].message, "[segment] vertical cut at x=110.0 (gap=20.0) on 7 elements");
}

INSTANTIATE_TEST_SUITE_P(Bridges, NarrowBridge,
                         ::testing::Values(BridgeCase{"CenterLeftOfTheCut", 98, 118, 2},  // after the left line 1
                                           BridgeCase{"CenterOnTheCut", 100, 120, 4}),    // first of the right group
                         [](const auto& param_info) { return std::string(param_info.param.name); });

class EqualGaps : public SegmentTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EqualGaps, PreferenceDecidesTheTie) {
    // A 2 x 2 grid of 10-unit boxes, 10 apart both ways, given in no useful order.
    const auto page = numbered({{0, 20, 20, 30, 30}, {0, 0, 0, 10, 10}, {0, 20, 0, 30, 10}, {0, 0, 20, 10, 30}});
    const bool prefer_horizontal_first = GetParam();
    const auto expected = prefer_horizontal_first ? std::vector<std::uint64_t>{1, 2, 3, 0}   // row by row
                                                  : std::vector<std::uint64_t>{1, 3, 2, 0};  // column by column
    EXPECT_EQ(ids(segment(page, prefer_horizontal_first)), expected);
    EXPECT_EQ(written().front().message, prefer_horizontal_first
                                             ? "[segment] horizontal cut at y=15.0 (gap=10.0) on 4 elements"
                                             : "[segment] vertical cut at x=15.0 (gap=10.0) on 4 elements");
}

INSTANTIATE_TEST_SUITE_P(Preference, EqualGaps, ::testing::Bool());

TEST_F(SegmentTest, NaNCenterGoesSecondAndCanLeaveOneGroup) {
    // The middle box has top = bottom = 5 but a NaN center: it opens the band
    // above the last box yet cannot be placed by it.
    const auto page = numbered({{0, 0, 0, 10, 10}, {0, 0, 20, 10, 30}, {0, 0, kNaN, 10, 5}});
    EXPECT_EQ(ids(segment(page, false)), (std::vector<std::uint64_t>{0, 2, 1}));
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
    const std::vector<LayoutBox> one{{7, kNaN, kInf, -kInf, 0}};
    EXPECT_EQ(ids(segment(one, true)), (std::vector<std::uint64_t>{7}));
    EXPECT_TRUE(written().empty());
}

}  // namespace
}  // namespace tarvello::ostrel
