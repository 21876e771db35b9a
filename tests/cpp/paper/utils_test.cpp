// The per-thread arena: scopes give back what they took, memory is kept within
// the limit, and odd requests go as with the heap. And the radix word sort.
#include <array>
#include <new>
#include <numeric>
#include <thread>

#include "paper/quintor/src/utils/scratch_arena.hpp"
#include "paper/quintor/src/utils/word_sort.hpp"
#include "paper_support.hpp"

namespace tarvello::paper {
namespace {

ScratchArena& arena() { return ScratchArena::of_this_thread(); }

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
        EXPECT_TRUE(reinterpret_cast<std::uintptr_t>(p) % ScratchArena::kAlign == 0 && p != previous) << bytes;
        previous = p;
    }
    // Sizes whose room in a chunk would wrap around are refused; the arena stays usable.
    const std::size_t max = std::numeric_limits<std::size_t>::max();
    for (const std::size_t bytes : {max, max - 8, max - ScratchArena::kAlign + 1}) {
        EXPECT_THROW(arena().allocate(bytes), std::bad_alloc) << bytes;
    }
    EXPECT_EQ(ScratchVector<std::uint64_t>(5, 1).back(), 1u);
}

// On a thread of its own, whose arena starts empty: outside any scope the
// heap serves; one chunk as large as the call needed is kept, none above the limit.
TEST(ScratchArena, KeepsWhatTheCallNeededWithinTheLimit) {
    std::thread([] {
        ScratchVector<int> before(1000, 7);
        EXPECT_EQ(arena().retained_bytes(), 0u);
        {
            ScratchScope scope;
            ScratchVector<int> inside(10);
            before = ScratchVector<int>();  // heap memory given back inside a scope
            EXPECT_EQ(inside.size(), 10u);
        }
        constexpr std::size_t kLists = 40, kEach = 10'000;  // 40 KB each: several chunks
        for (int call = 0; call < 3; ++call) {
            ScratchScope scope;
            std::vector<ScratchVector<std::uint32_t>> lists;
            for (std::size_t i = 0; i < kLists; ++i) lists.emplace_back(kEach, static_cast<std::uint32_t>(i));
            for (std::size_t i = 0; i < kLists; ++i) ASSERT_TRUE(lists[i].front() == i && lists[i].back() == i);
        }
        const std::size_t kept = arena().retained_bytes();
        EXPECT_GE(kept, kLists * kEach * sizeof(std::uint32_t));
        EXPECT_LT(kept, 2 * kLists * kEach * sizeof(std::uint32_t));
        for (const std::size_t bytes : {ScratchArena::kRetainedLimit + 1, std::size_t{100}}) {
            ScratchScope scope;
            ScratchVector<std::byte> taken(bytes);
        }
        EXPECT_EQ(arena().retained_bytes(), ScratchArena::kFirstChunk);
    }).join();
}

TEST(ScratchArena, ThreadsHaveTheirOwn) {
    const auto fill = [](std::uint32_t value) {
        for (int call = 0; call < 50; ++call) {
            ScratchScope scope;
            for (const std::uint32_t x : ScratchVector<std::uint32_t>(5000, value)) ASSERT_EQ(x, value);
        }
    };
    std::thread a(fill, 1u), b(fill, 2u);
    a.join(), b.join();
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

// Against std::sort: ties (which the positions under them order), digits all
// words share, and lengths either side of where the radix takes over.
TEST(WordSort, OrdersLikeStdSort) {
    std::mt19937 rng(5);
    ScratchVector<std::uint64_t> scratch;
    for (std::size_t round = 0; round < 300; ++round) {
        const std::size_t n = rng() % 3001;
        // Few keys (many ties), keys in one low digit, or any key.
        const std::uint32_t key_mask = std::array<std::uint32_t, 3>{0x7, 0x7FF, 0xFFFF'FFFF}[round % 3];
        const std::uint32_t key_base = round % 2 ? 0x8000'0000u : 0;
        ScratchVector<std::uint64_t> words(n);
        for (std::size_t i = 0; i < n; ++i) words[i] = std::uint64_t{key_base | (static_cast<std::uint32_t>(rng()) & key_mask)} << 32 | i;
        ScratchVector<std::uint64_t> expected = words;
        std::sort(expected.begin(), expected.end());
        sort_words(words, scratch);
        EXPECT_EQ(words, expected) << "round " << round << ", " << n << " words";
    }
}

}  // namespace
}  // namespace tarvello::paper
