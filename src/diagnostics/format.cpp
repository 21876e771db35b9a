#include "diagnostics/format.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <system_error>

namespace tarvello::diagnostics {
namespace {

// Writes NaN and the infinities the way every message prints them; returns
// false for finite values.
bool append_non_finite(std::string& out, float value) {
    if (std::isnan(value)) {
        out += "NaN";
    } else if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
    } else {
        return false;
    }
    return true;
}

// Parses "[-]d[.ddd]e±XX" into its sign, digit string and decimal exponent.
struct Scientific {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

Scientific parse_scientific(std::string_view text) {
    Scientific result;
    std::size_t i = 0;
    if (text[i] == '-') {
        result.negative = true;
        ++i;
    }
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] != '.') result.digits += text[i];
    }
    ++i;  // 'e'
    const bool negative_exponent = text[i] == '-';
    ++i;  // exponent sign
    std::from_chars(text.data() + i, text.data() + text.size(), result.exponent);
    if (negative_exponent) result.exponent = -result.exponent;
    return result;
}

}  // namespace

void append_shortest(std::string& out, float value) {
    if (append_non_finite(out, value)) return;
    // The shortest scientific form is exactly the digits we need (fewest
    // significant digits, nearest to the value, ties to even); fixed-format
    // to_chars is not, as it prints the exact binary value of large floats.
    std::array<char, 32> buffer{};
    const auto [end, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific);
    const Scientific sci = parse_scientific(std::string_view(buffer.data(), end));
    if (sci.negative) out += '-';
    const auto count = static_cast<int>(sci.digits.size());
    if (sci.exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-sci.exponent - 1), '0');
        out += sci.digits;
        return;
    }
    const int integer_digits = sci.exponent + 1;
    if (count <= integer_digits) {
        out += sci.digits;
        out.append(static_cast<std::size_t>(integer_digits - count), '0');
    } else {
        out.append(sci.digits, 0, static_cast<std::size_t>(integer_digits));
        out += '.';
        out.append(sci.digits, static_cast<std::size_t>(integer_digits));
    }
}

void append_fixed(std::string& out, float value, int decimals) {
    if (append_non_finite(out, value)) return;
    // The largest float has 39 integer digits; fixed to_chars prints the exact
    // value rounded to the decimals, ties to even, as C's printf does.
    std::string buffer(48 + static_cast<std::size_t>(decimals), '\0');
    const auto [end, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
    out.append(buffer.data(), end);
}

void FormatArg::append_plain(std::string& out) const {
    switch (kind_) {
        case Kind::Signed:
        case Kind::Unsigned: {
            std::array<char, 24> buffer{};
            const auto [end, ec] = kind_ == Kind::Signed
                                       ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), signed_)
                                       : std::to_chars(buffer.data(), buffer.data() + buffer.size(), unsigned_);
            out.append(buffer.data(), end);
            return;
        }
        case Kind::Float:
            append_shortest(out, float_);
            return;
        case Kind::Bool:
            out += bool_ ? "true" : "false";
            return;
        case Kind::Label:
            out += bare_name(label_);
            return;
        case Kind::Text:
            out += text_;
            return;
    }
}

void FormatArg::append_fixed(std::string& out, int decimals) const {
    if (kind_ == Kind::Float) {
        diagnostics::append_fixed(out, float_, decimals);
    } else {
        append_plain(out);
    }
}

namespace {

// Reads the "N" of a "{:.N}" placeholder; nothing for any other text.
std::optional<int> fixed_decimals(std::string_view format_field) {
    if (format_field.size() < 3 || format_field.substr(0, 2) != ":.") return std::nullopt;
    int decimals = 0;
    const char* first = format_field.data() + 2;
    const char* last = format_field.data() + format_field.size();
    const auto [end, ec] = std::from_chars(first, last, decimals);
    // from_chars reads a sign too: "{:.-1}" is not a placeholder we know, as "{:.x}" is not.
    if (ec != std::errc() || end != last || decimals < 0 || decimals > 100) return std::nullopt;
    return decimals;
}

}  // namespace

void format_to(std::string& out, std::string_view templ, std::span<const FormatArg> args) {
    std::size_t next_arg = 0;
    std::size_t i = 0;
    while (i < templ.size()) {
        const char c = templ[i];
        if ((c == '{' || c == '}') && i + 1 < templ.size() && templ[i + 1] == c) {
            out += c;
            i += 2;
            continue;
        }
        const std::size_t close = c == '{' ? templ.find('}', i) : std::string_view::npos;
        if (close == std::string_view::npos) {
            out += c;
            ++i;
            continue;
        }
        const std::string_view format_field = templ.substr(i + 1, close - i - 1);
        const std::optional<int> decimals = fixed_decimals(format_field);
        if (next_arg >= args.size() || (!format_field.empty() && !decimals)) {
            out.append(templ.substr(i, close - i + 1));
        } else if (decimals) {
            args[next_arg++].append_fixed(out, *decimals);
        } else {
            args[next_arg++].append_plain(out);
        }
        i = close + 1;
    }
}

std::string format(std::string_view templ, std::span<const FormatArg> args) {
    std::string out;
    format_to(out, templ, args);
    return out;
}

}  // namespace tarvello::diagnostics
