// Float conventions both engines share, written out so that every platform and
// compiler agrees on them bit for bit.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace tarvello {

// A key whose signed integer order is the IEEE 754 totalOrder of the floats:
// -NaN < -inf < ... < -0 < +0 < ... < +inf < +NaN.
constexpr std::int32_t total_order_key(float value) {
    const auto bits = std::bit_cast<std::int32_t>(value);
    // Negative floats grow more negative as their magnitude grows: flip all but the sign.
    return bits ^ static_cast<std::int32_t>(static_cast<std::uint32_t>(bits >> 31) >> 1);
}

// The same order as an unsigned key: the sign bit flipped.
constexpr std::uint32_t unsigned_total_order_key(float value) {
    return static_cast<std::uint32_t>(total_order_key(value)) ^ 0x8000'0000u;
}

// The float a key stands for: the key's own transform undoes it.
constexpr float from_total_order_key(std::int32_t key) {
    return std::bit_cast<float>(key ^ static_cast<std::int32_t>(static_cast<std::uint32_t>(key >> 31) >> 1));
}

constexpr bool total_order_less(float a, float b) { return total_order_key(a) < total_order_key(b); }

// IEEE minNum: a NaN operand yields the other one; when neither operand is
// smaller (-0 and +0, or two NaNs) the first one is returned.
constexpr float min_num(float a, float b) {
    if (b != b) return a;
    if (a != a) return b;
    return b < a ? b : a;
}

// IEEE maxNum, with the same rules as min_num.
constexpr float max_num(float a, float b) {
    if (b != b) return a;
    if (a != a) return b;
    return b > a ? b : a;
}

// Truncation toward zero that saturates at the target's bounds; NaN gives 0.
template <class Int>
constexpr Int saturating_cast(float value) {
    static_assert(std::is_integral_v<Int>);
    if (value != value) return 0;  // NaN
    // The bounds as floats: the lowest is exact (0 or -2^k); the highest
    // rounds up to 2^k, which is itself out of range, hence >=.
    constexpr auto lowest = static_cast<float>(std::numeric_limits<Int>::lowest());
    constexpr auto beyond = static_cast<float>(std::numeric_limits<Int>::max());
    if (value <= lowest) return std::numeric_limits<Int>::lowest();
    if (value >= beyond) return std::numeric_limits<Int>::max();
    return static_cast<Int>(value);
}

// A double rounded to the nearest float (ties to even), infinite beyond the
// largest one. The halfway point between the largest float and 2^128 is where
// round to nearest gives an infinity; below it the plain conversion is defined.
constexpr float round_to_single(double value) {
    constexpr double overflow = 0x1.ffffffp127;
    if (value >= overflow) return std::numeric_limits<float>::infinity();
    if (value <= -overflow) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

}  // namespace tarvello
