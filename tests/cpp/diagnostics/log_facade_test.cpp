// Facades of the tests' own: what reaches the logger, and installation. The
// suite names are those tools/lib/lsan.supp expects for facades never freed.
#include "diagnostics/log_facade.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/global_recorder.hpp"

namespace tarvello::diagnostics {
namespace {

using testing::RecordingLogger;
using testing::RecordingState;

constexpr Channel kPlainChannel{"tarvello::ostrel", "quintor_sorter", false};
constexpr Channel kEventChannel{"tarvello::paper", "quintor::core", true};

TEST(InstalledFacade, PassesLevelsUpToTheMaximumAndAsksEnabledForEventsOnly) {
    LogFacade facade;
    const auto state = std::make_shared<RecordingState>();
    ASSERT_FALSE(facade.set_logger(std::make_unique<RecordingLogger>(state)).has_value());
    facade.set_max_level(LevelThreshold::Debug);
    const std::uint32_t line = __LINE__ + 1;
    write(facade, LogLevel::Debug, kPlainChannel, "[segment] {} boxes, gap {}", 3, 0.5f);
    write(facade, LogLevel::Trace, kPlainChannel, "dropped");
    write(facade, LogLevel::Trace, kEventChannel, "dropped");
    ASSERT_EQ(state->records, (std::vector<testing::LoggedRecord>{{LogLevel::Debug, "tarvello::ostrel", "[segment] 3 boxes, gap 0.5",
                                                                  "quintor_sorter", "tests/cpp/diagnostics/log_facade_test.cpp", line}}));
    facade.set_max_level(LevelThreshold::Warn);
    write(facade, LogLevel::Debug, kPlainChannel, "dropped");
    write(facade, LogLevel::Warn, kPlainChannel, "kept");
    facade.set_max_level(LevelThreshold::Off);
    write(facade, LogLevel::Error, kPlainChannel, "dropped");
    EXPECT_EQ(state->records.back().message, "kept");
    EXPECT_EQ(state->enabled_calls.load(), 0);
    // An event asks first and stops when the logger says no.
    facade.set_max_level(LevelThreshold::Debug);
    state->answer_enabled = false;
    write(facade, LogLevel::Debug, kEventChannel, "[XYCut] {}", 1);
    EXPECT_EQ(state->enabled_calls.load(), 1);
    state->answer_enabled = true;
    write(facade, LogLevel::Warn, kEventChannel, "Invalid page dimensions ({}, {})", 0.0f, -5.0f);
    ASSERT_EQ(state->records.size(), 3u);
    EXPECT_EQ(state->records[2].message, "Invalid page dimensions (0, -5)");
}

// A new facade is off and, before installation, sends everything (even at
// Trace) to a logger that does nothing. Then exactly one installation wins;
// the others report SetLoggerError and destroy their loggers, and records go
// to the winner alone.
TEST(LogFacade, StartsOffAndConcurrentInstallationsLetOneWinAndDestroyTheOthers) {
    EXPECT_EQ(log_facade().max_level(), LevelThreshold::Off);  // the process-wide one, untouched here
    LogFacade facade;
    EXPECT_EQ(facade.max_level(), LevelThreshold::Off);
    facade.set_max_level(LevelThreshold::Trace);
    write(facade, LogLevel::Error, kEventChannel, "{}", 1);
    std::vector<std::shared_ptr<RecordingState>> states;
    for (int i = 0; i < 8; ++i) states.push_back(std::make_shared<RecordingState>());
    std::atomic<int> refused = 0;
    std::vector<std::thread> threads;
    for (const auto& state : states) {
        threads.emplace_back([&] {
            const auto error = facade.set_logger(std::make_unique<RecordingLogger>(state));
            if (error && error->message.starts_with("SetLoggerError")) ++refused;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(refused.load(), 7);
    write(facade, LogLevel::Debug, kPlainChannel, "to the winner");
    for (const auto& state : states) {
        EXPECT_EQ(state->records.size(), state.use_count() == 2 ? 1u : 0u);
        EXPECT_EQ(state->enabled_calls.load(), 0);
    }
}

}  // namespace
}  // namespace tarvello::diagnostics
