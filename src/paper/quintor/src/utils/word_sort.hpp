// Ordering by a float edge: each edge becomes a 32-bit key packed over the
// item's position into one word, and the words are sorted, by radix from a
// few hundred on (three passes of 11 bits) and by std::sort below that.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "layout/float_conventions.hpp"

namespace tarvello::paper {

// Sorts words ascending, given that the positions under equal keys ascend in
// the input (as they do when they count up).
void sort_words(std::vector<std::uint64_t>& words, std::vector<std::uint64_t>& scratch);

// A key whose unsigned order is the float order, -0 and +0 alike.
inline std::uint32_t ascending_key(float value) {
    return unsigned_total_order_key(value == 0.0f ? 0.0f : value);
}

// Positions up to this fit under a key in one word.
inline constexpr std::size_t kMaxEdgeSortPositions = std::numeric_limits<std::uint32_t>::max();

// The word of an edge and a position; words sort by edge, then position.
inline std::uint64_t edge_word(float edge, std::size_t position) {
    return std::uint64_t{ascending_key(edge)} << 32 | position;
}

inline std::size_t position_in(std::uint64_t word) { return static_cast<std::size_t>(word & 0xFFFF'FFFFu); }

// The buffers an ordering works in, kept by callers that order many times.
template <class T>
struct SortBuffers {
    std::vector<std::uint64_t> words;
    std::vector<std::uint64_t> scratch;
    std::vector<T> items;
};

// Orders `items` by the edge `edge_of` gives each (no NaN), equal edges in
// their current order.
template <class T, class EdgeOf>
void sort_by_edge(std::span<T> items, const EdgeOf& edge_of, SortBuffers<T>& buffers) {
    const std::size_t n = items.size();
    if (n > kMaxEdgeSortPositions) {
        // Positions do not fit under the key.
        std::stable_sort(items.begin(), items.end(),
                         [&](const T& a, const T& b) { return ascending_key(edge_of(a)) < ascending_key(edge_of(b)); });
        return;
    }
    buffers.words.clear();
    buffers.words.reserve(n);
    for (std::size_t i = 0; i < n; ++i) buffers.words.push_back(edge_word(edge_of(items[i]), i));
    sort_words(buffers.words, buffers.scratch);
    buffers.items.assign(items.begin(), items.end());
    for (std::size_t i = 0; i < n; ++i) items[i] = buffers.items[position_in(buffers.words[i])];
}

}  // namespace tarvello::paper
