// src/pricers/implied_vol_lanes.cpp: the lane loops of implied_vol for one instruction set; built once per target
#include <cstdint>
#include <cstring>

#include "core/lane_loops.hpp"
#include "core/lane_target.hpp"
#include "pricers/implied_vol.hpp"
#include "pricers/implied_vol_kernels.hpp"


namespace vantorel::lanes {

namespace {

using T = WidestPack;
constexpr int width = Traits<T>::width;

// Lane l of a column from p for l < m, the first element on the lanes past m
// (a short pack computes only valid inputs).
double at(const char* p, std::ptrdiff_t step, int l, int m) noexcept {
    double x;
    std::memcpy(&x, p + (l < m ? l : 0) * step, sizeof x);
    return x;
}

// Columns (price, spot, strike, rate, div_yield, tau, pc_flag) in, the vol
// out, by blocks of options:
//   1. step 1 of the method in packs of consecutive options; a lane it
//      leaves takes step 1 in full (wide and scaled forms, ln(F/K) in
//      double-double) as the scalar call does, and joins the solve unless
//      that decides it;
//   2. the solve in packs of options that take the same branch of it, so
//      that a pack rarely computes a branch for a few of its lanes (the
//      grouping changes no lane's operations, only its neighbours);
//   3. the block's vols stored.
// Stops before the first option whose pc_flag code is neither 0 nor 1,
// which the scalar loop reports.
template <bool AsBool>
std::ptrdiff_t implied_vol_loop(char* const* data, const std::ptrdiff_t* steps, std::ptrdiff_t n) noexcept {
    constexpr int block = 64 * width;
    double x[block], ex[block], beta[block], ln_beta[block], ln_beta_lo[block], tau[block], vol[block];
    int by_branch[3][block];
    for (std::ptrdiff_t b = 0; b < n; b += block) {
        int mb = n - b < block ? static_cast<int>(n - b) : block;
        double chi_of[block];
        for (int j = 0; j < mb; ++j) {
            const char* q = data[6] + (b + j) * steps[6];
            if constexpr (AsBool) {
                chi_of[j] = *q != 0 ? 1.0 : -1.0;
            } else {
                std::int64_t code;
                std::memcpy(&code, q, sizeof code);
                if (code != 0 && code != 1) {
                    mb = j;
                    break;
                }
                chi_of[j] = code == 1 ? 1.0 : -1.0;
            }
        }
        int count[3] = {0, 0, 0};
        for (int i = 0; i < mb; i += width) {
            const int m = mb - i < width ? mb - i : width;
            T in[6];
            T chi;
            for (int k = 0; k < 6; ++k) {
                const char* p = data[k] + (b + i) * steps[k];
                if (steps[k] == sizeof(double) && m == width) {
                    std::memcpy(&in[k], p, sizeof in[k]);
                } else {
                    for (int l = 0; l < width; ++l) in[k][l] = at(p, steps[k], l, m);
                }
            }
            for (int l = 0; l < width; ++l) chi[l] = chi_of[i + (l < m ? l : 0)];
            const iv_kernels::Problem<T> p = iv_kernels::prepare(in[0], in[1], in[2], in[3], in[4], in[5], chi);
            const T branch = iv_kernels::branch(p.x, p.ln_beta, p.live);
            for (int l = 0; l < m; ++l) {
                const int j = i + l;
                vol[j] = p.result[l];
                int c = -1;
                if (p.rare[l] != 0) {
                    const ImpliedVolProblem r =
                        implied_vol_problem(in[0][l], in[1][l], in[2][l], in[3][l], in[4][l], in[5][l],
                                            chi[l] > 0 ? PutCallFlag::Call : PutCallFlag::Put);
                    vol[j] = r.result;
                    if (r.to_solve) {
                        x[j] = r.x;
                        ex[j] = r.ex;
                        beta[j] = r.beta;
                        ln_beta[j] = r.ln_beta;
                        ln_beta_lo[j] = r.ln_beta_lo;
                        c = static_cast<int>(iv_kernels::branch(r.x, r.ln_beta, true));
                    }
                } else if (p.live[l] != 0) {
                    x[j] = p.x[l];
                    ex[j] = p.ex[l];
                    beta[j] = p.beta[l];
                    ln_beta[j] = p.ln_beta[l];
                    ln_beta_lo[j] = 0.0;
                    c = static_cast<int>(branch[l]);
                }
                if (c >= 0) {
                    tau[j] = in[5][l];
                    by_branch[c][count[c]++] = j;
                }
            }
        }
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < count[c]; k += width) {
                const int m = count[c] - k < width ? count[c] - k : width;
                T px, pex, pbeta, pln_beta, pln_beta_lo, ptau;
                MaskOf<T> live;
                for (int l = 0; l < width; ++l) {
                    const int j = by_branch[c][k + (l < m ? l : 0)];  // lanes past m repeat the first
                    px[l] = x[j];
                    pex[l] = ex[j];
                    pbeta[l] = beta[j];
                    pln_beta[l] = ln_beta[j];
                    pln_beta_lo[l] = ln_beta_lo[j];
                    ptau[l] = tau[j];
                    live[l] = l < m ? -1 : 0;
                }
                const T v = iv_kernels::solve(px, pex, pbeta, pln_beta, pln_beta_lo, live) / lanes::sqrt(ptau);
                for (int l = 0; l < m; ++l) vol[by_branch[c][k + l]] = v[l];
            }
        }
        char* out = data[7] + b * steps[7];
        if (steps[7] == sizeof(double)) {
            std::memcpy(out, vol, static_cast<std::size_t>(mb) * sizeof(double));
        } else {
            for (int j = 0; j < mb; ++j) std::memcpy(out + j * steps[7], &vol[j], sizeof(double));
        }
        if (mb < block && b + mb < n) return b + mb;
    }
    return n;
}

}  // namespace

// Declared in lane_loops.cpp, which puts them in its table.
std::ptrdiff_t VANTOREL_PER_TARGET(implied_vol_lanes_)(char* const* data,
                                                                          const std::ptrdiff_t* steps,
                                                                          std::ptrdiff_t n) noexcept {
    return implied_vol_loop<false>(data, steps, n);
}
std::ptrdiff_t VANTOREL_PER_TARGET(implied_vol_lanes_b_)(char* const* data,
                                                                            const std::ptrdiff_t* steps,
                                                                            std::ptrdiff_t n) noexcept {
    return implied_vol_loop<true>(data, steps, n);
}

}  // namespace vantorel::lanes
