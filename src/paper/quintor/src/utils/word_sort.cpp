#include "paper/quintor/src/utils/word_sort.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

namespace tarvello::paper {
namespace {

constexpr std::size_t kRadixFrom = 512;
constexpr int kDigitBits = 11;
constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;

}  // namespace

void sort_words(ScratchVector<std::uint64_t>& words, ScratchVector<std::uint64_t>& scratch) {
    const std::size_t n = words.size();
    if (n < kRadixFrom) {
        std::sort(words.begin(), words.end());
        return;
    }
    scratch.resize(n);
    std::array<std::size_t, kBuckets> offsets;
    // Least significant digit first; each pass is stable, so the input order
    // (the positions) breaks ties.
    for (int shift = 32; shift < 64; shift += kDigitBits) {
        offsets.fill(0);
        for (const std::uint64_t w : words) ++offsets[(w >> shift) & (kBuckets - 1)];
        // A digit that all words share moves nothing.
        if (std::find(offsets.begin(), offsets.end(), n) != offsets.end()) continue;
        std::size_t start = 0;
        for (std::size_t& offset : offsets) start += std::exchange(offset, start);
        for (const std::uint64_t w : words) scratch[offsets[(w >> shift) & (kBuckets - 1)]++] = w;
        words.swap(scratch);
    }
}

}  // namespace tarvello::paper
