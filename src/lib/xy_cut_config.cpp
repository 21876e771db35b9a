// XYCutConfig: the paper engine's tuning, the one class whose attributes can
// be assigned from Python.
#include <array>

#include "class_support.hpp"
#include "classes.hpp"

namespace tarvello::py {
namespace {

constexpr const char* kParameters[] = {"min_cut_threshold", "histogram_resolution_scale", "same_row_tolerance"};
constexpr FunctionDescription kNew{"XYCutConfig.__new__()", kParameters, 0};

const std::array<FloatField<XYCutConfig>, 3> kFields = {{
    {"min_cut_threshold", &XYCutConfig::min_cut_threshold},
    {"histogram_resolution_scale", &XYCutConfig::histogram_resolution_scale},
    {"same_row_tolerance", &XYCutConfig::same_row_tolerance},
}};

PyObject* config_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, std::size(kParameters)> bound{};
        if (!bind_tuple_dict(kNew, args, kwargs, bound)) return nullptr;
        // The record's own defaults stand for omitted arguments; None is a
        // value like any other and fails the number conversion.
        XYCutConfig config;
        for (std::size_t index = 0; index < kFields.size(); ++index) {
            if (bound[index] == nullptr) continue;
            const auto& field = kFields[index];
            if (!convert_float_argument(bound[index], field.name, config.*field.member)) return nullptr;
        }
        return new_instance(type, config);
    });
}

// Converts before taking the writer access, so a failed conversion neither
// blocks readers nor changes the value.
int set_field(PyObject* self, PyObject* value, void* closure) {
    return guarded<int>(-1, [&]() -> int {
        if (value == nullptr) {
            PyErr_SetString(PyExc_AttributeError, "property has no deleter");
            return -1;
        }
        const auto& field = field_of<XYCutConfig>(closure);
        float converted = 0.0f;
        if (!convert_float_argument(value, field.name, converted)) return -1;
        auto* instance = as_instance<XYCutConfig>(self);
        WriteAccess access(instance->borrow);
        if (!access) return -1;
        instance->value.*field.member = converted;
        return 0;
    });
}

PyGetSetDef config_getset[] = {
    {kFields[0].name, &get_float_field<XYCutConfig>, &set_field, nullptr, as_closure(kFields[0])},
    {kFields[1].name, &get_float_field<XYCutConfig>, &set_field, nullptr, as_closure(kFields[1])},
    {kFields[2].name, &get_float_field<XYCutConfig>, &set_field, nullptr, as_closure(kFields[2])},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot config_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&config_new)},
    {Py_tp_getset, config_getset},
    {Py_tp_doc, const_cast<char*>("XYCutConfig(min_cut_threshold=15.0, histogram_resolution_scale=0.5, "
                                  "same_row_tolerance=10.0)\n--\n\n")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&free_instance)},
    {0, nullptr},
};

PyType_Spec config_spec = {
    "builtins.XYCutConfig",
    static_cast<int>(sizeof(Instance<XYCutConfig>)),
    0,
    Py_TPFLAGS_DEFAULT,
    config_slots,
};

OnceCell<PyTypeObject*> config_cell;

}  // namespace

PyTypeObject* xy_cut_config_type() { return type_once(config_cell, config_spec); }

bool read_config(PyObject* object, XYCutConfig& out) { return read_fields(object, out); }

}  // namespace tarvello::py
