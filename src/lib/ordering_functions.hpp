// The module's functions: the three ordering functions and reset_log_cache.
#pragma once

#include <Python.h>

#include "layout/records.hpp"

namespace tarvello::py {

// The method definitions, in the order the module publishes them.
PyMethodDef* reset_log_cache_def();
PyMethodDef* compute_order_ostrel_def();
PyMethodDef* compute_order_def();
PyMethodDef* compute_order_paper_def();

// The reading order as a new list of ints; NULL with the exception set.
PyObject* new_id_list(const ReadingOrder& order);

}  // namespace tarvello::py
