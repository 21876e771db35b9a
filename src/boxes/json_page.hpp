// A page of the command line's JSON format read straight from one line of
// JSON Lines, with no Python object made on the way.
//
// Only the plain form is read: a line with anything else (a string with an
// escape or a byte outside printable ASCII, a repeated field, NaN, a number
// that is not a plain double or id, nesting deeper than 64, or anything the
// page's checks refuse) is left to the general path, which reads it through
// Python's json and words its error. So a page read here orders exactly as
// the general path orders it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "boxes/label_names.hpp"
#include "layout/records.hpp"

namespace tarvello::boxes {

struct JsonPage {
    std::vector<Element> elements;
    PageBounds bounds;
    std::string page_id;  // as the output writes it ("\"p1\"", "7"); empty when the page has none
};

std::optional<JsonPage> read_json_page(std::string_view line, const LabelNames& labels);

}  // namespace tarvello::boxes
