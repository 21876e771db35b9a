// Checks of plain boxes and page rectangles, with the texts that say what is
// wrong. The extension puts the name of the field in front of them ("boxes[3]:
// ...") and raises them; the texts never name the field themselves.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "layout/records.hpp"

namespace tarvello::boxes {

// How a box's four numbers are given: corners, or COCO's corner and size.
enum class BoxFormat : std::uint8_t { xyxy = 0, xywh = 1 };

// Four numbers as given; after `to_corners`, left, top, right, bottom.
using Quad = std::array<double, 4>;

// What the four numbers of a box are called in messages, per format, and
// those of a page rectangle.
std::string_view number_names(BoxFormat format);
inline constexpr std::string_view kPageNumberNames = "x_min, y_min, x_max, y_max";

// A float as Python's format(value, "g") writes it: six significant digits,
// no trailing zeros, "inf", "-inf" and "nan".
std::string number_text(double value);

// "expected a finite number, got inf", or nothing for a finite number.
std::optional<std::string> number_problem(double value);

// "expected 4 numbers (x1, y1, x2, y2), got 3".
std::string count_problem(std::size_t count, std::string_view names);

// Turns a box's four finite numbers, given in `format`, into its corners in
// place. The text when the box is inverted (or, as x, y, width, height, has
// a negative side or an edge beyond the largest double); the numbers are
// then left as they were.
std::optional<std::string> to_corners(Quad& numbers, BoxFormat format);

// The text when a page rectangle of finite numbers has no area.
std::optional<std::string> page_bounds_problem(const Quad& bounds);

// The first problem of a box's numbers: the index of the number at fault (or
// none for the box as a whole) and the text.
struct BoxProblem {
    std::optional<std::size_t> number;
    std::string text;
};

// Checks a box's four numbers one after the other, then the box, and turns
// them into corners; the first problem found.
std::optional<BoxProblem> check_box(Quad& numbers, BoxFormat format);

// The page a set of boxes lies on when none is given: from the origin to the
// furthest corners, reaching below 0 where boxes do, and never without area.
Quad default_page_bounds(std::span<const Quad> corners);

// How a page is read. The engines read lines left to right and top to
// bottom; every other direction is mapped onto that before they run, by
// negating and exchanging coordinates only, so nothing is rounded:
//   rtl          mirrored left to right (Arabic, Hebrew, Persian, Urdu);
//   vertical_rl  turned a quarter so that each column is a line, the columns
//                right to left (Chinese, Japanese, Korean set vertically);
//   vertical_lr  the same with the columns left to right (Mongolian).
enum class Direction : std::uint8_t { ltr = 0, rtl = 1, vertical_rl = 2, vertical_lr = 3 };

// A box's or page rectangle's corners x1, y1, x2, y2 as the engines see
// them in `direction`. -x is written 0 - x, so that an edge at 0 stays +0 as
// on the page read left to right.
template <class Number>
std::array<Number, 4> to_reading_frame(const std::array<Number, 4>& corners, Direction direction) {
    const auto& [x1, y1, x2, y2] = corners;
    const Number zero = 0;
    switch (direction) {
        case Direction::ltr: return corners;
        case Direction::rtl: return {zero - x2, y1, zero - x1, y2};
        // (x, y) -> (y, -x): down a column is along a line, the rightmost
        // column the top line.
        case Direction::vertical_rl: return {y1, zero - x2, y2, zero - x1};
        // (x, y) -> (y, x): the leftmost column the top line.
        case Direction::vertical_lr: return {y1, x1, y2, x2};
    }
    return corners;
}

// On a page set vertically, a vertical headline plays the part a horizontal
// title plays on a horizontal page: the two title labels change places.
SemanticLabel to_reading_frame(SemanticLabel label, Direction direction);

// A whole page, elements and rectangle, as the engines see it in `direction`.
void to_reading_frame(std::vector<Element>& elements, PageBounds& bounds, Direction direction);

// The records the engines take; coordinates are rounded to single precision
// here, once.
Element make_element(std::uint64_t id, const Quad& corners, SemanticLabel label);
PageBounds make_page_bounds(const Quad& bounds);

}  // namespace tarvello::boxes
