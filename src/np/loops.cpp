// src/np/loops.cpp: the loops' one way out with an exception, shared by both array extensions
#include "np/loops.hpp"

namespace vantorel::np {

void raise_from_loop(PyObject* type, const char* text) noexcept {
    const PyGILState_STATE gil = PyGILState_Ensure();
    if (type == PyExc_MemoryError)
        PyErr_NoMemory();
    else
        PyErr_SetString(type, text);
    PyGILState_Release(gil);
}

}  // namespace vantorel::np
