// Boxes read in place from a two-dimensional block of numbers (n rows of 4),
// as the buffer protocol describes one: any strides, four item types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "boxes/box_checks.hpp"

namespace tarvello::boxes {

enum class ItemType : std::uint8_t { float32, float64, int32, int64 };

// The item type of a buffer format ("d", "<f", "=q", ...) of `item_size`
// bytes in the machine's own byte order; none for any other.
std::optional<ItemType> item_type(std::string_view format, std::size_t item_size);

// `rows` rows of four items; row r, column c is at data + r * row_stride +
// c * column_stride. Every such address must lie in the block.
struct StridedRows {
    const unsigned char* data = nullptr;
    std::size_t rows = 0;
    std::ptrdiff_t row_stride = 0;
    std::ptrdiff_t column_stride = 0;
    ItemType type = ItemType::float64;

    // The number as a double: exact for all but int64 beyond 2^53, which
    // rounds to nearest as Python's float() does.
    double at(std::size_t row, std::size_t column) const;
};

// Every row checked and turned into corners, or the first problem with its row.
struct RowProblem {
    std::size_t row;
    BoxProblem problem;
};
std::optional<RowProblem> read_rows(const StridedRows& rows, BoxFormat format, std::vector<Quad>& out);

}  // namespace tarvello::boxes
