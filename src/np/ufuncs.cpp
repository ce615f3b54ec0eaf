// src/np/ufuncs.cpp: vantorel_np._ufuncs, the ufuncs built from one table of core kernels
#include "np/loops.hpp"
#include "np/native_state.hpp"
#include "np/state.hpp"
#include "np/ufunc_table.hpp"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "datetime/calendars/calendar.hpp"
#include "datetime/day_counter.hpp"
#include "datetime/tenor.hpp"
#include "maths/functions/err_functions.hpp"
#include "maths/interpolator.hpp"
#include "mkt_data/yield_curve.hpp"
#include "mkt_data/yield_curve_flat.hpp"
#include "mkt_data/yield_curve_noded.hpp"
#include "pricers/american.hpp"
#include "pricers/american_fd.hpp"
#include "pricers/implied_vol.hpp"

namespace vantorel::np {

namespace {

// ---- kernels that are not a core function as they stand -----------------------------

// The tau of the pricer's _with_dates forms: the Act/365 year fraction.
double tau_from_dates(const Date& eval_date, const Date& expiry_date) {
    return get_dcf(DayCounter::Act365, eval_date, expiry_date);
}

// An operand every element of the loop shares (a scalar broadcast), or nothing.
template <class A>
const A* shared(const char* p, std::ptrdiff_t step, std::ptrdiff_t n) noexcept {
    if (n == 0 || (step != 0 && n > 1)) return nullptr;
    return native_of<A>(read<PyObject*>(p));
}

}  // namespace

// ---- kernels over whole date columns in the core's vector loops ---------------------

template <>
struct DateLanes<&Date::weekday> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        return lanes::active()->dates.weekday(data[0], steps[0], data[1], steps[1], n);
    }
};

// A calendar without holidays, the same for every element: its weekend decides.
template <bool Business>
std::ptrdiff_t weekend_days(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
    const Calendar* cal = shared<Calendar>(data[0], steps[0], n);
    const int weekend = cal != nullptr ? cal->impl().weekend_only() : -1;
    if (weekend < 0) return 0;
    return lanes::active()->dates.weekend(data[1], steps[1], data[2], steps[2], n, static_cast<unsigned>(weekend),
                                          Business);
}
template <>
struct DateLanes<&Calendar::is_business_day> : DateLanesBy<&weekend_days<true>> {};
template <>
struct DateLanes<&Calendar::is_weekend> : DateLanesBy<&weekend_days<false>> {};

// One tenor for every element: D and W are one addition, M and Y month arithmetic.
template <>
struct DateLanes<&vantorel::add_tenor> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        const Tenor* tenor = shared<Tenor>(data[1], steps[1], n);
        if (tenor == nullptr) return 0;
        const std::int64_t count = tenor->count;
        const auto& dates = lanes::active()->dates;
        switch (tenor->unit) {
            case TenorUnit::D: return dates.add_days(data[0], steps[0], data[2], steps[2], n, count);
            case TenorUnit::W: return dates.add_days(data[0], steps[0], data[2], steps[2], n, 7 * count);
            case TenorUnit::M: return dates.add_months(data[0], steps[0], data[2], steps[2], n, count);
            case TenorUnit::Y: return dates.add_months(data[0], steps[0], data[2], steps[2], n, 12 * count);
            case TenorUnit::B: break;
        }
        return 0;
    }
};

// Act/365 and Act/360 for every element: the day count over 365.0 or 360.0.
template <>
struct DateLanes<&vantorel::get_dcf> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        const DayCounter* dc = shared<DayCounter>(data[0], steps[0], n);
        if (dc == nullptr || (*dc != DayCounter::Act365 && *dc != DayCounter::Act360)) return 0;
        return lanes::active()->dates.day_fraction(data[1], steps[1], data[2], steps[2], data[3], steps[3], n,
                                                   *dc == DayCounter::Act365 ? 365.0 : 360.0);
    }
};
template <>
struct DateLanes<&tau_from_dates> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        return lanes::active()->dates.day_fraction(data[0], steps[0], data[1], steps[1], data[2], steps[2], n, 365.0);
    }
};

