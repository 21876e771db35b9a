#include "diagnostics/level_cache.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tarvello::diagnostics {
namespace {

// Counts live handles, so that a test can see every cached logger released.
struct CountedLogger {
    explicit CountedLogger(std::string name_, std::shared_ptr<std::atomic<int>> live_)
        : name(std::move(name_)), live(std::move(live_)) {
        ++*live;
    }
    CountedLogger(const CountedLogger& other) : name(other.name), live(other.live) { ++*live; }
    CountedLogger& operator=(const CountedLogger&) = delete;
    ~CountedLogger() { --*live; }

    std::string name;
    std::shared_ptr<std::atomic<int>> live;
};

using Cache = LevelCache<CountedLogger>;

struct LevelCacheTest : ::testing::Test {
    std::shared_ptr<std::atomic<int>> live = std::make_shared<std::atomic<int>>(0);
    Cache cache;

    Cache::Entry entry(LevelThreshold threshold, const char* name) { return {threshold, CountedLogger(name, live)}; }
};

TEST(TargetSegments, SplitAtEveryDoubleColonKeepingEmptyOnes) {
    using Segments = std::vector<std::string_view>;
    EXPECT_EQ(target_segments("tarvello"), (Segments{"tarvello"}));
    EXPECT_EQ(target_segments("tarvello::paper"), (Segments{"tarvello", "paper"}));
    EXPECT_EQ(target_segments("a::::b::"), (Segments{"a", "", "b", ""}));
    EXPECT_EQ(target_segments(""), (Segments{""}));
}

TEST_F(LevelCacheTest, StoringAChildMakesAnIntermediateNodeWithoutEntry) {
    EXPECT_EQ(cache.lookup("tarvello::paper"), nullptr);
    cache.store("tarvello::paper", entry(LevelThreshold::Warn, "paper"));
    const auto paper = cache.lookup("tarvello::paper");
    ASSERT_NE(paper, nullptr);
    ASSERT_TRUE(paper->entry.has_value());
    EXPECT_EQ(paper->entry->threshold, LevelThreshold::Warn);
    const auto parent = cache.lookup("tarvello");
    ASSERT_NE(parent, nullptr);
    EXPECT_FALSE(parent->entry.has_value());

    cache.store("tarvello", entry(LevelThreshold::Debug, "root"));
    EXPECT_EQ(cache.lookup("tarvello")->entry->logger.name, "root");
    EXPECT_EQ(cache.lookup("tarvello::paper")->entry->logger.name, "paper") << "the child is kept";
}

TEST_F(LevelCacheTest, SnapshotsOutliveResetsAndEntriesAreReleasedAfterwards) {
    cache.store("tarvello::ostrel", entry(LevelThreshold::Off, "ostrel"));
    auto held = cache.lookup("tarvello::ostrel");
    cache.reset();
    EXPECT_EQ(cache.lookup("tarvello::ostrel"), nullptr);
    EXPECT_EQ(held->entry->logger.name, "ostrel");
    EXPECT_GT(live->load(), 0);
    held.reset();
    EXPECT_EQ(live->load(), 0);
}

// Several threads look up, store and reset at once: no torn reads, no lost
// frees (ThreadSanitizer and AddressSanitizer builds watch this one), and
// every logger released at the end.
TEST_F(LevelCacheTest, ConcurrentLookupsStoresAndResetsStayConsistent) {
    const char* targets[] = {"tarvello", "tarvello::paper", "tarvello::ostrel", "other::deep::target"};
    std::atomic<bool> stop = false;
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20000 && !stop; ++i) {
                const char* target = targets[(i + t) % 4];
                if (t % 3 == 0 && i % 64 == 0) {
                    cache.reset();
                } else if (auto node = cache.lookup(target); node && node->entry) {
                    ASSERT_EQ(node->entry->logger.name, target);
                } else {
                    cache.store(target, entry(LevelThreshold::Info, target));
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    cache.reset();
    EXPECT_EQ(live->load(), 0);
}

}  // namespace
}  // namespace tarvello::diagnostics
