#include "diagnostics/format.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace tarvello::diagnostics {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

std::string plain(float value) { return format("{}", value); }

struct PlainCase {
    float value;
    const char* text;
};

class ShortestPlain : public ::testing::TestWithParam<PlainCase> {};

TEST_P(ShortestPlain, PrintsFewestDigitsWithoutExponent) { EXPECT_EQ(plain(GetParam().value), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Examples, ShortestPlain,
    ::testing::Values(PlainCase{2.0f, "2"}, PlainCase{0.1f, "0.1"}, PlainCase{1e-10f, "0.0000000001"},
                      PlainCase{3.4028235e38f, "340282350000000000000000000000000000000"},
                      PlainCase{std::numeric_limits<float>::quiet_NaN(), "NaN"},
                      PlainCase{-std::numeric_limits<float>::quiet_NaN(), "NaN"}, PlainCase{kInf, "inf"},
                      PlainCase{-kInf, "-inf"}, PlainCase{-0.0f, "-0"}, PlainCase{0.0f, "0"},
                      PlainCase{1048576.25f, "1048576.2"}, PlainCase{612.5f, "612.5"}, PlainCase{-5.0f, "-5"},
                      PlainCase{1e-45f, "0.000000000000000000000000000000000000000000001"},
                      PlainCase{123456790.0f, "123456790"}, PlainCase{16777216.0f, "16777216"},
                      PlainCase{0.3f, "0.3"}, PlainCase{1.5e-5f, "0.000015"}));

struct FixedCase {
    float value;
    const char* templ;
    const char* text;
};

class Fixed : public ::testing::TestWithParam<FixedCase> {};

TEST_P(Fixed, RoundsTheExactValueTiesToEven) {
    EXPECT_EQ(format(GetParam().templ, GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Fixed,
    ::testing::Values(FixedCase{2.5f, "{:.0}", "2"}, FixedCase{3.5f, "{:.0}", "4"}, FixedCase{0.25f, "{:.1}", "0.2"},
                      FixedCase{12.25f, "{:.1}", "12.2"}, FixedCase{50.0f, "{:.0}", "50"},
                      FixedCase{0.1f, "{:.10}", "0.1000000015"}, FixedCase{-0.0f, "{:.0}", "-0"},
                      FixedCase{-0.4f, "{:.0}", "-0"}, FixedCase{1e9f + 640.0f, "{:.0}", "1000000640"},
                      FixedCase{3.4028235e38f, "{:.0}", "340282346638528859811704183484516925440"},
                      FixedCase{std::numeric_limits<float>::quiet_NaN(), "{:.2}", "NaN"},
                      FixedCase{kInf, "{:.0}", "inf"}, FixedCase{-kInf, "{:.3}", "-inf"}));

TEST(Format, PrintsIntegersLabelsBoolsAndText) {
    EXPECT_EQ(format("{} {} {}", 18446744073709551615ull, -42, 0u), "18446744073709551615 -42 0");
    EXPECT_EQ(format("{} and {}", SemanticLabel::Vision, SemanticLabel::HorizontalTitle),
              "Vision and HorizontalTitle");
    EXPECT_EQ(format("{}/{}", true, false), "true/false");
    EXPECT_EQ(format("[{}]", std::string_view("text")), "[text]");
}

TEST(Format, KeepsTextAroundPlaceholders) {
    EXPECT_EQ(format("  Left: {} elements, Right: {} elements", 3, 4), "  Left: 3 elements, Right: 4 elements");
    EXPECT_EQ(format("[Histogram] Vertical: {} bins, min_gap={}, x_range={:.0}-{:.0}", 50u, 7u, 0.0f, 100.0f),
              "[Histogram] Vertical: 50 bins, min_gap=7, x_range=0-100");
    EXPECT_EQ(format("100% done, {{literal}} {}", 1), "100% done, {literal} 1");
    EXPECT_EQ(format("no args {}"), "no args {}");
    EXPECT_EQ(format("{:x} {", 1), "{:x} {");
}

// Fewest significant digits that read back to the value, found by asking
// printf for ever more digits: an oracle independent of the formatter.
int shortest_digit_count(float value) {
    for (int precision = 0; precision < 9; ++precision) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*e", precision, static_cast<double>(value));
        if (std::strtof(buffer, nullptr) == value) return precision + 1;
    }
    return 9;
}

int significant_digits(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9') digits += c;
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos) return 1;
    digits = digits.substr(first);
    if (text.find('.') == std::string::npos) {
        const auto last = digits.find_last_not_of('0');
        digits = digits.substr(0, last + 1);
    }
    return static_cast<int>(digits.size());
}

TEST(Format, RandomFloatsReadBackExactlyWithTheFewestDigits) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<std::uint32_t> any_bits;
    for (int i = 0; i < 200000; ++i) {
        const float value = std::bit_cast<float>(any_bits(rng));
        if (value != value || value == kInf || value == -kInf) continue;
        const std::string text = plain(value);
        ASSERT_EQ(text.find('e'), std::string::npos) << text;
        ASSERT_FALSE(text.ends_with(".0")) << text;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(std::strtof(text.c_str(), nullptr)),
                  std::bit_cast<std::uint32_t>(value))
            << text;
        ASSERT_LE(significant_digits(text), shortest_digit_count(value)) << text;
    }
}

TEST(Format, RandomFixedMatchesPrintf) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<std::uint32_t> any_bits;
    std::uniform_int_distribution<int> any_decimals(0, 12);
    for (int i = 0; i < 50000; ++i) {
        const float value = std::bit_cast<float>(any_bits(rng));
        if (value != value || value == kInf || value == -kInf) continue;
        const int decimals = any_decimals(rng);
        const std::string templ = "{:." + std::to_string(decimals) + "}";
        char expected[128];
        std::snprintf(expected, sizeof expected, "%.*f", decimals, static_cast<double>(value));
        ASSERT_EQ(format(templ, value), expected);
    }
}

}  // namespace
}  // namespace tarvello::diagnostics
