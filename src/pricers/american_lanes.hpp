// src/pricers/american_lanes.hpp: the boundary integrands of the American pricer in SIMD lanes, one loop per instruction set
#pragma once

#include <cstddef>

namespace vantorel::lanes {

// The quadrature points of the boundary integrals as columns (count of
// them, padded with valid points to a multiple of 8). For z = ln(B(tau)/B(u))
// at a point and its constants vol sqrt(s), 1/(vol sqrt(s)), (r - q)s and the
// weights wn, wd_cdf, wd_pdf of the integrals N and D (american.cpp, step 5):
//   d- = (z + (r - q)s)/(vol sqrt s) - vol sqrt(s)/2,  d+ = d- + vol sqrt s,
//   pm = n(d-) wn,  pz = e^(-d-^2/2 - z)/sqrt(2 pi) wd_pdf,
//   td = N(d+) wd_cdf + pz  (the point's terms of N and D),
//   gn = -pm d-/(vol sqrt s),  gd = pz (1 - d+/(vol sqrt s))  (their z-derivatives).
// exp is the library's own (exp_log_kernels.hpp), N the erfc kernel: every
// instruction set gives the same bits for the same libm.
struct AmericanPoints {
    const double *z, *sqs, *inv_sqs, *drift, *wn, *wd_cdf, *wd_pdf;
    double *pm, *td, *gn, *gd;
};

// The points of the value integral (american.cpp, step 6) as columns, count
// of them padded to a multiple of 8: for the option at log-moneyness
// ls = ln(s/X), spot s, rate r and yield q, at each point t (the time to
// expiry s of the integrand), vol sqrt(t), the weights w_du, w_pdf, w_der and
// the interpolation of H (a: row m - 1 of stride, h the node values). Out:
//   hu = sum over m = 1..n of a[(m - 1) stride + j] h[m],
//   d- = (ls + sqrt(max(hu, 0)) + (r - q)t)/(vol sqrt t) - vol sqrt(t)/2, d+ = d- + vol sqrt t,
//   v  = (r e^(-rt) N(-d-) - q s e^(-qt) N(-d+)) w_du,
//   vt = the same with hu + shift (the tail estimate),
// and, with greeks, the point's terms of delta and gamma (dv, gv; else untouched).
struct ValuePoints {
    const double *a, *h;
    std::ptrdiff_t stride;
    int n;
    double ls, s, r, q, shift;
    const double *t, *sqs, *w_du, *w_pdf, *w_der;
    double *v, *vt, *dv, *gv;
};

// The loops of one instruction set. Sums run in the order of their index
// (lanes over the output index), so every set gives the same bits:
//   points:       the columns above for count points (a multiple of 8);
//   interpolate:  out[j] = sqrt(max(s_j, 0)), s_j the sum over m = 1..n of
//                 a[(m - 1) stride + j] h[m], j < count (a multiple of 8, at
//                 most stride);
//   jacobian_row: row[m - 1] = sum over k < l of c_k w[k (n + 1) + m],
//                 m = 1..n, c_k = (gn[k] inv_n - gd[k] inv_d)/hr[k] where
//                 hr[k] > 0, else 0;
//   factor:       Gaussian elimination with partial pivoting of the n x n
//                 matrix a (row-major, stride n + 1) in place: the
//                 multipliers below the diagonal, piv[c] the row swapped
//                 with row c at step c; false if singular;
//   apply:        x = a^-1 x by factor's a and piv (the same operations as
//                 eliminating x as a column of a); false if not finite;
//   exp:          out[j] = e^x[j], j < count (in place allowed);
//   value_points: the columns of ValuePoints for count points (a multiple of
//                 8), with the greeks' terms when greeks.
struct AmericanLoops {
    void (*points)(const AmericanPoints& p, std::ptrdiff_t count) noexcept;
    void (*interpolate)(const double* a, std::ptrdiff_t stride, const double* h, int n, double* out,
                        std::ptrdiff_t count) noexcept;
    void (*jacobian_row)(const double* w, const double* gn, const double* gd, const double* hr, double inv_n,
                         double inv_d, int l, int n, double* row) noexcept;
    bool (*factor)(int n, double* a, int* piv) noexcept;
    bool (*apply)(int n, const double* a, const int* piv, double* x) noexcept;
    void (*exp)(const double* x, double* out, std::ptrdiff_t count) noexcept;
    void (*value_points)(const ValuePoints& v, std::ptrdiff_t count, bool greeks) noexcept;
};

// Each instruction set's table (core/lane_loops.hpp) holds its loops.

}  // namespace vantorel::lanes
