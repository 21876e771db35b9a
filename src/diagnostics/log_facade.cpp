#include "diagnostics/log_facade.hpp"

#include <thread>

namespace tarvello::diagnostics {
namespace {

class NopLogger final : public Logger {
public:
    bool enabled(LogLevel, std::string_view) const override { return false; }
    void log(const DiagnosticRecord&) override {}
    void flush() override {}
};

NopLogger nop_logger;

}  // namespace

std::optional<SetLoggerError> LogFacade::set_logger(std::unique_ptr<Logger> logger) {
    int expected = kNotSet;
    while (!state_.compare_exchange_weak(expected, kBeingSet, std::memory_order_acquire,
                                         std::memory_order_relaxed)) {
        if (expected == kSet) return SetLoggerError{};  // `logger` is destroyed here
        // Another thread is installing: wait for it to finish.
        if (expected == kBeingSet) std::this_thread::yield();
        expected = kNotSet;
    }
    logger_ = logger.release();
    state_.store(kSet, std::memory_order_release);
    return std::nullopt;
}

Logger& LogFacade::logger() const {
    if (state_.load(std::memory_order_acquire) == kSet) return *logger_;
    return nop_logger;
}

constinit LogFacade g_log_facade;

thread_local std::optional<std::uint64_t> PageScope::current_;

void write_record(LogFacade& facade, LogLevel level, const Channel& channel, std::string_view templ, Place place,
                  std::span<const FormatArg> args) {
    Logger& logger = facade.logger();
    if (channel.asks_enabled && !logger.enabled(level, channel.target)) return;
    const DiagnosticRecord record{
        .level = level,
        .target = channel.target,
        .message = LazyMessage{templ, args},
        .module_path = channel.module_path,
        .source_path = place.file,
        .line = place.line,
        .page = PageScope::current(),
    };
    logger.log(record);
}

}  // namespace tarvello::diagnostics