namespace {

// A linear or log-linear interpolator of at least two nodes in lanes: inside
// the nodes the interpolation of the lane loop, elsewhere (the ends,
// outside) the interpolator's own call. A NaN x gives NaN here, which the
// interpolator's call does not: callers keep NaN away or want it.
class InterpLanes {
public:
    static std::optional<InterpLanes> of(const Interpolator* interp) noexcept {
        if (interp == nullptr) return std::nullopt;
        const InterpType kind = interp->get_interp_type();
        const std::vector<double>& xs = interp->get_nodes_x();
        if ((kind != InterpType::Linear && kind != InterpType::Geometric) || xs.size() < 2) return std::nullopt;
        return InterpLanes(interp, {xs.data(), interp->get_nodes_y().data(), interp->get_slopes().data(), xs.size()},
                           lanes::active()->inside[kind == InterpType::Geometric ? 1 : 0]);
    }

    void run(const double* x, double* y, std::ptrdiff_t m) const noexcept {
        inside_(nodes_, x, y, m);
        const double lo = nodes_.x[0], hi = nodes_.x[nodes_.n - 1];
        for (std::ptrdiff_t j = 0; j < m; ++j)
            if (!(x[j] > lo && x[j] < hi)) y[j] = std::isnan(x[j]) ? x[j] : interp_->interpolate(x[j]);
    }

private:
    InterpLanes(const Interpolator* interp, lanes::Nodes nodes, lanes::InsideLoop inside) noexcept
        : interp_(interp), nodes_(nodes), inside_(inside) {}

    const Interpolator* interp_;
    lanes::Nodes nodes_;
    lanes::InsideLoop inside_;
};

// Runs step(data + i steps, m) over blocks of at most `block` elements; step
// returns how many leading elements of its block it computed. Stops after the
// first block it leaves short, returning the elements done.
constexpr std::ptrdiff_t block = 256;
template <int Operands, class Step>
std::ptrdiff_t by_blocks(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n, Step step) noexcept {
    for (std::ptrdiff_t i = 0; i < n; i += block) {
        const std::ptrdiff_t m = std::min(block, n - i);
        char* at[Operands];
        for (int k = 0; k < Operands; ++k) at[k] = data[k] + i * steps[k];
        const std::ptrdiff_t done = step(at, m);
        if (done < m) return i + done;
    }
    return n;
}

// The first m values of v into the strided column at p.
void put(char* p, std::ptrdiff_t step, const double* v, std::ptrdiff_t m) noexcept {
    for (std::ptrdiff_t j = 0; j < m; ++j) write<double>(p + j * step, v[j]);
}

}  // namespace

// (interpolator, x) -> y; a block holding a NaN x goes to the scalar kernel,
// which reports it.
template <>
struct DateLanes<&Interpolator::interpolate> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        const auto interp = InterpLanes::of(shared<Interpolator>(data[0], steps[0], n));
        if (!interp) return 0;
        return by_blocks<3>(data, steps, n, [&](char* const* at, std::ptrdiff_t m) noexcept {
            double x[block] = {}, y[block];  // zeroed: GCC cannot tell that m > 0 fills it
            bool any_nan = false;
            for (std::ptrdiff_t j = 0; j < m; ++j) {
                x[j] = read<double>(at[1] + j * steps[1]);
                any_nan |= std::isnan(x[j]);
            }
            if (any_nan) return std::ptrdiff_t{0};
            interp->run(x, y, m);
            put(at[2], steps[2], y, m);
            return m;
        });
    }
};

