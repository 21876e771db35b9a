// Sorting of 64-bit words that pack a 32-bit key over a position: the way
// the engine orders boxes by an edge. Long lists go by radix on the key, in
// three passes of 11 bits, which beats comparison sorting from a few hundred
// words on; short ones by std::sort. Both give the words in ascending order
// when the positions below equal keys ascend in the input, as they do when
// they count up.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvello::paper {

void sort_words(std::vector<std::uint64_t>& words, std::vector<std::uint64_t>& scratch);

}  // namespace tarvello::paper
