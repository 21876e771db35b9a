// The module's functions: the three ordering functions and reset_log_cache.
#pragma once

#include <Python.h>

namespace tarvello::py {

// The method definitions, in the order the module publishes them.
PyMethodDef* reset_log_cache_def();
PyMethodDef* compute_order_ostrel_def();
PyMethodDef* compute_order_def();
PyMethodDef* compute_order_paper_def();

}  // namespace tarvello::py