// A noded (linear or log-linear) or flat curve the same for every element,
// its day counter Act/365 or Act/360: the curve queries run a block of
// elements at a time. The year fractions from the curve date come from the
// date loops, then the discount factors from the curve's function of tau,
// which is what get_df computes after its day count: inside the nodes the
// interpolation in lanes, elsewhere (the ends, extrapolation) the
// interpolator's own call; flat_df when flat. Last the query's formula of
// curve_kernels.hpp in lanes. A NaT date gives a NaN year fraction, which
// every formula keeps.
namespace {

class CurveLanes {
public:
    // The shared curve of operand 0, if it is one of those.
    static std::optional<CurveLanes> of(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        const YieldCurve* curve = shared<YieldCurve>(data[0], steps[0], n);
        if (curve == nullptr) return std::nullopt;
        const DayCounter dc = curve->get_dc();
        if (dc != DayCounter::Act365 && dc != DayCounter::Act360) return std::nullopt;
        CurveLanes c;
        constexpr std::int64_t unix_epoch = 25569;  // serial of 1970-01-01
        c.origin_ = curve->get_curve_date().serial() - unix_epoch;
        c.divisor_ = dc == DayCounter::Act365 ? 365.0 : 360.0;
        if (const auto* noded = dynamic_cast<const YieldCurveNoded*>(curve)) {
            c.interp_ = InterpLanes::of(&noded->get_interpolator());
            if (!c.interp_) return std::nullopt;
            return c;
        }
        if (const auto* flat = dynamic_cast<const YieldCurveFlat*>(curve)) {
            c.rate_ = flat->get_flat_rate();
            return c;
        }
        return std::nullopt;
    }

    // The year fractions between the days at a and at b (each with its stride;
    // a null a is the curve date) for m <= block elements; returns how many
    // leading ones it computed (m, or 0 where a day is out of range).
    std::ptrdiff_t tau(const char* a, std::ptrdiff_t a_step, const char* b, std::ptrdiff_t b_step, double* out,
                       std::ptrdiff_t m) const noexcept {
        if (a == nullptr) a = reinterpret_cast<const char*>(&origin_), a_step = 0;
        return lanes::active()->dates.day_fraction(a, a_step, b, b_step, reinterpret_cast<char*>(out),
                                                   sizeof(double), m, divisor_);
    }

    // The discount factors of m year fractions from the curve date.
    void df(const double* tau, double* df, std::ptrdiff_t m) const noexcept {
        if (interp_)
            interp_->run(tau, df, m);
        else
            lanes::active()->curve.flat_df(tau, rate_, df, m);
    }

private:
    std::int64_t origin_ = 0;  // the curve date in days since 1970-01-01
    double divisor_ = 365.0;
    std::optional<InterpLanes> interp_;  // none: flat
    double rate_ = 0.0;
};

}  // namespace

// (curve, date) -> df(date).
template <>
struct DateLanes<&YieldCurve::get_df> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        const auto c = CurveLanes::of(data, steps, n);
        if (!c) return 0;
        return by_blocks<3>(data, steps, n, [&](char* const* at, std::ptrdiff_t m) noexcept {
            double tau[block], df[block];
            const std::ptrdiff_t done = c->tau(nullptr, 0, at[1], steps[1], tau, m);
            c->df(tau, df, done);
            put(at[2], steps[2], df, done);
            return done;
        });
    }
};

// (curve, date) -> zero rate.
template <>
struct DateLanes<&YieldCurve::zero_rate> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        const auto c = CurveLanes::of(data, steps, n);
        if (!c) return 0;
        return by_blocks<3>(data, steps, n, [&](char* const* at, std::ptrdiff_t m) noexcept {
            double tau[block], df[block], r[block];
            const std::ptrdiff_t done = c->tau(nullptr, 0, at[1], steps[1], tau, m);
            c->df(tau, df, done);
            lanes::active()->curve.zero_rate(df, tau, r, done);
            put(at[2], steps[2], r, done);
            return done;
        });
    }
};

