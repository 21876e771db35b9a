#include "paper/quintor/src/core/sort_by_position.hpp"

#include <algorithm>

#include "layout/float_conventions.hpp"
#include "paper/quintor/src/utils/scratch_arena.hpp"

namespace tarvello::paper {

std::int64_t position_key(float centre_x, float centre_y, float same_row_tolerance) {
    const auto row = static_cast<std::int64_t>(saturating_cast<std::int32_t>(centre_y / same_row_tolerance));
    return row * (std::int64_t{1} << 32) + static_cast<std::int64_t>(unsigned_total_order_key(centre_x));
}

void sort_position_keys(std::span<PositionKey> keys) {
    std::sort(keys.begin(), keys.end(), [](const PositionKey& a, const PositionKey& b) {
        return a.key != b.key ? a.key < b.key : a.index < b.index;
    });
}

void sort_by_position(std::span<Element> elements, float same_row_tolerance) {
    if (elements.size() < 2) return;
    ScratchVector<PositionKey> keys;
    keys.reserve(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        keys.push_back({position_key((e.x1 + e.x2) * 0.5f, (e.y1 + e.y2) * 0.5f, same_row_tolerance), i});
    }
    sort_position_keys(keys);
    ScratchVector<Element> sorted;
    sorted.reserve(elements.size());
    for (const PositionKey& k : keys) sorted.push_back(elements[k.index]);
    std::copy(sorted.begin(), sorted.end(), elements.begin());
}

}  // namespace tarvello::paper
