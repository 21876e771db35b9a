// The level cache: its tree of targets, snapshots that outlive resets, and
// readers, stores and resets at once (also under ThreadSanitizer).
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

// A cached logger that knows its target; every copy holds `live`, so that a
// test sees every entry released.
struct TracedLogger { std::string target; std::shared_ptr<const int> live; };

using Cache = LevelCache<TracedLogger>;

// Each target is always stored with the same threshold, so that a reader can
// tell a node that belongs to another target (a torn or misplaced publication).
LevelThreshold threshold_of(std::string_view target) { return static_cast<LevelThreshold>(target.size() % 6); }

Cache::Entry entry(std::string_view target, const std::shared_ptr<const int>& live) {
    return {threshold_of(target), {std::string(target), live}};
}

bool consistent(const Cache::Node* node, std::string_view target) {
    return node == nullptr || !node->entry ||
           (node->entry->logger.target == target && node->entry->threshold == threshold_of(target));
}

// Targets split at every double colon, empty segments kept, into a tree.
TEST(LevelCache, KeepsATreeOfTargetSegmentsWhoseSnapshotsOutliveResets) {
    using Segments = std::vector<std::string_view>;
    EXPECT_EQ(target_segments("tarvello::paper"), (Segments{"tarvello", "paper"}));
    EXPECT_EQ(target_segments("a::::b::"), (Segments{"a", "", "b", ""}));
    EXPECT_EQ(target_segments(""), (Segments{""}));
    const auto live = std::make_shared<const int>();
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
    EXPECT_EQ(live.use_count(), 1);
}

// As the bridge meets it when Python threads log while another calls
// reset_log_cache: readers (some holding a node across many writes), storers
// and a resetter.
TEST(LevelCache, ReadersStoresAndResetsTogether) {
    constexpr std::string_view kTargets[] = {"tarvello", "tarvello::paper", "tarvello::ostrel", "a::b::c", "a::::b", ""};
    constexpr int kRounds = 20000;
    const auto live = std::make_shared<const int>();
    std::atomic<int> inconsistent = 0;
    {
        Cache cache;
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back([&, t] {
                Cache::NodeRef held;
                for (int i = 0; i < kRounds; ++i) {
                    const std::string_view target = kTargets[static_cast<std::size_t>(t < 3 ? i + t : i * 7 + t) % std::size(kTargets)];
                    if (t == 5) {
                        if (i % 10 == 0) cache.reset();
                        std::this_thread::yield();
                    } else if (t > 2) {
                        cache.store(target, entry(target, live));
                    } else {
                        auto node = cache.lookup(target);
                        inconsistent += consistent(node.get(), target) ? 0 : 1;
                        inconsistent += cache.visit(target, [&](const Cache::Node* n) { return consistent(n, target); }) ? 0 : 1;
                        if (i % 97 == 0) held = std::move(node);
                    }
                }
            });
        }
        for (auto& thread : threads) thread.join();
        // After the storm the cache still works as a cache.
        cache.reset();
        cache.store("tarvello::paper", entry("tarvello::paper", live));
        const auto node = cache.lookup("tarvello::paper");
        EXPECT_TRUE(node && node->entry && consistent(node.get(), "tarvello::paper"));
    }
    EXPECT_EQ(inconsistent.load(), 0);
    EXPECT_EQ(live.use_count(), 1) << "every cached logger is released";
}

}  // namespace
}  // namespace tarvello::diagnostics
