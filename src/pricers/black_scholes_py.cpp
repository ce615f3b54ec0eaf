// src/pricers/black_scholes_py.cpp: BlackScholes (static methods) and BlackScholesMetrics as Python classes
#include "pricers/black_scholes_py.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "binding/call.hpp"
#include "core/number_format.hpp"
#include "datetime/date_py.hpp"
#include "enums/enums_py.hpp"

namespace vantorel::py {

namespace {

// Calendar days from eval_date to expiry_date over 365.0, whatever day
// counter the caller uses elsewhere; an expiry before the evaluation date is
// a negative (expired) year fraction.
double tau_between(const Date& eval_date, const Date& expiry_date) noexcept {
    const std::int32_t days = expiry_date.serial() - eval_date.serial();
    return static_cast<double>(days) / 365.0;
}

// The _with_dates form of a computation taking tau.
template <auto Fn>
auto with_dates(double spot, double strike, double rate, double div_yield, const Date& eval_date,
                const Date& expiry_date, PutCallFlag pc_flag, double vol) noexcept {
    return Fn(spot, strike, rate, div_yield, tau_between(eval_date, expiry_date), pc_flag, vol);
}

using TauParams = std::array<const char*, 7>;
using DateParams = std::array<const char*, 8>;
constexpr TauParams tau_params{"spot", "strike", "rate", "div_yield", "tau", "pc_flag", "vol"};
constexpr DateParams date_params{"spot",        "strike",  "rate", "div_yield", "eval_date",
                                 "expiry_date", "pc_flag", "vol"};

Sig<8> get_metrics_with_dates_sig{"BlackScholes.get_metrics_with_dates", date_params};
Sig<7> get_metrics_sig{"BlackScholes.get_metrics", tau_params};
Sig<8> get_metrics_fd_with_dates_sig{"BlackScholes.get_metrics_fd_with_dates", date_params};
Sig<7> get_metrics_fd_sig{"BlackScholes.get_metrics_fd", tau_params};
Sig<8> npv_with_dates_sig{"BlackScholes.npv_with_dates", date_params};
Sig<7> npv_sig{"BlackScholes.npv", tau_params};
Sig<7> npv_impl_sig{"BlackScholes.npv_impl",
                    {"spot", "strike", "chi", "df_r", "df_q", "cdf_d1", "cdf_d2"}};
Sig<8> delta_with_dates_sig{"BlackScholes.delta_with_dates", date_params};
Sig<7> delta_sig{"BlackScholes.delta", tau_params};
Sig<3> delta_impl_sig{"BlackScholes.delta_impl", {"chi", "df_q", "cdf_d1"}};
Sig<8> gamma_with_dates_sig{"BlackScholes.gamma_with_dates", date_params};
Sig<7> gamma_sig{"BlackScholes.gamma", tau_params};
Sig<5> gamma_impl_sig{"BlackScholes.gamma_impl", {"spot", "vol", "sqrt_tau", "df_q", "pdf_d1"}};
Sig<8> vega_with_dates_sig{"BlackScholes.vega_with_dates", date_params};
Sig<7> vega_sig{"BlackScholes.vega", tau_params};
Sig<4> vega_impl_sig{"BlackScholes.vega_impl", {"spot", "sqrt_tau", "df_q", "pdf_d1"}};
Sig<8> theta_with_dates_sig{"BlackScholes.theta_with_dates", date_params};
Sig<7> theta_sig{"BlackScholes.theta", tau_params};
Sig<12> theta_impl_sig{"BlackScholes.theta_impl",
                       {"spot", "strike", "rate", "div_yield", "vol", "chi", "sqrt_tau", "df_r",
                        "df_q", "pdf_d1", "cdf_d1", "cdf_d2"}};
Sig<8> rho_r_with_dates_sig{"BlackScholes.rho_r_with_dates", date_params};
Sig<7> rho_r_sig{"BlackScholes.rho_r", tau_params};
Sig<5> rho_r_impl_sig{"BlackScholes.rho_r_impl", {"strike", "chi", "tau", "df_r", "cdf_d2"}};
Sig<8> rho_q_with_dates_sig{"BlackScholes.rho_q_with_dates", date_params};
Sig<7> rho_q_sig{"BlackScholes.rho_q", tau_params};
Sig<5> rho_q_impl_sig{"BlackScholes.rho_q_impl", {"spot", "chi", "tau", "df_q", "cdf_d1"}};

// ---- BlackScholesMetrics -------------------------------------------------------

constexpr Py_ssize_t field_offset(std::size_t field) noexcept {
    return static_cast<Py_ssize_t>(offsetof(Box<BlackScholesMetrics>, value) + field);
}

// Read-only float attributes in field order, without docstrings; the text form
// is built from the same table.
PyMemberDef metrics_members[] = {
    {"npv", Py_T_DOUBLE, field_offset(offsetof(BlackScholesMetrics, npv)), Py_READONLY, nullptr},
    {"delta", Py_T_DOUBLE, field_offset(offsetof(BlackScholesMetrics, delta)), Py_READONLY, nullptr},
    {"gamma", Py_T_DOUBLE, field_offset(offsetof(BlackScholesMetrics, gamma)), Py_READONLY, nullptr},
    {"vega", Py_T_DOUBLE, field_offset(offsetof(BlackScholesMetrics, vega)), Py_READONLY, nullptr},
    {"theta", Py_T_DOUBLE, field_offset(offsetof(BlackScholesMetrics, theta)), Py_READONLY, nullptr},
    {"rho_r", Py_T_DOUBLE, field_offset(offsetof(BlackScholesMetrics, rho_r)), Py_READONLY, nullptr},
    {"rho_q", Py_T_DOUBLE, field_offset(offsetof(BlackScholesMetrics, rho_q)), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

// "BlackScholesMetrics(npv=9.2, delta=0.58, ...)" with the plain shortest
// round-trip number format.
PyObject* metrics_repr(PyObject* self) noexcept {
    return firewall([&] {
        std::string text = "BlackScholesMetrics(";
        const char* sep = "";
        for (const PyMemberDef* m = metrics_members; m->name != nullptr; ++m) {
            double value = 0;
            std::memcpy(&value, reinterpret_cast<const char*>(self) + m->offset, sizeof value);
            text += sep;
            text += m->name;
            text += '=';
            append_plain(text, value);
            sep = ", ";
        }
        text += ')';
        return to_python(text);
    });
}

}  // namespace

PyTypeObject* PyClass<BlackScholesMetrics>::create() {
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<BlackScholesMetrics>)},
        {Py_tp_repr, reinterpret_cast<void*>(&metrics_repr)},
        {Py_tp_members, metrics_members},
        {Py_tp_doc, const_cast<char*>("")},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<BlackScholesMetrics>), slots);
}

