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

Sig<1> new_sig{"Calendar.__new__", {"s"}};
Sig<0> get_name_sig{"Calendar.get_name", {}};
Sig<1> is_business_day_sig{"Calendar.is_business_day", {"date"}};
Sig<1> is_weekend_sig{"Calendar.is_weekend", {"date"}};
Sig<1> date_is_business_day_sig{"Date.is_business_day", {"cal"}};
Sig<1> date_is_weekend_sig{"Date.is_weekend", {"cal"}};

constexpr auto calendar_new = &constructor_vectorcall<Calendar, &Calendar::make, new_sig>;

}  // namespace

PyMethodDef date_is_business_day_def() {
    return method_def<&is_business_day, date_is_business_day_sig>();
}

PyMethodDef date_is_weekend_def() { return method_def<&is_weekend, date_is_weekend_sig>(); }

PyTypeObject* PyClass<Calendar>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyMethodDef methods[] = {
            method_def<&Calendar::get_name, get_name_sig>(),
            method_def<&Calendar::is_business_day, is_business_day_sig>(),
            method_def<&Calendar::is_weekend, is_weekend_sig>(),
            {nullptr, nullptr, 0, nullptr},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<Calendar>)},
        {Py_tp_repr, reinterpret_cast<void*>(&calendar_repr)},
        {Py_tp_doc, const_cast<char*>(class_doc<new_sig>())},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<Calendar>), slots, calendar_new);
}

}  // namespace vantorel::py