namespace {

// (curve, start, end) -> the forward factor, or with Rate the simple rate.
template <bool Rate>
std::ptrdiff_t forward(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
    const auto c = CurveLanes::of(data, steps, n);
    if (!c) return 0;
    return by_blocks<4>(data, steps, n, [&](char* const* at, std::ptrdiff_t m) noexcept {
        double tau_s[block], tau_e[block], df_s[block],
            df_e[block], r[block];
        const std::ptrdiff_t done = std::min(c->tau(nullptr, 0, at[1], steps[1], tau_s, m),
                                             c->tau(nullptr, 0, at[2], steps[2], tau_e, m));
        c->df(tau_s, df_s, done);
        c->df(tau_e, df_e, done);
        if constexpr (Rate) {
            c->tau(at[1], steps[1], at[2], steps[2], tau_s, done);  // tau from start to end
            lanes::active()->curve.simple_rate(df_s, df_e, tau_s, r, done);
        } else {
            lanes::active()->curve.fwd_df(df_s, df_e, r, done);
        }
        put(at[3], steps[3], r, done);
        return done;
    });
}

}  // namespace
template <>
struct DateLanes<&YieldCurve::get_fwd_df> : DateLanesBy<&forward<false>> {};
template <>
struct DateLanes<&YieldCurve::get_fwd_rate> : DateLanesBy<&forward<true>> {};

// (curve, date) -> the simple rate to the next calendar day. The day after
// the last date of the range is out of range: the scalar kernel reports it.
template <>
struct DateLanes<&YieldCurve::get_overnight_rate> {
    static std::ptrdiff_t run(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
        const auto c = CurveLanes::of(data, steps, n);
        if (!c) return 0;
        return by_blocks<3>(data, steps, n, [&](char* const* at, std::ptrdiff_t m) noexcept {
            std::int64_t next[block];
            double tau[block], tau_next[block], df[block],
                df_next[block];
            const char* const next_days = reinterpret_cast<const char*>(next);
            std::ptrdiff_t done = lanes::active()->dates.add_days(at[1], steps[1], reinterpret_cast<char*>(next),
                                                                  sizeof next[0], m, 1);
            done = std::min(c->tau(nullptr, 0, at[1], steps[1], tau, done),
                            c->tau(nullptr, 0, next_days, sizeof next[0], tau_next, done));
            c->df(tau, df, done);
            c->df(tau_next, df_next, done);
            c->tau(at[1], steps[1], next_days, sizeof next[0], tau, done);  // one day's year fraction
            lanes::active()->curve.simple_rate(df, df_next, tau, df_next, done);
            put(at[2], steps[2], df_next, done);
            return done;
        });
    }
};

