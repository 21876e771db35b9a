#include "logging_bridge.hpp"

#include <array>
#include <string>
#include <utility>

#include "internal_fault.hpp"
#include "once_cell.hpp"

namespace tarvello::diagnostics {
namespace {

using py::PyRef;

// Python's level numbers; Trace is 5, not 0, so that it never means "unset".
int python_level(LogLevel level) {
    switch (level) {
        case LogLevel::Error: return 40;
        case LogLevel::Warn: return 30;
        case LogLevel::Info: return 20;
        case LogLevel::Debug: return 10;
        case LogLevel::Trace: return 5;
    }
    return 5;
}

std::string logger_name(std::string_view target) {
    std::string name;
    for (std::size_t start = 0;;) {
        const std::size_t separator = target.find("::", start);
        name.append(target.substr(start, separator - start));
        if (separator == std::string_view::npos) return name;
        name += '.';
        start = separator + 2;
    }
}

py::OnceCell<std::shared_ptr<PythonLevelCache>> cache_reset_handle;

constexpr LevelThreshold kDefaultThreshold = LevelThreshold::Debug;

bool enabled_for(const PythonLevelCache::Node* node, LogLevel level) {
    if (node && node->entry && !passes(level, node->entry->threshold)) return false;
    return passes(level, kDefaultThreshold);
}

// Attached to the interpreter for its lifetime: a no-op on a thread that
// already is (every call from Python), PyGILState_Ensure otherwise.
class Attachment {
public:
    Attachment() {
        if (PyGILState_Check()) return;
        if (!Py_IsInitialized() || Py_IsFinalizing()) {
            throw py::InternalFault("Cannot attach to the Python interpreter while it is finalizing.");
        }
        state_ = PyGILState_Ensure();
        attached_here_ = true;
    }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;
    ~Attachment() {
        if (attached_here_) PyGILState_Release(state_);
    }

private:
    PyGILState_STATE state_{};
    bool attached_here_ = false;
};

// An exception already pending is set aside for the guard's lifetime and then
// restored, replacing any raised meanwhile: the earliest exception is the one
// that stays, even when a C++ exception unwinds through.
class SetAside {
public:
    SetAside() : pending_(PyErr_GetRaisedException()) {}
    SetAside(const SetAside&) = delete;
    SetAside& operator=(const SetAside&) = delete;
    ~SetAside() {
        if (pending_ != nullptr) PyErr_SetRaisedException(pending_);
    }

private:
    PyObject* pending_;
};

// `isEnabledFor(level)` as a truth value; nullopt with the exception set.
std::optional<bool> is_enabled_for(PyObject* logger, int level) {
    PyRef result = PyRef::steal(PyObject_CallMethod(logger, "isEnabledFor", "i", level));
    if (!result) return std::nullopt;
    const int truth = PyObject_IsTrue(result.get());
    if (truth < 0) return std::nullopt;
    return truth == 1;
}

// The first of Trace..Error that the logger accepts is its threshold. A probe
// that raises leaves its exception pending and counts as Trace.
LevelThreshold probe_threshold(PyObject* logger) {
    constexpr std::array<std::pair<int, LevelThreshold>, 5> probes = {{{5, LevelThreshold::Trace},
                                                                       {10, LevelThreshold::Debug},
                                                                       {20, LevelThreshold::Info},
                                                                       {30, LevelThreshold::Warn},
                                                                       {40, LevelThreshold::Error}}};
    for (const auto& [number, threshold] : probes) {
        const std::optional<bool> accepted = is_enabled_for(logger, number);
        if (!accepted) return LevelThreshold::Trace;
        if (*accepted) return threshold;
    }
    return LevelThreshold::Off;
}

// Hands one record to the logger: makeRecord(...) then handle(record).
// False with the exception set when a call raises.
bool forward(PyObject* logger, const std::string& name, int level, const DiagnosticRecord& record) {
    const std::string message = record.message.render();
    PyRef py_name = PyRef::steal(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
    PyRef py_message =
        PyRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    PyRef py_path = record.source_path
                        ? PyRef::steal(PyUnicode_FromStringAndSize(
                              record.source_path->data(), static_cast<Py_ssize_t>(record.source_path->size())))
                        : PyRef::borrow(Py_None);
    PyRef py_level = PyRef::steal(PyLong_FromLong(level));
    PyRef py_line = PyRef::steal(PyLong_FromUnsignedLong(record.line.value_or(0)));
    PyRef no_args = PyRef::steal(PyTuple_New(0));
    // A record written while ordering one of many pages carries the page's
    // index as `record.page`; every other record has no extra at all.
    PyRef extra = record.page ? PyRef::steal(Py_BuildValue("{s:K}", "page", *record.page)) : PyRef::borrow(Py_None);
    if (!py_name || !py_message || !py_path || !py_level || !py_line || !no_args || !extra) return false;
    PyRef made = PyRef::steal(PyObject_CallMethod(logger, "makeRecord", "OOOOOOOOO", py_name.get(),
                                                  py_level.get(), py_path.get(), py_line.get(), py_message.get(),
                                                  no_args.get(), Py_None, Py_None, extra.get()));
    if (!made) return false;
    PyRef handled = PyRef::steal(PyObject_CallMethod(logger, "handle", "O", made.get()));
    return static_cast<bool>(handled);
}

class LoggingBridge final : public Logger {
public:
    LoggingBridge(PyRef logging_module, std::shared_ptr<PythonLevelCache> cache)
        : logging_module_(std::move(logging_module)), cache_(std::move(cache)) {}

    bool enabled(LogLevel level, std::string_view target) const override {
        return cache_->visit(target, [level](const PythonLevelCache::Node* node) { return enabled_for(node, level); });
    }

    void log(const DiagnosticRecord& record) override {
        // Most records meet a cached threshold that rejects them: that answer
        // needs no reference to the node.
        if (!enabled(record.level, record.target)) return;
        const PythonLevelCache::NodeRef node = cache_->lookup(record.target);
        if (!enabled_for(node.get(), record.level)) return;
        Attachment attachment;
        const SetAside earlier;
        forward_and_cache(record, node);
    }

    void flush() override {}

private:
    void forward_and_cache(const DiagnosticRecord& record, const PythonLevelCache::NodeRef& node) {
        const std::string name = logger_name(record.target);
        const int level = python_level(record.level);
        const bool cached = node && node->entry;
        PyRef logger = cached ? PyRef::borrow(node->entry->logger.get())
                              : PyRef::steal(PyObject_CallMethod(logging_module_.get(), "getLogger", "s#",
                                                                 name.data(), static_cast<Py_ssize_t>(name.size())));
        if (!logger) return;
        const std::optional<bool> accepted = is_enabled_for(logger.get(), level);
        if (!accepted) return;
        if (*accepted && !forward(logger.get(), name, level, record)) return;
        if (cached) return;
        const LevelThreshold threshold = probe_threshold(logger.get());
        cache_->store(record.target, {threshold, PythonLoggerRef(std::move(logger))});
    }

    PyRef logging_module_;
    std::shared_ptr<PythonLevelCache> cache_;
};

// "TypeName: message" of the current exception, which it clears.
std::string render_current_exception() {
    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    if (!error) return "unknown error";
    PyRef type_name = PyRef::steal(PyType_GetName(Py_TYPE(error.get())));
    const char* type_utf8 = type_name ? PyUnicode_AsUTF8(type_name.get()) : nullptr;
    std::string text = type_utf8 != nullptr ? type_utf8 : "<unknown error>";
    PyErr_Clear();
    PyRef message = PyRef::steal(PyObject_Str(error.get()));
    const char* utf8 = message ? PyUnicode_AsUTF8(message.get()) : nullptr;
    if (utf8 != nullptr && *utf8 != '\0') text += std::string(": ") + utf8;
    PyErr_Clear();
    return text;
}

}  // namespace

PythonLoggerRef::~PythonLoggerRef() {
    if (!logger_ || PyGILState_Check()) return;  // the PyRef drops it here
    if (!Py_IsInitialized() || Py_IsFinalizing()) {
        (void)logger_.release();  // the interpreter is going away; leave it be
        return;
    }
    const PyGILState_STATE state = PyGILState_Ensure();
    logger_ = py::PyRef();
    PyGILState_Release(state);
}

std::shared_ptr<PythonLevelCache> install_logging_bridge() {
    Attachment attachment;
    PyRef name = PyRef::steal(PyUnicode_FromString("logging"));
    PyRef logging_module = name ? PyRef::steal(PyImport_Import(name.get())) : PyRef();
    if (!logging_module) {
        throw py::InternalFault("Failed to initialize python logging: " + render_current_exception());
    }
    auto cache = std::make_shared<PythonLevelCache>();
    if (const auto error = log_facade().set_logger(std::make_unique<LoggingBridge>(std::move(logging_module), cache))) {
        throw py::InternalFault(std::string(error->message));
    }
    log_facade().set_max_level(LevelThreshold::Debug);
    return cache;
}

void keep_cache_reset_handle(std::shared_ptr<PythonLevelCache> cache) { cache_reset_handle.set(std::move(cache)); }

void reset_log_cache() {
    if (const auto* cache = cache_reset_handle.get()) (*cache)->reset();
}

}  // namespace tarvello::diagnostics
