// The formatter: exact text for signed zero, NaN, infinities and ties, and
// printf as an independent oracle on random floats.
#include "diagnostics/format.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace tarvello::diagnostics {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// What the random comparison below skips: signed zero, NaN, infinities, and
// exact ties ("{}" between two shortest texts, "{:.N}" to even).
TEST(Format, FloatsTheRandomComparisonSkipsAreExact) {
    struct Case { const char* templ; float value; const char* text; };
    for (const Case& c : std::vector<Case>{{"{}", -0.0f, "-0"}, {"{}", kNaN, "NaN"}, {"{}", -kNaN, "NaN"}, {"{}", kInf, "inf"},
                                           {"{}", -kInf, "-inf"}, {"{}", 1048576.25f, "1048576.2"},  // .2 and .3 both read back
                                           {"{:.0}", 2.5f, "2"}, {"{:.0}", 3.5f, "4"}, {"{:.1}", 0.25f, "0.2"},
                                           {"{:.2}", kNaN, "NaN"}, {"{:.3}", -kInf, "-inf"}}) {
        EXPECT_EQ(format(c.templ, c.value), c.text) << c.templ << " " << c.value;
    }
}

TEST(Format, PrintsOtherArgumentsAndKeepsTheTextAround) {
    EXPECT_EQ(format("{} {} {}", 18446744073709551615ull, -42, 0u), "18446744073709551615 -42 0");
    EXPECT_EQ(format("{} and {}", SemanticLabel::Vision, SemanticLabel::HorizontalTitle),
              "Vision and HorizontalTitle");
    EXPECT_EQ(format("{}/{} [{}]", true, false, std::string_view("text")), "true/false [text]");
    EXPECT_EQ(format("100% done, {{literal}} {}", 1), "100% done, {literal} 1");
    // Placeholders without an argument or with an unknown field are copied.
    EXPECT_EQ(format("no args {}"), "no args {}");
    EXPECT_EQ(format("{:x} {", 1), "{:x} {");
    // Found by the fuzzer: a signed decimal count once asked for a buffer of
    // 48 - 50 characters and threw out of a log statement.
    EXPECT_EQ(format("{:.-50}", 1.5f), "{:.-50}");
    EXPECT_EQ(format("{:.-1} {}", 1.5f), "{:.-1} 1.5");
}

// Fewest significant digits that read back to the value, found by asking
// printf for ever more digits.
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
    digits.erase(0, digits.find_first_not_of('0'));
    if (text.find('.') == std::string::npos) digits.erase(digits.find_last_not_of('0') + 1);
    return std::max(1, static_cast<int>(digits.size()));
}

TEST(Format, RandomFloatsMatchPrintf) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<std::uint32_t> any_bits;
    for (int i = 0; i < 200000; ++i) {
        const float value = std::bit_cast<float>(any_bits(rng));
        if (value != value || value == kInf || value == -kInf) continue;
        const std::string text = format("{}", value);
        ASSERT_EQ(text.find('e'), std::string::npos) << text;
        ASSERT_FALSE(text.ends_with(".0")) << text;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(std::strtof(text.c_str(), nullptr)), std::bit_cast<std::uint32_t>(value))
            << text;
        ASSERT_LE(significant_digits(text), shortest_digit_count(value)) << text;
        const int decimals = i % 13;
        char fixed[128];
        std::snprintf(fixed, sizeof fixed, "%.*f", decimals, static_cast<double>(value));
        ASSERT_EQ(format("{:." + std::to_string(decimals) + "}", value), fixed);
    }
}

}  // namespace
}  // namespace tarvello::diagnostics
