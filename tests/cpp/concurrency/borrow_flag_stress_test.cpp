#include "borrow_flag.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tarvello::py {
namespace {

// Two plain fields that a writer keeps equal: a reader that ever sees them
// differ has read a torn value. Under ThreadSanitizer any access the counter
// fails to order is reported as a race on them.
struct Guarded {
    BorrowFlag flag;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
};

TEST(BorrowFlagStress, ReadersNeverSeeAHalfWrittenValueAndRefusalsAreClean) {
    Guarded guarded;
    constexpr int kRounds = 20000;
    std::atomic<int> torn = 0;
    std::atomic<long> reads = 0;
    std::atomic<long> writes = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                if (!guarded.flag.try_read()) continue;  // a writer holds it
                if (guarded.first != guarded.second) ++torn;
                guarded.flag.end_read();
                ++reads;
            }
        });
    }
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                if (!guarded.flag.try_write()) continue;  // readers or another writer
                const auto value = static_cast<std::uint64_t>(t * kRounds + i);
                guarded.first = value;
                std::this_thread::yield();
                guarded.second = value;
                guarded.flag.end_write();
                ++writes;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_GT(writes.load(), 0);
    // Every access was given back: the counter is free again.
    EXPECT_TRUE(guarded.flag.try_write());
    guarded.flag.end_write();
}

TEST(BorrowFlagStress, ReadersShareAndShutOutWriters) {
    BorrowFlag flag;
    ASSERT_TRUE(flag.try_read());
    ASSERT_TRUE(flag.try_read());
    EXPECT_FALSE(flag.try_write());
    flag.end_read();
    EXPECT_FALSE(flag.try_write());
    flag.end_read();
    ASSERT_TRUE(flag.try_write());
    EXPECT_FALSE(flag.try_read());
    EXPECT_FALSE(flag.try_write());
    flag.end_write();
    EXPECT_TRUE(flag.try_read());
    flag.end_read();
}

}  // namespace
}  // namespace tarvello::py
