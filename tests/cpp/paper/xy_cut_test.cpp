// Recursive XY-cut: which axis goes first, how regions split, the fallback
// order, the records, and termination when a cut makes no progress.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "diagnostics/format.hpp"
#include "paper/quintor/src/core/projection_histogram.hpp"

#include "paper/quintor/src/core/sort_by_position.hpp"
#include "paper/quintor/src/core/xy_cut.hpp"
#include "page_generator.hpp"
#include "paper_support.hpp"

namespace tarvello::paper {
namespace {

using testing::box;
using testing::debug_line;
using testing::Line;
using testing::take_lines;
using Lines = std::vector<Line>;

constexpr Region kSquare{0, 0, 100, 100};
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class XYCutTest : public testing::PaperTest {};

TEST_F(XYCutTest, TwoColumnsCutVerticallyAfterTheHorizontalSearch) {
    for (const bool reversed : {false, true}) {
        std::vector<Element> elements = {box(1, 0, 0, 40, 100), box(2, 60, 0, 100, 100)};
        if (reversed) std::swap(elements[0], elements[1]);
        EXPECT_EQ(recursive_xy_cut(elements, {}, kSquare), (ReadingOrder{1, 2}));
        EXPECT_EQ(take_lines("xy_cut.cpp"), (Lines{debug_line("[XYCut] Vertical cut at x=50, splitting 2 elements"),
                                                   debug_line("  Left: 1 elements, Right: 1 elements")}));
    }
}

TEST_F(XYCutTest, CrossLayoutColumnsTakeTheDensityPath) {
    const std::vector<Element> elements = {box(2, 60, 0, 100, 100, SemanticLabel::CrossLayout),
                                           box(1, 0, 0, 40, 100, SemanticLabel::CrossLayout)};
    EXPECT_EQ(recursive_xy_cut(elements, {}, kSquare), (ReadingOrder{1, 2}));
    EXPECT_EQ(take_lines(), (Lines{debug_line("[XYCut] Vertical cut at x=50, splitting 2 elements (multi-column)"),
                                   debug_line("  Left: 1 elements, Right: 1 elements")}));
}

TEST_F(XYCutTest, DensityPathSearchesVerticallyTwiceWithItsRecordsTwice) {
    const std::vector<Element> elements(16, box(3, 0, 0, 100, 100, SemanticLabel::CrossLayout));
    EXPECT_EQ(recursive_xy_cut(elements, {}, kSquare).size(), 16u);
    const Line histogram = debug_line("[Histogram] Vertical: 50 bins, min_gap=7, x_range=0-100");
    EXPECT_EQ(take_lines(), (Lines{histogram, histogram, debug_line("[XYCut] No cuts found, sorting 16 elements by position")}));
}

TEST_F(XYCutTest, TwoBandsCutHorizontally) {
    const std::vector<Element> elements = {box(2, 0, 60, 100, 100), box(1, 0, 0, 100, 40)};
    EXPECT_EQ(recursive_xy_cut(elements, {}, kSquare), (ReadingOrder{1, 2}));
    EXPECT_EQ(take_lines(), (Lines{debug_line("[XYCut] Horizontal cut at y=50, splitting 2 elements"),
                                   debug_line("  Top: 1 elements, Bottom: 1 elements")}));
}

TEST_F(XYCutTest, MarginCutLeavesOneSideEmptyAndSearchesTheRestAgain) {
    // The leading margin 0-30 is the longest run: cut at 14, nothing on the
    // left; the narrower region (14, 100) then splits the two boxes.
    const std::vector<Element> elements = {box(1, 30, 0, 40, 100), box(2, 60, 0, 100, 100)};
    EXPECT_EQ(recursive_xy_cut(elements, {}, kSquare), (ReadingOrder{1, 2}));
    const Lines lines = take_lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], debug_line("[XYCut] Vertical cut at x=14, splitting 2 elements"));
    EXPECT_EQ(lines[1], debug_line("  Left: 0 elements, Right: 2 elements"));
}

TEST_F(XYCutTest, FallbackSortsByRowThenCentreX) {
    // Centres y 5, 12, 25 are rows 0, 1, 2; y 4 and -4 share row 0. Overlapping
    // boxes leave no empty band anywhere.
    const std::vector<Element> elements = {box(1, 0, 20, 100, 30), box(2, 60, 7, 90, 17), box(3, 50, -4, 60, 14),
                                           box(4, 10, -14, 20, 6)};
    EXPECT_EQ(recursive_xy_cut(elements, {}, {0, -20, 100, 40}), (ReadingOrder{4, 3, 2, 1}));
    EXPECT_EQ(take_lines(), (Lines{debug_line("[XYCut] No cuts found, sorting 4 elements by position")}));
}

