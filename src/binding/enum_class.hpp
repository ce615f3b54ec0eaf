// src/binding/enum_class.hpp: the one template behind every enumeration class
#pragma once

#include <array>
#include <string>

#include "binding/class_builder.hpp"
#include "enums/enum_info.hpp"

namespace vantorel::py {

// Process-state slots of the text forms "Class.Member", built with the class.
template <class E>
inline const std::size_t repr_slots = process_state.reserve(enum_size<E>);

template <class E>
PyObject* enum_repr(PyObject* self) noexcept {
    return Py_NewRef(process_state.slot(repr_slots<E> + code_of(unbox<E>(self))));
}

template <class E>
PyObject* enum_int(PyObject* self) noexcept {
    return PyLong_FromLong(code_of(unbox<E>(self)));
}

// Equality with members of the same class and with integers (anything with
// __index__, bool included); never with floats or other enumerations, which
// only offer __int__. Ordering is left to the interpreter's TypeError. A
// failed integer conversion (TypeError, OverflowError) gives NotImplemented;
// any other error from __index__ (KeyboardInterrupt, MemoryError, ...)
// propagates.
template <class E>
PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) noexcept {
    if (op < Py_LT || op > Py_GE) Py_RETURN_NOTIMPLEMENTED;
    long value = 0;
    if (PyObject_TypeCheck(other, Py_TYPE(self))) {
        value = code_of(unbox<E>(other));
    } else {
        value = PyLong_AsLong(other);
        if (value == -1 && PyErr_Occurred()) {
            if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_OverflowError))
                return nullptr;
            PyErr_Clear();
            Py_RETURN_NOTIMPLEMENTED;
        }
    }
    const bool equal = value == code_of(unbox<E>(self));
    if (op == Py_EQ) return Py_NewRef(equal ? Py_True : Py_False);
    if (op == Py_NE) return Py_NewRef(equal ? Py_False : Py_True);
    Py_RETURN_NOTIMPLEMENTED;
}

// Extra parts of an enumeration class beyond the shared rules (DayCounter has
// a constructor and methods), set by the class's binding file while the
// library loads.
struct EnumExtras {
    PyMethodDef* methods = nullptr;
    vectorcallfunc constructor = nullptr;
    const char* (*doc)() = nullptr;
};
template <class E>
inline EnumExtras enum_extras{};

// Builds the class of E: one class attribute per member, in declaration order,
// each created once; text form, __int__, the comparison rules and no hash.
template <class E>
PyTypeObject* make_enum_type() {
    const EnumExtras& extras = enum_extras<E>;
    static const std::string name(EnumInfo<E>::name);
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<E>)},
        {Py_tp_repr, reinterpret_cast<void*>(&enum_repr<E>)},
        {Py_nb_int, reinterpret_cast<void*>(&enum_int<E>)},
        {Py_tp_richcompare, reinterpret_cast<void*>(&enum_richcompare<E>)},
        {Py_tp_hash, reinterpret_cast<void*>(&PyObject_HashNotImplemented)},
        {Py_tp_doc, const_cast<char*>(extras.doc != nullptr ? extras.doc() : "")},
        {extras.methods != nullptr ? Py_tp_methods : 0, extras.methods},
        {0, nullptr},
    };
    Ref type(reinterpret_cast<PyObject*>(build_class(name.c_str(), sizeof(Box<E>), slots, extras.constructor)));
    if (!type) return nullptr;
    auto* tp = reinterpret_cast<PyTypeObject*>(type.get());
    remember_type<E>(tp);  // box<E> below needs the type
    for (std::size_t code = 0; code < enum_size<E>; ++code) {
        const std::string member(EnumInfo<E>::members[code]);
        PyObject*& repr = process_state.slot(repr_slots<E> + code);
        if (repr == nullptr) {
            repr = PyUnicode_FromFormat("%s.%s", name.c_str(), member.c_str());
            if (repr == nullptr) return nullptr;
        }
        if (!add_class_attribute(tp, member.c_str(), box<E>(static_cast<E>(code)))) return nullptr;
    }
    return reinterpret_cast<PyTypeObject*>(type.release());
}

// Every enumeration is a class built by make_enum_type; its name is the
// enumeration's own.
template <class E>
    requires std::is_enum_v<E>
struct PyClass<E> {
    static constexpr const char* name = EnumInfo<E>::name.data();
    static PyTypeObject* create() { return make_enum_type<E>(); }
};

}  // namespace vantorel::py
