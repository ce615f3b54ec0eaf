// src/instruments/bond_py.cpp: FixedRateBond as a Python class
#include <optional>

#include "instruments/instruments_py.hpp"

namespace vantorel::py {

namespace {

using R = Rows<"FixedRateBond">;
using NewParams = Params<"coupon_leg", "coupon_rate", "dc", "face", "redemption", "reference_start_dates=None",
                         "reference_end_dates=None">;
using YieldParams = Params<"yield_rate", "dc", "compounding", "frequency", "settlement_date">;
using CurveParams = Params<"curve", "settlement_date">;

std::expected<FixedRateBond, std::string> make_bond(const FixedLeg& coupon_leg, double coupon_rate,
                                                    const DayCount& dc, double face, double redemption,
                                                    const std::optional<std::vector<DayArg>>& reference_start_dates,
                                                    const std::optional<std::vector<DayArg>>& reference_end_dates) {
    std::vector<std::pair<Date, Date>> reference;
    if (reference_start_dates.has_value() != reference_end_dates.has_value())
        return std::unexpected(std::string("Bond: give both reference_start_dates and reference_end_dates, or neither"));
    if (reference_start_dates) {
        if (reference_start_dates->size() != reference_end_dates->size())
            return std::unexpected(std::string("Bond: reference start and end dates must have one size"));
        for (std::size_t i = 0; i < reference_start_dates->size(); ++i)
            reference.emplace_back(from_int((*reference_start_dates)[i].serial),
                                   from_int((*reference_end_dates)[i].serial));
    }
    return FixedRateBond::make(coupon_leg.periods, coupon_rate, dc, face, redemption, std::move(reference));
}

std::vector<DayArg> reference_column(const FixedRateBond& b, bool end) {
    std::vector<DayArg> out;
    for (const auto& [s, e] : b.reference()) out.push_back({(end ? e : s).serial()});
    return out;
}
std::vector<DayArg> reference_starts(const FixedRateBond& b) { return reference_column(b, false); }
std::vector<DayArg> reference_ends(const FixedRateBond& b) { return reference_column(b, true); }

Date day(DayArg d) { return from_int(d.serial); }

double accrued(const FixedRateBond& b, DayArg settlement_date) { return b.accrued(day(settlement_date)); }
double dirty_on_curve(const FixedRateBond& b, const CurveArg& curve, DayArg settlement_date) {
    return b.dirty_price(*curve, day(settlement_date));
}
double clean_on_curve(const FixedRateBond& b, const CurveArg& curve, DayArg settlement_date) {
    return b.dirty_price(*curve, day(settlement_date)) - b.accrued(day(settlement_date));
}
double dirty_with_spread(const FixedRateBond& b, const CurveArg& curve, DayArg settlement_date, double z_spread) {
    return b.dirty_price(*curve, day(settlement_date), z_spread);
}
double dirty_at_yield(const FixedRateBond& b, double yield_rate, const DayCount& dc, const Compounding& compounding,
                      std::int32_t frequency, DayArg settlement_date) {
    return b.dirty_price(yield_rate, {dc, compounding, frequency}, day(settlement_date));
}
double clean_at_yield(const FixedRateBond& b, double yield_rate, const DayCount& dc, const Compounding& compounding,
                      std::int32_t frequency, DayArg settlement_date) {
    return dirty_at_yield(b, yield_rate, dc, compounding, frequency, settlement_date) - accrued(b, settlement_date);
}
std::expected<double, std::string> yield_of(const FixedRateBond& b, double clean_price, const DayCount& dc,
                                            const Compounding& compounding, std::int32_t frequency,
                                            DayArg settlement_date) {
    return b.yield(clean_price + accrued(b, settlement_date), {dc, compounding, frequency}, day(settlement_date));
}
template <double BondRisk::*Field>
double risk_of(const FixedRateBond& b, double yield_rate, const DayCount& dc, const Compounding& compounding,
               std::int32_t frequency, DayArg settlement_date) {
    return b.risk(yield_rate, {dc, compounding, frequency}, day(settlement_date)).*Field;
}
std::expected<double, std::string> z_spread_of(const FixedRateBond& b, double clean_price, const CurveArg& curve,
                                               DayArg settlement_date) {
    return b.z_spread(clean_price + accrued(b, settlement_date), *curve, day(settlement_date));
}

FixedLeg coupon_leg(const FixedRateBond& b) { return FixedLeg{b.periods()}; }
std::vector<DayArg> flow_dates(const FixedRateBond& b) {
    std::vector<DayArg> out;
    for (const BondFlow& f : b.flows()) out.push_back({f.pay.serial()});
    return out;
}
std::vector<double> flow_amounts(const FixedRateBond& b) {
    std::vector<double> out;
    for (const BondFlow& f : b.flows()) out.push_back(f.amount);
    return out;
}

}  // namespace

PyTypeObject* PyClass<FixedRateBond>::create() {
    static PyMethodDef methods[] = {
        R::method<"get_coupon_leg", &coupon_leg>(),
        R::method<"get_coupon_rate", &FixedRateBond::coupon_rate>(),
        R::method<"get_dc", &FixedRateBond::dc>(),
        R::method<"get_face", &FixedRateBond::face>(),
        R::method<"get_redemption", &FixedRateBond::redemption>(),
        R::method<"get_reference_start_dates", &reference_starts>(),
        R::method<"get_reference_end_dates", &reference_ends>(),
        R::method<"get_flow_dates", &flow_dates>(),
        R::method<"get_flow_amounts", &flow_amounts>(),
        R::method<"accrued", &accrued, Params<"settlement_date">>(),
        R::method<"dirty_price", &dirty_on_curve, CurveParams>(),
        R::method<"clean_price", &clean_on_curve, CurveParams>(),
        R::method<"dirty_price_z", &dirty_with_spread, Params<"curve", "settlement_date", "z_spread">>(),
        R::method<"dirty_price_at_yield", &dirty_at_yield, YieldParams>(),
        R::method<"clean_price_at_yield", &clean_at_yield, YieldParams>(),
        R::method<"yield_from_price", &yield_of,
                  Params<"clean_price", "dc", "compounding", "frequency", "settlement_date">>(),
        R::method<"macaulay_duration", &risk_of<&BondRisk::macaulay>, YieldParams>(),
        R::method<"modified_duration", &risk_of<&BondRisk::modified>, YieldParams>(),
        R::method<"convexity", &risk_of<&BondRisk::convexity>, YieldParams>(),
        R::method<"dv01", &risk_of<&BondRisk::dv01>, YieldParams>(),
        R::method<"z_spread", &z_spread_of, Params<"clean_price", "curve", "settlement_date">>(),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<FixedRateBond>)},
        {Py_tp_doc, const_cast<char*>(R::class_doc<NewParams>())},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<FixedRateBond>), slots, R::constructor<&make_bond, NewParams>);
}

}  // namespace vantorel::py
