// src/datetime/day_counter_py.cpp: DayCounter, an enumeration class with a constructor and methods
#include "datetime/day_counter_py.hpp"

#include "binding/call.hpp"
#include "binding/enum_class.hpp"
#include "core/failure.hpp"
#include "datetime/date_py.hpp"

namespace vantorel::py {

namespace {

// The convention-specific methods ignore the member they are called on.
double get_dcf_act365(const DayCounter&, const Date& date1, const Date& date2) noexcept {
    return dcf_act365(date1, date2);
}

double get_dcf_act360(const DayCounter&, const Date& date1, const Date& date2) noexcept {
    return dcf_act360(date1, date2);
}

// 30/360 has no computation; the dates are still converted (and checked) first.
[[noreturn]] double get_dcf_30360(const DayCounter&, const Date&, const Date&) {
    fail("not implemented");
}

Sig<1> new_sig{"DayCounter.__new__", {"s"}};
Sig<2> get_dcf_sig{"DayCounter.get_dcf", {"date1", "date2"}};
Sig<2> get_dcf_act365_sig{"DayCounter.get_dcf_act365", {"date1", "date2"}};
Sig<2> get_dcf_act360_sig{"DayCounter.get_dcf_act360", {"date1", "date2"}};
Sig<2> get_dcf_30360_sig{"DayCounter.get_dcf_30360", {"_date1", "_date2"}};

constexpr auto day_counter_new = &constructor_vectorcall<DayCounter, &parse_day_counter, new_sig>;

}  // namespace

PyTypeObject* PyClass<DayCounter>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyMethodDef methods[] = {
            method_def<&get_dcf, get_dcf_sig>(),
            method_def<&get_dcf_act365, get_dcf_act365_sig>(),
            method_def<&get_dcf_act360, get_dcf_act360_sig>(),
            method_def<&get_dcf_30360, get_dcf_30360_sig>(),
            {nullptr, nullptr, 0, nullptr},
    };
    return make_enum_type<DayCounter>(EnumExtras{
        methods,
        day_counter_new,
        class_doc<new_sig>(),
    });
}

}  // namespace vantorel::py
