// src/binding/call.cpp: constructor plumbing shared by the classes
#include "binding/call.hpp"


namespace vantorel::py {

void set_vectorcall(PyTypeObject* type, vectorcallfunc vc) noexcept { type->tp_vectorcall = vc; }

}  // namespace vantorel::py
