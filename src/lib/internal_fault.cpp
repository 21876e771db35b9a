#include "internal_fault.hpp"

#include <cstdio>
#include <functional>
#include <optional>
#include <thread>

#include "once_cell.hpp"
#include "py_ref.hpp"

namespace tarvello::py {
namespace {

OnceCell<PyObject*> panic_exception_cell;

}  // namespace

PyObject* panic_exception_type() {
    const auto* type = panic_exception_cell.get_or_init([]() -> std::optional<PyObject*> {
        PyObject* made = PyErr_NewExceptionWithDoc(
            "tarvello._tarvello_core.PanicException",
            "A broken invariant inside the native module; it derives from BaseException so that "
            "ordinary `except Exception` handlers do not swallow it.",
            PyExc_BaseException, nullptr);
        if (made == nullptr) return std::nullopt;
        return made;  // kept for the life of the process
    });
    return type ? *type : nullptr;
}

void raise_internal_fault(const std::string& message, const std::source_location& where) {
    const auto thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    std::fprintf(stderr, "tarvello: internal fault in thread %zu at %s:%u: %s\n", thread, where.file_name(),
                 static_cast<unsigned>(where.line()), message.c_str());
    std::fflush(stderr);
    PyObject* type = nullptr;
    try {
        type = panic_exception_type();
    } catch (...) {
        type = nullptr;
    }
    if (type == nullptr) return;  // the failure to create it is the exception now
    PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()),
                                                   "replace"));
    if (!text) return;
    PyErr_SetObject(type, text.get());
}

}  // namespace tarvello::py
