// src/instruments/instruments_py.hpp: the rates package's instrument classes and the vantorel objects they take
#pragma once

#include <memory>

#include "binding/call.hpp"
#include "datetime/day_counter.hpp"
#include "enums/interp_type.hpp"
#include "enums/payer_receiver_flag.hpp"
#include "instruments/bond.hpp"
#include "instruments/bootstrap.hpp"
#include "instruments/swap.hpp"
#include "mkt_data/yield_curve_py.hpp"
#include "rates/rates_py.hpp"

namespace vantorel::py {

// vantorel's classes the instruments take and give, taken on first use and
// checked for this build's layout. Returns false with an error set.
struct InstrumentClasses {
    PyTypeObject* curve = nullptr;
    PyTypeObject* day_counter = nullptr;
    PyTypeObject* interp_type = nullptr;
    PyTypeObject* payer_receiver = nullptr;
};
extern InstrumentClasses instrument_classes;
bool take_instrument_classes() noexcept;

// A vantorel.YieldCurve read in place; given back as a new vantorel.YieldCurve.
struct CurveArg {
    const YieldCurve* curve = nullptr;
    std::shared_ptr<const YieldCurve> owned;  // set for results only
    const YieldCurve& operator*() const noexcept { return *curve; }
};
template <>
struct Convert<CurveArg> {
    using Storage = CurveArg;
    static bool from_py(PyObject* o, CurveArg& out) noexcept;
    static const CurveArg& get(const CurveArg& s) noexcept { return s; }
    static PyObject* to_py(const CurveArg& c) noexcept;
};

// A vantorel.YieldCurve or None (left out: None).
struct MaybeCurve {
    const YieldCurve* curve = nullptr;
};
template <>
struct Convert<MaybeCurve> {
    using Storage = MaybeCurve;
    static bool from_py(PyObject* o, MaybeCurve& out) noexcept;
    static MaybeCurve get(MaybeCurve s) noexcept { return s; }
};

// A member of one of vantorel's enumerations, taken and given back as that member.
template <class E>
struct VtEnum {
    E value{};
};
PyTypeObject* vantorel_enum_class(const char* name) noexcept;
template <class E>
struct Convert<VtEnum<E>> {
    using Storage = VtEnum<E>;
    static bool from_py(PyObject* o, VtEnum<E>& out) noexcept {
        PyTypeObject* cls = vantorel_enum_class(EnumInfo<E>::name.data());
        if (cls == nullptr) return false;
        if (Py_TYPE(o) != cls) return type_error(o, EnumInfo<E>::name.data());
        out.value = unbox<E>(o);
        return true;
    }
    static VtEnum<E> get(VtEnum<E> s) noexcept { return s; }
    static PyObject* to_py(VtEnum<E> v) noexcept {
        PyTypeObject* cls = vantorel_enum_class(EnumInfo<E>::name.data());
        if (cls == nullptr) return nullptr;
        return PyObject_GetAttrString(reinterpret_cast<PyObject*>(cls), EnumInfo<E>::members[code_of(v.value)].data());
    }
};

template <>
struct PyClass<FixedLeg> {
    static constexpr const char* name = "FixedLeg";
    static PyTypeObject* create();
};
template <>
struct PyClass<FloatLeg> {
    static constexpr const char* name = "FloatLeg";
    static PyTypeObject* create();
};
template <>
struct PyClass<CurveQuote> {
    static constexpr const char* name = "CurveInstrument";
    static PyTypeObject* create();
};
template <>
struct PyClass<FixedRateBond> {
    static constexpr const char* name = "FixedRateBond";
    static PyTypeObject* create();
};
template <>
struct PyClass<Swap> {
    static constexpr const char* name = "Swap";
    static PyTypeObject* create();
};

// The module functions: bootstrap and the book functions.
PyMethodDef bootstrap_def();
PyMethodDef bond_book_def();
PyMethodDef swap_book_def();

}  // namespace vantorel::py
