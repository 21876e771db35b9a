// Working memory of the engine's stages. While a scope is open, the thread's
// arena hands out memory from chunks it keeps from call to call and takes all
// of it back when the scope closes. Large pages thus reuse the memory of the
// previous call instead of having the system map it afresh, page by page;
// small ones skip the heap's bookkeeping.
#pragma once

#include <cstddef>
#include <limits>
#include <new>
#include <vector>

// Under the address sanitizer the arena poisons what it has not lent out.
#if defined(__SANITIZE_ADDRESS__)
#define TARVELLO_SCRATCH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVELLO_SCRATCH_ASAN 1
#endif
#endif

namespace tarvello::paper {

class ScratchArena {
public:
    static constexpr std::size_t kAlign = 16;
    // The chunk a thread starts with.
    static constexpr std::size_t kFirstChunk = std::size_t{64} << 10;
    // More than this is given back when the outermost scope closes.
    static constexpr std::size_t kRetainedLimit = std::size_t{32} << 20;

    static ScratchArena& of_this_thread();

    ScratchArena() = default;
    ScratchArena(const ScratchArena&) = delete;
    ScratchArena& operator=(const ScratchArena&) = delete;
    ~ScratchArena();

    // From the arena inside a scope, from the heap outside any.
    void* allocate(std::size_t bytes);
    // Memory from the arena comes back when its scope closes, or at once if
    // it was the last handed out.
    void deallocate(void* p, std::size_t bytes) noexcept;

    // What the arena keeps for the next scope.
    std::size_t retained_bytes() const noexcept;

private:
    friend class ScratchScope;
    struct Chunk {
        std::byte* begin;
        std::size_t size;
    };
    struct Mark {
        std::size_t chunk;
        std::size_t used;
    };

    Mark enter() noexcept;
    void leave(const Mark& mark) noexcept;
    void* allocate_in_next_chunk(std::size_t need, std::size_t bytes);
    void move_to(std::size_t chunk, std::size_t used) noexcept;
    bool owns(const void* p) const noexcept;
    void release_from(std::size_t chunk) noexcept;

    std::vector<Chunk> chunks_;
    std::size_t current_ = 0;
    std::byte* top_ = nullptr;
    std::byte* end_ = nullptr;
    std::size_t below_ = 0;      // bytes of the chunks before the current one
    std::size_t high_water_ = 0;  // most bytes in use since the outermost scope opened
    std::size_t first_chunk_ = kFirstChunk;
    int depth_ = 0;
};

// Everything allocated from the thread's arena while the scope is open is
// taken back when it closes; scopes nest.
class ScratchScope {
public:
    ScratchScope() : arena_(ScratchArena::of_this_thread()), mark_(arena_.enter()) {}
    ~ScratchScope() { arena_.leave(mark_); }
    ScratchScope(const ScratchScope&) = delete;
    ScratchScope& operator=(const ScratchScope&) = delete;

private:
    ScratchArena& arena_;
    ScratchArena::Mark mark_;
};

template <class T>
class ScratchAllocator {
public:
    using value_type = T;
    // Outside a scope the heap serves at its own alignment.
    static_assert(alignof(T) <= ScratchArena::kAlign && alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

    ScratchAllocator() noexcept = default;
    template <class U>
    ScratchAllocator(const ScratchAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(ScratchArena::of_this_thread().allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { ScratchArena::of_this_thread().deallocate(p, n * sizeof(T)); }

    template <class U>
    bool operator==(const ScratchAllocator<U>&) const noexcept {
        return true;
    }
};

// A list that lives no longer than the scope it was filled in.
template <class T>
using ScratchVector = std::vector<T, ScratchAllocator<T>>;

}  // namespace tarvello::paper
