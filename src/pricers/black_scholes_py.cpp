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

namespace vantorel::py {

namespace {

using R = Rows<"BlackScholes">;
using Tau = Params<"spot", "strike", "rate", "div_yield", "tau", "pc_flag", "vol">;
using Dated = Params<"spot", "strike", "rate", "div_yield", "eval_date", "expiry_date", "pc_flag", "vol">;

// ---- BlackScholesMetrics -------------------------------------------------------

constexpr PyMemberDef metrics_member(const char* name, std::size_t field) noexcept {
    return {.name = name,
            .type = Py_T_DOUBLE,
            .offset = static_cast<Py_ssize_t>(offsetof(Box<BlackScholesMetrics>, value) + field),
            .flags = Py_READONLY,
            .doc = nullptr};
}

// Read-only float attributes in field order, without docstrings; the text form
// is built from the same table.
PyMemberDef metrics_members[] = {
    metrics_member("npv", offsetof(BlackScholesMetrics, npv)),
    metrics_member("delta", offsetof(BlackScholesMetrics, delta)),
    metrics_member("gamma", offsetof(BlackScholesMetrics, gamma)),
    metrics_member("vega", offsetof(BlackScholesMetrics, vega)),
    metrics_member("theta", offsetof(BlackScholesMetrics, theta)),
    metrics_member("rho_r", offsetof(BlackScholesMetrics, rho_r)),
    metrics_member("rho_q", offsetof(BlackScholesMetrics, rho_q)),
    {},
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
        R::static_method<"get_metrics_with_dates", &with_dates<&get_metrics>, Dated>(),
        R::static_method<"get_metrics", &get_metrics, Tau>(),
        R::static_method<"get_metrics_fd_with_dates", &with_dates<&get_metrics_fd>, Dated>(),
        R::static_method<"get_metrics_fd", &get_metrics_fd, Tau>(),
        R::static_method<"npv_with_dates", &with_dates<&npv>, Dated>(),
        R::static_method<"npv", &npv, Tau>(),
        R::static_method<"npv_impl", &npv_impl, Params<"spot", "strike", "chi", "df_r", "df_q", "cdf_d1", "cdf_d2">>(),
        R::static_method<"delta_with_dates", &with_dates<&delta>, Dated>(),
        R::static_method<"delta", &delta, Tau>(),
        R::static_method<"delta_impl", &delta_impl, Params<"chi", "df_q", "cdf_d1">>(),
        R::static_method<"gamma_with_dates", &with_dates<&gamma>, Dated>(),
        R::static_method<"gamma", &gamma, Tau>(),
        R::static_method<"gamma_impl", &gamma_impl, Params<"spot", "vol", "sqrt_tau", "df_q", "pdf_d1">>(),
        R::static_method<"vega_with_dates", &with_dates<&vega>, Dated>(),
        R::static_method<"vega", &vega, Tau>(),
        R::static_method<"vega_impl", &vega_impl, Params<"spot", "sqrt_tau", "df_q", "pdf_d1">>(),
        R::static_method<"theta_with_dates", &with_dates<&theta>, Dated>(),
        R::static_method<"theta", &theta, Tau>(),
        R::static_method<"theta_impl", &theta_impl,
                         Params<"spot", "strike", "rate", "div_yield", "vol", "chi", "sqrt_tau", "df_r", "df_q",
                                "pdf_d1", "cdf_d1", "cdf_d2">>(),
        R::static_method<"rho_r_with_dates", &with_dates<&rho_r>, Dated>(),
        R::static_method<"rho_r", &rho_r, Tau>(),
        R::static_method<"rho_r_impl", &rho_r_impl, Params<"strike", "chi", "tau", "df_r", "cdf_d2">>(),
        R::static_method<"rho_q_with_dates", &with_dates<&rho_q>, Dated>(),
        R::static_method<"rho_q", &rho_q, Tau>(),
        R::static_method<"rho_q_impl", &rho_q_impl, Params<"spot", "chi", "tau", "df_q", "cdf_d1">>(),
        {},
    };
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>("")},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    return build_class(name, sizeof(Box<BlackScholes>), slots);
}

}  // namespace vantorel::py