namespace {

// ---- the table ----------------------------------------------------------------------
//
// One row per ufunc: its name and the core kernel it runs, a free function or
// a const member function (its receiver is the first operand). The operands
// follow from the kernel's signature: double, a PutCallFlag (int64 codes 0 and
// 1, or bool), a Date (datetime64[D]), a vantorel object (object arrays; the
// classes are those of Vantorel<T> in np/state.hpp). A kernel that may throw,
// or takes a date, a flag or an object, also gets a twin with a status output
// for errors="coerce".
//
// To add a function: write its kernel in the core (or a few lines above when
// it is a core call with a fixed argument), add its row here, then its row in
// python/vantorel_np/_table.py (public name, argument names, docstring). A new
// class of object operand is a Vantorel<T> line in np/state.hpp.
const Row rows[] = {
    row<&vantorel::npv>("npv"),
    row<&vantorel::delta>("delta"),
    row<&vantorel::gamma>("gamma"),
    row<&vantorel::vega>("vega"),
    row<&vantorel::theta>("theta"),
    row<&vantorel::rho_r>("rho_r"),
    row<&vantorel::rho_q>("rho_q"),
    row<&vantorel::get_metrics>("metrics"),
    row<&vantorel::get_metrics_fd>("metrics_fd"),
    row<&vantorel::implied_vol>("implied_vol"),
    row<&vantorel::american_npv>("american_npv"),
    row<&vantorel::american_get_metrics>("american_metrics"),
    row<&vantorel::american_implied_vol>("american_implied_vol"),
    row<&vantorel::erf>("erf"),
    row<&vantorel::erfc>("erfc"),
    row<&vantorel::erf_inv>("erf_inv"),
    row<&vantorel::erfc_inv>("erfc_inv"),
    row<&Date::weekday>("weekday"),
    row<&Calendar::is_business_day>("is_business_day"),
    row<&Calendar::is_weekend>("is_weekend"),
    row<&vantorel::add_tenor>("add_tenor"),
    row<&vantorel::get_dcf>("year_fraction"),
    row<&tau_from_dates>("tau_from_dates"),
    row<&YieldCurve::get_df>("discount_factor"),
    row<&YieldCurve::get_fwd_df>("fwd_df"),
    row<&YieldCurve::get_overnight_rate>("overnight_rate"),
    row<&YieldCurve::get_fwd_rate>("fwd_rate"),
    row<&YieldCurve::zero_rate>("zero_rate"),
    row<&Interpolator::interpolate>("interpolate"),
};

// ---- ufuncs with core dimensions: a dividend list, a boundary curve -------------------
//
// Each has the rows' loops: one for int64 put-call codes and one for bool flags,
// and a twin with a status output (in with_status) for errors="coerce". The
// element loop is the rows' rule: a bad operand (a put-call code other than 0
// and 1) raises under either errors=, a failing element (a dividend list out of
// order) raises without a status output and is missing (status `failed`) with one.

// Outer loop over the broadcast elements: body(p) computes one element from the
// operand pointers p[0..Nargs) (inputs then outputs, without the status);
// missing(p) fills its outputs when it fails. core_steps: the steps of the core
// dimensions, after the outer step of every operand (the status's included).
template <std::size_t Nargs, bool WithStatus, class Body, class Missing>
int element_loop(char* const data[], const npy_intp dims[], const npy_intp steps[], Body body,
                 Missing missing) noexcept {
    std::fexcept_t flags;
    std::fegetexceptflag(&flags, FE_ALL_EXCEPT);
    int rc = 0;
    for (npy_intp i = 0; i < dims[0]; ++i) {
        char* p[Nargs];
        for (std::size_t k = 0; k < Nargs; ++k) p[k] = data[k] + i * steps[k];
        const std::optional<Status> status = guarded<WithStatus>([&] { body(p); });
        if (!status) {
            rc = -1;
            break;
        }
        if constexpr (WithStatus) {
            if (*status != computed) missing(p);
            write<std::uint8_t>(data[Nargs] + i * steps[Nargs], *status);
        } else if (*status != computed) {
            rc = -1;
            break;
        }
    }
    std::fesetexceptflag(&flags, FE_ALL_EXCEPT);
    return rc;
}

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// (spot, strike, rate, div_yield, tau, pc_flag, vol, american, div_times(n),
// div_amounts(n), space_steps, tol) -> value; NaN times or amounts pad a list.
// Grids from space_steps (as many time steps) refined up to 32 times for tol. A
// list in use must have amounts >= 0 and finite ex-dates >= 0 strictly increasing.
template <bool FlagAsBool, bool WithStatus>
int cash_dividend_loop(PyArrayMethod_Context*, char* const data[], const npy_intp dims[], const npy_intp steps[],
                       NpyAuxData*) noexcept {
    constexpr std::size_t nargs = 13, core = nargs + (WithStatus ? 1 : 0);
    const npy_intp nd = dims[1];
    std::vector<CashDividend> divs;
    return element_loop<nargs, WithStatus>(
        data, dims, steps,
        [&](char* const* p) {
            // The operand first: a bad put-call code raises whatever the list holds.
            const PutCallFlag flag = Arg<PutCallFlag>::load(p[5], FlagAsBool);
            divs.clear();
            divs.reserve(static_cast<std::size_t>(nd));
            for (npy_intp j = 0; j < nd; ++j) {
                const double t = read<double>(p[8] + j * steps[core]), a = read<double>(p[9] + j * steps[core + 1]);
                if (std::isnan(t) || std::isnan(a)) continue;
                if (a < 0) throw ElementFailure{"div_amounts: a negative amount"};
                if (t < 0 || std::isinf(t)) throw ElementFailure{"div_times: an ex-date before today or infinite"};
                if (!divs.empty() && t <= divs.back().time)
                    throw ElementFailure{
                        "div_times: ex-dates must be strictly increasing (one is out of order or listed twice)"};
                divs.push_back({t, a});
            }
            const auto space = static_cast<int>(std::clamp<std::int64_t>(read<std::int64_t>(p[10]), 0, 1 << 16));
            write(p[12], fd_npv_adaptive(read<double>(p[0]), read<double>(p[1]), read<double>(p[2]),
                                         read<double>(p[3]), read<double>(p[4]), flag, read<double>(p[6]),
                                         read<npy_bool>(p[7]) != 0, divs.data(), divs.size(), FdGrid{space, space},
                                         read<double>(p[11]), 32 * space));
        },
        [](char* const* p) { write(p[12], nan); });
}

// (strike, rate, div_yield, tau, pc_flag, vol, times(m)) -> spots(m).
template <bool FlagAsBool, bool WithStatus>
int boundary_loop(PyArrayMethod_Context*, char* const data[], const npy_intp dims[], const npy_intp steps[],
                  NpyAuxData*) noexcept {
    constexpr std::size_t nargs = 8, core = nargs + (WithStatus ? 1 : 0);
    const npy_intp m = dims[1];
    std::vector<double> t, s;
    return element_loop<nargs, WithStatus>(
        data, dims, steps,
        [&](char* const* p) {
            t.resize(static_cast<std::size_t>(m));
            s.resize(static_cast<std::size_t>(m));
            for (npy_intp j = 0; j < m; ++j) t[static_cast<std::size_t>(j)] = read<double>(p[6] + j * steps[core]);
            const PutCallFlag flag = Arg<PutCallFlag>::load(p[4], FlagAsBool);
            american_boundary(read<double>(p[0]), read<double>(p[1]), read<double>(p[2]), read<double>(p[3]), flag,
                              read<double>(p[5]), static_cast<std::size_t>(m), t.data(), s.data());
            for (npy_intp j = 0; j < m; ++j) write(p[7] + j * steps[core + 1], s[static_cast<std::size_t>(j)]);
        },
        [&](char* const* p) {
            for (npy_intp j = 0; j < m; ++j) write(p[7] + j * steps[core + 1], nan);
        });
}

template <bool FlagAsBool, bool WithStatus>
struct CashDividendLoop {
    static constexpr auto loop = &cash_dividend_loop<FlagAsBool, WithStatus>;
};
template <bool FlagAsBool, bool WithStatus>
struct BoundaryLoop {
    static constexpr auto loop = &boundary_loop<FlagAsBool, WithStatus>;
};

// Promoter of the core ufuncs: every operand to its loop's DType (bool flags to
// the bool loop), so that NumPy casts inputs under the ufunc's casting rule.
template <class Kinds>
int promote_core(PyObject*, PyArray_DTypeMeta* const op_dtypes[], PyArray_DTypeMeta* const signature[],
                 PyArray_DTypeMeta* new_op_dtypes[]) noexcept {
    for (std::size_t i = 0; i < Kinds::kinds.size(); ++i) {
        PyArray_DTypeMeta* dt = signature[i];
        if (dt == nullptr)
            dt = dtype_of(Kinds::kinds[i], Kinds::kinds[i] == Kind::Flag && op_dtypes[i] == &PyArray_BoolDType);
        new_op_dtypes[i] = reinterpret_cast<PyArray_DTypeMeta*>(Py_NewRef(reinterpret_cast<PyObject*>(dt)));
    }
    return 0;
}

template <class Kinds, template <bool, bool> class Loop, bool WithStatus, bool FlagAsBool>
bool add_core_loop(PyObject* ufunc, int nin) noexcept {
    constexpr std::size_t n = Kinds::size;
    PyArray_DTypeMeta* dtypes[n];
    for (std::size_t i = 0; i < n; ++i) dtypes[i] = dtype_of(Kinds::kinds[i], FlagAsBool);
    PyType_Slot slots[] = {
        {NPY_METH_strided_loop, reinterpret_cast<void*>(Loop<FlagAsBool, WithStatus>::loop)},
        {0, nullptr},
    };
    PyArrayMethod_Spec spec{};
    spec.name = "vantorel_np_core_loop";
    spec.nin = nin;
    spec.nout = static_cast<int>(n) - nin;
    spec.casting = NPY_NO_CASTING;
    spec.flags = NPY_METH_NO_FLOATINGPOINT_ERRORS;  // no Python API: NumPy drops the GIL
    spec.dtypes = dtypes;
    spec.slots = slots;
    return PyUFunc_AddLoopFromSpec(ufunc, &spec) == 0;
}

// The operand kinds of a core ufunc, and of its twin (a Status output added).
template <Kind... K>
struct Kinds {
    static constexpr std::size_t size = sizeof...(K);
    static constexpr std::array<Kind, size> kinds{K...};
};
template <class K>
struct WithStatusOf;
template <Kind... K>
struct WithStatusOf<Kinds<K...>> {
    using type = Kinds<K..., Kind::Status>;
};

template <class K, template <bool, bool> class Loop, bool WithStatus>
PyObject* core_ufunc(PyObject* module, const char* name, const char* doc, const char* signature, int nin) noexcept {
    using All = std::conditional_t<WithStatus, typename WithStatusOf<K>::type, K>;
    const std::string sig = std::string(signature) + (WithStatus ? ",()" : "");
    const int nout = static_cast<int>(All::size) - nin;
    Owned ufunc(PyUFunc_FromFuncAndDataAndSignature(nullptr, nullptr, nullptr, 0, nin, nout, PyUFunc_None, name,
                                                      doc, 0, sig.c_str()));
    if (!ufunc || !add_core_loop<All, Loop, WithStatus, false>(ufunc.get(), nin) ||
        !add_core_loop<All, Loop, WithStatus, true>(ufunc.get(), nin))
        return nullptr;
    Owned any(PyTuple_New(static_cast<Py_ssize_t>(All::size)));
    if (!any) return nullptr;
    for (std::size_t i = 0; i < All::size; ++i) PyTuple_SET_ITEM(any.get(), i, Py_NewRef(Py_None));
    Owned promoter(PyCapsule_New(reinterpret_cast<void*>(&promote_core<All>), "numpy._ufunc_promoter", nullptr));
    if (!promoter || PyUFunc_AddPromoter(ufunc.get(), any.get(), promoter.get()) < 0) return nullptr;
    Owned module_name(PyModule_GetNameObject(module));
    if (!module_name || PyObject_SetAttrString(ufunc.get(), "__module__", module_name.get()) < 0) return nullptr;
    return ufunc.release();
}

// The ufunc in the module, its twin in with_status.
template <class K, template <bool, bool> class Loop>
bool add_core_ufunc(PyObject* module, PyObject* with_status, const char* name, const char* doc,
                    const char* signature, int nin) noexcept {
    PyObject* ufunc = core_ufunc<K, Loop, false>(module, name, doc, signature, nin);
    if (ufunc == nullptr || PyModule_AddObject(module, name, ufunc) < 0) return false;
    Owned twin(core_ufunc<K, Loop, true>(module, name, doc, signature, nin));
    return twin && PyDict_SetItemString(with_status, name, twin.get()) == 0;
}

using CashDividendKinds = Kinds<Kind::F64, Kind::F64, Kind::F64, Kind::F64, Kind::F64, Kind::Flag, Kind::F64,
                                Kind::Bool, Kind::F64, Kind::F64, Kind::I64, Kind::F64, Kind::F64>;
using BoundaryKinds =
    Kinds<Kind::F64, Kind::F64, Kind::F64, Kind::F64, Kind::Flag, Kind::F64, Kind::F64, Kind::F64>;  // 7 in, 1 out

bool add_core_ufuncs(PyObject* module, PyObject* with_status) noexcept {
    return add_core_ufunc<CashDividendKinds, CashDividendLoop>(
               module, with_status, "cash_dividend_npv",
               "(spot, strike, rate, div_yield, tau, pc_flag, vol, american, div_times, div_amounts, space_steps, "
               "tol): finite-difference value with cash dividends, Richardson-extrapolated on grids refined until "
               "tol is met.",
               "(),(),(),(),(),(),(),(),(n),(n),(),()->()", 12) &&
           add_core_ufunc<BoundaryKinds, BoundaryLoop>(
               module, with_status, "exercise_boundary",
               "(strike, rate, div_yield, tau, pc_flag, vol, times(m)) -> spots(m): the American early-exercise "
               "boundary at times to expiry.",
               "(),(),(),(),(),(),(m)->(m)", 7);
}

PyMethodDef methods[] = {
    {"native_state", &native_state, METH_O,
     "native_state(obj)\n--\n\nWhat rebuilds a YearMonthDay or YieldCurve through vantorel's constructors."},
    {"make_metrics", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&make_metrics)), METH_FASTCALL,
     "make_metrics(npv, delta, gamma, vega, theta, rho_r, rho_q)\n--\n\nA BlackScholesMetrics of seven floats."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "vantorel_np._ufuncs", "", -1, methods};

