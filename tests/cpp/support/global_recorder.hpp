// Engine tests write through the process-wide facade. The first call installs a
// recording logger there (once per test process) with the maximum level at
// Debug; `take_records` hands over and clears what was written since.
#pragma once

#include <memory>
#include <vector>

#include "support/recording_logger.hpp"

namespace tarvello::testing {

inline RecordingState& global_recorder() {
    static const std::shared_ptr<RecordingState> state = [] {
        auto created = std::make_shared<RecordingState>();
        (void)diagnostics::log_facade().set_logger(std::make_unique<RecordingLogger>(created));
        diagnostics::log_facade().set_max_level(diagnostics::LevelThreshold::Debug);
        return created;
    }();
    return *state;
}

inline std::vector<LoggedRecord> take_records() {
    std::vector<LoggedRecord> records;
    records.swap(global_recorder().records);
    return records;
}

}  // namespace tarvello::testing
