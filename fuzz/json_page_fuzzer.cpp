// The JSON Lines page reader on raw bytes, taken as one line. Whatever the
// bytes, it returns without a fault; a page it accepts has distinct ids, boxes
// the right way round and bounds with area. A line with a byte that JSON only
// allows inside a string found outside one, or a control character where
// JSON has none, is always left to the general path.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "boxes/json_page.hpp"
#include "fuzz_input.hpp"

using namespace tarvello;
using fuzzing::check;

namespace {

const boxes::LabelNames& labels() {
    static const boxes::LabelNames table = {
        {"text", SemanticLabel::Regular},          {"regular", SemanticLabel::Regular},
        {"title", SemanticLabel::HorizontalTitle}, {"sectionheader", SemanticLabel::HorizontalTitle},
        {"verticaltitle", SemanticLabel::VerticalTitle}, {"figure", SemanticLabel::Vision},
        {"table", SemanticLabel::CrossLayout}};
    return table;
}

bool is_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A plain walk over the line that knows only where strings begin and end: a
// byte of 0x80 or more outside a string, a control character other than
// whitespace outside one, or any control character inside one, makes the
// line invalid JSON. Also notes whether a number outside strings lies beyond
// the float range, the only way a coordinate may round to an infinity.
struct Walk {
    bool invalid = false;
    bool beyond_float = false;
};

Walk walk(std::string_view line) {
    Walk result;
    bool in_string = false;
    for (std::size_t k = 0; k < line.size(); ++k) {
        const auto c = static_cast<unsigned char>(line[k]);
        if (in_string) {
            if (c < 0x20) result.invalid = true;
            if (c == '\\') ++k;  // the escaped byte neither ends the string nor counts
            if (c == '"') in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c >= 0x80 || (c < 0x20 && !is_space(c))) {
            result.invalid = true;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            const std::size_t start = k;
            constexpr std::string_view number_bytes = "0123456789+-.eE";
            while (k + 1 < line.size() && number_bytes.find(line[k + 1]) != std::string_view::npos) ++k;
            double value = 0.0;
            std::from_chars(line.data() + start, line.data() + k + 1, value);
            if (std::fabs(value) > std::numeric_limits<float>::max()) result.beyond_float = true;
        }
    }
    return result;
}

// As the output writes the id: nothing, an int in Python's spelling, or a
// quoted plain string.
bool page_id_is_well_formed(const std::string& id) {
    if (id.empty()) return true;
    if (id.front() == '"') {
        if (id.size() < 2 || id.back() != '"') return false;
        return std::all_of(id.begin() + 1, id.end() - 1,
                           [](char c) { return c >= 0x20 && c <= 0x7e && c != '\\' && c != '"'; });
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
    return error == std::errc() && end == id.data() + id.size() && std::to_string(value) == id;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::optional<boxes::JsonPage> page = boxes::read_json_page(line, labels());
    const Walk plain = walk(line);
    if (!page) return 0;

    check(!plain.invalid, "a line that is not JSON is left to the general path");
    const std::size_t first = line.find_first_not_of(" \t\r\n");
    const std::size_t last = line.find_last_not_of(" \t\r\n");
    check(first != std::string_view::npos && line[first] == '{' && line[last] == '}', "a page is one object");
    check(page_id_is_well_formed(page->page_id), "the page id is empty, an int or a plain quoted string");

    std::vector<std::uint64_t> ids;
    for (const Element& e : page->elements) {
        check(!std::isnan(e.x1) && !std::isnan(e.y1) && !std::isnan(e.x2) && !std::isnan(e.y2), "no NaN corner");
        // Rounding to single precision keeps the order, but a finite double
        // past the float range becomes an infinity, as on the general path.
        check(e.x1 <= e.x2 && e.y1 <= e.y2, "corners are the right way round");
        const bool infinite = std::isinf(e.x1) || std::isinf(e.y1) || std::isinf(e.x2) || std::isinf(e.y2);
        check(!infinite || plain.beyond_float, "an infinite corner comes from a number past the float range");
        check(static_cast<std::uint8_t>(e.label) < kSemanticLabelCount, "a label is one of the table's");
        ids.push_back(e.id);
    }
    std::sort(ids.begin(), ids.end());
    check(std::adjacent_find(ids.begin(), ids.end()) == ids.end(), "ids are distinct");

    // The doubles had area; their floats may meet, never cross.
    const PageBounds& b = page->bounds;
    check(!std::isnan(b.x_min) && !std::isnan(b.y_min) && !std::isnan(b.x_max) && !std::isnan(b.y_max),
          "no NaN bound");
    check(b.x_max >= b.x_min && b.y_max >= b.y_min, "bounds are the right way round");
    const bool infinite = std::isinf(b.x_min) || std::isinf(b.y_min) || std::isinf(b.x_max) || std::isinf(b.y_max);
    check(!infinite || plain.beyond_float, "an infinite bound comes from a number past the float range");
    return 0;
}
