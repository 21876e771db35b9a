// The native box reader on arbitrary blocks: any item type (and format
// strings it must refuse), any strides (negative, zero, unaligned) and raw
// numbers. It reports the first bad row as a plain reading of the block
// finds it, or gives every row as finite corners the right way round; those
// boxes then come back from both engines, each id exactly once.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "boxes/box_checks.hpp"
#include "boxes/engine.hpp"
#include "boxes/strided_boxes.hpp"
#include "fuzz_input.hpp"
#include "support/global_recorder.hpp"

using namespace tarvello;
using boxes::ItemType;
using boxes::Quad;

namespace {

constexpr std::size_t kMaxBlock = 64 * 1024;

std::size_t size_of(ItemType type) {
    return type == ItemType::float32 || type == ItemType::int32 ? 4 : 8;
}

// What item_type must answer, written out as a table of the accepted pairs.
std::optional<ItemType> expected_type(const std::string& format, std::size_t item_size) {
    std::string code = format;
    const bool little = std::endian::native == std::endian::little;
    if (!code.empty() && (code[0] == '@' || code[0] == '=' || (code[0] == '<' && little) ||
                          ((code[0] == '>' || code[0] == '!') && !little))) {
        code.erase(0, 1);
    }
    if (code == "f" && item_size == 4) return ItemType::float32;
    if (code == "d" && item_size == 8) return ItemType::float64;
    if (code == "i" || code == "l" || code == "q") {
        if (item_size == 4) return ItemType::int32;
        if (item_size == 8) return ItemType::int64;
    }
    return std::nullopt;
}

std::optional<ItemType> consume_type(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) return static_cast<ItemType>(input.ConsumeIntegralInRange<int>(0, 3));
    // Mostly the characters formats are made of, so that near misses are common.
    static constexpr std::string_view alphabet = "@=<>!fdilqbhIQLe2";
    std::string format;
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 3);
    for (std::size_t k = 0; k < length; ++k) {
        format += input.ConsumeBool() ? alphabet[input.ConsumeIntegralInRange<std::size_t>(0, alphabet.size() - 1)]
                                      : input.ConsumeIntegral<char>();
    }
    const std::size_t item_size = input.ConsumeIntegralInRange<std::size_t>(0, 16);
    const std::optional<ItemType> type = boxes::item_type(format, item_size);
    fuzzing::check(type == expected_type(format, item_size), "item_type takes exactly the native formats");
    return type;
}

