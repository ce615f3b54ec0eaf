// src/binding/class_builder.cpp: building final, immutable heap types
#include "binding/class_builder.hpp"

#include <string>

namespace vantorel::py {

void raise_class_init_error(const char* name) noexcept {
    PyObject* cause = PyErr_GetRaisedException();
    PyErr_Format(PyExc_RuntimeError, "An error occurred while initializing class %s", name);
    if (cause != nullptr) {
        PyObject* exc = PyErr_GetRaisedException();
        PyException_SetCause(exc, cause);
        PyErr_SetRaisedException(exc);
    }
}

PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) noexcept {
    PyErr_SetString(PyExc_TypeError, "No constructor defined");
    return nullptr;
}

PyTypeObject* build_class(const char* name, int basicsize, PyType_Slot* slots) {
    // A PyType_Spec name without a dot leaves __module__ unset (a
    // DeprecationWarning on 3.12+ and an unreadable __module__), so the
    // PyType_Spec name carries the module;
    // tp_name is pointed at the bare name afterwards so that messages say
    // "Date", not "vantorel.Date".
    const std::string qualified = std::string("vantorel.") + name;
    PyType_Spec spec{qualified.c_str(), basicsize, 0,
                     Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};
    auto* type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
    if (type == nullptr) return nullptr;
    type->tp_name = name;
    return type;
}

bool add_class_attribute(PyTypeObject* type, const char* name, PyObject* value) noexcept {
    Ref owned(value);
    if (!owned) return false;
    Ref dict(PyType_GetDict(type));
    if (!dict || PyDict_SetItemString(dict, name, owned) < 0) return false;
    PyType_Modified(type);
    return true;
}

}  // namespace vantorel::py
