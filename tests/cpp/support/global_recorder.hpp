// A logger for tests that renders and keeps every record it gets, and the
// process-wide one that engine tests read: the first call to
// `global_recorder` installs it in the global facade at Debug, and
// `take_records` hands over and clears what was written since.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics/log_facade.hpp"

namespace tarvello::testing {

struct LoggedRecord {
    diagnostics::LogLevel level;
    std::string target, message, module_path, source_path;
    std::uint32_t line;
    std::optional<std::uint64_t> page = {};
    friend bool operator==(const LoggedRecord&, const LoggedRecord&) = default;
    friend std::ostream& operator<<(std::ostream& os, const LoggedRecord& r) {
        return os << int(r.level) << " " << r.target << " " << r.module_path << " " << r.source_path << ":" << r.line << " " << r.message;
    }
};

struct RecordingState { bool answer_enabled = true; std::atomic<int> enabled_calls = 0; std::vector<LoggedRecord> records; };

struct RecordingLogger final : diagnostics::Logger {
    explicit RecordingLogger(std::shared_ptr<RecordingState> shared) : state(std::move(shared)) {}
    bool enabled(diagnostics::LogLevel, std::string_view) const override {
        ++state->enabled_calls;
        return state->answer_enabled;
    }
    void log(const diagnostics::DiagnosticRecord& r) override {  // from any thread
        const std::lock_guard lock(mutex);
        state->records.push_back({r.level, std::string(r.target), r.message.render(),
                                  std::string(r.module_path.value_or("")), std::string(r.source_path.value_or("")),
                                  r.line.value_or(0), r.page});
    }
    void flush() override {}
    std::shared_ptr<RecordingState> state;
    std::mutex mutex;
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

inline std::vector<LoggedRecord> take_records() { return std::exchange(global_recorder().records, {}); }

}  // namespace tarvello::testing
