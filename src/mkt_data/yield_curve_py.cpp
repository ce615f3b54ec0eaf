// src/mkt_data/yield_curve_py.cpp: YieldCurve as a Python class with two factories
#include "mkt_data/yield_curve_py.hpp"

#include "binding/call.hpp"
#include "datetime/date_py.hpp"
#include "datetime/day_counter_py.hpp"
#include "enums/enums_py.hpp"
#include "mkt_data/yield_curve_flat.hpp"
#include "mkt_data/yield_curve_noded.hpp"

namespace vantorel::py {

namespace {

Sig<3> create_flat_sig{"YieldCurve.create_flat", {"curve_date", "dc", "flat_rate"}};
Sig<5> create_noded_sig{"YieldCurve.create_noded",
                        {"curve_date", "dc", "node_dates", "discount_factors", "interp_type"}};
Sig<0> get_curve_date_sig{"YieldCurve.get_curve_date", {}};
Sig<0> get_dc_sig{"YieldCurve.get_dc", {}};
Sig<1> get_df_sig{"YieldCurve.get_df", {"date"}};
Sig<2> get_fwd_df_sig{"YieldCurve.get_fwd_df", {"start_date", "end_date"}};
Sig<1> get_overnight_rate_sig{"YieldCurve.get_overnight_rate", {"date"}};
Sig<2> get_fwd_rate_sig{"YieldCurve.get_fwd_rate", {"start_date", "end_date"}};

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

// Every query goes through the interface, so both curves share the provided
// operations.
Date yield_curve_get_curve_date(const YieldCurvePy& self) { return self.curve->get_curve_date(); }
DayCounter yield_curve_get_dc(const YieldCurvePy& self) { return self.curve->get_dc(); }
double yield_curve_get_df(const YieldCurvePy& self, const Date& date) { return self.curve->get_df(date); }
double yield_curve_get_fwd_df(const YieldCurvePy& self, const Date& start_date, const Date& end_date) {
    return self.curve->get_fwd_df(start_date, end_date);
}
double yield_curve_get_overnight_rate(const YieldCurvePy& self, const Date& date) {
    return self.curve->get_overnight_rate(date);
}
double yield_curve_get_fwd_rate(const YieldCurvePy& self, const Date& start_date, const Date& end_date) {
    return self.curve->get_fwd_rate(start_date, end_date);
}

}  // namespace

PyTypeObject* PyClass<YieldCurvePy>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyMethodDef methods[] = {
        static_method_def<&create_flat, create_flat_sig>(),
        static_method_def<&create_noded, create_noded_sig>(),
        method_def<&yield_curve_get_curve_date, get_curve_date_sig>(),
        method_def<&yield_curve_get_dc, get_dc_sig>(),
        method_def<&yield_curve_get_df, get_df_sig>(),
        method_def<&yield_curve_get_fwd_df, get_fwd_df_sig>(),
        method_def<&yield_curve_get_overnight_rate, get_overnight_rate_sig>(),
        method_def<&yield_curve_get_fwd_rate, get_fwd_rate_sig>(),
        {nullptr, nullptr, 0, nullptr},
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
