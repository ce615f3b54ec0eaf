// src/instruments/bootstrap_py.cpp: quoted curve instruments and the bootstrap as Python callables
#include <optional>

#include "instruments/instruments_py.hpp"

namespace vantorel::py {

namespace {

using R = Rows<"CurveInstrument">;
using ForwardParams = Params<"name", "start_date", "end_date", "accrual", "rate">;

// Deposits and FRAs quote the same thing, a simple rate over their period.
CurveQuote forward_quote(std::string_view name, DayArg start_date, DayArg end_date, double accrual, double rate) {
    const Date s = from_int(start_date.serial), e = from_int(end_date.serial);
    return {CurveQuote::Kind::ForwardRate, std::string(name), rate, FloatPeriod{s, e, e, accrual, accrual, 1.0}, {},
            {}};
}

CurveQuote swap_quote(std::string_view name, const FixedLeg& fixed_leg, const FloatLeg& float_leg, double rate) {
    const FloatPeriod first = float_leg.periods.front();  // unused by a swap
    return {CurveQuote::Kind::Swap, std::string(name), rate, first, fixed_leg.periods, float_leg.periods};
}

bool is_swap(const CurveQuote& q) { return q.kind == CurveQuote::Kind::Swap; }
std::string get_name(const CurveQuote& q) { return q.name; }
double get_rate(const CurveQuote& q) { return q.quote; }
std::string get_kind(const CurveQuote& q) { return is_swap(q) ? "Swap" : "Deposit"; }
DayArg get_pillar_date(const CurveQuote& q) { return {pillar_date(q).serial()}; }
std::optional<DayArg> get_start_date(const CurveQuote& q) {
    return is_swap(q) ? std::nullopt : std::optional<DayArg>(DayArg{q.period.start.serial()});
}
std::optional<DayArg> get_end_date(const CurveQuote& q) {
    return is_swap(q) ? std::nullopt : std::optional<DayArg>(DayArg{q.period.end.serial()});
}
std::optional<double> get_accrual(const CurveQuote& q) {
    return is_swap(q) ? std::nullopt : std::optional<double>(q.period.accrual);
}
std::optional<FixedLeg> get_fixed_leg(const CurveQuote& q) {
    return is_swap(q) ? std::optional<FixedLeg>(FixedLeg{q.fixed}) : std::nullopt;
}
std::optional<FloatLeg> get_float_leg(const CurveQuote& q) {
    return is_swap(q) ? std::optional<FloatLeg>(FloatLeg{q.floating}) : std::nullopt;
}
double implied_rate(const CurveQuote& q, const CurveArg& projection_curve, const CurveArg& discount_curve) {
    return implied_quote(q, *projection_curve, *discount_curve);
}

std::expected<CurveArg, std::string> bootstrap_curve(DayArg curve_date, VtEnum<DayCounter> dc,
                                                     VtEnum<InterpType> interp_type,
                                                     const std::vector<CurveQuote>& instruments,
                                                     MaybeCurve discount_curve) {
    auto curve = bootstrap(from_int(curve_date.serial), dc.value, interp_type.value, instruments, discount_curve.curve);
    if (!curve) return std::unexpected(std::move(curve.error()));
    auto shared = std::make_shared<const YieldCurveNoded>(std::move(*curve));
    return CurveArg{shared.get(), shared};
}

}  // namespace

PyTypeObject* PyClass<CurveQuote>::create() {
    static PyMethodDef methods[] = {
        R::static_method<"deposit", &forward_quote, ForwardParams>(),
        R::static_method<"fra", &forward_quote, ForwardParams>(),
        R::static_method<"swap", &swap_quote, Params<"name", "fixed_leg", "float_leg", "rate">>(),
        R::method<"get_name", &get_name>(),
        R::method<"get_kind", &get_kind>(),
        R::method<"get_rate", &get_rate>(),
        R::method<"get_pillar_date", &get_pillar_date>(),
        R::method<"get_start_date", &get_start_date>(),
        R::method<"get_end_date", &get_end_date>(),
        R::method<"get_accrual", &get_accrual>(),
        R::method<"get_fixed_leg", &get_fixed_leg>(),
        R::method<"get_float_leg", &get_float_leg>(),
        R::method<"implied_rate", &implied_rate, Params<"projection_curve", "discount_curve">>(),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<CurveQuote>)},
        {Py_tp_doc, const_cast<char*>("")},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<CurveQuote>), slots);
}

PyMethodDef bootstrap_def() {
    return Rows<"">::function<"bootstrap", &bootstrap_curve,
                              Params<"curve_date", "dc", "interp_type", "instruments", "discount_curve=None">>();
}

}  // namespace vantorel::py
