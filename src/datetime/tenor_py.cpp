// src/datetime/tenor_py.cpp: Tenor as a Python class
#include "datetime/tenor_py.hpp"

#include "binding/call.hpp"

namespace vantorel::py {

namespace {

PyObject* tenor_str(PyObject* self) noexcept {
    char buf[max_tenor_text];
    const std::size_t n = write_tenor(unbox<Tenor>(self), buf);
    return PyUnicode_FromStringAndSize(buf, static_cast<Py_ssize_t>(n));
}

PyObject* tenor_repr(PyObject* self) noexcept {
    char buf[max_tenor_text + 16] = "Tenor('";
    const std::size_t n = 7 + write_tenor(unbox<Tenor>(self), buf + 7);
    buf[n] = '\'';
    buf[n + 1] = ')';
    return PyUnicode_FromStringAndSize(buf, static_cast<Py_ssize_t>(n + 2));
}

using R = Rows<"Tenor">;
using NewParams = Params<"s">;

}  // namespace

PyTypeObject* PyClass<Tenor>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyGetSetDef getset[] = {
        getter_def<&Tenor::count>("count"),
        getter_def<&Tenor::unit>("unit"),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<Tenor>)},
        {Py_tp_repr, reinterpret_cast<void*>(&tenor_repr)},
        {Py_tp_str, reinterpret_cast<void*>(&tenor_str)},
        {Py_tp_getset, getset},
        {Py_tp_doc, const_cast<char*>(R::class_doc<NewParams>())},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<Tenor>), slots, R::constructor<&parse_tenor, NewParams>);
}

}  // namespace vantorel::py
