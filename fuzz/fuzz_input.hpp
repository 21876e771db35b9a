// Decoding fuzz bytes into the engines' inputs. Every float comes from one of
// three sources picked by a byte: raw bits (NaN payloads, subnormals, huge
// values), a small integer (ordinary pages that cut and mask), or a table of
// the values that break careless code.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "layout/records.hpp"

namespace tarvello::fuzzing {

inline constexpr std::size_t kMaxElements = 300;

inline float consume_float(FuzzedDataProvider& input) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    static constexpr std::array<float, 14> awkward = {
        0.0f,   -0.0f, std::numeric_limits<float>::quiet_NaN(), inf, -inf,
        std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
        std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest(),
        1e30f, -1e30f, 0.5f, 612.0f, 792.0f};
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return std::bit_cast<float>(input.ConsumeIntegral<std::uint32_t>());
        case 1: return awkward[input.ConsumeIntegralInRange<std::size_t>(0, awkward.size() - 1)];
        default: return static_cast<float>(input.ConsumeIntegralInRange<int>(-20, 800));
    }
}

// Ids mostly from a small range, so that duplicates are common.
inline std::uint64_t consume_id(FuzzedDataProvider& input) {
    return input.ConsumeBool() ? input.ConsumeIntegral<std::uint64_t>() : input.ConsumeIntegralInRange<std::uint64_t>(0, 12);
}

inline Element consume_element(FuzzedDataProvider& input) {
    Element element;
    element.id = consume_id(input);
    element.x1 = consume_float(input);
    element.y1 = consume_float(input);
    element.x2 = consume_float(input);
    element.y2 = consume_float(input);
    element.label = static_cast<SemanticLabel>(input.ConsumeIntegralInRange<std::uint8_t>(0, kSemanticLabelCount - 1));
    return element;
}

inline std::vector<Element> consume_elements(FuzzedDataProvider& input) {
    std::vector<Element> elements;
    while (input.remaining_bytes() > 0 && elements.size() < kMaxElements) elements.push_back(consume_element(input));
    return elements;
}

// A broken invariant: print it and abort, so libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline void check(bool holds, const char* what) {
    if (!holds) fail(what);
}

}  // namespace tarvello::fuzzing
