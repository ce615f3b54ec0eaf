// src/maths/interpolator_py.cpp: Interpolator as a Python class
#include "maths/interpolator_py.hpp"

#include "binding/call.hpp"

namespace vantorel::py {

namespace {

using R = Rows<"Interpolator">;
using NewParams = Params<"nodes_x", "nodes_y", "interp_type", "extrap_type">;

}  // namespace

PyTypeObject* PyClass<Interpolator>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyMethodDef methods[] = {
        R::method<"interpolate", &Interpolator::interpolate, Params<"x">>(),
        R::method<"get_nodes_x", &Interpolator::get_nodes_x>(),
        R::method<"get_nodes_y", &Interpolator::get_nodes_y>(),
        R::method<"get_interp_type", &Interpolator::get_interp_type>(),
        R::method<"get_extrap_type", &Interpolator::get_extrap_type>(),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<Interpolator>)},
        {Py_tp_doc, const_cast<char*>(R::class_doc<NewParams>())},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<Interpolator>), slots, R::constructor<&Interpolator::make, NewParams>);
}

}  // namespace vantorel::py
