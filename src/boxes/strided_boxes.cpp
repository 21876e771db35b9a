#include "boxes/strided_boxes.hpp"

#include <bit>
#include <cstring>

namespace tarvello::boxes {

std::optional<ItemType> item_type(std::string_view format, std::size_t item_size) {
    // '@' and '=' are the native order, and so is '<' on a little-endian machine.
    if (!format.empty()) {
        const char order = format.front();
        const bool native = order == '@' || order == '=' || (order == '<' && std::endian::native == std::endian::little) ||
                            ((order == '>' || order == '!') && std::endian::native == std::endian::big);
        if (native) {
            format.remove_prefix(1);
        } else if (order == '<' || order == '>' || order == '!') {
            return std::nullopt;
        }
    }
    if (format.size() != 1) return std::nullopt;
    switch (format.front()) {
        case 'f': return item_size == 4 ? std::optional(ItemType::float32) : std::nullopt;
        case 'd': return item_size == 8 ? std::optional(ItemType::float64) : std::nullopt;
        case 'i':
        case 'l':
        case 'q':
            if (item_size == 4) return ItemType::int32;
            if (item_size == 8) return ItemType::int64;
            return std::nullopt;
        default: return std::nullopt;
    }
}

namespace {

template <class T>
double load(const unsigned char* address) {
    T value;
    std::memcpy(&value, address, sizeof value);  // strides need not be aligned
    return static_cast<double>(value);
}

}  // namespace

double StridedRows::at(std::size_t row, std::size_t column) const {
    const unsigned char* address = data + static_cast<std::ptrdiff_t>(row) * row_stride +
                                   static_cast<std::ptrdiff_t>(column) * column_stride;
    switch (type) {
        case ItemType::float32: return load<float>(address);
        case ItemType::float64: return load<double>(address);
        case ItemType::int32: return load<std::int32_t>(address);
        case ItemType::int64: return load<std::int64_t>(address);
    }
    return 0.0;
}

std::optional<RowProblem> read_rows(const StridedRows& rows, BoxFormat format, std::vector<Quad>& out) {
    out.clear();
    out.reserve(rows.rows);
    for (std::size_t row = 0; row < rows.rows; ++row) {
        Quad numbers{rows.at(row, 0), rows.at(row, 1), rows.at(row, 2), rows.at(row, 3)};
        if (auto problem = check_box(numbers, format)) return RowProblem{row, std::move(*problem)};
        out.push_back(numbers);
    }
    return std::nullopt;
}

}  // namespace tarvello::boxes
