// src/datetime/day_counter_py.cpp: DayCounter, an enumeration class with a constructor and methods
#include "datetime/day_counter_py.hpp"

#include "binding/call.hpp"
#include "binding/enum_class.hpp"

namespace vantorel::py {

PyTypeObject* PyClass<DayCounter>::create() { return make_enum_type<DayCounter>(); }

}  // namespace vantorel::py
