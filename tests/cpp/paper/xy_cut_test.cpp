// Recursive XY-cut: the fallback order, termination when a cut makes no
// progress, and the cut tree, order and records, against plain recursion.
#include <algorithm>
#include <string>
#include <tuple>

#include "diagnostics/format.hpp"
#include "page_generator.hpp"
#include "paper/quintor/src/core/projection_histogram.hpp"
#include "paper/quintor/src/core/sort_by_position.hpp"
#include "paper/quintor/src/core/xy_cut.hpp"
#include "paper_support.hpp"

namespace tarvello::paper {
namespace {

using namespace testing;
using enum SemanticLabel;

constexpr Region kSquare{0, 0, 100, 100};
constexpr Region kFar{1e9f, 0, 1e9f + 640, 100};

TEST(SortByPosition, StableOnEqualKeysAndTotalOrderOnCentreX) {
    std::vector<Element> elements = {box(1, 0, 0, 0, 0), box(2, -0.0f, 0, -0.0f, 0), box(3, 0, 0, 0, 0),
                                     box(4, kNaN, 0, 0, 0), box(5, -kNaN, 0, 0, 0), box(6, 5, kNaN, 5, 0)};
    sort_by_position(elements, 10.0f);
    EXPECT_EQ(ids_of(elements), (ReadingOrder{5, 2, 1, 3, 6, 4}));
    // Tolerance 0 saturates rows without failing; centre 0 stays in row 0.
    const auto row = [](float centre_y, float tolerance) { return position_key(0.0f, centre_y, tolerance) >> 32; };
    EXPECT_EQ((std::vector{row(10, 0.0f), row(-10, 0.0f), row(0, 0.0f), row(-19, 10.0f), row(kNaN, 10.0f)}),
              (std::vector<std::int64_t>{std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min(), 0, -1, 0}));
}

// Cuts that would leave every element on one side of an unchanged region:
// the order still comes out, once per id, in finite time.
TEST(NoProgressCut, TerminatesWithEveryIdOnce) {
    const std::vector<Element> two_apart = {box(1, 0, 0, 10, 10), box(2, 50, 50, 60, 60)};
    using Case = std::tuple<const char*, std::vector<Element>, XYCutConfig, Region>;
    for (const auto& [name, elements, config, region] : std::vector<Case>{
             {"FarFromOrigin", {box(1, 1e9f, 0, 1e9f + 576, 10), box(2, 1e9f, 50, 1e9f + 576, 60)}, {}, kFar},
             {"SmallMinGap", {box(1, 0.5f, 0.5f, 1, 1), box(2, 0.5f, 3, 1, 3.5f)}, {1.0f, 1.0f, 10.0f}, kSquare},
             {"ZeroMinGap", {box(1, 99, 99, 100, 100), box(2, 99.5f, 99.5f, 100, 100)}, {0.0f, 4.0f, 10.0f}, kSquare},
             {"InfiniteRegion", two_apart, {}, {0, 0, kInf, kInf}},
             {"NegativeInfiniteRegion", two_apart, {}, {-kInf, -kInf, 100, 100}},
             {"NaNRegion", two_apart, {}, {kNaN, 0, 100, kNaN}},
             {"HugeScale", {box(1, 0, 0, 10, 10), box(2, 0, 0, 10, 10), box(3, 5, 5, 6, 6)}, {1e-9f, 1e9f, 10.0f}, kSquare}}) {
        EXPECT_EQ(sorted(recursive_xy_cut(elements, config, region)), sorted(ids_of(elements))) << name;
    }
}

TEST(XYCutDepth, HundredThousandElementColumnDoesNotOverflowTheStack) {
    std::vector<Element> elements;
    for (float y = 0; elements.size() < 100'000; y += 30) elements.push_back(box(elements.size(), 0, y, 400, y + 12));
    EXPECT_TRUE(recursive_xy_cut(elements, {}, {0, 0, 612, 3'000'000}) == ids_of(elements));
}

// The cut tree written as plain recursion over the public searches: what the
// stack-based version, with its sorted copies and reused searches, must match
// order for order and record for record.
void reference_cut(std::vector<Element> elements, const XYCutConfig& c, Region r, ReadingOrder& out, std::vector<std::string>& log) {
    if (elements.size() <= 1) {
        if (!elements.empty()) out.push_back(elements[0].id);
        return;
    }
    float cross = 0, other = 0;
    for (const Element& e : elements) {
        if (e.y2 - e.y1 != 0.0f) (e.label == CrossLayout ? cross : other) += (e.x2 - e.x1) / (e.y2 - e.y1);
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
        (on_x ? a.x_max : a.y_max) = (on_x ? b.x_min : b.y_min) = *cut;
        reference_cut(std::move(first), c, a, out, log);
        reference_cut(std::move(second), c, b, out, log);
        return true;
    };
    const bool columns = other == 0.0f || cross / other > 0.9f;
    if ((columns && attempt(true, "[XYCut] Vertical cut at x={:.0}, splitting {} elements (multi-column)")) ||
        attempt(false, "[XYCut] Horizontal cut at y={:.0}, splitting {} elements") ||
        attempt(true, "[XYCut] Vertical cut at x={:.0}, splitting {} elements")) {
        return;
    }
    log.push_back(diagnostics::format("[XYCut] No cuts found, sorting {} elements by position", elements.size()));
    sort_by_position(elements, c.same_row_tolerance);
    for (const Element& e : elements) out.push_back(e.id);
}

// The order and (unless told not to) the records against the reference; the
// order again without debug records, where the cut tree skips what only logs.
void expect_like_reference(std::span<const Element> page, const XYCutConfig& config, const Region& region, bool records, int round) {
    ReadingOrder expected;
    std::vector<std::string> expected_log;
    reference_cut({page.begin(), page.end()}, config, region, expected, expected_log);
    if (records) {
        EXPECT_EQ(recursive_xy_cut(page, config, region), expected) << "round " << round;
        EXPECT_EQ(take_lines(), expected_log) << "round " << round;
    }
    diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Warn);
    EXPECT_EQ(recursive_xy_cut(page, config, region), expected) << "round " << round;
    diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Debug);
}

class XYCutAgainstRecursion : public PaperTest {};

TEST_F(XYCutAgainstRecursion, SameOrderAndRecordsOnRandomPages) {
    PageFactory factory(37);
    for (int round = 0; round < 600; ++round) {
        auto page = factory.page(factory.pick(70), 612, 792, round % 4 == 0);
        for (Element& e : page) e.label = round % 3 == 0 && factory.pick(2) ? CrossLayout : e.label;
        const XYCutConfig config = round % 5 == 0 ? XYCutConfig{factory.uniform(0, 4), factory.uniform(0.05f, 2), 10} : XYCutConfig{};
        expect_like_reference(page, config, round % 7 == 0 ? kFar : Region{0, 0, 612, 792}, true, round);
    }
}

// Small clusters that look unsplittable, on any grid far from the origin, where
// rounding can put a cut among the centres (one cluster in 50,000): with the
// records off the cut tree goes straight to the sort only where none could.
TEST_F(XYCutAgainstRecursion, SameOrderWithoutRecordsOnClustersFarFromTheOrigin) {
    PageFactory factory(41);
    for (int round = 0; round < 100000; ++round) {
        const float origin = std::ldexp(factory.uniform(1, 2), static_cast<int>(factory.pick(28)));
        const float size = std::ldexp(factory.uniform(1, 2), static_cast<int>(factory.pick(12)));
        const XYCutConfig config{factory.uniform(1, 40), std::ldexp(factory.uniform(1, 2), -static_cast<int>(factory.pick(6))), 10};
        std::vector<Element> page;
        for (std::size_t i = 0, count = 2 + factory.pick(5); i < count; ++i) {
            const float x1 = origin + size * factory.uniform(0, 0.5f), y1 = origin + size * factory.uniform(0, 0.5f);
            const bool flat = factory.pick(3) == 0;
            page.push_back({i, x1, y1, flat ? x1 : origin + size * factory.uniform(0.5f, 1),
                            flat ? y1 : origin + size * factory.uniform(0.5f, 1), Regular});
        }
        const float margin = size * factory.uniform(0, 2);
        const Region region{origin - margin, origin - margin, origin + size + margin, origin + size + margin};
        expect_like_reference(page, config, region, false, round);
        take_lines();
    }
}

// Realistic pages cut deep: columns, paragraphs peeled band by band and the
// margin cuts around them, where the halves reuse their parent's intervals.
TEST_F(XYCutAgainstRecursion, SameOrderAndRecordsOnRealisticPages) {
    for (int round = 0; round < 60; ++round) {
        auto page = bench::PageGenerator(1 + round % 3, static_cast<std::uint32_t>(round)).make(static_cast<std::size_t>(40 + 37 * round));
        // Every fourth page has lines of no height on the bands' edges, where a cut may fall.
        for (std::size_t i = 0; round % 4 == 1 && i < page.elements.size(); i += 7) page.elements[i].y1 = page.elements[i].y2;
        const Region region{page.bounds.x_min, page.bounds.y_min, page.bounds.x_max, page.bounds.y_max};
        expect_like_reference(page.elements, {}, region, true, round);
    }
}

}  // namespace
}  // namespace tarvello::paper
