// The instances' access counter: readers share it, a writer holds it alone.
#include "borrow_flag.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdint>
#include <string_view>
#include <thread>
#include <vector>

namespace tarvello::py {
namespace {

TEST(BorrowFlag, ReadersShareAndShutOutWriters) {
    // R/W: a read/write that must be granted, r/w: refused; e/E: end read/write.
    BorrowFlag flag;
    for (const char step : std::string_view("RRweweWrwER")) {
        if (step == 'e') flag.end_read();
        else if (step == 'E') flag.end_write();
        else EXPECT_EQ(std::tolower(step) == 'r' ? flag.try_read() : flag.try_write(), std::isupper(step) != 0) << step;
    }
}

// Writers keep two plain fields equal: a reader that sees them differ has read
// a torn value, and under ThreadSanitizer any access the counter fails to
// order is a race on them. A refused access is retried, never waited for.
TEST(BorrowFlagStress, ReadersNeverSeeAHalfWrittenValue) {
    BorrowFlag flag;
    std::uint64_t first = 0, second = 0;
    constexpr int kEach = 2000;
    std::atomic<int> torn = 0;
    std::atomic<int> writers_left = 2;
    std::vector<std::thread> threads;
    // Two writers; four readers, each until every writer is done and it has read enough.
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            const bool writer = t < 2;
            for (int done = 0; done < kEach || (!writer && writers_left.load() > 0);) {
                if (!(writer ? flag.try_write() : flag.try_read())) {
                    std::this_thread::yield();
                    continue;
                }
                if (writer) {
                    first = static_cast<std::uint64_t>(t * kEach + done);
                    std::this_thread::yield();
                    second = first;
                    flag.end_write();
                } else {
                    torn += first != second ? 1 : 0;
                    flag.end_read();
                }
                ++done;
            }
            if (writer) --writers_left;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_TRUE(flag.try_write()) << "every access was given back";
}

}  // namespace
}  // namespace tarvello::py
