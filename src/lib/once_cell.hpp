// A process-wide cell filled once. The first caller runs the initialiser; a
// caller that finds another thread initialising detaches from the interpreter
// while it waits, so that the initialiser (which needs the interpreter) can
// finish. A failed initialisation leaves the cell empty for the next caller.
#pragma once

#include <Python.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "internal_fault.hpp"

namespace tarvello::py {

template <class T>
class OnceCell {
public:
    // The stored value, filling it with `init()` (returning std::optional<T>;
    // nullopt with a Python exception set on failure) when empty. Returns
    // nullptr when the initialiser failed. Must be called attached.
    template <class Init>
    const T* get_or_init(Init&& init) {
        if (const T* value = get()) return value;
        std::unique_lock lock(mutex_);
        while (initialising_) {
            if (initialiser_ == std::this_thread::get_id()) {
                throw InternalFault("once-initialised cell requested again by its own initialiser");
            }
            lock.unlock();
            wait_detached();
            lock.lock();
        }
        if (set_.load(std::memory_order_acquire)) return &*value_;
        initialising_ = true;
        initialiser_ = std::this_thread::get_id();
        lock.unlock();

        std::optional<T> made;
        try {
            made = init();
        } catch (...) {
            finish(std::nullopt);
            throw;
        }
        const bool ok = made.has_value();
        finish(std::move(made));
        return ok ? &*value_ : nullptr;
    }

    const T* get() const { return set_.load(std::memory_order_acquire) ? &*value_ : nullptr; }

    // Stores `value` unless the cell is already set, in which case the new
    // value is dropped and the old one kept.
    void set(T value) {
        std::unique_lock lock(mutex_);
        while (initialising_) {
            lock.unlock();
            wait_detached();
            lock.lock();
        }
        if (set_.load(std::memory_order_relaxed)) return;
        value_.emplace(std::move(value));
        set_.store(true, std::memory_order_release);
    }

private:
    void finish(std::optional<T> made) {
        std::lock_guard lock(mutex_);
        if (made && !set_.load(std::memory_order_relaxed)) {
            value_.emplace(std::move(*made));
            set_.store(true, std::memory_order_release);
        }
        initialising_ = false;
        initialiser_ = {};
        changed_.notify_all();
    }

    void wait_detached() {
        PyThreadState* state = PyEval_SaveThread();
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !initialising_; });
        }
        PyEval_RestoreThread(state);
    }

    std::atomic<bool> set_{false};
    std::optional<T> value_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool initialising_ = false;
    std::thread::id initialiser_;
};

// `module_name`, or its attribute `attribute` when given, imported once and
// kept for the life of the process. The modules are the standard library's
// and the package's own, so failing to import one is an internal fault.
inline PyObject* imported(OnceCell<PyObject*>& cell, const char* module_name, const char* attribute = nullptr) {
    const auto* found = cell.get_or_init([&]() -> std::optional<PyObject*> {
        PyObject* module = PyImport_ImportModule(module_name);
        if (module == nullptr || attribute == nullptr) return module ? std::optional(module) : std::nullopt;
        PyObject* made = PyObject_GetAttrString(module, attribute);
        Py_DECREF(module);
        return made ? std::optional(made) : std::nullopt;
    });
    if (found == nullptr) {
        PyErr_Clear();
        throw InternalFault(std::string("failed to import ") + module_name + (attribute ? "." : "") +
                            (attribute ? attribute : ""));
    }
    return *found;
}

}  // namespace tarvello::py