PyTypeObject* PyClass<BlackScholes>::create() {
    // Kept for the life of the type: PyType_FromSpec reads the table in place.
    static PyMethodDef methods[] = {
        static_method_def<&with_dates<&get_metrics>, get_metrics_with_dates_sig>(),
        static_method_def<&get_metrics, get_metrics_sig>(),
        static_method_def<&with_dates<&get_metrics_fd>, get_metrics_fd_with_dates_sig>(),
        static_method_def<&get_metrics_fd, get_metrics_fd_sig>(),
        static_method_def<&with_dates<&npv>, npv_with_dates_sig>(),
        static_method_def<&npv, npv_sig>(),
        static_method_def<&npv_impl, npv_impl_sig>(),
        static_method_def<&with_dates<&delta>, delta_with_dates_sig>(),
        static_method_def<&delta, delta_sig>(),
        static_method_def<&delta_impl, delta_impl_sig>(),
        static_method_def<&with_dates<&gamma>, gamma_with_dates_sig>(),
        static_method_def<&gamma, gamma_sig>(),
        static_method_def<&gamma_impl, gamma_impl_sig>(),
        static_method_def<&with_dates<&vega>, vega_with_dates_sig>(),
        static_method_def<&vega, vega_sig>(),
        static_method_def<&vega_impl, vega_impl_sig>(),
        static_method_def<&with_dates<&theta>, theta_with_dates_sig>(),
        static_method_def<&theta, theta_sig>(),
        static_method_def<&theta_impl, theta_impl_sig>(),
        static_method_def<&with_dates<&rho_r>, rho_r_with_dates_sig>(),
        static_method_def<&rho_r, rho_r_sig>(),
        static_method_def<&rho_r_impl, rho_r_impl_sig>(),
        static_method_def<&with_dates<&rho_q>, rho_q_with_dates_sig>(),
        static_method_def<&rho_q, rho_q_sig>(),
        static_method_def<&rho_q_impl, rho_q_impl_sig>(),
        {nullptr, nullptr, 0, nullptr},
    };
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>("")},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<BlackScholes>), slots);
}

}  // namespace vantorel::py
