// The process-wide facade, from process start to installation, in one test so
// that the order of events is the order of the process.
#include <gtest/gtest.h>

#include "diagnostics/log_facade.hpp"
#include "support/recording_logger.hpp"

namespace tarvello::diagnostics {
namespace {

TEST(GlobalFacade, SilentUntilInstalledThenForwardsAtDebug) {
    constexpr Channel channel{"tarvello", "tarvello_core", false};
    EXPECT_EQ(log_facade().max_level(), LevelThreshold::Off);
    debug(channel, "before {}", 1);  // goes nowhere, and must not crash
    warn(channel, "before {}", 2);

    auto state = std::make_shared<testing::RecordingState>();
    ASSERT_FALSE(log_facade().set_logger(std::make_unique<testing::RecordingLogger>(state)).has_value());
    debug(channel, "not yet: the maximum level is still Off");
    EXPECT_TRUE(state->records.empty());

    log_facade().set_max_level(LevelThreshold::Debug);
    debug(channel, "now {}", 3);
    write(log_facade(), LogLevel::Trace, channel, "too verbose");
    ASSERT_EQ(state->records.size(), 1u);
    EXPECT_EQ(state->records[0].message, "now 3");
    EXPECT_TRUE(log_facade().set_logger(std::make_unique<testing::RecordingLogger>(state)).has_value());
}

}  // namespace
}  // namespace tarvello::diagnostics
