// src/enums/enums_py.hpp: the Python classes of the eight enumerations
#pragma once

#include "binding/class_builder.hpp"
#include "enums/bus_day_adj.hpp"
#include "enums/extrap_type.hpp"
#include "enums/interp_type.hpp"
#include "enums/payer_receiver_flag.hpp"
#include "enums/put_call_flag.hpp"
#include "enums/stub_type.hpp"
#include "enums/tenor_unit.hpp"
#include "enums/weekday.hpp"

#define VANTOREL_ENUM_CLASS(E)                               \
    template <>                                              \
    struct PyClass<E> {                                      \
        static constexpr const char* name = #E;              \
        static PyTypeObject* create();                       \
    }

namespace vantorel::py {

VANTOREL_ENUM_CLASS(BusDayAdj);
VANTOREL_ENUM_CLASS(ExtrapType);
VANTOREL_ENUM_CLASS(InterpType);
VANTOREL_ENUM_CLASS(StubType);
VANTOREL_ENUM_CLASS(TenorUnit);
VANTOREL_ENUM_CLASS(PutCallFlag);
VANTOREL_ENUM_CLASS(PayerReceiverFlag);
VANTOREL_ENUM_CLASS(Weekday);

}  // namespace vantorel::py
