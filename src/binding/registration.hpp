// src/binding/registration.hpp: the rows of a module's registration table, each making one attribute
#pragma once

#include "binding/binder.hpp"
#include "binding/class_builder.hpp"
#include "binding/errors.hpp"
#include "binding/ref.hpp"

namespace vantorel::py {

// One attribute of a module: its name and the function making its value (a
// new reference, or null with an error set).
struct Entry {
    const char* name;
    PyObject* (*make)() noexcept;
};

// The class bound to T.
template <class T>
PyObject* make_class() noexcept {
    return reinterpret_cast<PyObject*>(Py_XNewRef(type_of<T>()));
}

// A function of module Module from the method row Row().
template <FixedString Module, PyMethodDef (*Row)()>
PyObject* make_function() noexcept {
    return firewall([] {
        static PyMethodDef def = Row();  // read in place by the function object
        Ref module_name(PyUnicode_FromString(Module.text));
        if (!module_name) return static_cast<PyObject*>(nullptr);
        return PyCFunction_NewEx(&def, nullptr, module_name);
    });
}

}  // namespace vantorel::py
