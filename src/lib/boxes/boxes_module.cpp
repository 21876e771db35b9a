// The module tarvello._boxes: the plain-box path of the package. It reads
// boxes, labels and pages straight from Python objects (and arrays, in
// place), runs an engine with the interpreter released, and hands back the
// order. The public functions and their defaults are the package's
// (tarvello.order_boxes, tarvello.order_pages); these take every argument.
#include <Python.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "boxes/engine.hpp"
#include "boxes/input_fault.hpp"
#include "boxes/json_page.hpp"
#include "boxes/label_table.hpp"
#include "boxes/package_modules.hpp"
#include "boxes/page_input.hpp"
#include "boxes/parallel.hpp"
#include "diagnostics/log_facade.hpp"
#include "argument_binding.hpp"
#include "classes.hpp"
#include "internal_fault.hpp"
#include "ordering_functions.hpp"
#include "py_ref.hpp"

namespace tarvello::py::boxes {
namespace {

using tarvello::boxes::Direction;
using tarvello::boxes::Engine;

// The records of tarvello.compute_order and compute_order_ostrel, which this
// path stands for: the same message, target and place, so that a page gives
// the same records whichever way it came in.
constexpr diagnostics::Channel kModuleChannel{"tarvello", "tarvello_core", false};
constexpr std::string_view kFunctionsFile = "src/lib/ordering_functions.cpp";

void write_call_record(Engine engine, std::size_t elements) {
    if (engine == Engine::ostrel) {
        diagnostics::debug_at(kModuleChannel, "compute_order_ostrel: {} elements", {kFunctionsFile, 242}, elements);
    } else {
        diagnostics::debug_at(kModuleChannel, "compute_order (paper): {} elements", {kFunctionsFile, 219}, elements);
    }
}

// Detached from the interpreter for its lifetime, so that other threads run
// Python meanwhile; a record that passes the level cache attaches again for
// its Python call.
class Detached {
public:
    Detached() : state_(PyEval_SaveThread()) {}
    Detached(const Detached&) = delete;
    Detached& operator=(const Detached&) = delete;
    ~Detached() { PyEval_RestoreThread(state_); }

private:
    PyThreadState* state_;
};

// An XYCutConfig or None; the class and its reader are the core module's own.
bool read_config(PyObject* config, std::optional<XYCutConfig>& out) {
    if (config == Py_None) return true;
    PyTypeObject* type = xy_cut_config_type();
    if (type == nullptr) return false;
    if (!PyObject_TypeCheck(config, type)) {
        set_type_mismatch(config, "XYCutConfig");
        wrap_argument_error("config");
        return false;
    }
    XYCutConfig read;
    if (!tarvello::py::read_config(config, read)) return false;
    out = read;
    return true;
}

// These functions are the package's to call, with every argument given.
bool takes(const char* name, Py_ssize_t nargs, Py_ssize_t expected) {
    if (nargs == expected) return true;
    PyErr_Format(PyExc_TypeError, "%s() takes %zd positional arguments but %zd were given", name, expected, nargs);
    return false;
}

std::optional<Engine> read_engine(PyObject* value) {
    const long code = PyLong_AsLong(value);
    if (code == -1 && PyErr_Occurred()) return std::nullopt;
    if (code != 0 && code != 1) {
        PyErr_Format(PyExc_ValueError, "engine code %ld is neither 0 (paper) nor 1 (ostrel)", code);
        return std::nullopt;
    }
    return static_cast<Engine>(code);
}

std::optional<Direction> read_direction(PyObject* value) {
    const long code = PyLong_AsLong(value);
    if (code == -1 && PyErr_Occurred()) return std::nullopt;
    if (code < 0 || code > 3) {
        PyErr_Format(PyExc_ValueError, "direction code %ld is not one of 0 to 3", code);
        return std::nullopt;
    }
    return static_cast<Direction>(code);
}

ReadingOrder order_page(Engine engine, PageJob& job, const std::optional<XYCutConfig>& config) {
    write_call_record(engine, job.elements.size());
    return tarvello::boxes::order_page(engine, std::move(job.elements), job.bounds, config);
}

// order_boxes(boxes, labels, page_bounds, engine, config, box_format, direction)
PyObject* order_boxes(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (!takes("order_boxes", nargs, 7)) return nullptr;
        const std::optional<Engine> engine = read_engine(args[3]);
        if (!engine) return nullptr;
        const long format = PyLong_AsLong(args[5]);
        if (format == -1 && PyErr_Occurred()) return nullptr;
        const std::optional<Direction> direction = read_direction(args[6]);
        if (!direction) return nullptr;
        PageJob job;
        if (auto fault = read_plain_page(args[0], args[1], args[2], static_cast<BoxFormat>(format != 0), *direction,
                                         job)) {
            raise_fault(*fault);
            return nullptr;
        }
        std::optional<XYCutConfig> config;
        if (!read_config(args[4], config)) return nullptr;
        ReadingOrder order;
        {
            const Detached detached;
            order = order_page(*engine, job, config);
        }
        // A logging filter or handler that raised left its exception pending.
        if (PyErr_Occurred()) return nullptr;
        return new_id_list(order);
    });
}