PyObject* init() noexcept {
    // 1. The NumPy C API tables; datetime64[D].
    if (PyArray_ImportNumPyAPI() < 0 || PyUFunc_ImportUFuncAPI() < 0) return nullptr;
    if (state.day == nullptr) {
        Owned unit(PyUnicode_FromString("M8[D]"));
        if (!unit || PyArray_DescrConverter(unit.get(), &state.day) == 0) return nullptr;
    }
    // 2. The classes whose native values the loops and the picklers read, and FatalError.
    if (!take_state()) return nullptr;
    // 3. The module and one ufunc per row; the twins with a status output in with_status.
    Owned module(PyModule_Create(&module_def));
    Owned with_status(module ? PyDict_New() : nullptr);
    if (!with_status) return nullptr;
    for (const Row& r : rows)
        if (!r.add(module.get(), with_status.get(), r.name)) return nullptr;
    if (!add_core_ufuncs(module.get(), with_status.get())) return nullptr;
    if (PyModule_AddObjectRef(module.get(), "with_status", with_status.get()) < 0) return nullptr;
    // 4. The instruction set of the lane loops, chosen once for the process.
    const lanes::Table* lane_table = lanes::active();
    if (lane_table == nullptr) {
        PyErr_Format(PyExc_ImportError, "VANTOREL_SIMD (%s) names no instruction set: avx512, avx2 or baseline",
                     std::getenv("VANTOREL_SIMD"));
        return nullptr;
    }
    if (PyModule_AddStringConstant(module.get(), "simd_target", lane_table->target) < 0) return nullptr;
    return module.release();
}

}  // namespace

}  // namespace vantorel::np

PyMODINIT_FUNC PyInit__ufuncs() { return vantorel::np::init(); }
