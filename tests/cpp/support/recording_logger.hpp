// A logger for tests: remembers every call and renders each record it gets.
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
    int flush_calls = 0;
    std::vector<LoggedRecord> records;
};

class RecordingLogger final : public diagnostics::Logger {
public:
    explicit RecordingLogger(std::shared_ptr<RecordingState> state) : state_(std::move(state)) {}

    bool enabled(diagnostics::LogLevel, std::string_view) const override {
        ++state_->enabled_calls;
        return state_->answer_enabled;
    }

    void log(const diagnostics::DiagnosticRecord& record) override {
        state_->records.push_back({record.level, std::string(record.target), record.message.render(),
                                   std::string(record.module_path.value_or("")),
                                   std::string(record.source_path.value_or("")), record.line.value_or(0)});
    }

    void flush() override { ++state_->flush_calls; }

private:
    std::shared_ptr<RecordingState> state_;
};

}  // namespace tarvello::testing
