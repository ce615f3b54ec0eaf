// src/binding/call.cpp: constructor plumbing shared by the classes
#include "binding/call.hpp"

#include <vector>

namespace vantorel::py {

PyObject* new_via_vectorcall(vectorcallfunc vc, PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return firewall([&]() -> PyObject* {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (kwargs == nullptr || PyDict_GET_SIZE(kwargs) == 0)
        return vc(reinterpret_cast<PyObject*>(type), &PyTuple_GET_ITEM(args, 0),
                  static_cast<std::size_t>(nargs), nullptr);
    const Py_ssize_t nkw = PyDict_GET_SIZE(kwargs);
    Ref kwnames(PyTuple_New(nkw));
    if (!kwnames) return nullptr;
    std::vector<PyObject*> stack(static_cast<std::size_t>(nargs + nkw));
    for (Py_ssize_t i = 0; i < nargs; ++i) stack[static_cast<std::size_t>(i)] = PyTuple_GET_ITEM(args, i);
    Py_ssize_t pos = 0, k = 0;
    PyObject *key = nullptr, *value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
        PyTuple_SET_ITEM(kwnames.get(), k, Py_NewRef(key));
        stack[static_cast<std::size_t>(nargs + k)] = value;  // borrowed from kwargs
        ++k;
    }
    return vc(reinterpret_cast<PyObject*>(type), stack.data(), static_cast<std::size_t>(nargs), kwnames);
    });
}

void set_vectorcall(PyTypeObject* type, vectorcallfunc vc) noexcept { type->tp_vectorcall = vc; }

}  // namespace vantorel::py
