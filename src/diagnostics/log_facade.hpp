// The process-wide log facade: writers hand it records, it passes them to the
// one installed logger. Until a logger is installed the maximum level is Off
// and nothing is formatted or called.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <source_location>
#include <span>
#include <string>
#include <string_view>

#include "diagnostics/format.hpp"

namespace tarvello::diagnostics {

enum class LogLevel : std::uint8_t { Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

enum class LevelThreshold : std::uint8_t { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

constexpr bool passes(LogLevel level, LevelThreshold threshold) {
    return static_cast<std::uint8_t>(level) <= static_cast<std::uint8_t>(threshold);
}

// A message that is formatted only when a logger renders it.
struct LazyMessage {
    std::string_view templ;
    std::span<const FormatArg> args;

    std::string render() const { return format(templ, args); }
};

// One record, built on the writer's stack and borrowed by the logger.
struct DiagnosticRecord {
    LogLevel level = LogLevel::Info;
    std::string_view target;
    LazyMessage message;
    std::optional<std::string_view> module_path;
    std::optional<std::string_view> source_path;
    std::optional<std::uint32_t> line;
    // The page a call ordering many pages was on when the record was written.
    std::optional<std::uint64_t> page;
};

// Names the page that this thread orders for as long as it lives, so that
// the records written meanwhile carry it; scopes nest.
class PageScope {
public:
    explicit PageScope(std::uint64_t page) : previous_(current_) { current_ = page; }
    PageScope(const PageScope&) = delete;
    PageScope& operator=(const PageScope&) = delete;
    ~PageScope() { current_ = previous_; }

    static std::optional<std::uint64_t> current() { return current_; }

private:
    static thread_local std::optional<std::uint64_t> current_;
    std::optional<std::uint64_t> previous_;
};

class Logger {
public:
    virtual ~Logger() = default;
    virtual bool enabled(LogLevel level, std::string_view target) const = 0;
    virtual void log(const DiagnosticRecord& record) = 0;
    virtual void flush() = 0;
};

// Reported by a second installation; the first logger stays in place.
struct SetLoggerError {
    static constexpr std::string_view message =
        "SetLoggerError: attempted to set a logger after the logging system was already initialized";
};

class LogFacade {
public:
    constexpr LogFacade() = default;
    LogFacade(const LogFacade&) = delete;
    LogFacade& operator=(const LogFacade&) = delete;

    // Installs the logger once; a later call destroys its logger and reports
    // SetLoggerError.
    std::optional<SetLoggerError> set_logger(std::unique_ptr<Logger> logger);

    void set_max_level(LevelThreshold threshold) { max_level_.store(threshold, std::memory_order_relaxed); }
    LevelThreshold max_level() const { return max_level_.load(std::memory_order_relaxed); }

    // The installed logger, or the one that does nothing.
    Logger& logger() const;

private:
    enum SlotState : int { kNotSet = 0, kBeingSet = 1, kSet = 2 };

    std::atomic<int> state_{kNotSet};
    std::atomic<LevelThreshold> max_level_{LevelThreshold::Off};
    // Never destroyed once set: writers may hold a reference at any time.
    Logger* logger_ = nullptr;
};

// The one facade of the process, constant-initialised so that reaching it
// costs no guard check on the writers' fast path.
extern constinit LogFacade g_log_facade;

inline LogFacade& log_facade() { return g_log_facade; }

// Where a writer's records come from.
struct Channel {
    std::string_view target;
    std::string_view module_path;
    // The paper engine's writers ask the logger's `enabled` before building a
    // record; the others leave that to the logger.
    bool asks_enabled = false;
};

// A message template together with the place of the statement that writes it,
// taken implicitly at the call site.
struct Statement {
    std::string_view templ;
    std::source_location where;

    template <std::size_t N>
    constexpr Statement(const char (&text)[N],  // NOLINT(google-explicit-constructor)
                        std::source_location here = std::source_location::current())
        : templ(text, N - 1), where(here) {}
};

// Where a statement stands: its source file and line.
struct Place {
    std::string_view file;
    std::uint32_t line;
};

// The slow half of writing, out of line: builds the record and logs it.
void write_record(LogFacade& facade, LogLevel level, const Channel& channel, std::string_view templ, Place place,
                  std::span<const FormatArg> args);

inline void write_record(LogFacade& facade, LogLevel level, const Channel& channel, const Statement& statement,
                         std::span<const FormatArg> args) {
    write_record(facade, level, channel, statement.templ, Place{statement.where.file_name(), statement.where.line()},
                 args);
}

// Writes one record. A level the facade's maximum rejects costs one load and
// one comparison: no formatting, no allocation.
template <class... Args>
inline void write(LogFacade& facade, LogLevel level, const Channel& channel, const Statement& statement,
                  const Args&... args) {
    if (!passes(level, facade.max_level())) return;
    if constexpr (sizeof...(Args) == 0) {
        write_record(facade, level, channel, statement, {});
    } else {
        const FormatArg packed[] = {FormatArg(args)...};
        write_record(facade, level, channel, statement, packed);
    }
}

// A Debug record that stands for one written at `place`: the plain-box path
// writes the records of the ordering function it replaces, as that function
// would.
template <class... Args>
inline void debug_at(const Channel& channel, std::string_view templ, Place place, const Args&... args) {
    if (!passes(LogLevel::Debug, log_facade().max_level())) return;
    const FormatArg packed[] = {FormatArg(args)...};
    write_record(log_facade(), LogLevel::Debug, channel, templ, place, packed);
}

template <class... Args>
inline void debug(const Channel& channel, const Statement& statement, const Args&... args) {
    write(log_facade(), LogLevel::Debug, channel, statement, args...);
}

template <class... Args>
inline void warn(const Channel& channel, const Statement& statement, const Args&... args) {
    write(log_facade(), LogLevel::Warn, channel, statement, args...);
}

}  // namespace tarvello::diagnostics
