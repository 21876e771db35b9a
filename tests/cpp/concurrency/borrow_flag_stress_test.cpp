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
    constexpr int kWritesEach = 2000;
    constexpr int kReadsEach = 2000;
    std::atomic<int> torn = 0;
    std::atomic<int> writers_left = 2;
    std::vector<std::thread> threads;
    // Readers go on until every writer is done and they have read enough
    // themselves; a refused access is retried, never waited for.
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            int reads = 0;
            while (writers_left.load() > 0 || reads < kReadsEach) {
                if (!guarded.flag.try_read()) {
                    std::this_thread::yield();
                    continue;
                }
                if (guarded.first != guarded.second) ++torn;
                guarded.flag.end_read();
                ++reads;
            }
        });
    }
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int writes = 0; writes < kWritesEach;) {
                if (!guarded.flag.try_write()) {
                    std::this_thread::yield();
                    continue;
                }
                const auto value = static_cast<std::uint64_t>(t * kWritesEach + writes);
                guarded.first = value;
                std::this_thread::yield();
                guarded.second = value;
                guarded.flag.end_write();
                ++writes;
            }
            --writers_left;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(torn.load(), 0);
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
