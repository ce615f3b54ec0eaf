// src/enums/enums_py.cpp: the eight enumeration classes, all from one template
#include "enums/enums_py.hpp"

#include "binding/enum_class.hpp"

namespace vantorel::py {

PyTypeObject* PyClass<BusDayAdj>::create() { return make_enum_type<BusDayAdj>(); }
PyTypeObject* PyClass<ExtrapType>::create() { return make_enum_type<ExtrapType>(); }
PyTypeObject* PyClass<InterpType>::create() { return make_enum_type<InterpType>(); }
PyTypeObject* PyClass<StubType>::create() { return make_enum_type<StubType>(); }
PyTypeObject* PyClass<TenorUnit>::create() { return make_enum_type<TenorUnit>(); }
PyTypeObject* PyClass<PutCallFlag>::create() { return make_enum_type<PutCallFlag>(); }
PyTypeObject* PyClass<PayerReceiverFlag>::create() { return make_enum_type<PayerReceiverFlag>(); }
PyTypeObject* PyClass<Weekday>::create() { return make_enum_type<Weekday>(); }

}  // namespace vantorel::py
