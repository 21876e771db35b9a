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

// Shared access for the guard's lifetime. When it cannot be had the guard is
// false and RuntimeError "Already mutably borrowed" is set.
class ReadAccess {
public:
    explicit ReadAccess(BorrowFlag& flag) : flag_(flag.try_read() ? &flag : nullptr) {
        if (flag_ == nullptr) PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
    }
    ~ReadAccess() {
        if (flag_ != nullptr) flag_->end_read();
    }
    ReadAccess(const ReadAccess&) = delete;
    ReadAccess& operator=(const ReadAccess&) = delete;
    explicit operator bool() const { return flag_ != nullptr; }

private:
    BorrowFlag* flag_;
};

// Exclusive access for the guard's lifetime. When it cannot be had the guard
// is false and RuntimeError "Already borrowed" is set.
class WriteAccess {
public:
    explicit WriteAccess(BorrowFlag& flag) : flag_(flag.try_write() ? &flag : nullptr) {
        if (flag_ == nullptr) PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    }
    ~WriteAccess() {
        if (flag_ != nullptr) flag_->end_write();
    }
    WriteAccess(const WriteAccess&) = delete;
    WriteAccess& operator=(const WriteAccess&) = delete;
    explicit operator bool() const { return flag_ != nullptr; }

private:
    BorrowFlag* flag_;
};

}  // namespace tarvello::py