template <class T, std::size_t N>
T pick(FuzzedDataProvider& input, const std::array<T, N>& table) {
    return table[input.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
}

template <class T>
void store(unsigned char* address, T value) {
    std::memcpy(address, &value, sizeof value);
}

// Writes one number of the block's type at `address`: a coordinate of an
// ordinary page, a value from the table of awkward ones, or raw bits.
void put_number(unsigned char* address, ItemType type, FuzzedDataProvider& input, std::int64_t ordinary) {
    constexpr float inf32 = std::numeric_limits<float>::infinity();
    constexpr double inf64 = std::numeric_limits<double>::infinity();
    using f32 = std::numeric_limits<float>;
    using f64 = std::numeric_limits<double>;
    static constexpr std::array<float, 9> awkward32 = {
        -0.0f, f32::quiet_NaN(), inf32, -inf32, f32::denorm_min(), f32::max(), f32::lowest(), 0.5f, 16777217.0f};
    // Also the doubles that round to an infinite float, or just not.
    static constexpr std::array<double, 11> awkward64 = {
        -0.0,   f64::quiet_NaN(), inf64,          -inf64,         f64::denorm_min(), f64::max(), f64::lowest(),
        1e300, 3.5e38,           0x1.fffffefp127, 9007199254740993.0};
    static constexpr std::array<std::int64_t, 7> awkward_int = {
        std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(),
        std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
        (std::int64_t{1} << 53) + 1,             -(std::int64_t{1} << 53) - 1,
        0};
    const int source = input.ConsumeIntegralInRange<int>(0, 3);
    if (source == 0) {
        const auto bits = input.ConsumeIntegral<std::uint64_t>();
        std::memcpy(address, &bits, size_of(type));  // either end of it, raw all the same
        return;
    }
    const bool awkward = source == 1;
    switch (type) {
        case ItemType::float32: return store(address, awkward ? pick(input, awkward32) : static_cast<float>(ordinary));
        case ItemType::float64: return store(address, awkward ? pick(input, awkward64) : static_cast<double>(ordinary));
        case ItemType::int32:  // out of range wraps
            return store(address, static_cast<std::int32_t>(awkward ? pick(input, awkward_int) : ordinary));
        case ItemType::int64: return store(address, awkward ? pick(input, awkward_int) : ordinary);
    }
}

// The number at `address`, read as plainly as possible.
template <class T>
double plain(const unsigned char* address) {
    T value;
    std::memcpy(&value, address, sizeof value);
    return static_cast<double>(value);
}

double read_number(const unsigned char* address, ItemType type) {
    switch (type) {
        case ItemType::float32: return plain<float>(address);
        case ItemType::float64: return plain<double>(address);
        case ItemType::int32: return plain<std::int32_t>(address);
        case ItemType::int64: return plain<std::int64_t>(address);
    }
    return 0.0;
}

bool same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    testing::global_recorder();
    testing::take_records();

    const std::optional<ItemType> type = consume_type(input);
    if (!type) return 0;
    const std::size_t item = size_of(*type);
    const auto format = input.ConsumeBool() ? boxes::BoxFormat::xywh : boxes::BoxFormat::xyxy;
    std::size_t rows = input.ConsumeIntegralInRange<std::size_t>(0, fuzzing::kMaxElements);

    // Strides as arrays have them (C order, Fortran order, reversed rows,
    // broadcast rows), as multiples of the item, or any byte count at all.
    const auto natural = static_cast<std::ptrdiff_t>(item);
    std::ptrdiff_t row_stride = 0;
    std::ptrdiff_t column_stride = 0;
    switch (input.ConsumeIntegralInRange<int>(0, 5)) {
        case 0: row_stride = 4 * natural, column_stride = natural; break;
        case 1: row_stride = natural, column_stride = static_cast<std::ptrdiff_t>(rows) * natural; break;
        case 2: row_stride = -4 * natural, column_stride = natural; break;
        case 3: row_stride = 0, column_stride = input.ConsumeIntegralInRange<std::ptrdiff_t>(-1, 1) * natural; break;
        case 4:
            row_stride = input.ConsumeIntegralInRange<std::ptrdiff_t>(-16, 16) * natural;
            column_stride = input.ConsumeIntegralInRange<std::ptrdiff_t>(-16, 16) * natural;
            break;
        default:
            row_stride = input.ConsumeIntegralInRange<std::ptrdiff_t>(-1024, 1024);
            column_stride = input.ConsumeIntegralInRange<std::ptrdiff_t>(-1024, 1024);
            break;
    }
    // Fewer rows when the block would outgrow its bound; the columns alone
    // always fit (at most 3 * 2400 + 8 bytes).
    const auto reach = static_cast<std::size_t>(std::abs(row_stride));
    const std::size_t columns_span = 3 * static_cast<std::size_t>(std::abs(column_stride)) + item;
    if (rows > 1 && reach > 0) rows = std::min(rows, (kMaxBlock - columns_span) / reach + 1);
    const auto last_row = static_cast<std::ptrdiff_t>(rows > 0 ? rows - 1 : 0);
    const std::ptrdiff_t zero = 0;
    const std::ptrdiff_t low = last_row * std::min(row_stride, zero) + 3 * std::min(column_stride, zero);
    const std::ptrdiff_t high = last_row * std::max(row_stride, zero) + 3 * std::max(column_stride, zero) + natural;
    // The base moves off the allocation's alignment too.
    const auto shift = input.ConsumeIntegralInRange<std::ptrdiff_t>(0, 7);
    std::vector<unsigned char> block(static_cast<std::size_t>(high - low + shift));
    unsigned char* const base = block.data() + shift - low;
    const auto address = [&](std::size_t row, std::size_t column) {
        return base + static_cast<std::ptrdiff_t>(row) * row_stride +
               static_cast<std::ptrdiff_t>(column) * column_stride;
    };

    // Raw bytes first (zero bytes are a valid box), as many as the input
    // chooses so that some are left; then numbers written cell by cell, later
    // cells overwriting earlier ones that share their bytes.
    const std::size_t raw = input.ConsumeIntegralInRange<std::size_t>(0, block.size());
    const std::vector<std::uint8_t> fill = input.ConsumeBytes<std::uint8_t>(raw);
    std::copy(fill.begin(), fill.end(), block.begin());
    for (std::size_t row = 0; row < rows && input.remaining_bytes() > 0; ++row) {
        if (input.ConsumeBool()) continue;
        const std::int64_t x = input.ConsumeIntegralInRange<std::int64_t>(-20, 800);
        const std::int64_t y = input.ConsumeIntegralInRange<std::int64_t>(-20, 800);
        const std::int64_t w = input.ConsumeIntegralInRange<std::int64_t>(0, 300);
        const std::int64_t h = input.ConsumeIntegralInRange<std::int64_t>(0, 300);
        const bool sizes = format == boxes::BoxFormat::xywh;
        const std::array<std::int64_t, 4> ordinary = {x, y, sizes ? w : x + w, sizes ? h : y + h};
        for (std::size_t column = 0; column < 4; ++column) {
            put_number(address(row, column), *type, input, ordinary[column]);
        }
    }

    const boxes::StridedRows strided{base, rows, row_stride, column_stride, *type};
    std::vector<Quad> corners;
    const std::optional<boxes::RowProblem> problem = boxes::read_rows(strided, format, corners);

    // The plain reading: the first row with a number that is not finite, or
    // whose box is inverted, is the one at fault.
    std::optional<std::size_t> bad_row;
    std::optional<std::size_t> bad_number;
    std::vector<Quad> expected;
    for (std::size_t row = 0; row < rows && !bad_row; ++row) {
        Quad numbers;
        for (std::size_t column = 0; column < 4; ++column) numbers[column] = read_number(address(row, column), *type);
        fuzzing::check(same(strided.at(row, 0), numbers[0]) && same(strided.at(row, 3), numbers[3]),
                       "at() reads the number stored there");
        for (std::size_t column = 0; column < 4 && !bad_row; ++column) {
            if (!std::isfinite(numbers[column])) bad_row = row, bad_number = column;
        }
        if (bad_row) break;
        if (format == boxes::BoxFormat::xywh) {
            if (numbers[2] < 0 || numbers[3] < 0) bad_row = row;
            numbers[2] += numbers[0];
            numbers[3] += numbers[1];
            // A finite corner and size may still overflow to an infinite edge.
            if (!std::isfinite(numbers[2]) || !std::isfinite(numbers[3])) bad_row = row;
        } else if (numbers[2] < numbers[0] || numbers[3] < numbers[1]) {
            bad_row = row;
        }
        expected.push_back(numbers);
    }

    if (problem) {
        fuzzing::check(problem->row < rows, "the row at fault is one of the rows");
        fuzzing::check(!problem->problem.number || *problem->problem.number < 4, "the number at fault is one of four");
        fuzzing::check(!problem->problem.text.empty(), "a problem says what is wrong");
        fuzzing::check(bad_row == problem->row, "the first bad row is reported");
        fuzzing::check(bad_number == problem->problem.number, "the first non-finite number is named");
        return 0;
    }
    fuzzing::check(!bad_row, "a bad row is reported");
    fuzzing::check(corners.size() == rows, "every row is read");
    for (std::size_t row = 0; row < rows; ++row) {
        const Quad& box = corners[row];
        fuzzing::check(std::all_of(box.begin(), box.end(), [](double v) { return std::isfinite(v); }),
                       "corners are finite");
        fuzzing::check(box[0] <= box[2] && box[1] <= box[3], "corners are the right way round");
        fuzzing::check(std::equal(box.begin(), box.end(), expected[row].begin(), same), "corners are the numbers read");
    }

    std::vector<Element> elements;
    for (std::size_t row = 0; row < rows; ++row) {
        const auto code = input.ConsumeIntegralInRange<std::uint8_t>(0, kSemanticLabelCount - 1);
        elements.push_back(boxes::make_element(row, corners[row], static_cast<SemanticLabel>(code)));
    }
    const PageBounds bounds = boxes::make_page_bounds(boxes::default_page_bounds(corners));
    // The paper engine refuses the page only when single precision has no
    // room for it: the default bounds of finite boxes may round to an
    // infinite edge, or an edge so far out that the side rounds to 0 or inf.
    const float width = bounds.x_max - bounds.x_min;
    const float height = bounds.y_max - bounds.y_min;
    const bool usable = std::isfinite(width) && width > 0.0f && std::isfinite(height) && height > 0.0f;
    ReadingOrder all(rows);
    for (std::size_t row = 0; row < rows; ++row) all[row] = row;
    for (const auto engine : {boxes::Engine::paper, boxes::Engine::ostrel}) {
        ReadingOrder order = boxes::order_page(engine, elements, bounds, std::nullopt);
        testing::take_records();
        if (engine == boxes::Engine::paper && !usable && rows > 0) {
            fuzzing::check(order.empty(), "a page single precision cannot hold gives an empty order");
            continue;
        }
        std::sort(order.begin(), order.end());
        fuzzing::check(order == all, "every id comes back exactly once");
    }
    return 0;
}
