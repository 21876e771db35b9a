// The element behind an id: the first of one list that carries it, else the
// first of a second list. One flat table: indexed by the id itself when the
// ids are small (as when they count the elements), else probed linearly; an
// unordered_map would allocate a node per element.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>
#include <utility>

#include "layout/records.hpp"
#include "paper/quintor/src/utils/scratch_arena.hpp"

namespace tarvello::paper {

inline std::uint64_t max_id(std::span<const Element> first, std::span<const Element> then) {
    std::uint64_t max = 0;
    for (const Element& e : first) max = std::max(max, e.id);
    for (const Element& e : then) max = std::max(max, e.id);
    return max;
}

class FirstById {
public:
    FirstById(std::span<const Element> first, std::span<const Element> then) {
        const std::size_t count = first.size() + then.size();
        const std::uint64_t largest = max_id(first, then);
        // A direct table is no larger than a probed one, which is at most
        // half full so that probes stay short.
        direct_ = largest <= 2 * count;
        slots_.assign(direct_ ? largest + 1 : std::bit_ceil(2 * count + 2), nullptr);
        if (!direct_) shift_ = 64 - std::countr_zero(slots_.size());
        for (const Element& e : first) add(e);
        for (const Element& e : then) add(e);
    }

    const Element* find(std::uint64_t id) const {
        if (direct_) return id < slots_.size() ? slots_[id] : nullptr;
        for (std::size_t i = home(id);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i] == nullptr || slots_[i]->id == id) return slots_[i];
        }
    }

private:
    std::size_t home(std::uint64_t id) const {
        return static_cast<std::size_t>((id * 0x9E37'79B9'7F4A'7C15u) >> shift_);
    }

    // Keeps the element already there: the first with its id wins.
    void add(const Element& e) {
        if (direct_) {
            if (slots_[e.id] == nullptr) slots_[e.id] = &e;
            return;
        }
        for (std::size_t i = home(e.id);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i] == nullptr) {
                slots_[i] = &e;
                return;
            }
            if (slots_[i]->id == e.id) return;
        }
    }

    bool direct_;
    ScratchVector<const Element*> slots_;
    int shift_ = 0;
};

// True when no id occurs twice in the two lists, so that each element is the
// first with its id. Checked on a table of one bit per id; ids too large for
// one of at most 64 bits per element give false, as if some occurred twice.
inline bool ids_known_distinct(std::span<const Element> first, std::span<const Element> then) {
    const std::uint64_t largest = max_id(first, then);
    if (largest / 64 > first.size() + then.size()) return false;
    ScratchVector<std::uint64_t> seen(static_cast<std::size_t>(largest / 64) + 1, 0);
    const auto first_time = [&](std::uint64_t id) {
        std::uint64_t& word = seen[id / 64];
        const std::uint64_t bit = std::uint64_t{1} << (id % 64);
        return (std::exchange(word, word | bit) & bit) == 0;
    };
    return std::all_of(first.begin(), first.end(), [&](const Element& e) { return first_time(e.id); }) &&
           std::all_of(then.begin(), then.end(), [&](const Element& e) { return first_time(e.id); });
}

}  // namespace tarvello::paper
