// Ordering by a float edge: each edge becomes a 32-bit key packed over the
// item's position into one word, and the words are sorted, by radix from a
// few hundred on (three passes of 11 bits) and by std::sort below that.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "layout/float_conventions.hpp"
#include "paper/quintor/src/utils/scratch_arena.hpp"

namespace tarvello::paper {

// Sorts words ascending, given that the positions under equal keys ascend in
// the input (as they do when they count up).
void sort_words(ScratchVector<std::uint64_t>& words, ScratchVector<std::uint64_t>& scratch);

// A key whose unsigned order is the float order, -0 and +0 alike.
inline std::uint32_t ascending_key(float value) {
    return unsigned_total_order_key(value == 0.0f ? 0.0f : value);
}

// The buffers an ordering works in, kept by callers that order many times.
struct SortBuffers {
    ScratchVector<std::uint64_t> words;
    ScratchVector<std::uint64_t> scratch;
};

// Calls `take(i)` for the positions i = 0 .. n - 1 in ascending order of
// `edge_of(i)`, equal edges in position order (a NaN edge sorts past the
// infinity of its sign). Callers gather what they sort from where it lies,
// with no copy of it to sort.
template <class EdgeOf, class Take>
void for_each_by_edge(std::size_t n, const EdgeOf& edge_of, const Take& take, SortBuffers& buffers) {
    if (n > std::numeric_limits<std::uint32_t>::max()) {
        // Positions do not fit under the key in one word.
        ScratchVector<std::size_t> order(n);
        for (std::size_t i = 0; i < n; ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return ascending_key(edge_of(a)) < ascending_key(edge_of(b));
        });
        for (const std::size_t i : order) take(i);
        return;
    }
    buffers.words.clear();
    buffers.words.reserve(n);
    for (std::size_t i = 0; i < n; ++i) buffers.words.push_back(std::uint64_t{ascending_key(edge_of(i))} << 32 | i);
    sort_words(buffers.words, buffers.scratch);
    for (const std::uint64_t w : buffers.words) take(static_cast<std::size_t>(w & 0xFFFF'FFFFu));
}

}  // namespace tarvello::paper
