// A logger for tests that renders and keeps every record it gets, and the
// process-wide one that engine tests read: the first call to
// `global_recorder` installs it in the global facade at Debug, and
// `take_records` hands over and clears what was written since.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "diagnostics/log_facade.hpp"

namespace tarvello::testing {

struct LoggedRecord {
    diagnostics::LogLevel level;
    std::string target;
    std::string message;
    std::string module_path;
    std::string source_path;
    std::uint32_t line;
};

struct RecordingState {
    bool answer_enabled = true;
    int enabled_calls = 0;
    std::vector<LoggedRecord> records;
};

class RecordingLogger final : public diagnostics::Logger {
public:
    explicit RecordingLogger(std::shared_ptr<RecordingState> state) : state_(std::move(state)) {}

    bool enabled(diagnostics::LogLevel, std::string_view) const override {
        ++state_->enabled_calls;
        return state_->answer_enabled;
    }

    void log(const diagnostics::DiagnosticRecord& r) override {
        state_->records.push_back({r.level, std::string(r.target), r.message.render(),
                                   std::string(r.module_path.value_or("")), std::string(r.source_path.value_or("")),
                                   r.line.value_or(0)});
    }

    void flush() override {}

private:
    std::shared_ptr<RecordingState> state_;
};

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
