#include "boxes/box_checks.hpp"

#include <cmath>
#include <cstdio>

#include "layout/float_conventions.hpp"

namespace tarvello::boxes {

std::string_view number_names(BoxFormat format) {
    return format == BoxFormat::xywh ? "x, y, width, height" : "x1, y1, x2, y2";
}

std::string number_text(double value) {
    // Python drops the sign of a NaN; printf would keep it.
    if (std::isnan(value)) return "nan";
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%g", value);
    return std::string(text, static_cast<std::size_t>(length));
}

std::optional<std::string> number_problem(double value) {
    if (std::isfinite(value)) return std::nullopt;
    return "expected a finite number, got " + number_text(value);
}

std::string count_problem(std::size_t count, std::string_view names) {
    return "expected 4 numbers (" + std::string(names) + "), got " + std::to_string(count);
}

namespace {

// "x2 (1) is less than x1 (5)"
std::string less_than(std::string_view name, double value, std::string_view other_name, double other) {
    return std::string(name) + " (" + number_text(value) + ") is less than " + std::string(other_name) + " (" +
           number_text(other) + ")";
}

// "x_max (0) must be greater than x_min (0)"
std::string not_greater(std::string_view name, double value, std::string_view other_name, double other) {
    return std::string(name) + " (" + number_text(value) + ") must be greater than " + std::string(other_name) +
           " (" + number_text(other) + ")";
}

// "x + width (1.79769e+308 + 1.79769e+308) is not a finite number"
std::string overflows(std::string_view name, double value, std::string_view other_name, double other) {
    return std::string(name) + " + " + std::string(other_name) + " (" + number_text(value) + " + " +
           number_text(other) + ") is not a finite number";
}

}  // namespace

std::optional<std::string> to_corners(Quad& numbers, BoxFormat format) {
    auto& [a, b, c, d] = numbers;
    if (format == BoxFormat::xywh) {
        if (c < 0) return less_than("width", c, "0", 0.0);
        if (d < 0) return less_than("height", d, "0", 0.0);
        // Two finite numbers near the top of the double range add up to inf,
        // which would reach the engines as an edge at infinity.
        const double right = a + c;
        const double bottom = b + d;
        if (!std::isfinite(right)) return overflows("x", a, "width", c);
        if (!std::isfinite(bottom)) return overflows("y", b, "height", d);
        c = right;
        d = bottom;
        return std::nullopt;
    }
    // Both engines read x1/y1 as the left/top edge; an inverted box is a
    // detector or conversion bug that would be ordered by a negative width.
    if (c < a) return less_than("x2", c, "x1", a);
    if (d < b) return less_than("y2", d, "y1", b);
    return std::nullopt;
}

std::optional<std::string> page_bounds_problem(const Quad& bounds) {
    // The paper engine answers a page without area with an empty order, which
    // would look like a page without elements; say so instead.
    if (!(bounds[2] > bounds[0])) return not_greater("x_max", bounds[2], "x_min", bounds[0]);
    if (!(bounds[3] > bounds[1])) return not_greater("y_max", bounds[3], "y_min", bounds[1]);
    return std::nullopt;
}

std::optional<BoxProblem> check_box(Quad& numbers, BoxFormat format) {
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        if (auto text = number_problem(numbers[k])) return BoxProblem{k, std::move(*text)};
    }
    if (auto text = to_corners(numbers, format)) return BoxProblem{std::nullopt, std::move(*text)};
    return std::nullopt;
}

Quad default_page_bounds(std::span<const Quad> corners) {
    // Folded as Python's min and max do: a later value replaces the kept one
    // only when strictly beyond it.
    double x_min = 0.0;
    double y_min = 0.0;
    for (const Quad& box : corners) {
        if (box[0] < x_min) x_min = box[0];
        if (box[1] < y_min) y_min = box[1];
    }
    double x_max = x_min;
    double y_max = y_min;
    for (const Quad& box : corners) {
        if (box[2] > x_max) x_max = box[2];
        if (box[3] > y_max) y_max = box[3];
    }
    // Boxes of no width or height at the origin still make a page.
    const double right = x_min + 1.0;
    const double bottom = y_min + 1.0;
    return {x_min, y_min, right > x_max ? right : x_max, bottom > y_max ? bottom : y_max};
}

SemanticLabel to_reading_frame(SemanticLabel label, Direction direction) {
    if (direction != Direction::vertical_rl && direction != Direction::vertical_lr) return label;
    if (label == SemanticLabel::HorizontalTitle) return SemanticLabel::VerticalTitle;
    if (label == SemanticLabel::VerticalTitle) return SemanticLabel::HorizontalTitle;
    return label;
}

void to_reading_frame(std::vector<Element>& elements, PageBounds& bounds, Direction direction) {
    if (direction == Direction::ltr) return;
    for (Element& element : elements) {
        const auto [x1, y1, x2, y2] =
            to_reading_frame(std::array{element.x1, element.y1, element.x2, element.y2}, direction);
        element = Element{element.id, x1, y1, x2, y2, to_reading_frame(element.label, direction)};
    }
    const auto [x_min, y_min, x_max, y_max] =
        to_reading_frame(std::array{bounds.x_min, bounds.y_min, bounds.x_max, bounds.y_max}, direction);
    bounds = PageBounds{x_min, y_min, x_max, y_max};
}

Element make_element(std::uint64_t id, const Quad& corners, SemanticLabel label) {
    return Element{id, round_to_single(corners[0]), round_to_single(corners[1]), round_to_single(corners[2]),
                   round_to_single(corners[3]), label};
}

PageBounds make_page_bounds(const Quad& bounds) {
    return PageBounds{round_to_single(bounds[0]), round_to_single(bounds[1]), round_to_single(bounds[2]),
                      round_to_single(bounds[3])};
}

}  // namespace tarvello::boxes
