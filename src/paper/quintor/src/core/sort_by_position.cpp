#include "paper/quintor/src/core/sort_by_position.hpp"

#include <algorithm>
#include <vector>

#include "layout/float_conventions.hpp"

namespace tarvello::paper {

std::int32_t position_row(const Element& element, float same_row_tolerance) {
    const float centre_y = (element.y1 + element.y2) * 0.5f;
    return saturating_cast<std::int32_t>(centre_y / same_row_tolerance);
}

void sort_by_position(std::span<Element> elements, float same_row_tolerance) {
    if (elements.size() < 2) return;
    // Row and centre x packed into one integer key; the input index as the
    // last key makes a plain sort stable.
    struct Keyed {
        std::int64_t key;
        std::size_t index;
    };
    std::vector<Keyed> keys;
    keys.reserve(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        const auto row = static_cast<std::int64_t>(position_row(e, same_row_tolerance));
        const std::int32_t x_key = total_order_key((e.x1 + e.x2) * 0.5f);
        // Row in the high half, x key shifted to unsigned order in the low half.
        const auto low = static_cast<std::int64_t>(static_cast<std::uint32_t>(x_key) ^ 0x8000'0000u);
        keys.push_back({row * (std::int64_t{1} << 32) + low, i});
    }
    std::sort(keys.begin(), keys.end(), [](const Keyed& a, const Keyed& b) {
        return a.key != b.key ? a.key < b.key : a.index < b.index;
    });
    std::vector<Element> sorted;
    sorted.reserve(elements.size());
    for (const Keyed& k : keys) sorted.push_back(elements[k.index]);
    std::copy(sorted.begin(), sorted.end(), elements.begin());
}

}  // namespace tarvello::paper
