// Radix sorting of packed words against std::sort: ties (which the positions
// under them order), digits all words share, and lengths either side of
// where the radix takes over.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "paper/quintor/src/utils/word_sort.hpp"

namespace tarvello::paper {
namespace {

TEST(WordSort, OrdersLikeStdSort) {
    std::mt19937 rng(5);
    ScratchVector<std::uint64_t> scratch;
    for (std::size_t round = 0; round < 300; ++round) {
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 3000)(rng);
        // Few keys (many ties), keys in one low digit, or any key.
        const std::uint32_t key_mask = std::array<std::uint32_t, 3>{0x7, 0x7FF, 0xFFFF'FFFF}[round % 3];
        const std::uint32_t key_base = round % 2 ? 0x8000'0000u : 0;
        ScratchVector<std::uint64_t> words(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t key = key_base | (static_cast<std::uint32_t>(rng()) & key_mask);
            words[i] = std::uint64_t{key} << 32 | i;
        }
        ScratchVector<std::uint64_t> expected = words;
        std::sort(expected.begin(), expected.end());
        sort_words(words, scratch);
        EXPECT_EQ(words, expected) << "round " << round << ", " << n << " words";
    }
}

}  // namespace
}  // namespace tarvello::paper
