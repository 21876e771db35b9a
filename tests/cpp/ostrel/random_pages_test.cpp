// The engine on random pages (columns, grids full of ties, hostile values,
// arbitrary bits; repeated boxes throughout) against plain versions of its
// incremental steps: segmentation searching every group afresh, and
// cross-layout detection testing every pair. Ids are input positions.
#include <cmath>
#include <random>

#include "diagnostics/format.hpp"
#include "ostrel/ostrel_support.hpp"
#include "ostrel/quintor_sorter/src/lib/largest_gap.hpp"
#include "ostrel/quintor_sorter/src/lib/segment.hpp"
#include "ostrel/quintor_sorter/src/lib/sort_y_then_x.hpp"
#include "ostrel/quintor_sorter/src/lib/sorter.hpp"

namespace tarvello::ostrel {
namespace {

using namespace testing;  // NOLINT(google-build-using-namespace): the ostrel test helpers

namespace reference {

using Boxes = std::vector<LayoutBox>;

// Appends the boxes in reading order to `out`, and the records to `log`.
void segment(const Boxes& boxes, bool prefer_horizontal_first, Boxes& out, std::vector<LoggedRecord>& log) {
    const std::size_t n = boxes.size();
    const auto fall_back = [&](diagnostics::LogLevel level, std::string_view message) {
        if (n > 1) log.push_back(note(level, "segment.cpp", diagnostics::format(message, n)));
        const Boxes sorted = sort_y_then_x(boxes);
        out.insert(out.end(), sorted.begin(), sorted.end());
    };
    if (n <= 1) return fall_back(kDebug, "");
    const Gap y = find_largest_gap(boxes, Axis::Horizontal);
    Gap x = find_largest_gap(boxes, Axis::Vertical);
    if (n != 2 && !(x.gap >= 5.0f)) {  // look again without the narrow boxes
        float left = boxes[0].left();
        float right = boxes[0].right();
        for (const LayoutBox& b : boxes) left = min_num(left, b.left()), right = max_num(right, b.right());
        Boxes wide;
        for (const LayoutBox& b : boxes) {
            if (b.width() >= max_num(right - left, 0.0f) * 0.1f) wide.push_back(b);
        }
        const Gap w = wide.size() >= 2 && wide.size() < n ? find_largest_gap(wide, Axis::Vertical) : Gap{};
        if (w.gap > x.gap && w.gap >= 5.0f) x = w;
    }
    const bool h = y.gap >= 5.0f, v = x.gap >= 5.0f;
    if (!h && !v) return fall_back(kDebug, "[segment] no valid cuts for {} elements, falling back to y-then-x sort");
    const bool horizontal = h && v ? (std::fabs(y.gap - x.gap) < 0x1p-23f ? prefer_horizontal_first : y.gap > x.gap) : h;
    const Gap cut = horizontal ? y : x;
    log.push_back(note(kDebug, "segment.cpp",
                       diagnostics::format(horizontal ? "[segment] horizontal cut at y={:.1} (gap={:.1}) on {} elements"
                                                      : "[segment] vertical cut at x={:.1} (gap={:.1}) on {} elements",
                                           cut.position, cut.gap, n)));
    Boxes first, second;
    for (const LayoutBox& b : boxes) ((horizontal ? b.center_y() : b.center_x()) < cut.position ? first : second).push_back(b);
    if (first.empty() || second.empty()) {
        return fall_back(kWarn, "[segment] cut produced only 1 group for {} elements, falling back to y-then-x sort");
    }
    log.push_back(note(kDebug, "segment.cpp", diagnostics::format("[segment] split into 2 groups: {}, {}", first.size(), second.size())));
    segment(first, prefer_horizontal_first, out, log);
    segment(second, prefer_horizontal_first, out, log);
}

// Indices of the boxes at least twice the widest box's width that overlap two
// others horizontally by a tenth of the narrower width.
std::vector<std::size_t> detect_cross_layout(const Boxes& boxes) {
    std::vector<std::size_t> found;
    if (boxes.size() < 3) return found;
    float widest = 0.0f;
    for (const LayoutBox& b : boxes) widest = max_num(widest, b.width());
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const LayoutBox& a = boxes[i];
        int overlapping = 0;
        for (std::size_t j = 0; j < boxes.size(); ++j) {
            const LayoutBox& b = boxes[j];
            const float overlap = max_num(min_num(a.right(), b.right()) - max_num(a.left(), b.left()), 0.0f);
            const float narrower = min_num(a.width(), b.width());
            if (j != i && overlap > 0.0f && narrower > 0.0f && overlap / narrower >= 0.1f) ++overlapping;
        }
        if (a.width() >= 2.0f * widest && overlapping >= 2) found.push_back(i);
    }
    return found;
}

}  // namespace reference

enum class Kind { Columns, Grid, Hostile, AnyBits };

// A page of up to `max_size` boxes of `kind`, a few of them repeats.
std::vector<LayoutBox> make_page(std::uint64_t seed, Kind kind, std::size_t max_size) {
    std::mt19937_64 rng(seed);
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const auto chance = [&](double p) { return std::bernoulli_distribution(p)(rng); };
    const auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    const auto grid = [&] { return static_cast<float>(pick(25)) * 2.5f; };
    const auto hostile = [&] {
        constexpr std::array<float, 8> extremes{kNaN, -kNaN, kInf, -kInf, -0.0f, 0.0f, 3.4028235e38f, 4.99f};
        const std::size_t k = pick(12);
        return k < extremes.size() ? extremes[k] : grid();
    };
    const auto any_bits = [&] { return std::bit_cast<float>(static_cast<std::uint32_t>(rng())); };
    const auto fresh = [&](std::size_t i) -> LayoutBox {
        switch (kind) {
            case Kind::Columns: {  // three columns of lines, 200 apart, and narrow boxes bridging a gutter
                const float y = static_cast<float>(i % 25) * 20.0f + uniform(0.0f, 3.0f);
                if (chance(0.05)) {
                    const float x = static_cast<float>(1 + pick(2)) * 200.0f - uniform(8.0f, 12.0f);
                    return {0, x, y, x + 15.0f, y + 10.0f};
                }
                const float x = static_cast<float>(pick(3)) * 200.0f + uniform(0.0f, 4.0f);
                const float w = chance(0.1) ? uniform(400.0f, 600.0f) : uniform(5.0f, 180.0f);
                return {0, x, y, x + w, y + uniform(8.0f, 14.0f)};
            }
            case Kind::Grid: {  // gaps of exactly 5 and 2.5; corners now and then swapped
                const float x = grid(), y = grid();
                const float w = static_cast<float>(pick(5)) * 2.5f, h = static_cast<float>(pick(3)) * 2.5f;
                return chance(0.2) ? LayoutBox{0, x + w, y + h, x, y} : LayoutBox{0, x, y, x + w, y + h};
            }
            case Kind::Hostile: return {0, hostile(), hostile(), hostile(), hostile()};
            case Kind::AnyBits: return {0, any_bits(), any_bits(), any_bits(), any_bits()};
        }
        return {};
    };
    std::vector<LayoutBox> page;
    for (std::size_t i = 0, n = pick(max_size + 1); i < n; ++i) {
        page.push_back(!page.empty() && chance(0.08) ? page[pick(page.size())] : fresh(i));
        page.back().id = i;
    }
    return page;
}

// The ids ordered by corner bits, ties in the order given.
Ids by_corners(std::vector<LayoutBox> boxes) {
    std::ranges::stable_sort(boxes, {}, [](const LayoutBox& b) {
        return std::array{std::bit_cast<std::uint32_t>(b.x1), std::bit_cast<std::uint32_t>(b.y1),
                          std::bit_cast<std::uint32_t>(b.x2), std::bit_cast<std::uint32_t>(b.y2)};
    });
    return ids(boxes);
}

struct Sweep { const char* name; Kind kind; std::size_t max_size; int pages; };

using RandomPages = ::testing::TestWithParam<Sweep>;

// Both index widths of the segmentation and both preferences give the same
// order and records as the plain version; the whole sorter gives each box
// back once, identical boxes in their input order.
TEST_P(RandomPages, MatchTheReferenceAndSortIsAPermutationKeepingTwinsInOrder) {
    const Sweep sweep = GetParam();
    // A seed per page, so that a failure names the page that broke.
    for (int p = 0; p < sweep.pages && !HasFailure(); ++p) {
        const auto page = make_page(static_cast<std::uint64_t>(p) * 7919u + static_cast<std::uint64_t>(sweep.kind),
                                    sweep.kind, sweep.max_size);
        SCOPED_TRACE("page " + std::to_string(p) + ", " + std::to_string(page.size()) + " boxes");
        EXPECT_EQ(OstrelSorter().detect_cross_layout(page), reference::detect_cross_layout(page));
        for (const bool prefer : {false, true}) {
            std::vector<LayoutBox> expected;
            std::vector<LoggedRecord> log;
            reference::segment(page, prefer, expected, log);
            (void)written();
            EXPECT_EQ(ids(segment(page, prefer)), ids(expected));
            EXPECT_EQ(written(), log);
            EXPECT_EQ(ids(detail::segment_wide(page, prefer)), ids(expected));
            EXPECT_EQ(written(), log);
        }
        ASSERT_EQ(by_corners(OstrelSorter().sort(page)), by_corners(page));
        (void)written();
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RandomPages,
                         ::testing::Values(Sweep{"Columns", Kind::Columns, 400, 300}, Sweep{"Grid", Kind::Grid, 100, 2000},
                                           Sweep{"Hostile", Kind::Hostile, 100, 3000},
                                           Sweep{"AnyBits", Kind::AnyBits, 100, 500}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace tarvello::ostrel
