// The level cache: its tree of targets, snapshots that outlive resets, and
// readers, stores and resets at once (also run under ThreadSanitizer by
// tools/run-sanitize).
#include "diagnostics/level_cache.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarvello::diagnostics {
namespace {

// A cached logger that knows its target and counts its live copies, so that
// a test sees every entry released.
struct TracedLogger {
    TracedLogger(std::string_view target_, std::atomic<int>& live_) : target(target_), live(&live_) { ++*live; }
    TracedLogger(const TracedLogger& other) : target(other.target), live(other.live) { ++*live; }
    TracedLogger& operator=(const TracedLogger&) = delete;
    ~TracedLogger() { --*live; }

    std::string target;
    std::atomic<int>* live;
};

using Cache = LevelCache<TracedLogger>;

// Each target is always stored with the same threshold, so that a reader can
// tell a node that belongs to another target (a torn or misplaced publication).
LevelThreshold threshold_of(std::string_view target) { return static_cast<LevelThreshold>(target.size() % 6); }

Cache::Entry entry(std::string_view target, std::atomic<int>& live) {
    return {threshold_of(target), TracedLogger(target, live)};
}

bool consistent(const Cache::Node* node, std::string_view target) {
    return node == nullptr || !node->entry ||
           (node->entry->logger.target == target && node->entry->threshold == threshold_of(target));
}

TEST(LevelCache, TargetsSplitAtEveryDoubleColonKeepingEmptySegments) {
    using Segments = std::vector<std::string_view>;
    EXPECT_EQ(target_segments("tarvello::paper"), (Segments{"tarvello", "paper"}));
    EXPECT_EQ(target_segments("a::::b::"), (Segments{"a", "", "b", ""}));
    EXPECT_EQ(target_segments(""), (Segments{""}));
}

TEST(LevelCache, KeepsATreeWhoseSnapshotsOutliveResets) {
    std::atomic<int> live = 0;
    Cache cache;
    EXPECT_EQ(cache.lookup("tarvello::paper"), nullptr);
    cache.store("tarvello::paper", entry("tarvello::paper", live));
    ASSERT_NE(cache.lookup("tarvello"), nullptr);
    EXPECT_FALSE(cache.lookup("tarvello")->entry.has_value()) << "a parent made for its child has no entry";
    cache.store("tarvello", entry("tarvello", live));
    EXPECT_EQ(cache.lookup("tarvello")->entry->logger.target, "tarvello");
    auto held = cache.lookup("tarvello::paper");
    EXPECT_EQ(held->entry->logger.target, "tarvello::paper") << "the child is kept";
    cache.reset();
    EXPECT_EQ(cache.lookup("tarvello::paper"), nullptr);
    EXPECT_EQ(held->entry->logger.target, "tarvello::paper");
    held.reset();
    EXPECT_EQ(live.load(), 0);
}

// As the bridge meets it when Python threads log while another thread calls
// reset_log_cache: readers (some holding their node across many writes),
// storers and a resetter.
TEST(LevelCache, ReadersStoresAndResetsTogether) {
    constexpr std::string_view kTargets[] = {"tarvello", "tarvello::paper", "tarvello::ostrel", "a::b::c", "a::::b", ""};
    constexpr int kRounds = 20000;
    std::atomic<int> live = 0;
    std::atomic<int> inconsistent = 0;
    {
        Cache cache;
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([&, t] {
                Cache::NodeRef held;
                for (int i = 0; i < kRounds; ++i) {
                    const std::string_view target = kTargets[static_cast<std::size_t>(i + t) % std::size(kTargets)];
                    if (!cache.visit(target, [&](const Cache::Node* node) { return consistent(node, target); })) {
                        ++inconsistent;
                    }
                    auto node = cache.lookup(target);
                    if (!consistent(node.get(), target)) ++inconsistent;
                    if (i % 97 == 0) held = std::move(node);  // outlives resets and stores
                }
            });
        }
        for (int t = 0; t < 2; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kRounds; ++i) {
                    const std::string_view target = kTargets[static_cast<std::size_t>(i * 7 + t) % std::size(kTargets)];
                    cache.store(target, entry(target, live));
                }
            });
        }
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds / 10; ++i) {
                cache.reset();
                std::this_thread::yield();
            }
        });
        for (auto& thread : threads) thread.join();
        // After the storm the cache still works as a cache.
        cache.reset();
        cache.store("tarvello::paper", entry("tarvello::paper", live));
        const auto node = cache.lookup("tarvello::paper");
        ASSERT_NE(node, nullptr);
        EXPECT_TRUE(node->entry && consistent(node.get(), "tarvello::paper"));
    }
    EXPECT_EQ(inconsistent.load(), 0);
    EXPECT_EQ(live.load(), 0) << "every cached logger is released";
}

TEST(LevelCache, ResetWinsOverAStoreThatStartedBeforeIt) {
    std::atomic<int> live = 0;
    {
        Cache cache;
        for (int round = 0; round < 200; ++round) {
            std::atomic<bool> go = false;
            std::thread storer([&] {
                while (!go.load()) {
                }
                cache.store("tarvello", entry("tarvello", live));
            });
            go = true;
            cache.reset();
            storer.join();
            // The store came after the reset (and stands) or before it (and
            // is gone); it never sits beside a pre-reset tree.
            EXPECT_TRUE(consistent(cache.lookup("tarvello").get(), "tarvello"));
            cache.reset();
            EXPECT_EQ(cache.lookup("tarvello"), nullptr);
        }
    }
    EXPECT_EQ(live.load(), 0);
}

}  // namespace
}  // namespace tarvello::diagnostics
