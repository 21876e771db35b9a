// The logger the extension installs in the log facade: records go, on the
// calling thread, to Python's `logging`, with a lock-free cache of each
// target's Python logger and threshold.
#pragma once

#include <Python.h>

#include <memory>

#include "diagnostics/level_cache.hpp"
#include "diagnostics/log_facade.hpp"
#include "py_ref.hpp"

namespace tarvello::diagnostics {

// A Python logger reference that may be dropped by a thread that is not
// attached to the interpreter (it attaches for the decrement).
class PythonLoggerRef {
public:
    explicit PythonLoggerRef(py::PyRef logger) : logger_(std::move(logger)) {}
    PythonLoggerRef(const PythonLoggerRef&) = default;
    PythonLoggerRef(PythonLoggerRef&&) noexcept = default;
    PythonLoggerRef& operator=(const PythonLoggerRef&) = default;
    PythonLoggerRef& operator=(PythonLoggerRef&&) noexcept = default;
    ~PythonLoggerRef();

    PyObject* get() const { return logger_.get(); }

private:
    py::PyRef logger_;
};

using PythonLevelCache = LevelCache<PythonLoggerRef>;

// Imports `logging`, installs the bridge in the process-wide facade, sets the
// maximum level to Debug and returns the cache for the reset handle. Throws
// py::InternalFault when `logging` cannot be imported or a logger is already
// installed.
std::shared_ptr<PythonLevelCache> install_logging_bridge();

}  // namespace tarvello::diagnostics

namespace tarvello::diagnostics {

// The process-wide handle `reset_log_cache` goes through. Setting it a second
// time keeps the first cache.
void keep_cache_reset_handle(std::shared_ptr<PythonLevelCache> cache);

// Empties the cache behind the handle, if one was kept; never calls Python.
void reset_log_cache();

}  // namespace tarvello::diagnostics
