// The instances' access counter: readers share it, a writer holds it alone.
#include "borrow_flag.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tarvello::py {
namespace {

TEST(BorrowFlag, ReadersShareAndShutOutWriters) {
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
}

// Writers keep two plain fields equal: a reader that sees them differ has read
// a torn value, and under ThreadSanitizer any access the counter fails to
// order is a race on them. A refused access is retried, never waited for.
TEST(BorrowFlagStress, ReadersNeverSeeAHalfWrittenValue) {
    BorrowFlag flag;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    constexpr int kEach = 2000;
    std::atomic<int> torn = 0;
    std::atomic<int> writers_left = 2;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            // Until every writer is done and this reader has read enough.
            for (int reads = 0; writers_left.load() > 0 || reads < kEach;) {
                if (!flag.try_read()) {
                    std::this_thread::yield();
                    continue;
                }
                if (first != second) ++torn;
                flag.end_read();
                ++reads;
            }
        });
    }
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int writes = 0; writes < kEach;) {
                if (!flag.try_write()) {
                    std::this_thread::yield();
                    continue;
                }
                first = static_cast<std::uint64_t>(t * kEach + writes);
                std::this_thread::yield();
                second = first;
                flag.end_write();
                ++writes;
            }
            --writers_left;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_TRUE(flag.try_write()) << "every access was given back";
}

}  // namespace
}  // namespace tarvello::py
