// src/datetime/day_counter_py.cpp: DayCounter, an enumeration class with a constructor and methods
#include "binding/call.hpp"
#include "datetime/date_py.hpp"
#include "datetime/day_counter.hpp"

namespace vantorel::py {

namespace {

using R = Rows<"DayCounter">;
using NewParams = Params<"s">;
using Dates = Params<"date1", "date2">;

// The convention-specific methods ignore the member they are called on; 30/360
// still converts (and checks) its dates before it fails.
PyMethodDef methods[] = {
    R::method<"get_dcf", &get_dcf, Dates>(),
    R::method<"get_dcf_act365", ignoring_receiver<DayCounter, &dcf_act365>, Dates>(),
    R::method<"get_dcf_act360", ignoring_receiver<DayCounter, &dcf_act360>, Dates>(),
    R::method<"get_dcf_30360", ignoring_receiver<DayCounter, &dcf_30360>, Params<"_date1", "_date2">>(),
    {},
};

const bool extras_set = (enum_extras<DayCounter> = {
                             .methods = methods,
                             .constructor = R::constructor<&parse_day_counter, NewParams>,
                             .doc = &R::class_doc<NewParams>,
                         },
                         true);

}  // namespace

}  // namespace vantorel::py
