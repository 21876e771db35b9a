#include "layout/float_conventions.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace tarvello {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kNegNaN = -std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

TEST(TotalOrder, RanksSignedNaNsZerosAndInfinities) {
    const std::vector<float> ascending = {kNegNaN, -kInf, -1e30f, -1.0f, -1e-45f, -0.0f,
                                          0.0f,    1e-45f, 1.0f,   1e30f, kInf,    kNaN};
    for (std::size_t i = 0; i + 1 < ascending.size(); ++i) {
        EXPECT_TRUE(total_order_less(ascending[i], ascending[i + 1])) << i;
        EXPECT_FALSE(total_order_less(ascending[i + 1], ascending[i])) << i;
    }
}

TEST(TotalOrder, AgreesWithLessThanOnRandomNumbers) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::uint32_t> any_bits;
    for (int i = 0; i < 100000; ++i) {
        const float a = std::bit_cast<float>(any_bits(rng));
        const float b = std::bit_cast<float>(any_bits(rng));
        if (a != a || b != b || a == b) continue;
        EXPECT_EQ(total_order_less(a, b), a < b);
    }
}

struct MinMaxCase {
    float a, b, min, max;
};

class MinMaxNum : public ::testing::TestWithParam<MinMaxCase> {};

TEST_P(MinMaxNum, FollowsIeeeWithTheFirstOperandOnTies) {
    const MinMaxCase c = GetParam();
    EXPECT_EQ(bits(min_num(c.a, c.b)), bits(c.min));
    EXPECT_EQ(bits(max_num(c.a, c.b)), bits(c.max));
}

INSTANTIATE_TEST_SUITE_P(Cases, MinMaxNum,
                         ::testing::Values(MinMaxCase{1.0f, 2.0f, 1.0f, 2.0f}, MinMaxCase{2.0f, 1.0f, 1.0f, 2.0f},
                                           MinMaxCase{kNaN, 3.0f, 3.0f, 3.0f}, MinMaxCase{3.0f, kNaN, 3.0f, 3.0f},
                                           MinMaxCase{-0.0f, 0.0f, -0.0f, -0.0f},
                                           MinMaxCase{0.0f, -0.0f, 0.0f, 0.0f},
                                           MinMaxCase{kNegNaN, kNaN, kNegNaN, kNegNaN},
                                           MinMaxCase{-kInf, kInf, -kInf, kInf}));

TEST(SaturatingCast, TruncatesTowardZero) {
    EXPECT_EQ(saturating_cast<std::int32_t>(2.9f), 2);
    EXPECT_EQ(saturating_cast<std::int32_t>(-2.9f), -2);
    EXPECT_EQ(saturating_cast<std::int32_t>(-0.5f), 0);
    EXPECT_EQ(saturating_cast<std::uint64_t>(7.5f), 7u);
}

TEST(SaturatingCast, SaturatesAndMapsNaNToZero) {
    constexpr auto i32_max = std::numeric_limits<std::int32_t>::max();
    constexpr auto i32_min = std::numeric_limits<std::int32_t>::min();
    constexpr auto u64_max = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(saturating_cast<std::int32_t>(kNaN), 0);
    EXPECT_EQ(saturating_cast<std::int32_t>(kInf), i32_max);
    EXPECT_EQ(saturating_cast<std::int32_t>(-kInf), i32_min);
    EXPECT_EQ(saturating_cast<std::int32_t>(2147483648.0f), i32_max);
    EXPECT_EQ(saturating_cast<std::int32_t>(-2147483648.0f), i32_min);
    EXPECT_EQ(saturating_cast<std::int32_t>(2147483520.0f), 2147483520);
    EXPECT_EQ(saturating_cast<std::uint64_t>(kNaN), 0u);
    EXPECT_EQ(saturating_cast<std::uint64_t>(-5.0f), 0u);
    EXPECT_EQ(saturating_cast<std::uint64_t>(kInf), u64_max);
    EXPECT_EQ(saturating_cast<std::uint64_t>(1.8446744e19f), u64_max);
    EXPECT_EQ(saturating_cast<std::uint64_t>(1.8446743e19f), 18446742974197923840u);
}

}  // namespace
}  // namespace tarvello
