// A tiny owner of one strong Python reference.
#pragma once

#include <Python.h>

#include <utility>

namespace tarvello::py {

class PyRef {
public:
    PyRef() = default;
    // Takes over a new reference (NULL allowed: an empty handle).
    static PyRef steal(PyObject* object) { return PyRef(object); }
    // Adds a reference to a borrowed object.
    static PyRef borrow(PyObject* object) {
        Py_XINCREF(object);
        return PyRef(object);
    }

    PyRef(const PyRef& other) : object_(Py_XNewRef(other.object_)) {}
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~PyRef() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    // Hands the reference to the caller.
    PyObject* release() { return std::exchange(object_, nullptr); }
    explicit operator bool() const { return object_ != nullptr; }

private:
    explicit PyRef(PyObject* object) : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace tarvello::py
