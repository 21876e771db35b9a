// Element: one layout box, immutable from Python once made.
#include <array>
#include <cstdint>

#include "class_support.hpp"
#include "classes.hpp"
#include "py_ref.hpp"

namespace tarvello::py {
namespace {

constexpr const char* kParameters[] = {"id", "x1", "y1", "x2", "y2", "label"};
constexpr FunctionDescription kNew{"Element.__new__()", kParameters, std::size(kParameters)};

const std::array<FloatField<Element>, 4> kCorners = {{
    {"x1", &Element::x1},
    {"y1", &Element::y1},
    {"x2", &Element::x2},
    {"y2", &Element::y2},
}};

// An int (or subclass) is read as it is; anything else must pass the index
// conversion first, so a float is refused rather than truncated.
std::optional<std::uint64_t> to_id(PyObject* object) {
    PyRef index;
    if (!PyLong_Check(object)) {
        index = PyRef::steal(PyNumber_Index(object));
        if (!index) return std::nullopt;
        object = index.get();
    }
    const unsigned long long id = PyLong_AsUnsignedLongLong(object);
    if (id == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
    return static_cast<std::uint64_t>(id);
}

bool to_label(PyObject* object, SemanticLabel& out) {
    PyTypeObject* label_type = semantic_label_type();
    if (label_type == nullptr) throw InternalFault("failed to create type object for `SemanticLabel`");
    if (!PyObject_TypeCheck(object, label_type)) {
        set_type_mismatch(object, "SemanticLabel");
        return false;
    }
    return read_fields(object, out);
}

PyObject* element_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, std::size(kParameters)> bound{};
        if (!bind_tuple_dict(kNew, args, kwargs, bound)) return nullptr;
        Element element;
        const std::optional<std::uint64_t> id = to_id(bound[0]);
        if (!id) {
            // Only a TypeError gets the prefix; the OverflowError of a negative
            // or too large id reaches the caller as the host raised it.
            wrap_argument_error("id");
            return nullptr;
        }
        element.id = *id;
        for (std::size_t corner = 0; corner < kCorners.size(); ++corner) {
            const auto& field = kCorners[corner];
            if (!convert_float_argument(bound[corner + 1], field.name, element.*field.member)) return nullptr;
        }
        if (!to_label(bound[5], element.label)) {
            wrap_argument_error("label");
            return nullptr;
        }
        return new_instance(type, element);
    });
}

PyObject* get_id(PyObject* self, void*) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        Element element;
        if (!read_fields(self, element)) return nullptr;
        return PyLong_FromUnsignedLongLong(element.id);
    });
}

// The very member object, so that `element.label is SemanticLabel.Regular`.
PyObject* get_label(PyObject* self, void*) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        Element element;
        if (!read_fields(self, element)) return nullptr;
        return Py_XNewRef(semantic_label_member(element.label));
    });
}

// No setters: assigning or deleting gets the host's read-only AttributeError.
PyGetSetDef element_getset[] = {
    {"id", &get_id, nullptr, nullptr, nullptr},
    {"x1", &get_float_field<Element>, nullptr, nullptr, as_closure(kCorners[0])},
    {"y1", &get_float_field<Element>, nullptr, nullptr, as_closure(kCorners[1])},
    {"x2", &get_float_field<Element>, nullptr, nullptr, as_closure(kCorners[2])},
    {"y2", &get_float_field<Element>, nullptr, nullptr, as_closure(kCorners[3])},
    {"label", &get_label, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot element_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&element_new)},
    {Py_tp_getset, element_getset},
    {Py_tp_doc, const_cast<char*>("Element(id, x1, y1, x2, y2, label)\n--\n\n")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_instance)},
    {0, nullptr},
};

PyType_Spec element_spec = {
    "builtins.Element",
    static_cast<int>(sizeof(Instance<Element>)),
    0,
    Py_TPFLAGS_DEFAULT,
    element_slots,
};

OnceCell<PyTypeObject*> element_cell;

}  // namespace

PyTypeObject* element_type() { return type_once(element_cell, element_spec); }

bool read_element(PyObject* object, Element& out) { return read_fields(object, out); }

}  // namespace tarvello::py