// The pages' orders as a new list of lists.
template <class Orders>
PyObject* new_orders_list(std::size_t count, Orders order_of) {
    PyRef result = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(count)));
    if (!result) return nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        PyObject* order = new_id_list(order_of(i));
        if (order == nullptr) return nullptr;
        PyList_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), order);
    }
    return result.release();
}

struct PageWork {
    PageJob input;
    ReadingOrder order;
};

// How a call reads its pages.
struct PageReading {
    BoxFormat format;
    Direction direction;
};

// Reads every page of the iterable into `next()`, handing each to `publish()`;
// false with the exception set at the first bad page.
template <class Next, class Publish>
bool read_pages(PyObject* pages, PageReading reading, Next next, Publish publish) {
    PyRef iterator = PyRef::steal(PyObject_GetIter(pages));
    if (!iterator) return false;
    for (std::size_t index = 0;; ++index) {
        PyObject* raw = nullptr;
        const int status = PyIter_NextItem(iterator.get(), &raw);
        if (status == 0) return true;
        if (status < 0) return false;
        PyRef page = PyRef::steal(raw);
        if (auto fault = read_page(page.get(), reading.format, reading.direction, next())) {
            raise_fault(*fault, index);
            return false;
        }
        publish();
    }
}

// What both batch calls take besides their input.
struct BatchSettings {
    Engine engine;
    std::optional<XYCutConfig> config;
    unsigned threads;  // at most 1024; 0 and 1 mean the calling thread alone
    std::size_t first_index;
    Direction direction;
};

bool read_batch_settings(PyObject* engine, PyObject* config, PyObject* threads, PyObject* first_index,
                         PyObject* direction, BatchSettings& out) {
    const std::optional<Engine> engine_read = read_engine(engine);
    if (!engine_read) return false;
    out.engine = *engine_read;
    if (!read_config(config, out.config)) return false;
    const unsigned long threads_read = PyLong_AsUnsignedLong(threads);
    if (threads_read == static_cast<unsigned long>(-1) && PyErr_Occurred()) return false;
    out.threads = static_cast<unsigned>(std::min(threads_read, 1024UL));
    out.first_index = PyLong_AsSize_t(first_index);
    if (out.first_index == static_cast<std::size_t>(-1) && PyErr_Occurred()) return false;
    const std::optional<Direction> direction_read = read_direction(direction);
    if (!direction_read) return false;
    out.direction = *direction_read;
    return true;
}

// One thread: every page read, then every page ordered. Records name a page
// by its index plus `first_index`.
PyObject* order_pages_here(PyObject* pages, const BatchSettings& settings, PageReading reading) {
    const auto& [engine, config, threads, first_index, direction] = settings;
    std::vector<PageWork> work;
    if (!read_pages(pages, reading, [&]() -> PageJob& { return work.emplace_back().input; }, [] {})) return nullptr;
    {
        const Detached detached;
        for (std::size_t i = 0; i < work.size(); ++i) {
            const diagnostics::PageScope scope(first_index + i);
            work[i].order = order_page(engine, work[i].input, config);
        }
    }
    if (PyErr_Occurred()) return nullptr;
    return new_orders_list(work.size(), [&](std::size_t i) -> const ReadingOrder& { return work[i].order; });
}

// Several threads order pages while this one reads the next ones. Whatever
// happens, the workers are joined detached: one may be waiting to attach for
// a record.
PyObject* order_pages_on_threads(PyObject* pages, const BatchSettings& settings, PageReading reading) {
    const auto& [engine, config, threads, first_index, direction] = settings;
    tarvello::boxes::JobPipeline<PageWork> pipeline(threads, [&](PageWork& work, std::size_t index) {
        const diagnostics::PageScope scope(first_index + index);
        work.order = order_page(engine, work.input, config);
    });
    bool read = false;
    try {
        read = read_pages(
            pages, reading, [&]() -> PageJob& { return pipeline.next().input; }, [&] { pipeline.publish(); });
    } catch (...) {
        const Detached detached;
        pipeline.cancel();
        throw;
    }
    const std::deque<PageWork>* work = nullptr;
    {
        const Detached detached;
        if (read) {
            work = &pipeline.finish();
        } else {
            pipeline.cancel();
        }
    }
    if (work == nullptr || PyErr_Occurred()) return nullptr;
    return new_orders_list(work->size(), [&](std::size_t i) -> const ReadingOrder& { return (*work)[i].order; });
}

// order_pages(pages, engine, config, threads, first_index, box_format, direction)
PyObject* order_pages(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (!takes("order_pages", nargs, 7)) return nullptr;
        BatchSettings settings;
        if (!read_batch_settings(args[1], args[2], args[3], args[4], args[6], settings)) return nullptr;
        const long format = PyLong_AsLong(args[5]);
        if (format == -1 && PyErr_Occurred()) return nullptr;
        const PageReading reading{static_cast<BoxFormat>(format != 0), settings.direction};
        if (settings.threads <= 1) return order_pages_here(args[0], settings, reading);
        return order_pages_on_threads(args[0], settings, reading);
    });
}

