/* The entry of tarvello._boxes; its code lives in the package's native
   library, beside that of tarvello._tarvello_core. */
#include <Python.h>

PyObject* tarvello_init__boxes(void);

PyMODINIT_FUNC PyInit__boxes(void) { return tarvello_init__boxes(); }
