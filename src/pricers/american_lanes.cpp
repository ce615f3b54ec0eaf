// src/pricers/american_lanes.cpp: the American boundary integrands for one instruction set; built once per target
#include "pricers/american_lanes.hpp"

#include <cstring>
#include <numbers>

#include "core/lane_target.hpp"
#include "core/lanes.hpp"
#include "maths/functions/err_kernels.hpp"
#include "maths/functions/exp_log_kernels.hpp"


namespace vantorel::lanes {

namespace {

using T = WidestPack;
constexpr int width = Traits<T>::width;
static_assert(8 % width == 0, "columns are padded to a multiple of 8");

T load(const double* p) noexcept {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void store(double* p, T v) noexcept { std::memcpy(p, &v, sizeof v); }

// The normal distribution through erfc, as the scalar code writes it: the
// lower tail keeps its relative precision.
T ncdf(T x) noexcept {
    const auto neg = x < 0.0;
    const T e = err_kernels::erfc(select(neg, -x, x) * std::numbers::sqrt2 / 2.0);
    return select(x != x, x, select(neg, 0.5 * e, 1.0 - 0.5 * e));
}

void points(const AmericanPoints& p, std::ptrdiff_t count) noexcept {
    constexpr double inv_sqrt_2pi = 0.3989422804014327;
    for (std::ptrdiff_t j = 0; j < count; j += width) {
        const T z = load(p.z + j), sqs = load(p.sqs + j), inv_sqs = load(p.inv_sqs + j);
        const T dm = (z + load(p.drift + j)) * inv_sqs - sqs / 2.0, dp = dm + sqs;
        const T e = -0.5 * dm * dm;
        const T pm = math_kernels::exp(e) * inv_sqrt_2pi * load(p.wn + j);
        const T pz = math_kernels::exp(e - z) * inv_sqrt_2pi * load(p.wd_pdf + j);
        store(p.pm + j, pm);
        store(p.td + j, ncdf(dp) * load(p.wd_cdf + j) + pz);
        store(p.gn + j, -pm * dm * inv_sqs);
        store(p.gd + j, pz * (1.0 - dp * inv_sqs));
    }
}

T root(T s) noexcept { return lanes::sqrt(select(s > 0.0, s, 0.0)); }

// Four packs of outputs at a time, each summed over m in order.
void interpolate(const double* a, std::ptrdiff_t stride, const double* h, int n, double* out,
                 std::ptrdiff_t count) noexcept {
    std::ptrdiff_t j = 0;
    for (; j + 4 * width <= count; j += 4 * width) {
        T s0 = splat<T>(0.0), s1 = s0, s2 = s0, s3 = s0;
        for (int m = 1; m <= n; ++m) {
            const double* row = a + (m - 1) * stride + j;
            const double hm = h[m];
            s0 += load(row) * hm;
            s1 += load(row + width) * hm;
            s2 += load(row + 2 * width) * hm;
            s3 += load(row + 3 * width) * hm;
        }
        store(out + j, root(s0));
        store(out + j + width, root(s1));
        store(out + j + 2 * width, root(s2));
        store(out + j + 3 * width, root(s3));
    }
    for (; j < count; j += width) {
        T s = splat<T>(0.0);
        for (int m = 1; m <= n; ++m) s += load(a + (m - 1) * stride + j) * h[m];
        store(out + j, root(s));
    }
}

// Packs of m summed over k in order; the last m < width of them one by one
// (the same operations at double).
void jacobian_row(const double* w, const double* gn, const double* gd, const double* hr, double inv_n,
                  double inv_d, int l, int n, double* out_row) noexcept {
    double c[128];
    int p = 0;
    for (; p + width <= l; p += width) {
        const T h = load(hr + p);
        const auto live = h > 0.0;
        store(c + p, select(live, (load(gn + p) * inv_n - load(gd + p) * inv_d) / select(live, h, 1.0), 0.0));
    }
    for (; p < l; ++p) c[p] = hr[p] > 0 ? (gn[p] * inv_n - gd[p] * inv_d) / hr[p] : 0.0;
    const std::ptrdiff_t stride = n + 1;
    int m = 1;
    // Four packs of m at a time (four independent chains of sums), then one.
    for (; m + 4 * width - 1 <= n; m += 4 * width) {
        T s0 = splat<T>(0.0), s1 = s0, s2 = s0, s3 = s0;
        for (int k = 0; k < l; ++k) {
            const double* row = w + k * stride + m;
            s0 += c[k] * load(row);
            s1 += c[k] * load(row + width);
            s2 += c[k] * load(row + 2 * width);
            s3 += c[k] * load(row + 3 * width);
        }
        store(out_row + m - 1, s0);
        store(out_row + m - 1 + width, s1);
        store(out_row + m - 1 + 2 * width, s2);
        store(out_row + m - 1 + 3 * width, s3);
    }
    for (; m + width - 1 <= n; m += width) {
        T s = splat<T>(0.0);
        for (int k = 0; k < l; ++k) s += c[k] * load(w + k * stride + m);
        store(out_row + m - 1, s);
    }
    for (; m <= n; ++m) {
        double s = 0;
        for (int k = 0; k < l; ++k) s += c[k] * w[k * stride + m];
        out_row[m - 1] = s;
    }
}

// Each step's row updates are independent elements: the compiler's vectors
// over e change no sum. The multipliers stay where their row was at their
// step (later swaps move columns from theirs on), which is the order apply
// replays them in.
bool factor(int n, double* a, int* piv) noexcept {
    const int w = n + 1;
    for (int c = 0; c < n; ++c) {
        int p = c;
        for (int r = c + 1; r < n; ++r)
            if (__builtin_fabs(a[r * w + c]) > __builtin_fabs(a[p * w + c])) p = r;
        piv[c] = p;
        if (!(__builtin_fabs(a[p * w + c]) > 0)) return false;
        if (p != c)
            for (int e = c; e < n; ++e) {
                const double t = a[c * w + e];
                a[c * w + e] = a[p * w + e];
                a[p * w + e] = t;
            }
        const double inv = 1 / a[c * w + c];
        for (int r = c + 1; r < n; ++r) {
            const double t = a[r * w + c] * inv;
            a[r * w + c] = t;
            if (t == 0) continue;
            double* __restrict dst = a + r * w;
            const double* __restrict src = a + c * w;
            for (int e = c + 1; e < n; ++e) dst[e] -= t * src[e];
        }
    }
    return true;
}

bool apply(int n, const double* a, const int* piv, double* x) noexcept {
    const int w = n + 1;
    for (int c = 0; c < n; ++c) {
        if (piv[c] != c) {
            const double t = x[c];
            x[c] = x[piv[c]];
            x[piv[c]] = t;
        }
        for (int r = c + 1; r < n; ++r) {
            const double t = a[r * w + c];
            if (t != 0) x[r] -= t * x[c];
        }
    }
    for (int c = n - 1; c >= 0; --c) {
        double sum = x[c];
        for (int e = c + 1; e < n; ++e) sum -= a[c * w + e] * x[e];
        x[c] = sum / a[c * w + c];
        if (!__builtin_isfinite(x[c])) return false;
    }
    return true;
}

void exp(const double* x, double* out, std::ptrdiff_t count) noexcept {
    std::ptrdiff_t j = 0;
    for (; j + width <= count; j += width) store(out + j, math_kernels::exp(load(x + j)));
    for (; j < count; ++j) out[j] = math_kernels::exp(x[j]);
}

void value_points(const ValuePoints& p, std::ptrdiff_t count, bool greeks) noexcept {
    constexpr double inv_sqrt_2pi = 0.3989422804014327;
    const double qs = p.q * p.s;
    for (std::ptrdiff_t j = 0; j < count; j += width) {
        T hu = splat<T>(0.0);
        for (int m = 1; m <= p.n; ++m) hu += load(p.a + (m - 1) * p.stride + j) * p.h[m];
        const T t = load(p.t + j), sqs = load(p.sqs + j), w_du = load(p.w_du + j);
        const T base = p.ls + (p.r - p.q) * t;
        const T dm = (base + root(hu)) / sqs - sqs / 2.0, dp = dm + sqs;
        const T dmt = (base + root(hu + p.shift)) / sqs - sqs / 2.0;
        const T ers = math_kernels::exp(-p.r * t), eqs = math_kernels::exp(-p.q * t);
        const T cp = ncdf(-dp);
        store(p.v + j, (p.r * ers * ncdf(-dm) - qs * eqs * cp) * w_du);
        store(p.vt + j, (p.r * ers * ncdf(-dmt) - qs * eqs * ncdf(-dmt - sqs)) * w_du);
        if (!greeks) continue;
        const T w_pdf = load(p.w_pdf + j), w_der = load(p.w_der + j);
        const T pm = math_kernels::exp(-0.5 * dm * dm) * inv_sqrt_2pi, pp = math_kernels::exp(-0.5 * dp * dp) * inv_sqrt_2pi;
        const T rpm = p.r * ers * pm, qpp = p.q * eqs * pp;
        store(p.dv + j, -rpm / p.s * w_pdf - p.q * eqs * cp * w_du + qpp * w_pdf);
        store(p.gv + j, rpm * (dm * w_der + w_pdf) / (p.s * p.s) + qpp * w_pdf / p.s - qpp * dp * w_der / p.s);
    }
}

}  // namespace

extern const AmericanLoops VANTOREL_PER_TARGET(american_loops_){points, interpolate, jacobian_row,
                                                                                  factor, apply, exp,
                                                                                  value_points};

}  // namespace vantorel::lanes
