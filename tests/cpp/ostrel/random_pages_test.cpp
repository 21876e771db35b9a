// The engine on random pages: realistic columns, coarse grids full of ties
// and touching edges, hostile values (NaN, infinities, signed zeros, inverted
// corners) and arbitrary bits, with repeated boxes throughout. Ids are input
// positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ostrel/ostrel_support.hpp"
#include "ostrel/quintor_sorter/src/lib/segment.hpp"
#include "ostrel/quintor_sorter/src/lib/sorter.hpp"
#include "ostrel/reference.hpp"

namespace tarvello::ostrel {
namespace {

using namespace testing;  // NOLINT(google-build-using-namespace): the ostrel test helpers

enum class Kind { Columns, Grid, Hostile, AnyBits };

class PageMaker {
public:
    explicit PageMaker(std::uint64_t seed) : rng_(seed) {}

    std::vector<LayoutBox> make(Kind kind, std::size_t max_size) {
        std::vector<LayoutBox> page;
        for (std::size_t i = 0, n = pick(max_size + 1); i < n; ++i) {
            page.push_back(!page.empty() && chance(0.08) ? page[pick(page.size())] : fresh(kind, i));
            page.back().id = i;
        }
        return page;
    }

private:
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
    float grid() { return static_cast<float>(pick(25)) * 2.5f; }
    float any_bits() { return std::bit_cast<float>(static_cast<std::uint32_t>(rng_())); }
    float hostile() {
        constexpr std::array<float, 8> extremes{kNaN, -kNaN, kInf, -kInf, -0.0f, 0.0f, 3.4028235e38f, 4.99f};
        const std::size_t k = pick(12);
        return k < extremes.size() ? extremes[k] : grid();
    }

    LayoutBox fresh(Kind kind, std::size_t i) {
        switch (kind) {
            case Kind::Columns: {  // three columns of lines, 200 apart
                const float y = static_cast<float>(i % 25) * 20.0f + uniform(0.0f, 3.0f);
                if (chance(0.05)) {  // a narrow box bridging a gutter
                    const float x = static_cast<float>(1 + pick(2)) * 200.0f - uniform(8.0f, 12.0f);
                    return {0, x, y, x + 15.0f, y + 10.0f};
                }
                const float x = static_cast<float>(pick(3)) * 200.0f + uniform(0.0f, 4.0f);
                const float w = chance(0.1) ? uniform(400.0f, 600.0f) : uniform(5.0f, 180.0f);
                return {0, x, y, x + w, y + uniform(8.0f, 14.0f)};
            }
            case Kind::Grid: {  // gaps of exactly 5 and 2.5; corners now and then swapped
                const float x = grid();
                const float y = grid();
                const float w = static_cast<float>(pick(5)) * 2.5f;
                const float h = static_cast<float>(pick(3)) * 2.5f;
                return chance(0.2) ? LayoutBox{0, x + w, y + h, x, y} : LayoutBox{0, x, y, x + w, y + h};
            }
            case Kind::Hostile: return {0, hostile(), hostile(), hostile(), hostile()};
            case Kind::AnyBits: return {0, any_bits(), any_bits(), any_bits(), any_bits()};
        }
        return {};
    }

    std::mt19937_64 rng_;
};

struct Sweep {
    const char* name;
    Kind kind;
    std::size_t max_size;
    int pages;
};

class RandomPages : public ::testing::TestWithParam<Sweep> {
protected:
    // Runs `check` on every page of the sweep, with a seed per page so that a
    // failure names the page that broke.
    template <class Check>
    void for_each_page(Check check) {
        const Sweep sweep = GetParam();
        for (int p = 0; p < sweep.pages && !HasFailure(); ++p) {
            const auto page = PageMaker(static_cast<std::uint64_t>(p) * 7919u + static_cast<std::uint64_t>(sweep.kind))
                                  .make(sweep.kind, sweep.max_size);
            SCOPED_TRACE("page " + std::to_string(p) + ", " + std::to_string(page.size()) + " boxes");
            check(page);
        }
    }
};

// Both index widths of the incremental segmentation, both preferences, and
// the pruned cross-layout detection against the plain versions: the same
// order box for box, the same records in the same order.
TEST_P(RandomPages, SegmentAndCrossLayoutDetectionMatchTheReference) {
    for_each_page([](const std::vector<LayoutBox>& page) {
        EXPECT_EQ(OstrelSorter().detect_cross_layout(page), reference::detect_cross_layout(page));
        for (const bool prefer : {false, true}) {
            std::vector<LayoutBox> expected;
            std::vector<Written> log;
            reference::segment(page, prefer, expected, log);
            (void)written();
            EXPECT_EQ(ids(segment(page, prefer)), ids(expected));
            EXPECT_EQ(written(), log);
            EXPECT_EQ(ids(detail::segment_wide(page, prefer)), ids(expected));
            EXPECT_EQ(written(), log);
        }
    });
}

// The whole sorter gives back each box exactly once, and identical boxes in
// their input order.
TEST_P(RandomPages, SortIsAPermutationThatKeepsTwinsInInputOrder) {
    for_each_page([](const std::vector<LayoutBox>& page) {
        const auto order = OstrelSorter().sort(page);
        (void)written();
        auto sorted = ids(order);
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, ids(page));
        std::map<std::array<std::uint32_t, 4>, std::uint64_t> last_twin;
        for (const LayoutBox& b : order) {
            const std::array<std::uint32_t, 4> corners{std::bit_cast<std::uint32_t>(b.x1), std::bit_cast<std::uint32_t>(b.y1),
                                                       std::bit_cast<std::uint32_t>(b.x2), std::bit_cast<std::uint32_t>(b.y2)};
            const auto [twin, first] = last_twin.try_emplace(corners, b.id);
            if (!first) {
                ASSERT_LT(std::exchange(twin->second, b.id), b.id);
            }
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Kinds, RandomPages,
                         ::testing::Values(Sweep{"Columns", Kind::Columns, 400, 300}, Sweep{"Grid", Kind::Grid, 100, 2000},
                                           Sweep{"Hostile", Kind::Hostile, 100, 3000},
                                           Sweep{"AnyBits", Kind::AnyBits, 100, 500}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace tarvello::ostrel
