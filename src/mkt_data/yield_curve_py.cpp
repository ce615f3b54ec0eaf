// src/mkt_data/yield_curve_py.cpp: YieldCurve as a Python class with two factories
#include "mkt_data/yield_curve_py.hpp"

#include "binding/call.hpp"
#include "datetime/date_py.hpp"
#include "mkt_data/yield_curve_flat.hpp"
#include "mkt_data/yield_curve_noded.hpp"

namespace vantorel::py {

namespace {

using R = Rows<"YieldCurve">;
using Dates = Params<"start_date", "end_date">;

YieldCurvePy create_flat(const Date& curve_date, const DayCounter& dc, double flat_rate) {
    return {std::make_shared<const YieldCurveFlat>(curve_date, flat_rate, dc)};
}

// The two lists arrive as fresh copies made by the argument conversion and
// are moved into the curve.
std::expected<YieldCurvePy, std::string> create_noded(const Date& curve_date, const DayCounter& dc,
                                                      std::vector<Date> node_dates,
                                                      std::vector<double> discount_factors,
                                                      const InterpType& interp_type) {
    auto curve = YieldCurveNoded::make(curve_date, dc, std::move(node_dates), std::move(discount_factors),
                                       interp_type);
    if (!curve) return std::unexpected(std::move(curve.error()));
    return YieldCurvePy{std::make_shared<const YieldCurveNoded>(std::move(*curve))};
}

}  // namespace

PyTypeObject* PyClass<YieldCurvePy>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyMethodDef methods[] = {
        R::static_method<"create_flat", &create_flat, Params<"curve_date", "dc", "flat_rate">>(),
        R::static_method<"create_noded", &create_noded,
                         Params<"curve_date", "dc", "node_dates", "discount_factors", "interp_type">>(),
        R::method<"get_curve_date", &YieldCurve::get_curve_date>(),
        R::method<"get_dc", &YieldCurve::get_dc>(),
        R::method<"get_df", &YieldCurve::get_df, Params<"date">>(),
        R::method<"get_fwd_df", &YieldCurve::get_fwd_df, Dates>(),
        R::method<"get_overnight_rate", &YieldCurve::get_overnight_rate, Params<"date">>(),
        R::method<"get_fwd_rate", &YieldCurve::get_fwd_rate, Dates>(),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<YieldCurvePy>)},
        {Py_tp_doc, const_cast<char*>("")},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<YieldCurvePy>), slots);
}

}  // namespace vantorel::py
