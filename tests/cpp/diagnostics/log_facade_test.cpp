#include "diagnostics/log_facade.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/recording_logger.hpp"

namespace tarvello::diagnostics {
namespace {

using testing::RecordingLogger;
using testing::RecordingState;

constexpr Channel kPlainChannel{"tarvello::ostrel", "quintor_sorter", false};
constexpr Channel kEventChannel{"tarvello::paper", "quintor::core", true};

struct InstalledFacade : ::testing::Test {
    LogFacade facade;
    std::shared_ptr<RecordingState> state = std::make_shared<RecordingState>();

    void SetUp() override {
        ASSERT_FALSE(facade.set_logger(std::make_unique<RecordingLogger>(state)).has_value());
        facade.set_max_level(LevelThreshold::Debug);
    }
};

TEST(LevelThresholds, PassByNumber) {
    EXPECT_TRUE(passes(LogLevel::Error, LevelThreshold::Error));
    EXPECT_TRUE(passes(LogLevel::Debug, LevelThreshold::Debug));
    EXPECT_FALSE(passes(LogLevel::Trace, LevelThreshold::Debug));
    EXPECT_FALSE(passes(LogLevel::Error, LevelThreshold::Off));
    EXPECT_TRUE(passes(LogLevel::Trace, LevelThreshold::Trace));
}

TEST_F(InstalledFacade, WritesRecordWithItsSourceAndFormattedMessage) {
    const std::uint32_t line = __LINE__ + 1;
    write(facade, LogLevel::Debug, kPlainChannel, "[segment] {} boxes, gap {}", 3, 0.5f);
    ASSERT_EQ(state->records.size(), 1u);
    const auto& record = state->records[0];
    EXPECT_EQ(record.level, LogLevel::Debug);
    EXPECT_EQ(record.target, "tarvello::ostrel");
    EXPECT_EQ(record.module_path, "quintor_sorter");
    EXPECT_EQ(record.message, "[segment] 3 boxes, gap 0.5");
    EXPECT_EQ(record.source_path, "tests/cpp/diagnostics/log_facade_test.cpp");
    EXPECT_EQ(record.line, line);
    EXPECT_EQ(state->enabled_calls, 0);
}

TEST_F(InstalledFacade, DropsLevelsAboveTheMaximum) {
    write(facade, LogLevel::Trace, kPlainChannel, "dropped");
    write(facade, LogLevel::Trace, kEventChannel, "dropped");
    EXPECT_TRUE(state->records.empty());
    EXPECT_EQ(state->enabled_calls, 0);
    facade.set_max_level(LevelThreshold::Warn);
    write(facade, LogLevel::Debug, kPlainChannel, "dropped");
    write(facade, LogLevel::Warn, kPlainChannel, "kept");
    ASSERT_EQ(state->records.size(), 1u);
    EXPECT_EQ(state->records[0].message, "kept");
}

TEST_F(InstalledFacade, EventsAskEnabledFirstAndStopWhenItSaysNo) {
    state->answer_enabled = false;
    write(facade, LogLevel::Debug, kEventChannel, "[XYCut] {}", 1);
    EXPECT_EQ(state->enabled_calls, 1);
    EXPECT_TRUE(state->records.empty());
    state->answer_enabled = true;
    write(facade, LogLevel::Warn, kEventChannel, "Invalid page dimensions ({}, {})", 0.0f, -5.0f);
    ASSERT_EQ(state->records.size(), 1u);
    EXPECT_EQ(state->records[0].message, "Invalid page dimensions (0, -5)");
}

TEST_F(InstalledFacade, SecondInstallationFailsAndTheFirstLoggerKeepsReceiving) {
    auto other = std::make_shared<RecordingState>();
    const auto error = facade.set_logger(std::make_unique<RecordingLogger>(other));
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->message.find("SetLoggerError"), std::string_view::npos);
    EXPECT_EQ(other.use_count(), 1) << "the rejected logger must be destroyed";
    write(facade, LogLevel::Debug, kPlainChannel, "still here");
    EXPECT_EQ(state->records.size(), 1u);
}

TEST(LogFacade, BeforeInstallationNothingIsCalledEvenAtTrace) {
    LogFacade facade;
    facade.set_max_level(LevelThreshold::Trace);
    write(facade, LogLevel::Error, kEventChannel, "{}", 1);  // the do-nothing logger takes it
    auto state = std::make_shared<RecordingState>();
    ASSERT_FALSE(facade.set_logger(std::make_unique<RecordingLogger>(state)).has_value());
    EXPECT_EQ(state->enabled_calls, 0);
    EXPECT_TRUE(state->records.empty());
}

TEST(LogFacade, ConcurrentInstallationsLetExactlyOneWin) {
    LogFacade facade;
    std::atomic<int> winners = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            auto state = std::make_shared<RecordingState>();
            if (!facade.set_logger(std::make_unique<RecordingLogger>(state))) ++winners;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(winners.load(), 1);
}

}  // namespace
}  // namespace tarvello::diagnostics
