// src/maths/interpolator_py.cpp: Interpolator as a Python class
#include "maths/interpolator_py.hpp"

#include "binding/call.hpp"
#include "enums/enums_py.hpp"

namespace vantorel::py {

namespace {

Sig<4> new_sig{"Interpolator.__new__", {"nodes_x", "nodes_y", "interp_type", "extrap_type"}};
Sig<1> interpolate_sig{"Interpolator.interpolate", {"x"}};
Sig<0> get_nodes_x_sig{"Interpolator.get_nodes_x", {}};
Sig<0> get_nodes_y_sig{"Interpolator.get_nodes_y", {}};
Sig<0> get_interp_type_sig{"Interpolator.get_interp_type", {}};
Sig<0> get_extrap_type_sig{"Interpolator.get_extrap_type", {}};

// The node lists arrive as fresh copies made by the argument conversion and
// are moved into the interpolator.
std::expected<Interpolator, std::string> interpolator_new(std::vector<double> nodes_x,
                                                          std::vector<double> nodes_y,
                                                          const InterpType& interp_type,
                                                          const ExtrapType& extrap_type) {
    return Interpolator::make(std::move(nodes_x), std::move(nodes_y), interp_type, extrap_type);
}

constexpr auto interpolator_vectorcall = &constructor_vectorcall<Interpolator, &interpolator_new, new_sig>;

}  // namespace

PyTypeObject* PyClass<Interpolator>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyMethodDef methods[] = {
        method_def<&Interpolator::interpolate, interpolate_sig>(),
        method_def<&Interpolator::get_nodes_x, get_nodes_x_sig>(),
        method_def<&Interpolator::get_nodes_y, get_nodes_y_sig>(),
        method_def<&Interpolator::get_interp_type, get_interp_type_sig>(),
        method_def<&Interpolator::get_extrap_type, get_extrap_type_sig>(),
        {nullptr, nullptr, 0, nullptr},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<Interpolator>)},
        {Py_tp_doc, const_cast<char*>(class_doc<new_sig>())},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<Interpolator>), slots, interpolator_vectorcall);
}

}  // namespace vantorel::py
