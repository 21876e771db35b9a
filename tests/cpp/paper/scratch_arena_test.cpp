// The per-thread arena: what a scope takes comes back when it closes (and no
// sooner for an outer scope), memory is kept for the next call within the
// limit, and requests outside any scope or too large for any chunk are served
// or refused as the heap would.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <numeric>
#include <thread>

#include "paper/quintor/src/utils/scratch_arena.hpp"

namespace tarvello::paper {
namespace {

ScratchArena& arena() { return ScratchArena::of_this_thread(); }

// Runs `body` on a thread of its own, whose arena starts empty.
template <class Body>
void on_fresh_thread(const Body& body) {
    std::thread(body).join();
}

TEST(ScratchArena, ScopesGiveBackWhatTheyTook) {
    const int* first = nullptr;
    {
        ScratchScope scope;
        {
            ScratchVector<int> taken(1000);
            first = taken.data();
        }
        EXPECT_EQ(ScratchVector<int>(1000).data(), first);  // the last taken came back at once
        ScratchVector<int> kept(1000);
    }
    ScratchScope outer;
    ScratchVector<int> kept(100);
    EXPECT_EQ(kept.data(), first);
    std::iota(kept.begin(), kept.end(), 0);
    const int* inner_data = nullptr;
    {
        ScratchScope inner;
        ScratchVector<int> v(100, -1);
        inner_data = v.data();
        ScratchVector<int> on_top(1);
        v = ScratchVector<int>();  // no longer the last: stays taken
        EXPECT_NE(ScratchVector<int>(100).data(), inner_data);
    }
    EXPECT_EQ(ScratchVector<int>(100, -2).data(), inner_data);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(kept[static_cast<std::size_t>(i)], i);
}

TEST(ScratchArena, GivesEveryAllocationAnAlignedAddressOfItsOwn) {
    ScratchScope scope;
    void* previous = nullptr;
    for (const std::size_t bytes : {0u, 0u, 1u, 3u, 8u, 15u, 16u, 17u, 100u, 4095u, 70'000u}) {
        void* p = arena().allocate(bytes);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % ScratchArena::kAlign, 0u) << bytes;
        EXPECT_NE(p, previous) << bytes;
        previous = p;
    }
}

// One chunk as large as the call needed is kept, none above the limit.
TEST(ScratchArena, KeepsWhatTheCallNeededWithinTheLimit) {
    on_fresh_thread([] {
        EXPECT_EQ(arena().retained_bytes(), 0u);
        constexpr std::size_t kLists = 40;
        constexpr std::size_t kEach = 10'000;  // 40 KB each: several chunks
        for (int call = 0; call < 3; ++call) {
            ScratchScope scope;
            std::vector<ScratchVector<std::uint32_t>> lists;
            for (std::size_t i = 0; i < kLists; ++i) lists.emplace_back(kEach, static_cast<std::uint32_t>(i));
            for (std::size_t i = 0; i < kLists; ++i) ASSERT_TRUE(lists[i].front() == i && lists[i].back() == i);
        }
        const std::size_t kept = arena().retained_bytes();
        EXPECT_GE(kept, kLists * kEach * sizeof(std::uint32_t));
        EXPECT_LT(kept, 2 * kLists * kEach * sizeof(std::uint32_t));
        {
            ScratchScope scope;
            ScratchVector<std::byte> big(ScratchArena::kRetainedLimit + 1);
        }
        EXPECT_EQ(arena().retained_bytes(), 0u);
        {
            ScratchScope scope;
            ScratchVector<std::byte> small(100);
        }
        EXPECT_EQ(arena().retained_bytes(), ScratchArena::kFirstChunk);
    });
}

TEST(ScratchArena, OutsideAnyScopeUsesTheHeap) {
    on_fresh_thread([] {
        ScratchVector<int> before(1000, 7);
        EXPECT_EQ(arena().retained_bytes(), 0u);
        ScratchScope scope;
        ScratchVector<int> inside(10);
        before = ScratchVector<int>();  // heap memory given back inside a scope
        EXPECT_EQ(inside.size(), 10u);
    });
}

// Sizes whose room in a chunk would wrap around.
TEST(ScratchArena, RefusesSizesNearTheLimit) {
    ScratchScope scope;
    const std::size_t max = std::numeric_limits<std::size_t>::max();
    for (const std::size_t bytes : {max, max - 8, max - ScratchArena::kAlign + 1}) {
        EXPECT_THROW(arena().allocate(bytes), std::bad_alloc) << bytes;
    }
    ScratchVector<std::uint64_t> v(5, 1);  // still usable
    EXPECT_EQ(v.back(), 1u);
}

TEST(ScratchArena, ThreadsHaveTheirOwn) {
    const auto fill = [](std::uint32_t value) {
        for (int call = 0; call < 50; ++call) {
            ScratchScope scope;
            ScratchVector<std::uint32_t> v(5000, value);
            for (const std::uint32_t x : v) ASSERT_EQ(x, value);
        }
    };
    std::thread a(fill, 1u);
    std::thread b(fill, 2u);
    a.join();
    b.join();
}

#ifdef TARVELLO_SCRATCH_ASAN
TEST(ScratchArenaDeathTest, SanitizerCatchesUseAfterTheScope) {
    const auto read_after_scope = [] {
        const int* p = nullptr;
        {
            ScratchScope scope;
            ScratchVector<int> v(10, 1);
            p = v.data();
        }
        static_cast<void>(*static_cast<const volatile int*>(p));
    };
    EXPECT_DEATH(read_after_scope(), "use-after-poison");
}
#endif

}  // namespace
}  // namespace tarvello::paper
