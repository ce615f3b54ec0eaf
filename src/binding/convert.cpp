// src/binding/convert.cpp: the integer and error helpers of the converters
#include "binding/convert.hpp"

namespace vantorel::py {

bool type_error(PyObject* got, const char* expected) noexcept {
    PyErr_Format(PyExc_TypeError, "expected %s, got %.200s", expected, Py_TYPE(got)->tp_name);
    return false;
}

bool overflow_error() noexcept {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    return false;
}

bool int64_in_range(PyObject* o, std::int64_t lo, std::int64_t hi, std::int64_t& out) noexcept {
    int overflow = 0;
    // Accepts int and objects with __index__; a float raises TypeError here.
    const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (v == -1 && !overflow && PyErr_Occurred()) return false;
    if (overflow != 0 || v < lo || v > hi) return overflow_error();
    out = v;
    return true;
}

bool uint64_from_py(PyObject* o, std::uint64_t& out) noexcept {
    Ref index(PyNumber_Index(o));
    if (!index) return false;
    const unsigned long long v = PyLong_AsUnsignedLongLong(index);
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
        PyErr_Clear();
        return overflow_error();
    }
    out = v;
    return true;
}

}  // namespace vantorel::py
