// src/datetime/date_py.cpp: Date and YearMonthDay as Python classes
#include "datetime/date_py.hpp"

#include "binding/call.hpp"
#include "datetime/calendars/calendar_py.hpp"
#include "datetime/tenor.hpp"

namespace vantorel::py {

namespace {

// ---- construction: Date(year, month, day) or Date("yyyy-mm-dd" / "yyyymmdd")

PyObject* signature_error(PyObject* const* args, Py_ssize_t nargs) noexcept {
    Ref tuple(PyTuple_New(nargs));
    if (!tuple) return nullptr;
    for (Py_ssize_t i = 0; i < nargs; ++i) PyTuple_SET_ITEM(tuple.get(), i, Py_NewRef(args[i]));
    PyErr_Format(PyExc_ValueError,
                 "Expected the following signatures: (year: int, month: int, day: int) or "
                 "(yyyymmdd: str), but have %R",
                 tuple.get());
    return nullptr;
}

PyObject* date_vectorcall(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) > 0)
        return unexpected_keyword("Date.__new__", kwnames);
    if (nargs == 3 && PyLong_Check(args[0]) && PyLong_Check(args[1]) && PyLong_Check(args[2])) {
        // The conversion errors pass unchanged, without an argument name.
        std::uint16_t year = 0;
        std::uint8_t month = 0, day = 0;
        if (!Convert<std::uint16_t>::from_py(args[0], year) ||
            !Convert<std::uint8_t>::from_py(args[1], month) ||
            !Convert<std::uint8_t>::from_py(args[2], day))
            return nullptr;
        return firewall([&] { return to_python(try_from_ymd(year, month, day)); });
    }
    if (nargs == 1 && PyUnicode_Check(args[0])) {
        std::string_view text;
        if (!Convert<std::string_view>::from_py(args[0], text)) return nullptr;
        return firewall([&] { return to_python(parse_date(text)); });
    }
    return signature_error(args, nargs);
}

PyObject* date_str(PyObject* self) noexcept {
    char buf[16];
    const std::size_t n = write_date(unbox<Date>(self), buf);
    return PyUnicode_FromStringAndSize(buf, static_cast<Py_ssize_t>(n));
}

PyObject* date_repr(PyObject* self) noexcept {
    char buf[32] = "Date('";
    const std::size_t n = 6 + write_date(unbox<Date>(self), buf + 6);
    buf[n] = '\'';
    buf[n + 1] = ')';
    return PyUnicode_FromStringAndSize(buf, static_cast<Py_ssize_t>(n + 2));
}

// d + n: n must convert to a signed 32-bit integer; anything else (int + date
// included) is NotImplemented, so the interpreter raises its TypeError.
PyObject* date_add(PyObject* left, PyObject* right) noexcept {
    PyTypeObject* type = type_of<Date>();
    if (type == nullptr) return nullptr;
    if (!PyObject_TypeCheck(left, type)) Py_RETURN_NOTIMPLEMENTED;
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(right, &overflow);
    if (n == -1 && !overflow && PyErr_Occurred()) {
        // Not an integer: the interpreter reports the unsupported operands.
        // Anything else raised by n's own __index__ propagates.
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) return nullptr;
        PyErr_Clear();
        Py_RETURN_NOTIMPLEMENTED;
    }
    if (overflow != 0 || n < INT32_MIN || n > INT32_MAX) Py_RETURN_NOTIMPLEMENTED;
    const std::int64_t serial = unbox<Date>(left).serial();
    return firewall([&] { return to_python(from_int(serial + n)); });
}

PyObject* date_subtract(PyObject* left, PyObject* right) noexcept {
    PyTypeObject* type = type_of<Date>();
    if (type == nullptr) return nullptr;
    if (!PyObject_TypeCheck(left, type) || !PyObject_TypeCheck(right, type)) Py_RETURN_NOTIMPLEMENTED;
    return PyLong_FromLong(static_cast<long>(unbox<Date>(left).serial()) - unbox<Date>(right).serial());
}

}  // namespace

PyTypeObject* PyClass<Date>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    using R = Rows<"Date">;
    static PyMethodDef methods[] = {
        R::method<"year", &Date::year>(),
        R::method<"month", &Date::month>(),
        R::method<"day", &Date::day>(),
        R::method<"to_int", &Date::serial>(),
        R::method<"to_str", &Date::to_str>(),
        R::method<"get_ymd", &Date::ymd>(),
        R::static_method<"is_leap_year", &is_leap_year, Params<"year">>(),
        R::static_method<"days_in_month", &days_in_month, Params<"year", "month">>(),
        R::method<"weekday", &Date::weekday>(),
        R::method<"is_business_day", on_argument<&Calendar::is_business_day>, Params<"cal">>(),
        R::method<"is_weekend", on_argument<&Calendar::is_weekend>, Params<"cal">>(),
        R::method<"add_tenor", &add_parsed_tenor, Params<"t">>(),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<Date>)},
        {Py_tp_repr, reinterpret_cast<void*>(&date_repr)},
        {Py_tp_str, reinterpret_cast<void*>(&date_str)},
        {Py_nb_add, reinterpret_cast<void*>(&date_add)},
        {Py_nb_subtract, reinterpret_cast<void*>(&date_subtract)},
        {Py_tp_doc, const_cast<char*>("Date(*py_args)\n--\n\n")},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<Date>), slots, date_vectorcall);
}

PyTypeObject* PyClass<YearMonthDay>::create() {
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<YearMonthDay>)},
        {Py_tp_doc, const_cast<char*>("")},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<YearMonthDay>), slots);
}

}  // namespace vantorel::py
