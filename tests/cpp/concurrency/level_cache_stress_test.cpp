#include "diagnostics/level_cache.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarvello::diagnostics {
namespace {

// A cached logger that knows its target and counts the live copies, so the
// test sees every entry released once the cache and all snapshots are gone.
struct TracedLogger {
    TracedLogger(std::string target_, std::atomic<int>& live_) : target(std::move(target_)), live(&live_) { ++*live; }
    TracedLogger(const TracedLogger& other) : target(other.target), live(other.live) { ++*live; }
    TracedLogger& operator=(const TracedLogger&) = delete;
    ~TracedLogger() { --*live; }

    std::string target;
    std::atomic<int>* live;
};

using Cache = LevelCache<TracedLogger>;

constexpr std::string_view kTargets[] = {"tarvello", "tarvello::paper", "tarvello::ostrel", "a::b::c", "a::::b", ""};

// The threshold a target is always stored with, so that a reader can tell a
// node that belongs to another target (a torn or misplaced publication).
LevelThreshold threshold_of(std::string_view target) {
    return static_cast<LevelThreshold>(target.size() % 6);
}

bool entry_is_consistent(const Cache::Node* node, std::string_view target) {
    if (node == nullptr || !node->entry) return true;
    return node->entry->logger.target == target && node->entry->threshold == threshold_of(target);
}

// Readers (visit and lookup, some holding their node across many writes),
// storers and resetters all at once, as the bridge meets them when Python
// threads log while another thread calls reset_log_cache.
TEST(LevelCacheStress, ReadersStoresAndResetsTogether) {
    std::atomic<int> live = 0;
    std::atomic<int> inconsistent = 0;
    {
        Cache cache;
        constexpr int kRounds = 20000;
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([&, t] {
                Cache::NodeRef held;
                for (int i = 0; i < kRounds; ++i) {
                    const std::string_view target = kTargets[static_cast<std::size_t>(i + t) % std::size(kTargets)];
                    if (!cache.visit(target, [&](const Cache::Node* node) { return entry_is_consistent(node, target); })) {
                        ++inconsistent;
                    }
                    auto node = cache.lookup(target);
                    if (!entry_is_consistent(node.get(), target)) ++inconsistent;
                    if (i % 97 == 0) held = std::move(node);  // outlives resets and stores
                }
                if (held && held->entry && held->entry->logger.live != &live) ++inconsistent;
            });
        }
        for (int t = 0; t < 2; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kRounds; ++i) {
                    const std::string_view target = kTargets[static_cast<std::size_t>(i * 7 + t) % std::size(kTargets)];
                    cache.store(target, {threshold_of(target), TracedLogger(std::string(target), live)});
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
        cache.store("tarvello::paper", {threshold_of("tarvello::paper"), TracedLogger("tarvello::paper", live)});
        const auto node = cache.lookup("tarvello::paper");
        ASSERT_NE(node, nullptr);
        EXPECT_TRUE(entry_is_consistent(node.get(), "tarvello::paper"));
    }
    EXPECT_EQ(inconsistent.load(), 0);
    EXPECT_EQ(live.load(), 0) << "every cached logger is released";
}

// A store that began before a reset must not bring its entry back.
TEST(LevelCacheStress, ResetAlwaysWinsOverAStoreThatStartedBeforeIt) {
    std::atomic<int> live = 0;
    {
        Cache cache;
        for (int round = 0; round < 200; ++round) {
            std::atomic<bool> go = false;
            std::thread storer([&] {
                while (!go.load()) {
                }
                cache.store("tarvello", {threshold_of("tarvello"), TracedLogger("tarvello", live)});
            });
            go = true;
            cache.reset();
            storer.join();
            // Either the store came after the reset (and stands) or before it
            // (and is gone); it never sits beside a pre-reset tree.
            const auto node = cache.lookup("tarvello");
            EXPECT_TRUE(entry_is_consistent(node.get(), "tarvello"));
            cache.reset();
            EXPECT_EQ(cache.lookup("tarvello"), nullptr);
        }
    }
    EXPECT_EQ(live.load(), 0);
}

}  // namespace
}  // namespace tarvello::diagnostics
