// src/datetime/calendars/calendar_py.cpp: Calendar as a Python class
#include "datetime/calendars/calendar_py.hpp"

#include "binding/call.hpp"
#include "datetime/date_py.hpp"

namespace vantorel::py {

namespace {

// "Calendar('VT_WEEK')"; the string conversion falls back to it.
PyObject* calendar_repr(PyObject* self) noexcept {
    const std::string_view name = unbox<Calendar>(self).get_name();
    return PyUnicode_FromFormat("Calendar('%.*s')", static_cast<int>(name.size()), name.data());
}

using R = Rows<"Calendar">;
using NewParams = Params<"s">;

}  // namespace

PyTypeObject* PyClass<Calendar>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyMethodDef methods[] = {
        R::method<"get_name", &Calendar::get_name>(),
        R::method<"is_business_day", &Calendar::is_business_day, Params<"date">>(),
        R::method<"is_weekend", &Calendar::is_weekend, Params<"date">>(),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<Calendar>)},
        {Py_tp_repr, reinterpret_cast<void*>(&calendar_repr)},
        {Py_tp_doc, const_cast<char*>(R::class_doc<NewParams>())},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<Calendar>), slots, R::constructor<&Calendar::make, NewParams>);
}

}  // namespace vantorel::py
