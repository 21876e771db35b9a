// The one message formatter every diagnostic goes through.
//
// Templates hold "{}" (integers in decimal, floats as the shortest text that
// reads back to the same single-precision value, in plain notation, labels by
// bare name, bools as true/false) and "{:.N}" (a float in fixed notation with N
// decimals, exact ties to even). "{{" and "}}" stand for braces.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "layout/records.hpp"

namespace tarvello::diagnostics {

// One argument of a message, held by value so that building it costs nothing.
class FormatArg {
public:
    enum class Kind : std::uint8_t { Signed, Unsigned, Float, Bool, Label, Text };

    template <class Int>
        requires(std::is_integral_v<Int> && !std::is_same_v<Int, bool>)
    constexpr FormatArg(Int value) {  // NOLINT(google-explicit-constructor)
        if constexpr (std::is_signed_v<Int>) {
            kind_ = Kind::Signed;
            signed_ = value;
        } else {
            kind_ = Kind::Unsigned;
            unsigned_ = value;
        }
    }
    constexpr FormatArg(float value) : kind_(Kind::Float), float_(value) {}  // NOLINT
    constexpr FormatArg(bool value) : kind_(Kind::Bool), bool_(value) {}     // NOLINT
    constexpr FormatArg(SemanticLabel value) : kind_(Kind::Label), label_(value) {}  // NOLINT
    constexpr FormatArg(std::string_view value) : kind_(Kind::Text), text_(value) {}  // NOLINT
    constexpr FormatArg(const char* value) : FormatArg(std::string_view(value)) {}     // NOLINT

    // Appends the "{}" form of the argument.
    void append_plain(std::string& out) const;
    // Appends the "{:.N}" form; only floats have one, anything else falls back to "{}".
    void append_fixed(std::string& out, int decimals) const;

private:
    Kind kind_;
    union {
        std::int64_t signed_;
        std::uint64_t unsigned_;
        float float_;
        bool bool_;
        SemanticLabel label_;
        std::string_view text_;
    };
};

// Appends the shortest round-trip text of a float in plain notation.
void append_shortest(std::string& out, float value);
// Appends a float in fixed notation with the given number of decimals.
void append_fixed(std::string& out, float value, int decimals);

// Formats a template with its arguments. A placeholder without an argument,
// or one this formatter does not know, is copied unchanged.
void format_to(std::string& out, std::string_view templ, std::span<const FormatArg> args);
std::string format(std::string_view templ, std::span<const FormatArg> args);

template <class... Args>
std::string format(std::string_view templ, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return format(templ, std::span<const FormatArg>{});
    } else {
        const FormatArg packed[] = {FormatArg(args)...};
        return format(templ, std::span<const FormatArg>(packed));
    }
}

}  // namespace tarvello::diagnostics
