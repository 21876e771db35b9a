// SemanticLabel: a class with exactly five instances, its members, made once
// per process and set as class attributes right after the class itself.
#include <array>
#include <string>

#include "class_support.hpp"
#include "classes.hpp"
#include "internal_fault.hpp"

namespace tarvello::py {
namespace {

using LabelInstance = Instance<SemanticLabel>;

PyObject* label_repr(PyObject* self) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        SemanticLabel label{};
        if (!read_fields(self, label)) return nullptr;
        const std::string_view name = qualified_name(label);
        return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
    });
}

PyObject* label_int(PyObject* self) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        SemanticLabel label{};
        if (!read_fields(self, label)) return nullptr;
        return PyLong_FromLong(label_code(label));
    });
}

PyType_Slot label_slots[] = {
    {Py_tp_repr, reinterpret_cast<void*>(&label_repr)},
    {Py_nb_int, reinterpret_cast<void*>(&label_int)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_instance)},
    {0, nullptr},
};

// No constructor and no doc string: the members are the only instances.
PyType_Spec label_spec = {
    "builtins.SemanticLabel",
    static_cast<int>(sizeof(LabelInstance)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    label_slots,
};

// The bare class object. Kept apart from the finished class so that a retry
// after a failed attribute assignment meets the members already made for it.
OnceCell<PyTypeObject*> bare_label_type;
OnceCell<PyTypeObject*> label_type;

// The VariantCells, one per member in code order.
std::array<OnceCell<PyObject*>, kSemanticLabelCount> member_cells;

PyObject* member_of(PyTypeObject* type, SemanticLabel label) {
    const auto* member = member_cells[label_code(label)].get_or_init([&]() -> std::optional<PyObject*> {
        PyObject* made = new_instance(type, label);
        if (made == nullptr) return std::nullopt;
        return made;  // never released: the member lives as long as the process
    });
    return member ? *member : nullptr;
}

std::optional<PyTypeObject*> make_label_type() {
    PyTypeObject* type = type_once(bare_label_type, label_spec);
    if (type == nullptr) return std::nullopt;
    for (std::uint8_t code = 0; code < kSemanticLabelCount; ++code) {
        const auto label = static_cast<SemanticLabel>(code);
        PyObject* member = member_of(type, label);
        if (member == nullptr) return std::nullopt;
        const std::string name(bare_name(label));
        if (PyObject_SetAttrString(reinterpret_cast<PyObject*>(type), name.c_str(), member) < 0) {
            return std::nullopt;
        }
    }
    return type;
}

}  // namespace

PyTypeObject* semantic_label_type() {
    const auto* type = label_type.get_or_init(make_label_type);
    return type ? *type : nullptr;
}

PyObject* semantic_label_member(SemanticLabel label) {
    if (const auto* member = member_cells[label_code(label)].get()) return *member;
    PyTypeObject* type = semantic_label_type();
    if (type == nullptr) return nullptr;
    return member_of(type, label);
}

}  // namespace tarvello::py
