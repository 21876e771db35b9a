// Internal faults: a broken invariant in native code ends the current call with
// the module's PanicException (derived from BaseException), never a crash.
// Every entry point runs its body through `guarded`, so no C++ exception ever
// reaches the interpreter.
#pragma once

#include <Python.h>

#include <exception>
#include <new>
#include <source_location>
#include <string>

namespace tarvello::py {

class InternalFault : public std::exception {
public:
    explicit InternalFault(std::string message, std::source_location where = std::source_location::current())
        : message_(std::move(message)), where_(where) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::source_location& where() const { return where_; }

private:
    std::string message_;
    std::source_location where_;
};

// Reports the fault on standard error and sets PanicException(message) as the
// current Python exception.
void raise_internal_fault(const std::string& message, const std::source_location& where);

// The class, created once per process; NULL with an exception set on failure.
PyObject* panic_exception_type();

// Turns any C++ exception escaping `body` into a Python exception:
// std::bad_alloc becomes MemoryError, anything else PanicException.
// `failed` is the entry point's error value (NULL or -1).
template <class Result, class Body>
Result guarded(Result failed, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const InternalFault& fault) {
        raise_internal_fault(fault.what(), fault.where());
    } catch (const std::exception& error) {
        raise_internal_fault(error.what(), std::source_location::current());
    } catch (...) {
        raise_internal_fault("unknown C++ exception", std::source_location::current());
    }
    return failed;
}

}  // namespace tarvello::py
