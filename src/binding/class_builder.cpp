// src/binding/class_builder.cpp: building final, immutable heap types
#include "binding/class_builder.hpp"

#include <string>
#include <vector>

#include "binding/binder.hpp"

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

namespace {

PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) noexcept {
    PyErr_SetString(PyExc_TypeError, "No constructor defined");
    return nullptr;
}

// tp_new of the classes with a constructor: the tuple and dict laid out as
// vectorcall arguments for the class's own vectorcall.
PyObject* new_via_vectorcall(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    VectorcallArgs laid;
    if (!laid.lay_out(type->tp_name, args, kwargs)) return nullptr;
    return type->tp_vectorcall(reinterpret_cast<PyObject*>(type), laid.stack.data(),
                               static_cast<std::size_t>(laid.nargs), laid.kwnames);
}

}  // namespace

PyTypeObject* build_class(const char* name, int basicsize, const PyType_Slot* slots,
                          vectorcallfunc constructor) {
    std::vector<PyType_Slot> all;
    for (const PyType_Slot* slot = slots; slot->slot != 0; ++slot) all.push_back(*slot);
    all.push_back({Py_tp_new, constructor != nullptr ? reinterpret_cast<void*>(&new_via_vectorcall)
                                                     : reinterpret_cast<void*>(&no_constructor)});
    all.push_back({0, nullptr});
    // A PyType_Spec name without a dot leaves __module__ unset (a
    // DeprecationWarning on 3.12+ and an unreadable __module__), so the
    // PyType_Spec name carries the module;
    // tp_name is pointed at the bare name afterwards so that messages say
    // "Date", not "vantorel.Date".
    const std::string qualified = std::string(process_state.module_name()) + "." + name;
    PyType_Spec spec{.name = qualified.c_str(),
                     .basicsize = basicsize,
                     .itemsize = 0,
                     .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
                     .slots = all.data()};
    auto* type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
    if (type == nullptr) return nullptr;
    type->tp_name = name;
    type->tp_vectorcall = constructor;  // 3.12 has no slot id for it
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
