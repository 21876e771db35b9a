#include "paper/quintor/src/utils/scratch_arena.hpp"

#include <algorithm>
#include <functional>

#ifdef TARVELLO_SCRATCH_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace tarvello::paper {
namespace {

#ifdef TARVELLO_SCRATCH_ASAN
// Under the address sanitizer what the arena has not lent out is poisoned,
// and a gap follows each allocation, so that reads past an end or after a
// scope are caught as they would be on the heap.
constexpr std::size_t kGap = ScratchArena::kAlign;
void poison(const void* p, std::size_t bytes) { ASAN_POISON_MEMORY_REGION(p, bytes); }
void unpoison(const void* p, std::size_t bytes) { ASAN_UNPOISON_MEMORY_REGION(p, bytes); }
#else
constexpr std::size_t kGap = 0;
void poison(const void*, std::size_t) {}
void unpoison(const void*, std::size_t) {}
#endif

constexpr std::size_t kMaxSize = std::numeric_limits<std::size_t>::max();

// The room an allocation of `bytes` took in its chunk: even an empty one
// gets an address of its own.
std::size_t room_of(std::size_t bytes) noexcept {
    const std::size_t units = bytes == 0 ? 1 : (bytes + ScratchArena::kAlign - 1) / ScratchArena::kAlign;
    return units * ScratchArena::kAlign + kGap;
}

}  // namespace

ScratchArena& ScratchArena::of_this_thread() {
    thread_local ScratchArena arena;
    return arena;
}

ScratchArena::~ScratchArena() { release_from(0); }

void* ScratchArena::allocate(std::size_t bytes) {
    if (depth_ == 0) return ::operator new(bytes);
    if (bytes > kMaxSize - kAlign - kGap) throw std::bad_alloc();
    const std::size_t need = room_of(bytes);
    if (need > static_cast<std::size_t>(end_ - top_)) return allocate_in_next_chunk(need, bytes);
    std::byte* const p = top_;
    top_ += need;
    high_water_ = std::max(high_water_, below_ + static_cast<std::size_t>(top_ - chunks_[current_].begin));
    unpoison(p, bytes);
    return p;
}

void* ScratchArena::allocate_in_next_chunk(std::size_t need, std::size_t bytes) {
    // The chunks after the current one hold nothing: the next is taken if it
    // is large enough, else it and those after it make way for a larger one.
    const std::size_t next = chunks_.empty() ? 0 : current_ + 1;
    if (next == chunks_.size() || chunks_[next].size < need) {
        release_from(next);
        const std::size_t last = chunks_.empty() ? 0 : chunks_.back().size;
        const std::size_t size = std::max({need, first_chunk_, std::min(last, kMaxSize / 2) * 2});
        chunks_.reserve(chunks_.size() + 1);  // so that the chunk cannot leak
        const Chunk chunk{static_cast<std::byte*>(::operator new(size, std::align_val_t{kAlign})), size};
        poison(chunk.begin, size);
        chunks_.push_back(chunk);
    }
    move_to(next, 0);
    return allocate(bytes);
}

void ScratchArena::deallocate(void* p, std::size_t bytes) noexcept {
    if (p == nullptr) return;
    if (!owns(p)) {
        ::operator delete(p);
        return;
    }
    poison(p, bytes);
    auto* const q = static_cast<std::byte*>(p);
    if (q + room_of(bytes) == top_) top_ = q;
}

std::size_t ScratchArena::retained_bytes() const noexcept {
    std::size_t total = 0;
    for (const Chunk& c : chunks_) total += c.size;
    return total;
}

ScratchArena::Mark ScratchArena::enter() noexcept {
    if (depth_++ == 0) high_water_ = 0;
    if (chunks_.empty()) return {0, 0};
    return {current_, static_cast<std::size_t>(top_ - chunks_[current_].begin)};
}

void ScratchArena::leave(const Mark& mark) noexcept {
    if (!chunks_.empty()) {
        for (std::size_t c = mark.chunk + 1; c < chunks_.size(); ++c) poison(chunks_[c].begin, chunks_[c].size);
        move_to(mark.chunk, mark.used);
        poison(top_, static_cast<std::size_t>(end_ - top_));
    }
    if (--depth_ > 0) return;
    // The next call starts with one chunk as large as this one needed, so
    // that it allocates nothing more, unless that is more than is kept.
    if (chunks_.size() > 1 || high_water_ > kRetainedLimit) {
        release_from(0);
        first_chunk_ = high_water_ <= kRetainedLimit ? std::max(kFirstChunk, high_water_) : kFirstChunk;
    }
}

void ScratchArena::move_to(std::size_t chunk, std::size_t used) noexcept {
    current_ = chunk;
    below_ = 0;
    for (std::size_t c = 0; c < chunk; ++c) below_ += chunks_[c].size;
    top_ = chunks_[chunk].begin + used;
    end_ = chunks_[chunk].begin + chunks_[chunk].size;
}

bool ScratchArena::owns(const void* p) const noexcept {
    const auto* const q = static_cast<const std::byte*>(p);
    return std::any_of(chunks_.begin(), chunks_.end(), [&](const Chunk& c) {
        return std::greater_equal<const std::byte*>{}(q, c.begin) && std::less<const std::byte*>{}(q, c.begin + c.size);
    });
}

void ScratchArena::release_from(std::size_t chunk) noexcept {
    for (std::size_t c = chunk; c < chunks_.size(); ++c) {
        unpoison(chunks_[c].begin, chunks_[c].size);
        ::operator delete(chunks_[c].begin, std::align_val_t{kAlign});
    }
    chunks_.resize(chunk);
    if (chunks_.empty()) {
        current_ = below_ = 0;
        top_ = end_ = nullptr;
    }
}

}  // namespace tarvello::paper