// The output line of an ordered page after its opening brace, as the
// command line writes it with json.dumps: "page": K, "order": [ids]}.
std::string output_tail(const std::string& page_id, std::size_t index, const ReadingOrder& order) {
    std::string text = "\"page\": " + (page_id.empty() ? std::to_string(index) : page_id) + ", \"order\": [";
    char digits[24];
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0) text += ", ";
        const auto written = std::to_chars(digits, digits + sizeof digits, order[i]);
        text.append(digits, written.ptr);
    }
    text += "]}";
    return text;
}

struct LineWork {
    std::string_view line;
    std::optional<std::string> output;
};

// order_json_lines(lines, first_index, engine, config, threads, direction): for each
// line (bytes) of JSON Lines, the tail of the command line's output line, or
// None for a line the native reader leaves to the general path. The lines
// are read and ordered with the interpreter released, on `threads` threads.
PyObject* order_json_lines(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (!takes("order_json_lines", nargs, 6)) return nullptr;
        // A tuple of our own: the caller's list cannot change under the workers.
        PyRef lines = PyRef::steal(PySequence_Tuple(args[0]));
        if (!lines) return nullptr;
        BatchSettings settings;
        if (!read_batch_settings(args[2], args[3], args[4], args[1], args[5], settings)) return nullptr;
        const auto& [engine, config, threads, first_index, direction] = settings;

        const tarvello::boxes::LabelNames& names = label_names();
        const auto count = static_cast<std::size_t>(PyTuple_GET_SIZE(lines.get()));
        std::vector<LineWork> work(count);
        for (std::size_t i = 0; i < count; ++i) {
            PyObject* line = PyTuple_GET_ITEM(lines.get(), static_cast<Py_ssize_t>(i));
            if (!PyBytes_Check(line)) {
                PyErr_Format(PyExc_TypeError, "lines[%zu]: expected bytes, got %s", i, Py_TYPE(line)->tp_name);
                return nullptr;
            }
            work[i].line = std::string_view(PyBytes_AS_STRING(line), static_cast<std::size_t>(PyBytes_GET_SIZE(line)));
        }
        const auto run = [&](LineWork& item, std::size_t i) {
            std::optional<tarvello::boxes::JsonPage> page = tarvello::boxes::read_json_page(item.line, names);
            if (!page) return;
            const diagnostics::PageScope scope(first_index + i);
            PageJob job{std::move(page->elements), page->bounds};
            tarvello::boxes::to_reading_frame(job.elements, job.bounds, direction);
            item.output = output_tail(page->page_id, first_index + i, order_page(engine, job, config));
        };
        {
            const Detached detached;
            if (threads <= 1 || count < 2) {
                for (std::size_t i = 0; i < count; ++i) run(work[i], i);
            } else {
                tarvello::boxes::JobPipeline<LineWork*> pipeline(
                    static_cast<unsigned>(std::min<std::size_t>(threads, count)),
                    [&](LineWork*& item, std::size_t i) { run(*item, i); });
                for (LineWork& item : work) {
                    pipeline.next() = &item;
                    pipeline.publish();
                }
                pipeline.finish();
            }
        }
        if (PyErr_Occurred()) return nullptr;
        PyRef result = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(count)));
        if (!result) return nullptr;
        for (std::size_t i = 0; i < count; ++i) {
            const std::optional<std::string>& output = work[i].output;
            PyObject* item = output ? PyBytes_FromStringAndSize(output->data(), static_cast<Py_ssize_t>(output->size()))
                                    : Py_NewRef(Py_None);
            if (item == nullptr) return nullptr;
            PyList_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), item);
        }
        return result.release();
    });
}

PyMethodDef module_methods[] = {
    {"order_boxes", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(order_boxes)), METH_FASTCALL,
     "order_boxes(boxes, labels, page_bounds, engine, config, box_format, direction)\n--\n\n"
     "The reading order of plain boxes as indices; see tarvello.order_boxes."},
    {"order_pages", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(order_pages)), METH_FASTCALL,
     "order_pages(pages, engine, config, threads, first_index, box_format, direction)\n--\n\n"
     "The reading order of each page; see tarvello.order_pages."},
    {"order_json_lines", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(order_json_lines)),
     METH_FASTCALL,
     "order_json_lines(lines, first_index, engine, config, threads, direction)\n--\n\n"
     "The command line's output for plain JSON Lines pages; None for the others."},
    {nullptr, nullptr, 0, nullptr},
};

// The core module installs the logging bridge this module's records go
// through, and owns the classes read here: it is imported first.
int module_exec(PyObject*) {
    return guarded(-1, [] {
        (void)core_module();
        return 0;
    });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "_boxes",
    "The plain-box path of tarvello: boxes, arrays and pages read natively.",
    0,
    module_methods,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace tarvello::py::boxes

// The module's entry, called by PyInit__boxes in its stub (init/).
extern "C" TARVELLO_INIT_EXPORT PyObject* tarvello_init__boxes() {
    return PyModuleDef_Init(&tarvello::py::boxes::module_definition);
}
