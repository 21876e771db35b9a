#include "layout/float_conventions.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace tarvello {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

TEST(TotalOrder, RanksSignedNaNsZerosAndInfinitiesAndAgreesWithLessThan) {
    const std::vector<float> ascending = {-kNaN, -kInf, -1e30f, -1.0f, -1e-45f, -0.0f,
                                          0.0f,  1e-45f, 1.0f,  1e30f, kInf,    kNaN};
    for (std::size_t i = 0; i + 1 < ascending.size(); ++i) {
        EXPECT_TRUE(total_order_less(ascending[i], ascending[i + 1])) << i;
        EXPECT_FALSE(total_order_less(ascending[i + 1], ascending[i])) << i;
    }
    std::mt19937 rng(7);
    for (int i = 0; i < 100000; ++i) {
        const float a = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
        const float b = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
        if (a == a && b == b && a != b) {
            ASSERT_EQ(total_order_less(a, b), a < b) << a << " " << b;
        }
    }
}

struct MinMaxCase {
    float a, b, min, max;
};

class MinMaxNum : public ::testing::TestWithParam<MinMaxCase> {};

TEST_P(MinMaxNum, IgnoresOneNaNAndGivesTheFirstOperandOnTies) {
    const MinMaxCase c = GetParam();
    EXPECT_EQ(bits(min_num(c.a, c.b)), bits(c.min));
    EXPECT_EQ(bits(max_num(c.a, c.b)), bits(c.max));
}

INSTANTIATE_TEST_SUITE_P(Cases, MinMaxNum,
                         ::testing::Values(MinMaxCase{1, 2, 1, 2}, MinMaxCase{2, 1, 1, 2}, MinMaxCase{kNaN, 3, 3, 3},
                                           MinMaxCase{3, kNaN, 3, 3}, MinMaxCase{-0.0f, 0, -0.0f, -0.0f},
                                           MinMaxCase{0, -0.0f, 0, 0}, MinMaxCase{-kNaN, kNaN, -kNaN, -kNaN},
                                           MinMaxCase{-kInf, kInf, -kInf, kInf}));

struct CastCase {
    float value;
    std::int32_t i32;
    std::uint64_t u64;
};

class SaturatingCast : public ::testing::TestWithParam<CastCase> {};

TEST_P(SaturatingCast, TruncatesTowardZeroSaturatesAndMapsNaNToZero) {
    EXPECT_EQ(saturating_cast<std::int32_t>(GetParam().value), GetParam().i32);
    EXPECT_EQ(saturating_cast<std::uint64_t>(GetParam().value), GetParam().u64);
}

constexpr auto kI32Max = std::numeric_limits<std::int32_t>::max();
constexpr auto kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr auto kU64Max = std::numeric_limits<std::uint64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Cases, SaturatingCast,
    ::testing::Values(CastCase{2.9f, 2, 2}, CastCase{-2.9f, -2, 0}, CastCase{kNaN, 0, 0},
                      CastCase{kInf, kI32Max, kU64Max}, CastCase{-kInf, kI32Min, 0},
                      CastCase{2147483520.0f, 2147483520, 2147483520u}, CastCase{2147483648.0f, kI32Max, 2147483648u},
                      CastCase{-2147483648.0f, kI32Min, 0}, CastCase{1.8446743e19f, kI32Max, 18446742974197923840u},
                      CastCase{1.8446744e19f, kI32Max, kU64Max}));

}  // namespace
}  // namespace tarvello
