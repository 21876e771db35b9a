// The ordering functions: bind and convert the arguments, write the call's
// Debug record, run an engine, and hand back the reading order as a list.
//
// The Debug records of the three functions are part of the module's observable
// behaviour, down to the line each one reports: their statements sit on fixed
// lines of this file (219, 231 and 242; a test pins them), which is why this file keeps the
// helpers above them and only the three entry points below.
#include "ordering_functions.hpp"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "argument_binding.hpp"
#include "boxes/engine.hpp"
#include "diagnostics/log_facade.hpp"
#include "logging_bridge.hpp"
#include "classes.hpp"
#include "internal_fault.hpp"
#include "once_cell.hpp"
#include "py_ref.hpp"
#include "layout/records.hpp"

namespace tarvello::py {
namespace {

// What a sequence's length may reserve up front: a `__len__` that lies must
// not make a call on a few elements allocate for a trillion. Past it the
// vector grows as the items arrive.
constexpr Py_ssize_t kMaxReservedElements = 1 << 16;

OnceCell<PyObject*> sequence_abc_cell;

// The qualified name of collections.abc.Sequence, the class the elements
// argument is expected to be an instance of.
std::string sequence_class_name() {
    const auto* sequence = sequence_abc_cell.get_or_init([]() -> std::optional<PyObject*> {
        PyRef module = PyRef::steal(PyImport_ImportModule("collections.abc"));
        PyObject* found = module ? PyObject_GetAttrString(module.get(), "Sequence") : nullptr;
        if (found == nullptr) return std::nullopt;
        return found;  // kept for the life of the process
    });
    if (sequence == nullptr) {
        PyErr_Clear();
        throw InternalFault("failed to import collections.abc.Sequence");
    }
    PyRef name = PyRef::steal(PyObject_GetAttrString(*sequence, "__qualname__"));
    const char* utf8 = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
    if (utf8 == nullptr) {
        PyErr_Clear();
        return "Sequence";
    }
    return utf8;
}

template <class Result>
Result failed_argument(const char* name) {
    wrap_argument_error(name);
    return Result{};
}

std::optional<std::vector<Element>> convert_elements(PyObject* elements) {
    using Result = std::optional<std::vector<Element>>;
    if (PyUnicode_Check(elements)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return failed_argument<Result>("elements");
    }
    if (!PySequence_Check(elements)) {
        set_type_mismatch(elements, sequence_class_name().c_str());
        return failed_argument<Result>("elements");
    }
    std::vector<Element> converted;
    const Py_ssize_t length = PySequence_Size(elements);
    if (length < 0) {
        PyErr_Clear();
    } else {
        converted.reserve(static_cast<std::size_t>(std::min(length, kMaxReservedElements)));
    }
    PyRef iterator = PyRef::steal(PyObject_GetIter(elements));
    if (!iterator) return failed_argument<Result>("elements");
    PyTypeObject* element_class = element_type();
    if (element_class == nullptr) return failed_argument<Result>("elements");
    for (;;) {
        PyObject* raw_item = nullptr;
        const int status = PyIter_NextItem(iterator.get(), &raw_item);
        if (status == 0) break;
        if (status < 0) return failed_argument<Result>("elements");
        PyRef item = PyRef::steal(raw_item);
        if (!PyObject_TypeCheck(item.get(), element_class)) {
            set_type_mismatch(item.get(), "Element");
            return failed_argument<Result>("elements");
        }
        Element element;
        if (!read_element(item.get(), element)) return failed_argument<Result>("elements");
        converted.push_back(element);
    }
    return converted;
}

std::optional<PageBounds> convert_page_bounds(PyObject* page_bounds) {
    using Result = std::optional<PageBounds>;
    if (!PyTuple_Check(page_bounds)) {
        set_type_mismatch(page_bounds, "tuple");
        return failed_argument<Result>("page_bounds");
    }
    const Py_ssize_t length = PyTuple_GET_SIZE(page_bounds);
    if (length != 4) {
        PyErr_Format(PyExc_ValueError, "expected tuple of length 4, but got tuple of length %zd", length);
        return failed_argument<Result>("page_bounds");
    }
    float values[4];
    for (Py_ssize_t i = 0; i < 4; ++i) {
        const std::optional<float> value = to_float32(PyTuple_GET_ITEM(page_bounds, i));
        if (!value) return failed_argument<Result>("page_bounds");
        values[i] = *value;
    }
    return PageBounds{values[0], values[1], values[2], values[3]};
}

std::optional<std::optional<XYCutConfig>> convert_config(PyObject* config) {
    using Result = std::optional<std::optional<XYCutConfig>>;
    if (config == nullptr || config == Py_None) return std::optional<XYCutConfig>();
    PyTypeObject* config_class = xy_cut_config_type();
    if (config_class == nullptr) return failed_argument<Result>("config");
    if (!PyObject_TypeCheck(config, config_class)) {
        set_type_mismatch(config, "XYCutConfig");
        return failed_argument<Result>("config");
    }
    XYCutConfig converted;
    if (!read_config(config, converted)) return failed_argument<Result>("config");
    return std::optional<XYCutConfig>(converted);
}
}  // namespace
// The reading order as a new list, created at its final length and filled in
// place; each id becomes a non-negative int, 2**64 - 1 included.
PyObject* new_id_list(const ReadingOrder& order) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(order.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < order.size(); ++i) {
        PyObject* id = PyLong_FromUnsignedLongLong(order[i]);
        if (id == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), id);
    }
    return list.release();
}

