// The message formatter: "{}" of a float is plain text (no exponent, no
// trailing ".0") that reads back to the same single-precision value; "{:.N}"
// is the value rounded to N decimals; integers print as in decimal;
// any template, however broken, formats without a crash.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "diagnostics/format.hpp"
#include "fuzz_input.hpp"

using namespace tarvello;

namespace {

void check_shortest(float value) {
    const std::string text = diagnostics::format("{}", value);
    if (std::isnan(value)) return fuzzing::check(text == "NaN", "NaN prints as NaN");
    if (std::isinf(value)) return fuzzing::check(text == (value < 0 ? "-inf" : "inf"), "infinities print by name");
    fuzzing::check(text.find_first_of("eE") == std::string::npos, "no exponent");
    fuzzing::check(!text.ends_with(".0") && !text.ends_with("."), "no empty or zero fraction");
    char* end = nullptr;
    const float back = std::strtof(text.c_str(), &end);
    fuzzing::check(end == text.c_str() + text.size(), "the whole text is a number");
    fuzzing::check(std::bit_cast<std::uint32_t>(back) == std::bit_cast<std::uint32_t>(value),
                   "{} reads back to the same float");
}

void check_fixed(float value, int decimals) {
    const std::string text = diagnostics::format(std::string("{:.") + std::to_string(decimals) + "}", value);
    if (!std::isfinite(value)) return;
    fuzzing::check(text.find_first_of("eE") == std::string::npos, "fixed notation has no exponent");
    const std::size_t point = text.find('.');
    const std::size_t shown = point == std::string::npos ? 0 : text.size() - point - 1;
    fuzzing::check(shown == static_cast<std::size_t>(decimals), "fixed notation shows N decimals");
    // printf prints the exact binary value rounded to N decimals, ties to
    // even, which is the rounding the formatter promises.
    char expected[96];
    std::snprintf(expected, sizeof expected, "%.*f", decimals, static_cast<double>(value));
    fuzzing::check(text == expected, "fixed notation is the value rounded to N decimals");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const float value = fuzzing::consume_float(input);
    check_shortest(value);
    check_fixed(value, input.ConsumeIntegralInRange<int>(0, 9));

    const auto unsigned_value = input.ConsumeIntegral<std::uint64_t>();
    const auto signed_value = input.ConsumeIntegral<std::int64_t>();
    fuzzing::check(diagnostics::format("{}", unsigned_value) == std::to_string(unsigned_value), "u64 in decimal");
    fuzzing::check(diagnostics::format("{}", signed_value) == std::to_string(signed_value), "i64 in decimal");

    // Whatever is left is a template, with one argument of each kind.
    const std::string templ = input.ConsumeRemainingBytesAsString();
    (void)diagnostics::format(templ, value, unsigned_value, signed_value, true, SemanticLabel::Vision,
                              std::string_view("text"));
    return 0;
}
