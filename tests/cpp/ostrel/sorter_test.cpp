// What the random pages cannot check against the reference: the parts both
// share (box quantities, gap scan), the sorter's own steps and records, and a
// page deep enough to exhaust any recursion.
#include "ostrel/ostrel_support.hpp"
#include "ostrel/quintor_sorter/src/lib/density.hpp"
#include "ostrel/quintor_sorter/src/lib/largest_gap.hpp"
#include "ostrel/quintor_sorter/src/lib/merge_cross_layout.hpp"
#include "ostrel/quintor_sorter/src/lib/segment.hpp"
#include "ostrel/quintor_sorter/src/lib/sorter.hpp"
#include "support/small_stack.hpp"

namespace tarvello::ostrel {
namespace {

using namespace testing;  // NOLINT(google-build-using-namespace): the ostrel test helpers

using SorterTest = RecordsTest;

TEST(DerivedQuantities, FollowMinNumMaxNumAndOneRoundingPerOperationOnBothAxes) {
    // Bit for bit, except that any NaN matches any NaN.
    const auto same = [](float a, float b) {
        return (a != a && b != b) || std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
    };
    struct Case { LayoutBox box; std::vector<float> left_right_width_center; };
    for (const Case& c : std::vector<Case>{{{0, 4, 0, 0, 0}, {0, 4, 4, 2}},                 // corners swapped
                                           {{0, kNaN, 0, 10, 0}, {10, 10, 0, kNaN}},        // one NaN corner
                                           {{0, kNaN, 0, kNaN, 0}, {kNaN, kNaN, 0, kNaN}},  // NaN is no width
                                           {{0, kInf, 0, kInf, 0}, {kInf, kInf, 0, kInf}},  // inf - inf too
                                           {{0, 16777216, 0, 1, 0}, {1, 16777216, 16777215, 8388608}},
                                           {{0, 3e38f, 0, 3e38f, 0}, {3e38f, 3e38f, 0, kInf}}}) {  // sum, then half
        const LayoutBox& b = c.box;
        const LayoutBox t{0, b.y1, b.x1, b.y2, b.x2};  // the same box transposed
        const std::vector<float> got{b.left(), b.right(), b.width(), b.center_x(),
                                     t.top(),  t.bottom(), t.height(), t.center_y()};
        for (std::size_t k = 0; k < got.size(); ++k) EXPECT_TRUE(same(got[k], c.left_right_width_center[k % 4])) << k;
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

TEST(Depth, OneColumnOfTwentyThousandLinesPeelsLineByLineOnAHalfMegabyteStack) {
    // Every cut takes the top line off: 19,999 nested cuts, and no stack for them.
    constexpr std::size_t n = 20000;
    std::vector<LayoutBox> column;
    for (std::size_t i = 0; i < n; ++i) {
        const float y = 16.0f * static_cast<float>(n - 1 - i);  // given bottom line first
        column.push_back({i, 40.0f, y, 560.0f, y + 10.0f});
    }
    std::vector<LayoutBox> order;
    tarvello::testing::run_on_small_stack(512 * 1024, [&] { order = segment(column, false); });
    ASSERT_EQ(order.size(), n);
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(order[i].id, n - 1 - i);
}

TEST_F(SorterTest, NoneOrOneBoxComesBackUnchangedAndSilently) {
    EXPECT_TRUE(OstrelSorter().sort({}).empty());
    EXPECT_TRUE(segment({}, true).empty());
    EXPECT_EQ(ids(OstrelSorter().sort({{42, kNaN, 1, 2, 3}})), Ids{42});
    EXPECT_EQ(ids(segment(std::vector<LayoutBox>{{7, kNaN, kInf, -kInf, 0}}, true)), Ids{7});
    EXPECT_TRUE(written().empty());
}

// The sorter's and the merge's records around the segmentation's, which the
// reference pins.
TEST_F(SorterTest, WritesItsParametersCountsAndDensityThenMerges) {
    struct Case { std::vector<LayoutBox> page; Ids order; std::vector<std::string> messages; };
    const std::vector<Case> cases{
        // An infinitely wide box over two others is merged by its top.
        {{{0, 0, 0, 10, 10}, {1, 0, 50, kInf, 60}, {2, 20, 100, 30, 110}}, {0, 1, 2},
         {"[sort] 3 elements (beta=2, density_threshold=0.9)", "[sort] cross-layout: 1, remaining: 2",
          "[sort] density_ratio=0.061, prefer_horizontal_first=false",
          "[merge] merging 1 cross-layout elements into 2 main elements", "[merge] result: 3 elements total"}},
        // Exactly nine tenths is not dense enough.
        {{{0, 0, 0, 10, 9}, {1, 0, 10, 0, 10}}, {0, 1},
         {"[sort] 2 elements (beta=2, density_threshold=0.9)", "[sort] cross-layout: 0, remaining: 2",
          "[sort] density_ratio=0.900, prefer_horizontal_first=false"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ids(OstrelSorter().sort(c.page)), c.order);
        std::vector<LoggedRecord> expected;
        for (const std::string& m : c.messages) expected.push_back(note(kDebug, m.starts_with("[sort]") ? "sorter.cpp" : "merge_cross_layout.cpp", m));
        auto got = written();
        std::erase_if(got, [](const LoggedRecord& r) { return r.source_path.ends_with("/segment.cpp"); });
        EXPECT_EQ(got, expected);
    }
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

TEST_F(SorterTest, MergePutsEachCrossBoxBeforeTheFirstMainBoxNotAboveIt) {
    struct Case { std::vector<LayoutBox> cross, main; std::string expected; };
    for (const Case& c : std::vector<Case>{
             {tops("X", {100}), tops("AB", {0, 100}), "AXB"},  // a tie goes to the cross box
             // Main keeps its column order: X waits for L2, never looks at R1.
             {tops("X", {300}), tops("LMRS", {0, 500, 0, 500}), "LXMRS"},
             {tops("YX", {50, 10}), tops("AB", {0, 100}), "AXYB"},
             {tops("X", {kNaN}), tops("AB", {0, 100}), "ABX"},
             {{}, tops("BA", {100, 0}), "BA"},
             {tops("YX", {50, 10}), {}, "XY"}}) {
        std::string order;
        for (const LayoutBox& box : merge_cross_layout(c.cross, c.main)) order += static_cast<char>(box.id);
        EXPECT_EQ(order, c.expected);
        EXPECT_EQ(written().size(), !c.cross.empty() && !c.main.empty() ? 2u : 0u) << c.expected;
    }
}

}  // namespace
}  // namespace tarvello::ostrel
