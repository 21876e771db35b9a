#include "boxes/json_page.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

#include "boxes/box_checks.hpp"

namespace tarvello::boxes {
namespace {

// Python's json nests further, but a page has no need of it.
constexpr int kMaxDepth = 64;
// Longer numbers are left to Python, whose ints have no bound.
constexpr std::size_t kMaxNumberLength = 64;

struct Number {
    std::string_view text;
    bool integer;  // no fraction and no exponent: an int to Python
};

// A cursor over one line of JSON. Every reader returns false (or nothing)
// for input it leaves to the general path, whether that input is wrong or
// only unusual.
class Scanner {
public:
    explicit Scanner(std::string_view text) : at_(text.data()), end_(text.data() + text.size()) {}

    // JSON's whitespace, as Python's json knows it.
    void skip_space() {
        while (at_ != end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\n' || *at_ == '\r')) ++at_;
    }

    char peek() {
        skip_space();
        return at_ == end_ ? '\0' : *at_;
    }

    bool consume(char c) {
        if (peek() != c) return false;
        ++at_;
        return true;
    }

    bool at_end() { return peek() == '\0' && at_ == end_; }

    // A string of printable ASCII without escapes, as its text.
    std::optional<std::string_view> plain_string() {
        if (!consume('"')) return std::nullopt;
        const char* start = at_;
        while (at_ != end_ && *at_ != '"') {
            if (*at_ < 0x20 || *at_ > 0x7e || *at_ == '\\') return std::nullopt;
            ++at_;
        }
        if (at_ == end_) return std::nullopt;
        return std::string_view(start, static_cast<std::size_t>(at_++ - start));
    }

    // Any string Python's json takes: escapes and well-formed UTF-8
    // included, control characters not. Its text when it has no escape.
    std::optional<std::string_view> any_string() {
        if (!consume('"')) return std::nullopt;
        const char* start = at_;
        bool escaped_any = false;
        while (at_ != end_ && *at_ != '"') {
            const auto c = static_cast<unsigned char>(*at_);
            if (c < 0x20) return std::nullopt;
            if (c >= 0x80) {
                const std::size_t length = utf8_sequence();
                if (length == 0) return std::nullopt;
                at_ += length;
                continue;
            }
            ++at_;
            if (c != '\\') continue;
            escaped_any = true;
            if (at_ == end_) return std::nullopt;
            const char escaped = *at_++;
            if (escaped == 'u') {
                for (int k = 0; k < 4; ++k, ++at_) {
                    if (at_ == end_ || !std::isxdigit(static_cast<unsigned char>(*at_))) return std::nullopt;
                }
            } else if (std::string_view("\"\\/bfnrt").find(escaped) == std::string_view::npos) {
                return std::nullopt;
            }
        }
        if (at_ == end_) return std::nullopt;
        const std::string_view text(start, static_cast<std::size_t>(at_++ - start));
        // An escaped text may spell anything: say so by an empty view of no data.
        return escaped_any ? std::string_view() : text;
    }

    bool skip_string() { return any_string().has_value(); }

    // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][-+]?[0-9]+)?
    std::optional<Number> number() {
        skip_space();
        const char* start = at_;
        const auto digits = [&] {
            const char* first = at_;
            while (at_ != end_ && *at_ >= '0' && *at_ <= '9') ++at_;
            return at_ != first;
        };
        if (at_ != end_ && *at_ == '-') ++at_;
        if (at_ == end_) return std::nullopt;
        if (*at_ == '0') {
            ++at_;
        } else if (!digits()) {
            return std::nullopt;
        }
        bool integer = true;
        if (at_ != end_ && *at_ == '.') {
            ++at_;
            if (!digits()) return std::nullopt;
            integer = false;
        }
        if (at_ != end_ && (*at_ == 'e' || *at_ == 'E')) {
            ++at_;
            if (at_ != end_ && (*at_ == '+' || *at_ == '-')) ++at_;
            if (!digits()) return std::nullopt;
            integer = false;
        }
        const std::string_view text(start, static_cast<std::size_t>(at_ - start));
        if (text.size() > kMaxNumberLength) return std::nullopt;
        return Number{text, integer};
    }

    bool literal(std::string_view word) {
        skip_space();
        if (static_cast<std::size_t>(end_ - at_) < word.size() || std::string_view(at_, word.size()) != word) {
            return false;
        }
        at_ += word.size();
        return true;
    }

    // Any value, checked and passed over. NaN and Infinity, which Python's
    // json also takes, are left to it.
    bool skip_value(int depth = 0) {
        if (depth > kMaxDepth) return false;
        switch (peek()) {
            case '"': return skip_string();
            case 't': return literal("true");
            case 'f': return literal("false");
            case 'n': return literal("null");
            case '[':
                ++at_;
                if (consume(']')) return true;
                do {
                    if (!skip_value(depth + 1)) return false;
                } while (consume(','));
                return consume(']');
            case '{':
                ++at_;
                if (consume('}')) return true;
                do {
                    if (!skip_string() || !consume(':') || !skip_value(depth + 1)) return false;
                } while (consume(','));
                return consume('}');
            default: return number().has_value();
        }
    }

    // The members of an object, each handed to `member(key)`, which reads
    // its value; false as soon as anything is off.
    template <class Member>
    bool object(Member member) {
        if (!consume('{')) return false;
        if (consume('}')) return true;
        do {
            // An escaped key might spell a field of ours: left to Python.
            const std::optional<std::string_view> key = any_string();
            if (!key || key->data() == nullptr || !consume(':') || !member(*key)) return false;
        } while (consume(','));
        return consume('}');
    }

private:
    // The length of the well-formed UTF-8 sequence at the cursor, as
    // Python's strict decoder takes it (no overlong forms, no surrogates,
    // nothing past U+10FFFF); 0 for anything else.
    std::size_t utf8_sequence() const {
        const auto byte = [&](std::size_t k) -> unsigned {
            return k < static_cast<std::size_t>(end_ - at_) ? static_cast<unsigned char>(at_[k]) : 0u;
        };
        const auto tail = [&](std::size_t k) { return (byte(k) & 0xC0u) == 0x80u; };
        const unsigned lead = byte(0);
        if (lead >= 0xC2 && lead <= 0xDF) return tail(1) ? 2 : 0;
        if (lead >= 0xE0 && lead <= 0xEF) {
            const unsigned second = byte(1);
            const bool ok = lead == 0xE0 ? second >= 0xA0 && second <= 0xBF
                            : lead == 0xED ? second >= 0x80 && second <= 0x9F
                                           : tail(1);
            return ok && tail(2) ? 3 : 0;
        }
        if (lead >= 0xF0 && lead <= 0xF4) {
            const unsigned second = byte(1);
            const bool ok = lead == 0xF0 ? second >= 0x90 && second <= 0xBF
                            : lead == 0xF4 ? second >= 0x80 && second <= 0x8F
                                           : tail(1);
            return ok && tail(2) && tail(3) ? 4 : 0;
        }
        return 0;
    }

    const char* at_;
    const char* end_;
};

// The double Python's float() gives for the literal: an int literal is
// converted exactly rounded like a float one, and "-0" is the int 0.
std::optional<double> to_double(const Number& number) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.text.data(), number.text.data() + number.text.size(), value);
    if (error != std::errc() || end != number.text.data() + number.text.size()) return std::nullopt;
    if (number.integer && value == 0.0) value = 0.0;
    return value;
}

// An int literal from 0 to 2**64 - 1 ("-0" included).
std::optional<std::uint64_t> to_id(const Number& number) {
    if (!number.integer) return std::nullopt;
    std::string_view digits = number.text;
    if (digits.front() == '-') {
        if (digits != "-0") return std::nullopt;
        return 0;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

bool read_four(Scanner& scanner, Quad& out) {
    if (!scanner.consume('[')) return false;
    for (std::size_t k = 0; k < 4; ++k) {
        if (k > 0 && !scanner.consume(',')) return false;
        const std::optional<Number> number = scanner.number();
        const std::optional<double> value = number ? to_double(*number) : std::nullopt;
        if (!value || !std::isfinite(*value)) return false;
        out[k] = *value;
    }
    return scanner.consume(']');
}

bool read_element(Scanner& scanner, const LabelNames& labels, Element& out) {
    std::optional<std::uint64_t> id;
    std::optional<Quad> corners;
    std::optional<SemanticLabel> label;
    const bool read = scanner.object([&](std::string_view key) {
        if (key == "id") {
            if (id) return false;
            const std::optional<Number> number = scanner.number();
            id = number ? to_id(*number) : std::nullopt;
            return id.has_value();
        }
        if (key == "bbox") {
            if (corners) return false;
            Quad numbers{};
            if (!read_four(scanner, numbers) || check_box(numbers, BoxFormat::xyxy)) return false;
            corners = numbers;
            return true;
        }
        if (key == "label") {
            if (label) return false;
            const std::optional<std::string_view> name = scanner.plain_string();
            std::array<char, 64> buffer;
            const std::optional<std::string_view> normal = name ? normalise_ascii(*name, buffer) : std::nullopt;
            const auto found = normal ? labels.find(*normal) : labels.end();
            if (found == labels.end()) return false;
            label = found->second;
            return true;
        }
        return scanner.skip_value();
    });
    if (!read || !id || !corners) return false;
    out = make_element(*id, *corners, label.value_or(SemanticLabel::Regular));
    return true;
}

bool ids_are_distinct(const std::vector<Element>& elements) {
    std::vector<std::uint64_t> ids;
    ids.reserve(elements.size());
    for (const Element& element : elements) ids.push_back(element.id);
    std::sort(ids.begin(), ids.end());
    return std::adjacent_find(ids.begin(), ids.end()) == ids.end();
}

}  // namespace

std::optional<JsonPage> read_json_page(std::string_view line, const LabelNames& labels) {
    Scanner scanner(line);
    JsonPage page;
    bool has_page_id = false;
    std::optional<Quad> bounds;
    bool has_elements = false;
    const bool read = scanner.object([&](std::string_view key) {
        if (key == "page_id") {
            if (has_page_id) return false;
            has_page_id = true;
            if (scanner.peek() == '"') {
                const std::optional<std::string_view> text = scanner.plain_string();
                if (!text) return false;
                page.page_id = "\"" + std::string(*text) + "\"";
                return true;
            }
            if (scanner.peek() == 'n') return scanner.literal("null");
            const std::optional<Number> number = scanner.number();
            std::int64_t value = 0;
            if (!number || !number->integer) return false;
            const auto [end, error] = std::from_chars(number->text.data(), number->text.data() + number->text.size(), value);
            if (error != std::errc() || end != number->text.data() + number->text.size()) return false;
            page.page_id = std::to_string(value);  // as Python writes the int: "-0" is 0
            return true;
        }
        if (key == "page_bounds") {
            if (bounds) return false;
            Quad numbers{};
            if (!read_four(scanner, numbers) || page_bounds_problem(numbers)) return false;
            bounds = numbers;
            return true;
        }
        if (key == "elements") {
            if (has_elements || !scanner.consume('[')) return false;
            has_elements = true;
            if (scanner.consume(']')) return true;
            do {
                if (!read_element(scanner, labels, page.elements.emplace_back())) return false;
            } while (scanner.consume(','));
            return scanner.consume(']');
        }
        return scanner.skip_value();
    });
    if (!read || !scanner.at_end() || !bounds || !has_elements || !ids_are_distinct(page.elements)) {
        return std::nullopt;
    }
    page.bounds = make_page_bounds(*bounds);
    return page;
}

}  // namespace tarvello::boxes
