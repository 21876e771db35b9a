/* The entry of tarvello._tarvello_core. Its code lives in the package's
   native library, which the two modules share, so that they share one log
   facade and one C++ runtime. */
#include <Python.h>

PyObject* tarvello_init__tarvello_core(void);

PyMODINIT_FUNC PyInit__tarvello_core(void) { return tarvello_init__tarvello_core(); }