namespace {
constexpr diagnostics::Channel kModuleChannel{"tarvello", "tarvello_core", false};

constexpr const char* kOrderingParameters[] = {"elements", "page_bounds", "config"};

// The converted arguments of one ordering call; the engine owns them from
// here on and never sees a Python object.
struct OrderingArguments {
    std::vector<Element> elements;
    PageBounds page_bounds;
    std::optional<XYCutConfig> config;
};

// Binds, then converts elements, page bounds and config, in that order; the
// first failure ends the call with its exception set.
std::optional<OrderingArguments> bind_and_convert(const char* display_name, PyObject* const* args,
                                                  Py_ssize_t nargs, PyObject* kwnames) {
    const FunctionDescription description{display_name, kOrderingParameters, 2};
    PyObject* bound[3] = {nullptr, nullptr, nullptr};
    if (!bind_fastcall(description, args, nargs, kwnames, bound)) return std::nullopt;
    auto elements = convert_elements(bound[0]);
    if (!elements) return std::nullopt;
    const auto page_bounds = convert_page_bounds(bound[1]);
    if (!page_bounds) return std::nullopt;
    const auto config = convert_config(bound[2]);
    if (!config) return std::nullopt;
    return OrderingArguments{std::move(*elements), *page_bounds, *config};
}

// Both engines through the plain-box path's dispatch. A logging filter or
// handler that raised while the engine ran left its exception pending: it
// must reach the caller as itself, so the order is dropped.
PyObject* run_engine(tarvello::boxes::Engine engine, OrderingArguments& arguments) {
    const ReadingOrder order = tarvello::boxes::order_page(engine, std::move(arguments.elements),
                                                           arguments.page_bounds, arguments.config);
    if (PyErr_Occurred()) return nullptr;
    return new_id_list(order);
}

PyObject* reset_log_cache(PyObject*, PyObject*) {
    return guarded<PyObject*>(nullptr, [] {
        diagnostics::reset_log_cache();
        Py_RETURN_NONE;
    });
}

PyMethodDef reset_log_cache_method{
    "reset_log_cache", reset_log_cache, METH_NOARGS,
    "reset_log_cache()\n--\n\n"
    "Reinicia la caché de niveles de registro del puente de logging.\n"
    "\n"
    "El puente guarda en caché los niveles de logging de Python para evitar\n"
    "trabajo adicional en cada llamada. Llame a esta función después de\n"
    "reconfigurar logging en Python para que el código nativo vea los cambios."};

// Without METH_STATIC: the functions are bound to the module, so that their
// __self__ is the module object (CPython reports None for static ones).
constexpr int kOrderingFlags = METH_FASTCALL | METH_KEYWORDS;

// The entry points. Each one runs, in this order: binding; the conversions of
// elements, page bounds and config, the first failure ending the call; one
// Debug record with the number of converted elements; the engine; and the
// conversion of the order into a new list. No C++ exception leaves them:
// `guarded` turns std::bad_alloc into MemoryError and anything else into the
// internal-fault exception.

// compute_order(elements, page_bounds, config=None): the paper engine.
PyObject* compute_order(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        auto arguments = bind_and_convert("compute_order()", args, nargs, kwnames);
        if (!arguments) return nullptr;
        diagnostics::debug(kModuleChannel, "compute_order (paper): {} elements", arguments->elements.size());
        return run_engine(tarvello::boxes::Engine::paper, *arguments);
    });
}

// compute_order_paper(elements, page_bounds, config=None): the same engine
// under its own name, which its error messages and its Debug record carry;
// its results are those of compute_order.
PyObject* compute_order_paper(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        auto arguments = bind_and_convert("compute_order_paper()", args, nargs, kwnames);
        if (!arguments) return nullptr;
        diagnostics::debug(kModuleChannel, "compute_order_paper: {} elements", arguments->elements.size());
        return run_engine(tarvello::boxes::Engine::paper, *arguments);
    });
}

// compute_order_ostrel(elements, page_bounds, config=None): converts all three
// arguments like the others; neither page bounds nor config reach its engine.
PyObject* compute_order_ostrel(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        auto arguments = bind_and_convert("compute_order_ostrel()", args, nargs, kwnames);
        if (!arguments) return nullptr;
        diagnostics::debug(kModuleChannel, "compute_order_ostrel: {} elements", arguments->elements.size());
        return run_engine(tarvello::boxes::Engine::ostrel, *arguments);
    });
}

PyMethodDef compute_order_method{"compute_order", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compute_order)),
                                 kOrderingFlags, "compute_order(elements, page_bounds, config=None)\n--\n\n"};

PyMethodDef compute_order_paper_method{
    "compute_order_paper", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compute_order_paper)),
    kOrderingFlags, "compute_order_paper(elements, page_bounds, config=None)\n--\n\n"};

PyMethodDef compute_order_ostrel_method{
    "compute_order_ostrel", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compute_order_ostrel)),
    kOrderingFlags, "compute_order_ostrel(elements, page_bounds, config=None)\n--\n\n"};

}  // namespace

PyMethodDef* reset_log_cache_def() { return &reset_log_cache_method; }
PyMethodDef* compute_order_ostrel_def() { return &compute_order_ostrel_method; }
PyMethodDef* compute_order_def() { return &compute_order_method; }
PyMethodDef* compute_order_paper_def() { return &compute_order_paper_method; }

}  // namespace tarvello::py
