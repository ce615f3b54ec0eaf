// src/instruments/swap_py.cpp: Swap as a Python class
#include "instruments/instruments_py.hpp"

namespace vantorel::py {

namespace {

using R = Rows<"Swap">;
using NewParams = Params<"flag", "fixed_leg", "float_leg", "fixed_rate", "spread">;
using Curves = Params<"projection_curve", "discount_curve">;

std::expected<Swap, std::string> make_swap(VtEnum<PayerReceiverFlag> flag, const FixedLeg& fixed_leg,
                                           const FloatLeg& float_leg, double fixed_rate, double spread) {
    return Swap::make(flag.value, fixed_rate, spread, fixed_leg.periods, float_leg.periods);
}

template <double SwapValues::*Field>
double value_of(const Swap& s, const CurveArg& projection_curve, const CurveArg& discount_curve) {
    return s.values(*projection_curve, *discount_curve).*Field;
}
double annuity_of(const Swap& s, const CurveArg& discount_curve) { return annuity(s.fixed(), *discount_curve); }
double pv01_of(const Swap& s, const CurveArg& discount_curve) { return annuity(s.fixed(), *discount_curve) * 1e-4; }
// The amounts each leg pays, period by period (floating ones projected, with the spread).
std::vector<double> fixed_amounts(const Swap& s) {
    std::vector<double> out;
    for (const FixedPeriod& p : s.fixed()) out.push_back(p.notional * s.fixed_rate() * p.accrual);
    return out;
}
std::vector<double> float_amounts(const Swap& s, const CurveArg& projection_curve) {
    std::vector<double> out;
    for (const FloatPeriod& p : s.floating())
        out.push_back(p.notional * (forward_rate(p, *projection_curve) + s.spread()) * p.accrual);
    return out;
}
VtEnum<PayerReceiverFlag> flag_of(const Swap& s) { return {s.flag()}; }
FixedLeg fixed_leg(const Swap& s) { return FixedLeg{s.fixed()}; }
FloatLeg float_leg(const Swap& s) { return FloatLeg{s.floating()}; }

}  // namespace

PyTypeObject* PyClass<Swap>::create() {
    static PyMethodDef methods[] = {
        R::method<"get_flag", &flag_of>(),
        R::method<"get_fixed_leg", &fixed_leg>(),
        R::method<"get_float_leg", &float_leg>(),
        R::method<"get_fixed_rate", &Swap::fixed_rate>(),
        R::method<"get_spread", &Swap::spread>(),
        R::method<"npv", &value_of<&SwapValues::npv>, Curves>(),
        R::method<"fair_rate", &value_of<&SwapValues::fair_rate>, Curves>(),
        R::method<"fixed_leg_npv", &value_of<&SwapValues::fixed_leg>, Curves>(),
        R::method<"float_leg_npv", &value_of<&SwapValues::float_leg>, Curves>(),
        R::method<"fixed_leg_amounts", &fixed_amounts>(),
        R::method<"float_leg_amounts", &float_amounts, Params<"projection_curve">>(),
        R::method<"annuity", &annuity_of, Params<"discount_curve">>(),
        R::method<"pv01", &pv01_of, Params<"discount_curve">>(),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<Swap>)},
        {Py_tp_doc, const_cast<char*>(R::class_doc<NewParams>())},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<Swap>), slots, R::constructor<&make_swap, NewParams>);
}

}  // namespace vantorel::py