TEST_F(XYCutTest, SingleAndEmptyRegionsReturnWithoutRecords) {
    EXPECT_TRUE(recursive_xy_cut({}, {}, kSquare).empty());
    const std::vector<Element> one = {box(9, kNaN, kNaN, kNaN, kNaN)};
    EXPECT_EQ(recursive_xy_cut(one, {}, kSquare), (ReadingOrder{9}));
    EXPECT_TRUE(take_lines().empty());
}

TEST(SortByPosition, StableOnEqualKeysAndTotalOrderOnCentreX) {
    std::vector<Element> elements = {box(1, 0, 0, 0, 0), box(2, -0.0f, 0, -0.0f, 0), box(3, 0, 0, 0, 0),
                                     box(4, kNaN, 0, 0, 0), box(5, -kNaN, 0, 0, 0), box(6, 5, kNaN, 5, 0)};
    sort_by_position(elements, 10.0f);
    std::vector<std::uint64_t> ids;
    for (const Element& e : elements) ids.push_back(e.id);
    EXPECT_EQ(ids, (std::vector<std::uint64_t>{5, 2, 1, 3, 6, 4}));
    // Tolerance 0 saturates rows without failing; centre 0 stays in row 0.
    const auto row = [](float centre_y, float tolerance) { return position_key(0.0f, centre_y, tolerance) >> 32; };
    EXPECT_EQ(row(10, 0.0f), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(row(-10, 0.0f), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(row(0, 0.0f), 0);
    EXPECT_EQ(row(-19, 10.0f), -1);
    EXPECT_EQ(row(kNaN, 10.0f), 0);
}

struct NoProgressCase {
    const char* name;
    std::vector<Element> elements;
    XYCutConfig config;
    Region region;
};

class NoProgressCut : public ::testing::TestWithParam<NoProgressCase> {};

// Cuts that would leave every element on one side of an unchanged region:
// the order still comes out, once per id, in finite time.
TEST_P(NoProgressCut, TerminatesWithEveryIdOnce) {
    const NoProgressCase& c = GetParam();
    ReadingOrder order = recursive_xy_cut(c.elements, c.config, c.region);
    std::sort(order.begin(), order.end());
    ReadingOrder expected;
    for (const Element& e : c.elements) expected.push_back(e.id);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(order, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoProgressCut,
    ::testing::Values(
        NoProgressCase{"FarFromOrigin", {box(1, 1e9f, 0, 1e9f + 576, 10), box(2, 1e9f, 50, 1e9f + 576, 60)}, {}, {1e9f, 0, 1e9f + 640, 100}},
        NoProgressCase{"SmallMinGap", {box(1, 0.5f, 0.5f, 1, 1), box(2, 0.5f, 3, 1, 3.5f)}, {1.0f, 1.0f, 10.0f}, {0, 0, 100, 100}},
        NoProgressCase{"ZeroMinGap", {box(1, 99, 99, 100, 100), box(2, 99.5f, 99.5f, 100, 100)}, {0.0f, 4.0f, 10.0f}, {0, 0, 100, 100}},
        NoProgressCase{"InfiniteRegion", {box(1, 0, 0, 10, 10), box(2, 50, 50, 60, 60)}, {}, {0, 0, kInf, kInf}},
        NoProgressCase{"NegativeInfiniteRegion", {box(1, 0, 0, 10, 10), box(2, 50, 50, 60, 60)}, {}, {-kInf, -kInf, 100, 100}},
        NoProgressCase{"NaNRegion", {box(1, 0, 0, 10, 10), box(2, 50, 50, 60, 60)}, {}, {kNaN, 0, 100, kNaN}},
        NoProgressCase{"HugeScale", {box(1, 0, 0, 10, 10), box(2, 0, 0, 10, 10), box(3, 5, 5, 6, 6)}, {1e-9f, 1e9f, 10.0f}, {0, 0, 100, 100}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(XYCutTest, RejectedEdgeCutWritesOnlyItsSearchRecords) {
    // The gap beyond the boxes rounds to the region's right edge, so the
    // vertical search finds nothing usable and the fallback runs.
    std::vector<Element> elements;
    for (std::uint64_t id = 0; id < 16; ++id) elements.push_back(box(id, 1e9f, 0, 1e9f + 576, 100));
    const ReadingOrder order = recursive_xy_cut(elements, {}, {1e9f, 0, 1e9f + 640, 100});
    EXPECT_EQ(order.size(), 16u);
    const Lines lines = take_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], debug_line("[Histogram] Vertical: 320 bins, min_gap=7, x_range=1000000000-1000000640"));
    EXPECT_EQ(lines[1], debug_line("[Histogram] Found gap at bin 304, x=1000000640"));
    EXPECT_EQ(lines[2], debug_line("[XYCut] No cuts found, sorting 16 elements by position"));
}

TEST(XYCutDepth, HundredThousandElementColumnDoesNotOverflowTheStack) {
    std::vector<Element> elements;
    for (std::uint64_t id = 0; id < 100'000; ++id) {
        const float y = static_cast<float>(id) * 30.0f;
        elements.push_back(box(id, 0, y, 400, y + 12));
    }
    const ReadingOrder order = recursive_xy_cut(elements, {}, {0, 0, 612, 3'000'000});
    ASSERT_EQ(order.size(), elements.size());
    for (std::uint64_t id = 0; id < order.size(); ++id) ASSERT_EQ(order[id], id);
}

}  // namespace
}  // namespace tarvello::paper

namespace tarvello::paper {
namespace {

// The cut tree written as plain recursion over the public searches: what the
// stack-based version, with its sorted copies and reused searches, must match
// order for order and record for record.
void reference_cut(std::vector<Element> elements, const XYCutConfig& c, Region r, ReadingOrder& out,
                   std::vector<std::string>& log) {
    if (elements.size() <= 1) {
        if (!elements.empty()) out.push_back(elements[0].id);
        return;
    }
    float cross = 0, other = 0;
    for (const Element& e : elements) {
        if (e.y2 - e.y1 == 0.0f) continue;
        (e.label == SemanticLabel::CrossLayout ? cross : other) += (e.x2 - e.x1) / (e.y2 - e.y1);
    }
    const auto attempt = [&](bool on_x, const char* cut_message) {
        const auto cut = on_x ? find_vertical_cut(elements, c.min_cut_threshold, c.histogram_resolution_scale, r.x_min, r.x_max)
                              : find_horizontal_cut(elements, c.min_cut_threshold, c.histogram_resolution_scale, r.y_min, r.y_max);
        for (const auto& record : tarvello::testing::take_records()) log.push_back(record.message);
        if (!cut) return false;
        std::vector<Element> first, second;
        for (const Element& e : elements) ((on_x ? (e.x1 + e.x2) * 0.5f : (e.y1 + e.y2) * 0.5f) < *cut ? first : second).push_back(e);
        const float lo = on_x ? r.x_min : r.y_min, hi = on_x ? r.x_max : r.y_max;
        if ((first.empty() || second.empty()) && !(lo < *cut && *cut < hi)) return false;
        log.push_back(diagnostics::format(cut_message, *cut, elements.size()));
        log.push_back(diagnostics::format(on_x ? "  Left: {} elements, Right: {} elements" : "  Top: {} elements, Bottom: {} elements",
                                          first.size(), second.size()));
        Region a = r, b = r;
        (on_x ? a.x_max : a.y_max) = *cut;
        (on_x ? b.x_min : b.y_min) = *cut;
        reference_cut(std::move(first), c, a, out, log);
        reference_cut(std::move(second), c, b, out, log);
        return true;
    };
    if ((other == 0.0f || cross / other > 0.9f) &&
        attempt(true, "[XYCut] Vertical cut at x={:.0}, splitting {} elements (multi-column)")) {
        return;
    }
    if (attempt(false, "[XYCut] Horizontal cut at y={:.0}, splitting {} elements")) return;
    if (attempt(true, "[XYCut] Vertical cut at x={:.0}, splitting {} elements")) return;
    log.push_back(diagnostics::format("[XYCut] No cuts found, sorting {} elements by position", elements.size()));
    sort_by_position(elements, c.same_row_tolerance);
    for (const Element& e : elements) out.push_back(e.id);
}

class XYCutAgainstRecursion : public testing::PaperTest {
protected:
    // Without debug records the cut tree may skip what only writes records.
    static ReadingOrder order_without_records(std::span<const Element> page, const XYCutConfig& config,
                                              const Region& region) {
        diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Warn);
        ReadingOrder order = recursive_xy_cut(page, config, region);
        diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Debug);
        return order;
    }
};

TEST_F(XYCutAgainstRecursion, SameOrderAndRecordsOnRandomPages) {
    testing::PageFactory factory(37);
    for (int round = 0; round < 600; ++round) {
        auto page = factory.page(factory.pick(70), 612, 792, round % 4 == 0);
        if (round % 3 == 0) {
            for (Element& e : page) e.label = factory.pick(2) ? SemanticLabel::CrossLayout : e.label;
        }
        const XYCutConfig config = round % 5 == 0 ? XYCutConfig{factory.uniform(0, 4), factory.uniform(0.05f, 2), 10} : XYCutConfig{};
        const Region region = round % 7 == 0 ? Region{1e9f, 0, 1e9f + 640, 100} : Region{0, 0, 612, 792};
        ReadingOrder expected;
        std::vector<std::string> expected_log;
        reference_cut(page, config, region, expected, expected_log);
        EXPECT_EQ(recursive_xy_cut(page, config, region), expected) << "round " << round;
        std::vector<std::string> log;
        for (const Line& line : take_lines()) log.push_back(line.message);
        EXPECT_EQ(log, expected_log) << "round " << round;
        EXPECT_EQ(order_without_records(page, config, region), expected) << "round " << round;
    }
}

// Small clusters that look unsplittable, on coarse or fine grids and far from
// the origin, where floats lie whole units apart and rounding can put a cut
// among the centres (about one cluster in 50,000): where the records are off
// and the cut tree goes straight to the sort, that must not have been possible.
TEST_F(XYCutAgainstRecursion, SameOrderWithoutRecordsOnClustersFarFromTheOrigin) {
    testing::PageFactory factory(41);
    for (int round = 0; round < 100000; ++round) {
        const float origin = std::ldexp(factory.uniform(1, 2), static_cast<int>(factory.pick(28)));
        const float size = std::ldexp(factory.uniform(1, 2), static_cast<int>(factory.pick(12)));
        const XYCutConfig config{factory.uniform(1, 40), std::ldexp(factory.uniform(1, 2), -static_cast<int>(factory.pick(6))), 10};
        std::vector<Element> page;
        const std::size_t count = 2 + factory.pick(5);
        for (std::size_t i = 0; i < count; ++i) {
            const float x1 = origin + size * factory.uniform(0, 0.5f);
            const float y1 = origin + size * factory.uniform(0, 0.5f);
            const bool flat = factory.pick(3) == 0;
            page.push_back({i, x1, y1, flat ? x1 : origin + size * factory.uniform(0.5f, 1), flat ? y1 : origin + size * factory.uniform(0.5f, 1),
                            SemanticLabel::Regular});
        }
        const float margin = size * factory.uniform(0, 2);
        const Region region{origin - margin, origin - margin, origin + size + margin, origin + size + margin};
        ReadingOrder expected;
        std::vector<std::string> expected_log;
        reference_cut(page, config, region, expected, expected_log);
        take_lines();
        EXPECT_EQ(order_without_records(page, config, region), expected) << "round " << round;
    }
}

// Realistic pages cut deep: columns, paragraphs peeled band by band and the
// margin cuts around them, where the halves reuse their parent's intervals.
TEST_F(XYCutAgainstRecursion, SameOrderAndRecordsOnRealisticPages) {
    for (int round = 0; round < 60; ++round) {
        const int columns = 1 + round % 3;
        bench::GeneratedPage page = bench::PageGenerator(columns, static_cast<std::uint32_t>(round)).make(
            static_cast<std::size_t>(40 + 37 * round));
        if (round % 4 == 1) {
            // Lines of no height sit on the bands' edges, where a cut may fall.
            for (std::size_t i = 0; i < page.elements.size(); i += 7) page.elements[i].y1 = page.elements[i].y2;
        }
        const Region region{page.bounds.x_min, page.bounds.y_min, page.bounds.x_max, page.bounds.y_max};
        ReadingOrder expected;
        std::vector<std::string> expected_log;
        reference_cut(page.elements, XYCutConfig{}, region, expected, expected_log);
        EXPECT_EQ(recursive_xy_cut(page.elements, XYCutConfig{}, region), expected) << "round " << round;
        std::vector<std::string> log;
        for (const Line& line : take_lines()) log.push_back(line.message);
        EXPECT_EQ(log, expected_log) << "round " << round;
        EXPECT_EQ(order_without_records(page.elements, XYCutConfig{}, region), expected) << "round " << round;
    }
}

}  // namespace
}  // namespace tarvello::paper
