// The job pipeline of the many-pages path: its workers give the orders and
// records of one thread, each record tagged with the page of the job that
// wrote it; a failing job stops the hand-out and its exception comes back once.
#include "boxes/parallel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/paper/page_generator.hpp"
#include "boxes/engine.hpp"
#include "diagnostics/log_facade.hpp"
#include "support/global_recorder.hpp"

namespace tarvello::boxes {
namespace {

using Page = paper::bench::GeneratedPage;
using Messages = std::map<std::uint64_t, std::vector<std::string>>;  // per page, in the order written

struct Work { const Page* page = nullptr; ReadingOrder order; };

// The orders of every page, and the messages written for each: on this
// thread alone (no threads), each record checked to be on its page as the job
// ends, or on the workers of a pipeline fed from this one.
std::pair<std::vector<ReadingOrder>, Messages> order_all(const std::vector<Page>& pages, Engine engine,
                                                         unsigned threads) {
    (void)testing::global_recorder();  // installed before the first record
    diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Trace);
    const auto run = [engine](Work& work, std::size_t i) {
        const diagnostics::PageScope scope(i);
        work.order = order_page(engine, work.page->elements, work.page->bounds, std::nullopt);
    };
    Messages messages;
    const auto take_messages = [&](std::optional<std::uint64_t> page) {
        for (const auto& r : testing::take_records()) {
            EXPECT_TRUE(r.page && r.page == page.value_or(*r.page)) << r;
            messages[r.page.value_or(~0ull)].push_back(r.message);
        }
    };
    std::deque<Work> done;
    JobPipeline<Work> pipeline(threads, run);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (threads == 0) {
            run(done.emplace_back(Work{&pages[i], {}}), i);
            take_messages(i);
        } else {
            pipeline.next().page = &pages[i];
            pipeline.publish();
        }
    }
    if (threads > 0) done = std::move(pipeline.finish());
    take_messages(std::nullopt);
    std::vector<ReadingOrder> orders;
    for (Work& work : done) orders.push_back(std::move(work.order));
    EXPECT_FALSE(diagnostics::PageScope::current().has_value());
    return {std::move(orders), std::move(messages)};
}

TEST(JobPipeline, WorkersOrderAndLogAsOneThreadWithEachRecordOnItsPage) {
    std::vector<Page> pages;
    for (int i = 0; i < 300; ++i) pages.push_back(paper::bench::PageGenerator(1 + i % 3, std::uint32_t(i)).make(3 + std::size_t(i % 38)));
    for (const Engine engine : {Engine::paper, Engine::ostrel}) {
        const auto [serial, serial_messages] = order_all(pages, engine, 0);
        for (const unsigned threads : {1u, 4u}) EXPECT_EQ(order_all(pages, engine, threads), std::pair(serial, serial_messages));
        EXPECT_GT(serial_messages.size(), pages.size() / 2);
    }
}

// A failing job (on one or four workers), a cancel, or dropping the pipeline
// unfinished: each worker ends its job and takes no other, else all 400 run;
// the first exception comes back once.
TEST(JobPipeline, FirstExceptionCancelAndDropStopTheHandOut) {
    enum Mode { kOneWorkerFails, kFourWorkersFail, kCancel, kDrop };
    for (const Mode mode : {kOneWorkerFails, kFourWorkersFail, kCancel, kDrop}) {
        std::atomic<int> calls{0};
        {
            const unsigned threads = mode == kOneWorkerFails ? 1 : mode == kFourWorkersFail ? 4 : 2;
            JobPipeline<int> pipeline(threads, [&](int&, std::size_t i) {
                ++calls;
                // Two failures at once; the other jobs slow enough to be busy.
                if (mode < kCancel && (i == 10 || i == 11)) throw std::runtime_error("job " + std::to_string(i));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
            for (int i = 0; i < 400; ++i) pipeline.publish();
            if (mode == kCancel) pipeline.cancel();
            try {
                if (mode < kCancel) {
                    pipeline.finish();
                    ADD_FAILURE() << "nothing thrown";
                }
            } catch (const std::runtime_error& error) {
                EXPECT_TRUE(error.what() == std::string("job 10") || error.what() == std::string("job 11"));
            }
        }
        EXPECT_TRUE(mode != kOneWorkerFails || calls.load() == 11) << calls.load();
        EXPECT_LT(calls.load(), 100) << mode;
    }
}

TEST(JobPipeline, NoJobsAndMoreThreadsThanJobs) {
    JobPipeline<int>(4, [](int&, std::size_t) { ADD_FAILURE() << "a job that was never published"; }).finish();
    std::vector<std::atomic<int>> seen(3);
    JobPipeline<int> pipeline(16, [&](int& job, std::size_t i) { seen[i] += job; });
    for (std::size_t i = 0; i < seen.size(); ++i) {
        pipeline.next() = 1;
        pipeline.publish();
    }
    EXPECT_EQ(pipeline.finish().size(), seen.size());
    for (const auto& count : seen) EXPECT_EQ(count.load(), 1);
}

}  // namespace
}  // namespace tarvello::boxes
