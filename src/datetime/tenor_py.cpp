// src/datetime/tenor_py.cpp: Tenor as a Python class, and Date.add_tenor
#include "datetime/tenor_py.hpp"

#include "binding/call.hpp"
#include "datetime/date_py.hpp"
#include "enums/enums_py.hpp"

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

// The tenor arrives as text: a parse error is a ValueError, a move that
// cannot be made a FatalError.
std::expected<Date, std::string> date_add_tenor(const Date& date, std::string_view t) {
    auto tenor = parse_tenor(t);
    if (!tenor) return std::unexpected(std::move(tenor.error()));
    return add_tenor(date, *tenor);
}

Sig<1> new_sig{"Tenor.__new__", {"s"}};
Sig<1> add_tenor_sig{"Date.add_tenor", {"t"}};

constexpr auto tenor_new = &constructor_vectorcall<Tenor, &parse_tenor, new_sig>;

}  // namespace

PyMethodDef date_add_tenor_def() { return method_def<&date_add_tenor, add_tenor_sig>(); }

PyTypeObject* PyClass<Tenor>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyGetSetDef getset[] = {
            getter_def<&Tenor::count>("count"),
            getter_def<&Tenor::unit>("unit"),
            {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<Tenor>)},
        {Py_tp_repr, reinterpret_cast<void*>(&tenor_repr)},
        {Py_tp_str, reinterpret_cast<void*>(&tenor_str)},
        {Py_tp_getset, getset},
        {Py_tp_doc, const_cast<char*>(class_doc<new_sig>())},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<Tenor>), slots, tenor_new);
}

}  // namespace vantorel::py
