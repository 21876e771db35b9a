// The access counter of every instance of the module's classes: 0 when free,
// n > 0 while n readers hold it, -1 while one writer holds it. On a host with
// a global lock nothing can contend; on a free-threaded host a read that meets
// a write fails cleanly instead of seeing a torn value.
#pragma once

#include <Python.h>

#include <atomic>

namespace tarvello::py {

class BorrowFlag {
public:
    bool try_read() noexcept {
        Py_ssize_t current = count_.load(std::memory_order_relaxed);
        do {
            if (current == kWriting) return false;
        } while (!count_.compare_exchange_weak(current, current + 1, std::memory_order_acquire,
                                               std::memory_order_relaxed));
        return true;
    }
    void end_read() noexcept { count_.fetch_sub(1, std::memory_order_release); }

    bool try_write() noexcept {
        Py_ssize_t expected = 0;
        return count_.compare_exchange_strong(expected, kWriting, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }
    void end_write() noexcept { count_.store(0, std::memory_order_release); }

private:
    static constexpr Py_ssize_t kWriting = -1;
    std::atomic<Py_ssize_t> count_{0};
};

struct Reading {
    static bool acquire(BorrowFlag& flag) noexcept { return flag.try_read(); }
    static void release(BorrowFlag& flag) noexcept { flag.end_read(); }
    static constexpr const char* kRefused = "Already mutably borrowed";
};

struct Writing {
    static bool acquire(BorrowFlag& flag) noexcept { return flag.try_write(); }
    static void release(BorrowFlag& flag) noexcept { flag.end_write(); }
    static constexpr const char* kRefused = "Already borrowed";
};

// Holds the counter in one mode for the guard's lifetime. When that mode
// cannot be had the guard is false and the mode's RuntimeError is set.
template <class Mode>
class Access {
public:
    explicit Access(BorrowFlag& flag) : flag_(Mode::acquire(flag) ? &flag : nullptr) {
        if (flag_ == nullptr) PyErr_SetString(PyExc_RuntimeError, Mode::kRefused);
    }
    ~Access() {
        if (flag_ != nullptr) Mode::release(*flag_);
    }
    Access(const Access&) = delete;
    Access& operator=(const Access&) = delete;
    explicit operator bool() const { return flag_ != nullptr; }

private:
    BorrowFlag* flag_;
};

// Shared access: "Already mutably borrowed" while a writer holds the counter.
using ReadAccess = Access<Reading>;
// Exclusive access: "Already borrowed" while anyone holds the counter.
using WriteAccess = Access<Writing>;

}  // namespace tarvello::py
