#include "paper/quintor/src/utils/overlap_index.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>

#include "paper/quintor/src/utils/word_sort.hpp"

namespace tarvello::paper {
namespace {

// Boxes per leaf of the tree: a short run is scanned faster than descended.
constexpr std::size_t kRunLength = 8;

bool has_nan(const Element& e) {
    return std::isnan(e.x1) || std::isnan(e.y1) || std::isnan(e.x2) || std::isnan(e.y2);
}

}  // namespace

OverlapIndex::OverlapIndex(std::span<const Element> elements) {
    // Every coordinate enters one strict comparison of the overlap test, so an
    // element with a NaN overlaps nothing and can stay out of the index.
    SortBuffers buffers;
    by_top_.reserve(elements.size());
    for_each_by_edge(
        elements.size(), [&](std::size_t i) { return elements[i].y1; },
        [&](std::size_t i) {
            const Element& e = elements[i];
            if (!has_nan(e)) by_top_.push_back({e.id, e.x1, e.y1, e.x2, e.y2});
        },
        buffers);
    const std::size_t runs = (by_top_.size() + kRunLength - 1) / kRunLength;
    leaf_base_ = std::bit_ceil(std::max<std::size_t>(runs, 1));
    max_bottom_.assign(2 * leaf_base_, -std::numeric_limits<float>::infinity());
    for (std::size_t i = 0; i < by_top_.size(); ++i) {
        float& leaf = max_bottom_[leaf_base_ + i / kRunLength];
        leaf = std::max(leaf, by_top_[i].y2);
    }
    for (std::size_t node = leaf_base_ - 1; node >= 1; --node) {
        max_bottom_[node] = std::max(max_bottom_[2 * node], max_bottom_[2 * node + 1]);
    }
}

std::size_t OverlapIndex::count_overlaps(const Element& e, std::size_t limit) const {
    if (has_nan(e) || limit == 0) return 0;
    // Candidates start above e's bottom: a prefix of the top-sorted list.
    const auto prefix_end = static_cast<std::size_t>(
        std::partition_point(by_top_.begin(), by_top_.end(), [&](const Box& f) { return f.y1 < e.y2; }) -
        by_top_.begin());
    std::size_t count = 0;
    struct Visit {
        std::size_t node;
        std::size_t first;  // of the node's runs
        std::size_t width;  // in runs
    };
    // Depth first: at most one waiting sibling per level.
    std::array<Visit, std::numeric_limits<std::size_t>::digits + 1> stack;
    std::size_t waiting = 0;
    stack[waiting++] = {1, 0, leaf_base_};
    while (waiting != 0) {
        const Visit v = stack[--waiting];
        // Only subtrees inside the prefix that reach below e's top can overlap.
        if (v.first * kRunLength >= prefix_end || !(max_bottom_[v.node] > e.y1)) continue;
        if (v.width == 1) {
            const std::size_t end = std::min(prefix_end, (v.first + 1) * kRunLength);
            for (std::size_t i = v.first * kRunLength; i < end; ++i) {
                if (overlaps(e, by_top_[i]) && ++count == limit) {
                    return count;
                }
            }
            continue;
        }
        const std::size_t half = v.width / 2;
        stack[waiting++] = {2 * v.node + 1, v.first + half, half};
        stack[waiting++] = {2 * v.node, v.first, half};
    }
    return count;
}

}  // namespace tarvello::paper
