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

// The records the engines take; coordinates are rounded to single precision
// here, once.
Element make_element(std::uint64_t id, const Quad& corners, SemanticLabel label);
PageBounds make_page_bounds(const Quad& bounds);

}  // namespace tarvello::boxes
