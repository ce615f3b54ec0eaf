// src/instruments/legs_py.cpp: FixedLeg and FloatLeg as Python classes, and the vantorel objects instruments take
#include <new>

#include "instruments/instruments_py.hpp"

namespace vantorel::py {

InstrumentClasses instrument_classes;

namespace {

bool take(PyObject* module, const char* name, Py_ssize_t size, PyTypeObject*& out) noexcept {
    if (out != nullptr) return true;
    PyObject* cls = PyObject_GetAttrString(module, name);
    if (cls == nullptr) return false;
    if (!PyType_Check(cls) || reinterpret_cast<PyTypeObject*>(cls)->tp_basicsize != size) {
        Py_DECREF(cls);
        PyErr_Format(PyExc_ImportError, "vantorel.%s does not match this build of vantorel_rates", name);
        return false;
    }
    out = reinterpret_cast<PyTypeObject*>(cls);
    return true;
}

}  // namespace

bool take_instrument_classes() noexcept {
    if (instrument_classes.payer_receiver != nullptr) return true;
    Ref vantorel(PyImport_ImportModule("vantorel"));
    return vantorel &&
           take(vantorel, "YieldCurve", sizeof(Box<YieldCurvePy>), instrument_classes.curve) &&
           take(vantorel, "DayCounter", sizeof(Box<DayCounter>), instrument_classes.day_counter) &&
           take(vantorel, "InterpType", sizeof(Box<InterpType>), instrument_classes.interp_type) &&
           take(vantorel, "PayerReceiverFlag", sizeof(Box<PayerReceiverFlag>), instrument_classes.payer_receiver);
}

PyTypeObject* vantorel_enum_class(const char* name) noexcept {
    if (!take_instrument_classes()) return nullptr;
    const std::string_view n(name);
    if (n == "DayCounter") return instrument_classes.day_counter;
    if (n == "InterpType") return instrument_classes.interp_type;
    return instrument_classes.payer_receiver;
}

bool Convert<CurveArg>::from_py(PyObject* o, CurveArg& out) noexcept {
    if (!take_instrument_classes()) return false;
    if (Py_TYPE(o) != instrument_classes.curve) return type_error(o, "YieldCurve");
    out.curve = unbox<YieldCurvePy>(o).curve.get();
    return true;
}

// A new vantorel.YieldCurve sharing the curve, made with the class's own
// allocator so that vantorel's deallocator releases it.
PyObject* Convert<CurveArg>::to_py(const CurveArg& c) noexcept {
    if (!take_instrument_classes()) return nullptr;
    PyObject* o = PyType_GenericAlloc(instrument_classes.curve, 0);
    if (o == nullptr) return nullptr;
    new (&unbox<YieldCurvePy>(o)) YieldCurvePy{c.owned};
    return o;
}

bool Convert<MaybeCurve>::from_py(PyObject* o, MaybeCurve& out) noexcept {
    out.curve = nullptr;
    if (o == Py_None) return true;
    CurveArg c;
    if (!Convert<CurveArg>::from_py(o, c)) return false;
    out.curve = c.curve;
    return true;
}

namespace {

std::vector<Date> dates_of(const std::vector<DayArg>& days) {
    std::vector<Date> out;
    out.reserve(days.size());
    for (const DayArg& d : days) out.push_back(from_int(d.serial));
    return out;
}

std::expected<FixedLeg, std::string> make_fixed(std::vector<DayArg> start_dates, std::vector<DayArg> end_dates,
                                                std::vector<DayArg> pay_dates, std::vector<double> accruals,
                                                double notional) {
    return FixedLeg::make(dates_of(start_dates), dates_of(end_dates), dates_of(pay_dates), std::move(accruals),
                          notional);
}

std::expected<FloatLeg, std::string> make_float(std::vector<DayArg> start_dates, std::vector<DayArg> end_dates,
                                                std::vector<DayArg> pay_dates, std::vector<double> accruals,
                                                std::vector<double> fixing_accruals, double notional) {
    return FloatLeg::make(dates_of(start_dates), dates_of(end_dates), dates_of(pay_dates), std::move(accruals),
                          std::move(fixing_accruals), notional);
}

// The lists a leg was made from, read back (for pickling and inspection).
template <class Leg, auto Field>
auto column(const Leg& leg) {
    using V = std::remove_cvref_t<decltype(leg.periods.front().*Field)>;
    if constexpr (std::is_same_v<V, Date>) {
        std::vector<DayArg> out;
        for (const auto& p : leg.periods) out.push_back({(p.*Field).serial()});
        return out;
    } else {
        std::vector<V> out;
        for (const auto& p : leg.periods) out.push_back(p.*Field);
        return out;
    }
}

template <class Leg>
double notional(const Leg& leg) {
    return leg.periods.front().notional;
}

template <FixedString Class, class Leg, class Period>
struct LegRows {
    using R = Rows<Class>;
    static PyMethodDef start() { return R::template method<"get_start_dates", &column<Leg, &Period::start>>(); }
    static PyMethodDef end() { return R::template method<"get_end_dates", &column<Leg, &Period::end>>(); }
    static PyMethodDef pay() { return R::template method<"get_pay_dates", &column<Leg, &Period::pay>>(); }
    static PyMethodDef accrual() { return R::template method<"get_accruals", &column<Leg, &Period::accrual>>(); }
    static PyMethodDef nominal() { return R::template method<"get_notional", &notional<Leg>>(); }
};

using FixedParams = Params<"start_dates", "end_dates", "pay_dates", "accruals", "notional">;
using FloatParams = Params<"start_dates", "end_dates", "pay_dates", "accruals", "fixing_accruals", "notional">;

template <class Leg>
PyTypeObject* leg_class(const char* name, PyMethodDef* methods, const char* doc, vectorcallfunc constructor) {
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<Leg>)},
        {Py_tp_doc, const_cast<char*>(doc)},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<Leg>), slots, constructor);
}

}  // namespace

PyTypeObject* PyClass<FixedLeg>::create() {
    using L = LegRows<"FixedLeg", FixedLeg, FixedPeriod>;
    static PyMethodDef methods[] = {L::start(), L::end(), L::pay(), L::accrual(), L::nominal(), {}};
    return leg_class<FixedLeg>(name, methods, Rows<"FixedLeg">::class_doc<FixedParams>(),
                               Rows<"FixedLeg">::constructor<&make_fixed, FixedParams>);
}

PyTypeObject* PyClass<FloatLeg>::create() {
    using L = LegRows<"FloatLeg", FloatLeg, FloatPeriod>;
    static PyMethodDef methods[] = {
        L::start(), L::end(), L::pay(), L::accrual(),
        Rows<"FloatLeg">::method<"get_fixing_accruals", &column<FloatLeg, &FloatPeriod::fixing_accrual>>(),
        L::nominal(), {},
    };
    return leg_class<FloatLeg>(name, methods, Rows<"FloatLeg">::class_doc<FloatParams>(),
                               Rows<"FloatLeg">::constructor<&make_float, FloatParams>);
}

}  // namespace vantorel::py
