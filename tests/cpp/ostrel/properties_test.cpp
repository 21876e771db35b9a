// What holds for every input: each box comes back exactly once, identical
// boxes keep their input order, nothing fails, and depth costs no stack.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "ostrel/ostrel_support.hpp"
#include "ostrel/quintor_sorter/src/lib/segment.hpp"
#include "ostrel/quintor_sorter/src/lib/sorter.hpp"
#include "ostrel/random_pages.hpp"

namespace tarvello::ostrel {
namespace {

using testing::ids;
using testing::PageKind;
using testing::PageMaker;

bool identical(const LayoutBox& a, const LayoutBox& b) {
    const auto bits = [](const LayoutBox& box) {
        return std::vector<std::uint32_t>{std::bit_cast<std::uint32_t>(box.x1), std::bit_cast<std::uint32_t>(box.y1),
                                          std::bit_cast<std::uint32_t>(box.x2), std::bit_cast<std::uint32_t>(box.y2)};
    };
    return bits(a) == bits(b);
}

class EveryPage : public ::testing::TestWithParam<PageKind> {};

TEST_P(EveryPage, OrdersEachBoxOnceAndKeepsTwinsInInputOrder) {
    for (std::uint64_t seed = 0; seed < 200; ++seed) {
        PageMaker maker(seed + 1000);
        const auto page = maker.make(GetParam(), maker.pick(400) + 1);
        const auto order = OstrelSorter().sort(page);
        SCOPED_TRACE("seed " + std::to_string(seed));
        auto sorted = ids(order);
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, ids(page));  // ids are 0..n-1: a permutation
        // Ids grow with input position, so twins must appear with ascending ids.
        for (std::size_t i = 0; i < order.size(); ++i) {
            for (std::size_t j = i + 1; j < order.size(); ++j) {
                if (identical(order[i], order[j])) {
                    ASSERT_LT(order[i].id, order[j].id);
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryPage,
                         ::testing::Values(PageKind::Columns, PageKind::Grid, PageKind::Hostile, PageKind::AnyBits),
                         [](const auto& param_info) { return std::string(testing::page_kind_name(param_info.param)); });

TEST(Depth, OneColumnOfAHundredThousandLinesPeelsLineByLine) {
    // Every cut takes the top line off: 99,999 nested cuts.
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

TEST(Depth, ManyIdenticalBoxesFallBackInInputOrder) {
    const std::vector<LayoutBox> pile(5000, LayoutBox{0, 1, 2, 3, 4});
    std::vector<LayoutBox> numbered = pile;
    for (std::size_t i = 0; i < numbered.size(); ++i) numbered[i].id = i;
    const auto order = OstrelSorter().sort(numbered);
    EXPECT_EQ(ids(order), ids(numbered));
}

}  // namespace
}  // namespace tarvello::ostrel
