// The float conventions both engines share, and the label table.
#include "layout/float_conventions.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "layout/records.hpp"

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
        ASSERT_TRUE(a != a || b != b || a == b || total_order_less(a, b) == (a < b)) << a << " " << b;
    }
}

TEST(MinMaxNum, IgnoresOneNaNAndGivesTheFirstOperandOnTies) {
    struct Case { float a, b, min, max; };
    for (const Case& c : std::vector<Case>{{1, 2, 1, 2}, {2, 1, 1, 2}, {kNaN, 3, 3, 3}, {3, kNaN, 3, 3},
                                           {-0.0f, 0, -0.0f, -0.0f}, {0, -0.0f, 0, 0}, {-kNaN, kNaN, -kNaN, -kNaN},
                                           {-kInf, kInf, -kInf, kInf}}) {
        EXPECT_EQ(bits(min_num(c.a, c.b)), bits(c.min)) << c.a << " " << c.b;
        EXPECT_EQ(bits(max_num(c.a, c.b)), bits(c.max)) << c.a << " " << c.b;
    }
}

TEST(SaturatingCast, TruncatesTowardZeroSaturatesAndMapsNaNToZero) {
    constexpr auto kI32Max = std::numeric_limits<std::int32_t>::max();
    constexpr auto kI32Min = std::numeric_limits<std::int32_t>::min();
    constexpr auto kU64Max = std::numeric_limits<std::uint64_t>::max();
    struct Case { float value; std::int32_t i32; std::uint64_t u64; };
    for (const Case& c : std::vector<Case>{{2.9f, 2, 2}, {-2.9f, -2, 0}, {kNaN, 0, 0}, {kInf, kI32Max, kU64Max},
                                           {-kInf, kI32Min, 0}, {2147483520.0f, 2147483520, 2147483520u},
                                           {2147483648.0f, kI32Max, 2147483648u}, {-2147483648.0f, kI32Min, 0},
                                           {1.8446743e19f, kI32Max, 18446742974197923840u},
                                           {1.8446744e19f, kI32Max, kU64Max}}) {
        EXPECT_EQ(saturating_cast<std::int32_t>(c.value), c.i32) << c.value;
        EXPECT_EQ(saturating_cast<std::uint64_t>(c.value), c.u64) << c.value;
    }
}

TEST(SemanticLabel, CodesAndNamesFollowTheTable) {
    const SemanticLabel members[] = {SemanticLabel::CrossLayout, SemanticLabel::HorizontalTitle,
                                     SemanticLabel::VerticalTitle, SemanticLabel::Vision, SemanticLabel::Regular};
    const char* names[] = {"CrossLayout", "HorizontalTitle", "VerticalTitle", "Vision", "Regular"};
    for (std::uint8_t code = 0; code < 5; ++code) {
        EXPECT_EQ(label_code(members[code]), code);
        EXPECT_EQ(label_from_code(code), members[code]);
        EXPECT_EQ(bare_name(members[code]), names[code]);
        EXPECT_EQ(qualified_name(members[code]), std::string("SemanticLabel.") + names[code]);
    }
    EXPECT_EQ(label_from_code(5), std::nullopt);
}

}  // namespace
}  // namespace tarvello
