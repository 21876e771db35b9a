// The job pipeline of the many-pages path: its workers give the orders and
// records of one thread, each record tagged with the page of the job that
// wrote it; a failing job stops the hand-out and its exception comes back once.
#include "boxes/parallel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "boxes/box_checks.hpp"
#include "boxes/engine.hpp"
#include "diagnostics/log_facade.hpp"

namespace tarvello::boxes {
namespace {

// The page the test itself knows the task is on, kept apart from the scope
// under test so that the two can be compared.
thread_local std::optional<std::uint64_t> t_task;  // the job's page

// The messages of each page in the order written.
using Messages = std::map<std::uint64_t, std::vector<std::string>>;

// Accepts every record, from any thread; counts those whose page is not the
// one of the task that wrote them.
class PageRecorder final : public diagnostics::Logger {
public:
    bool enabled(diagnostics::LogLevel, std::string_view) const override { return true; }
    void log(const diagnostics::DiagnosticRecord& record) override {
        std::string message = record.message.render();
        const std::lock_guard lock(mutex);
        if (!record.page || record.page != t_task) ++misplaced;
        messages[record.page.value_or(~0ull)].push_back(std::move(message));
    }
    void flush() override {}

    std::mutex mutex;
    Messages messages;
    int misplaced = 0;
};

PageRecorder& recorder() {
    static PageRecorder& installed = []() -> PageRecorder& {
        auto* created = new PageRecorder;  // the facade keeps it until exit
        EXPECT_FALSE(diagnostics::log_facade().set_logger(std::unique_ptr<PageRecorder>(created)).has_value());
        diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Trace);
        return *created;
    }();
    return installed;
}

// Columns of text with a few titles, figures and full-width items, built as
// the plain-box path builds them.
struct Page {
    std::vector<Element> elements;
    PageBounds bounds;
};
Page make_page(std::size_t index) {
    std::mt19937 random(static_cast<std::uint32_t>(index));
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const int columns = pick(1, 3);
    const double width = 560.0 / columns;
    std::vector<Quad> corners;
    std::vector<Element> elements;
    for (std::uint64_t id = 0, n = static_cast<std::uint64_t>(pick(3, 40)); id < n; ++id) {
        const double x = 20.0 + width * pick(0, columns - 1) + pick(0, 8);
        const double y = pick(20, 760);
        const bool spans = pick(0, 9) == 0;
        corners.push_back({x, y, spans ? 580.0 : x + width - pick(8, 30), y + pick(8, 60)});
        const int label = spans ? 0 : pick(0, 9) < 7 ? 4 : pick(1, 3);
        elements.push_back(make_element(id, corners.back(), static_cast<SemanticLabel>(label)));
    }
    return {std::move(elements), make_page_bounds(default_page_bounds(corners))};
}

struct Work {
    const Page* page = nullptr;
    ReadingOrder order;
};

// The orders of every page, and the messages written for each: on this
// thread alone, or on `threads` workers of a pipeline fed from this one.
std::pair<std::vector<ReadingOrder>, Messages> order_all(const std::vector<Page>& pages, Engine engine,
                                                         unsigned threads) {
    PageRecorder& records = recorder();  // installed before the first record
    const auto run = [engine](Work& work, std::size_t i) {
        const diagnostics::PageScope scope(i);
        t_task = i;
        work.order = order_page(engine, work.page->elements, work.page->bounds, std::nullopt);
        t_task.reset();
    };
    std::vector<ReadingOrder> orders;
    if (threads == 0) {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            Work work{&pages[i], {}};
            run(work, i);
            orders.push_back(std::move(work.order));
        }
    } else {
        JobPipeline<Work> pipeline(threads, run);
        for (const Page& page : pages) {
            pipeline.next().page = &page;
            pipeline.publish();
        }
        for (Work& work : pipeline.finish()) orders.push_back(std::move(work.order));
    }
    EXPECT_FALSE(diagnostics::PageScope::current().has_value());
    EXPECT_EQ(std::exchange(records.misplaced, 0), 0);
    return {std::move(orders), std::exchange(records.messages, {})};
}

TEST(JobPipeline, WorkersOrderAndLogAsOneThreadWithEachRecordOnItsPage) {
    std::vector<Page> pages;
    for (std::size_t i = 0; i < 300; ++i) pages.push_back(make_page(i));
    for (const Engine engine : {Engine::paper, Engine::ostrel}) {
        const auto [serial, serial_messages] = order_all(pages, engine, 0);
        for (const unsigned threads : {1u, 4u}) {
            const auto [parallel, parallel_messages] = order_all(pages, engine, threads);
            EXPECT_EQ(parallel, serial);
            EXPECT_EQ(parallel_messages, serial_messages);
        }
        EXPECT_GT(serial_messages.size(), pages.size() / 2);
    }
}

TEST(JobPipeline, FirstExceptionIsRethrownOnceAndStopsTheHandOut) {
    for (const unsigned threads : {1u, 4u}) {
        std::atomic<int> calls{0};
        JobPipeline<int> pipeline(threads, [&](int&, std::size_t i) {
            ++calls;
            // Two failures at once; the other jobs slow enough to be busy.
            if (i == 10 || i == 11) throw std::runtime_error("job " + std::to_string(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        for (int i = 0; i < 400; ++i) pipeline.publish();
        try {
            pipeline.finish();
            ADD_FAILURE() << "nothing thrown";
        } catch (const std::runtime_error& error) {
            EXPECT_TRUE(error.what() == std::string("job 10") || error.what() == std::string("job 11"));
        }
        // Each worker ends its job and takes no other; else all 400 run.
        if (threads == 1) {
            EXPECT_EQ(calls.load(), 11);
        }
        EXPECT_LT(calls.load(), 100);
    }
}

TEST(JobPipeline, NoJobsCancelAndMoreThreadsThanJobs) {
    JobPipeline<int>(4, [](int&, std::size_t) { ADD_FAILURE() << "a job that was never published"; }).finish();
    std::vector<std::atomic<int>> seen(3);
    {
        JobPipeline<int> pipeline(16, [&](int& job, std::size_t i) { seen[i] += job; });
        for (std::size_t i = 0; i < seen.size(); ++i) {
            pipeline.next() = 1;
            pipeline.publish();
        }
        EXPECT_EQ(pipeline.finish().size(), seen.size());
    }
    for (const auto& count : seen) EXPECT_EQ(count.load(), 1);
    // Cancelled, or dropped unfinished: the workers stop and are joined.
    std::atomic<int> started{0};
    for (const bool cancel : {true, false}) {
        JobPipeline<int> pipeline(2, [&](int&, std::size_t) {
            ++started;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        for (int i = 0; i < 200; ++i) pipeline.publish();
        if (cancel) pipeline.cancel();
    }
    EXPECT_LT(started.load(), 400);
}

}  // namespace
}  // namespace tarvello::boxes
