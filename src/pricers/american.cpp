// src/pricers/american.cpp: American value by fixed-point iteration on the early-exercise boundary
#include "pricers/american.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <numbers>
#include <utility>
#include <vector>

#include "maths/functions/err_functions.hpp"
#include "maths/root_find.hpp"
#include "pricers/american_fd.hpp"
#include "pricers/american_lanes.hpp"
#include "core/lane_loops.hpp"

namespace vantorel {

// ---- method ------------------------------------------------------------------
//
// Every option is turned into a put of unit strike: a call is the put with
// spot and strike swapped and rate and yield swapped (C(S,K,r,q) = P(K,S,q,r)),
// and P(S,K) = K p(S/K). For the put:
//   1. Cases with a closed form. tau = 0: intrinsic. vol = 0: the best of
//      exercising at 0, tau or the stationary time of e^(-rt) - s e^(-qt).
//      r <= 0 with q >= r: no early exercise (the European value is above the
//      intrinsic one), the European functions with the caller's arguments.
//      spot 0: max(1, e^(-r tau)). q < r <= 0 can have an exercise region
//      between two boundaries: the finite-difference solver (american_fd.cpp),
//      grids refined from 100 to at most 1600 steps until its error estimate
//      is within 1e-10 relative; NaN where that does not happen (the free
//      boundaries make its convergence uneven: on 30 random such puts 18 end
//      NaN, and at 400 and 800 steps values were up to 2e-5 off, unflagged).
//   2. Otherwise r > 0 and one boundary B(tau) <= X = min(1, r/q) (X = 1 for
//      q <= 0). It solves B = N(tau, B)/D(tau, B) with, for s = tau - u and
//      d-+(s, z) = (ln z + (r - q)s)/(vol sqrt s) -+ vol sqrt(s)/2,
//        N = e^(-r tau) n(d-(tau, B))/(vol sqrt tau)
//            + r Int_0^tau e^(-r s) n(d-(s, B(tau)/B(u)))/(vol sqrt s) du,
//        D = e^(-q tau) (n(d+(tau, B))/(vol sqrt tau) + N(d+(tau, B)))
//            + q Int_0^tau e^(-q s) (N(d+(s, .)) + n(d+(s, .))/(vol sqrt s)) du
//      (value matching and smooth pasting of the early-exercise premium
//      representation; Andersen, Lake and Offengelder 2016, their system B).
//      Where it fails, system A, from value matching alone:
//        N = e^(-r tau) N(d-(tau, B)) + r Int_0^tau e^(-r s) N(d-(s, .)) du,
//        D = e^(-q tau) N(d+(tau, B)) + q Int_0^tau e^(-q s) N(d+(s, .)) du.
//   3. B is held at n + 1 = 33 Chebyshev-Lobatto nodes in x = sqrt(tau):
//      H(x) = ln(B/X)^2 at x_i = sqrt(T)(1 - cos(i pi/n))/2, H(0) = 0, read
//      between nodes by the interpolating polynomial (barycentric weights,
//      tabulated once per scheme: the reading points are fixed fractions of T).
//   4. The integrals over u in [0, tau] substitute u = tau sin^2(theta),
//      theta = pi(1 + w)/4: sqrt(u) and sqrt(tau - u) are then smooth in w and
//      the 1/sqrt(s) singularity cancels against du. Gauss-Legendre in w,
//      l = 24 points for the boundary, p = 128 for the value.
//      (Measured alternative, behind the scheme's root: nodes in
//      y = (tau/T)^(1/4), frac_i = x_i^4, with u = tau sin^4(theta) so that
//      y stays smooth in w. On 2 x 3000 options against n = 64, l = 96,
//      p = 128 at sqrt(tau), without the ladder, 32 nodes: 90th percentile
//      0.11 -> 0.004 of the bar, 95th 0.5 -> 0.02, 99th 5.5 -> 3.3 and 2.0;
//      but the interpolated H dips below 0 at many points near tau = 0 (the
//      nodes crowd there), its clip at 0 stalls Newton's method, and 14 and
//      11 solves fail at 32 nodes (none at sqrt(tau)); with the ladder 43 of
//      3000 end NaN (12 at sqrt(tau)), 8 are over the bar unflagged and the
//      time per option rises from 300 to 1700 us. Not taken.)
//   5. Start from the boundary of the quadratic approximation (Li 2005, QD) at
//      every second node (H read between them by the interpolation of those
//      n/2 + 1 nodes, a Lobatto subset) and solve y - ln(N/D)(y) = 0 for
//      y = ln B at all nodes by Newton's method: the Jacobian is exact for
//      the discrete system, since z = ln(B(tau_i)/B(u)) at a quadrature point
//      moves with y_i directly and with every y_m through the interpolated B(u),
//        d ln B(u)/d y_m = w_m(u) sqrt(H_m)/sqrt(H(u)),
//      w_m the barycentric weights. (A diagonal-only, Jacobi, Newton step
//      leaves that coupling out: measured on 1000 random options it took 11
//      passes on average and 7% fell back to system A; B <- N/D, started at
//      X, took 14 and 16% fell back.) A node whose Newton step leaves (0, X]
//      takes the step N/D.
//      (Checked against central differences of the discrete map, step 1e-6,
//      on random options: they agree to 1e-5 of the largest entry, so the
//      convergence is quadratic, but with a large constant: the steps run
//      about 2e-2, 1e-3, 3e-5, 2e-7, 1e-11, each near C times the square of
//      the one before with C rising from 3 to 400 (the curvature of
//      sqrt(H(u)) where H(u) is small near u = 0). No term is missing.)
//      Solved when a full Newton step moves no node by 1e-5 (relative; the
//      error left is about the square of that), or any step by 1e-11, or the
//      move rises below 1e-10 (the rounding of the integrals): 2 to 4 passes
//      on random options. At most 16 passes, then up to 200 of B <- N/D with
//      system A; failing both, NaN. Then the polish: Newton's method again on
//      the same nodes with 2l = 48 boundary points, from that boundary, to a
//      move below 1e-7 (one pass, rarely two); its first step reuses the
//      factored Jacobian of the last pass at l points (a chord step: the
//      Jacobians differ by the quadrature's error, so the step's own error is
//      that fraction of a move of about 1e-8). 24 points alone leave up to
//      300 bars at low vol (vol sqrt(T) below 0.5, most near the money)
//      that no tail estimate sees; the polish removes that error source.
//      Above vol sqrt(T) = 0.5 the polish is left out (the first solve then
//      runs to a Newton move below 1e-7): on 3 x 3000 options of the sample
//      below against n = 64, l = 96, p = 128, the same NaN (12, 9, 14), none
//      over the bar, the largest error 0.87 of it either way (at 0.3, one
//      more NaN).
//      The per-point terms of system B, the interpolation of H at every
//      point, the Jacobian rows and the elimination run in SIMD lanes
//      (american_lanes.cpp, one loop per instruction set, every sum in the
//      order of its index: the same bits on each).
//   6. The value: the European put plus
//        Int_0^T (r e^(-r s) N(-d-(s, S/B(u))) - q S e^(-q s) N(-d+(s, S/B(u)))) du
//      (the substitution below); S <= B(T) is exercised: 1 - S. Delta and
//      gamma differentiate that integral in S. The terms of every point run
//      in SIMD lanes too (value_points), summed in the order of the points.
//      Its integrand steps where ln(S/B(u)) + (r - q)s changes sign, within
//      vol sqrt(s) of it: at low vol over long tau (1% over 29 years: 128
//      points were 3e-8 off, unflagged, and every scheme sharing them
//      agreed), and near s = 0 for a spot just above B(T) (the step at
//      sqrt(s) about ln(S/B(T))/vol). So it substitutes s = T cos^4(theta)
//      (u = T (1 - cos^4), sqrt(u/T) = sin sqrt(1 + cos^2), smooth in theta),
//      which puts the points near s = 0 at cos^2 rather than cos, and takes
//      Gauss-Legendre with p/2 = 64 points, then p = 128, 256, ... 2048 in
//      turn: the first within the bar of the rule before stands (the error falls
//      geometrically in the points, so that difference bounds it with a wide
//      margin); none: NaN. With s = T cos^2 instead, spots within 1e-5 to
//      1e-7 of B(T) agreed within the bar between rules while 3.5 bars off
//      (on 300 random puts of up to 30 years; with cos^4 none over 0.25 of
//      the bar against 64 nodes, 128 and 512 points, 5 % NaN from the ladder,
//      and on a test option the same value as a 4e6-point Simpson rule over
//      the same boundary to 0.02 of the bar). On 2 x 3000 options of the
//      sample below none went on to 256 points (1.0 % with cos^2).
//      Delta and gamma come from the first rule where both are within 1e-6
//      (relative) of the rule before, else NaN: just above B(T) gamma takes
//      in the step near s = 0, which the value hardly sees (a put at vol 54%
//      over 20 years, spot 1e-5 above B(T): 9%, 6% and 0.2% between rules
//      up to 512 points, 6% off from the rule the value stood at; it stands
//      at 2048, within 3e-4 of second differences of the value, which are
//      good to about that).
//   7. The tail estimate: a_k, the last four Chebyshev coefficients of H
//      (k = n-3..n, from the node values by the DCT rows of the Lobatto
//      nodes), bound what the interpolation of H leaves out; the value is
//      computed again with H raised everywhere by sum |a_k|, and the change,
//      in units of the bar max(1e-10 value, 1e-12 of the strike), is the
//      estimate (for an exercised spot: 0 if the raised boundary still
//      exercises it, else infinite). It mostly overstates the error of the
//      nodes, so the ladder of schemes 32/24/128, 48/36/128, 64/48/128 (each
//      polished) climbs where it exceeds 30: a level starts from the boundary
//      below read at its nodes. At 64 nodes the value stands if its own
//      estimate is within 0.1, or if its difference from the level below over
//      (n/m)^7 - 1 (the error falls as about n^-7, below) is within 0.3 of the
//      bar; else NaN (the array functions count it in their missed-tolerance
//      warning). The same difference rule, within 0.1 of the bar and with an
//      estimate within 1e4, lets a 48-node value stand.
//      Calibration, against n = 128, l = 192, p = 512 (96 nodes, 144 and 384
//      points agree with it to 0.01 of the bar or better on the options
//      checked) on 6 x 3000 options of the sample below: the value integral
//      at 128 points alone (step 6) had left values up to 298 bars off;
//      with its rules, of the values the ladder let stand, the limit of 100
//      at 32 nodes let through errors up to 1.17 of the bar (estimates of 41
//      and 83: the estimate is not always 50 times the error), at 30 the
//      largest is 0.73; the 48-node difference rule alone let through up to
//      1.93 (the 32 and 48 node values can agree while both are off: 32, 48,
//      64 and 128 nodes gave -2.4e-8, -1.7e-8 and +1.4e-9 off the
//      reference), with the estimate within 1e4 the largest is 0.86 (75 of
//      1714 such options climb instead); at the top, 0.1 left 71 NaN nearly
//      all within the bar, 0.3 leaves 12 and let through at most 0.42 (0.5:
//      6 NaN). Largest error of all after these rules: 0.96 of the bar, 14
//      NaN in 17,606. The time per option rose about 12 % (the climbs).
//      Earlier calibration, against n = 64, l = 96 (polished on 128), p = 128 on 3000
//      random options of the sample below (tau up to 30 years): at 32 nodes
//      99 are over the bar, all with an estimate above 338 (the largest
//      error under the limit of 100: 0.56 of the bar); 521 climb, 10 end
//      NaN, none is over the bar (the largest 0.61 of it). Checked on 3000
//      others: 108 over the bar at 32 nodes, 574 climb, 6 NaN, none over the
//      bar (the largest 0.45). (The single-step scheme before it escalated
//      781 to 64 nodes at a limit of 0.1 and left 15 NaN: its estimate did not
//      see the quadrature's error, the limit covered it.) Over 30 to 20000
//      years (3000 options, the same reference, itself unsure there) 1351
//      climb, 1173 end NaN and 51 remain over the bar unflagged (the
//      single-step scheme: 1308 NaN, 33 over, most of them by far more):
//      beyond 30 years the value is not guaranteed.
// Error: H behaves as x^2 ln x near tau = 0, so the Chebyshev nodes converge
// algebraically (about n^-7 measured), not spectrally. Measured on 300 random
// options (strikes 0.5 to 2 times the spot, rates and yields in [-5%, 20%],
// vols in [1%, 200%], tau from one day to 30 years, either flag) against this
// scheme at n = 64, l = p = 128, in units of the bar max(1e-10 relative,
// 1e-12 of the strike), before the polish and the ladder: median below 0.01,
// 90th percentile 0.25, 95th 1.4, 99th 11 (1.1e-9 relative) at 32 nodes; the
// largest 2.5e-5 relative, at vol 1% over 29 years, where the boundary moves
// within days of expiry and neither scheme resolves it (that reference is
// itself 3e-7 off QuantLib's high-precision scheme there). At n = 24 the 90th
// percentile is 1.3, at n = 16 17.
// tests/test_american.py and bench/american.py compare with QuantLib's
// fixed-point engine and the finite-difference solver.

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double pi = std::numbers::pi;

// A scheme: Chebyshev-Lobatto nodes n, Gauss-Legendre nodes of the boundary
// integrals l and of the value integral p, and the most passes of each system.
struct Scheme {
    int n, l, p, passes_b, passes_a;
    int root = 2;  // the nodes are Chebyshev in (tau/T)^(1/root): 2 or 4
};
constexpr int max_nodes = 64;
constexpr int max_points = 128;
// The value integral takes rules of p/2, p, 2p, ... 16p points in turn, to
// at most max_value_points (step 6); those above eager_value_rules are built
// when an option first needs them (the tables of 1024 and 2048 points take
// about 0.1 s).
constexpr int value_rules = 6;
constexpr int eager_value_rules = 4;
constexpr int max_value_points = 2048;
// Delta and gamma from the value rules agree between two rules to this share
// (step 6): the other greeks, by differences of values, are good to about
// 1e-6 relative too.
constexpr double greeks_tolerance = 1e-6;
// The boundary is solved when a pass moves no node by more than tolerance
// (relative), or by less than newton_stop after a full Newton step (whose
// error is then of the order of the square of that move), or when the move,
// below noise_floor, rises again (the rounding of the integrals).
constexpr double tolerance = 1e-11;
constexpr double newton_stop = 1e-7;
constexpr double noise_floor = 1e-10;
// A boundary refined on twice the points afterwards (the polish) stops its
// first solve at a Newton move below polished_stop: the error left, about
// 1e-8, is the polish's first Newton step.
constexpr double polished_stop = 1e-5;
// The polish only where the boundary points leave an error that counts: vol
// sqrt(T) at most polish_below (above it the boundary is solved to
// newton_stop at l points; see step 5 for what was measured).
constexpr double polish_below = 0.5;
// The scheme of the array functions (its accuracy: the error bound above).
constexpr Scheme default_scheme{32, 24, 128, 16, 200};
// The tail estimate (step 7 of the method): the value moved by H raised by
// its last tail_terms Chebyshev coefficients, in units of the bar; above
// default_tail_limit the scheme is taken to miss it.
constexpr int tail_terms = 4;
constexpr double default_tail_limit = 30;
constexpr double top_tail_limit = 0.1;
// The difference rule (below) lets a value stand where its difference from
// the level below, over (n/m)^convergence_order - 1, is within this share of
// the bar: 0.1 below the top, and there only with a tail estimate within
// lower_difference_tail bars (the levels are not yet in the n^-7 regime
// above it); 0.3 at the top, where the alternative is NaN (step 7 gives the
// calibration).
constexpr double lower_difference_limit = 0.1;
constexpr double lower_difference_tail = 1e4;
constexpr double top_difference_limit = 0.3;
// The error falls as about n^-7: a value at n nodes is taken to be off by its
// difference from that at m < n nodes over (n/m)^7 - 1.
constexpr double convergence_order = 7;

// Normal distribution and density; the lower tail through erfc keeps its
// relative precision.
double ncdf(double x) noexcept {
    if (std::isnan(x)) return x;
    return x < 0 ? 0.5 * vantorel::erfc(-x * std::numbers::sqrt2 / 2) : 1 - 0.5 * vantorel::erfc(x * std::numbers::sqrt2 / 2);
}
double npdf(double x) noexcept { return std::exp(-0.5 * x * x) * 0.3989422804014327; }

// Quadrature of the substitution u = tau sin^root(theta): for each node,
// sin(theta) = (u/tau)^(1/root), c = sqrt(s/tau) (s = tau - u: cos(theta),
// times sqrt(1 + sin^2) at root 4) and the weight of du/tau (du = tau (pi/2)
// sin cos dw at root 2, tau pi sin^3 cos dw at root 4). For the value
// integral (step 6) s = tau cos^4(theta) instead: sin holds (u/tau)^(1/root)
// (sqrt(u/tau) = sin sqrt(1 + cos^2)), c = cos^2 and du = tau pi cos^3 sin dw.
struct Substituted {
    std::array<double, max_value_points> sin{}, c{}, w{};
};

// Gauss-Legendre nodes and weights on [-1, 1] by Newton's method on P_N,
// exact to a few units in the last place.
Substituted make_rule(int N, int root, bool value = false) noexcept {
    Substituted r;
    // Above 512 points the recurrence multiplies by 1/k (a division per term
    // made the 2048-point rule take a fifth of a second).
    std::array<double, max_value_points + 1> inv{};
    for (int k = 2; k <= N && N > 512; ++k) inv[k] = 1.0 / k;
    for (int i = 0; i < N; ++i) {
        double z = std::cos(pi * (i + 0.75) / (N + 0.5));
        double dp = 0;
        for (int it = 0; it < 100; ++it) {
            double p0 = 1, p1 = z;
            for (int k = 2; k <= N; ++k) {
                const double t = (2 * k - 1) * z * p1 - (k - 1) * p0;
                const double p2 = N > 512 ? t * inv[k] : t / k;
                p0 = p1;
                p1 = p2;
            }
            dp = N * (z * p1 - p0) / (z * z - 1);
            const double dz = p1 / dp;
            z -= dz;
            if (std::abs(dz) < 1e-16) break;
        }
        const double theta = pi * (1 + z) / 4, sn = std::sin(theta), cs = std::cos(theta);
        const double w = 2 / ((1 - z * z) * dp * dp) * pi / 2;
        if (value) {
            // The value integral: s = T cos^4(theta), u = T (1 - cos^4).
            const double c2 = cs * cs, x = sn * std::sqrt(1 + c2);
            r.sin[i] = root == 4 ? std::sqrt(x) : x;
            r.c[i] = c2;
            r.w[i] = 2 * w * c2 * cs * sn;
            continue;
        }
        r.sin[i] = sn;
        r.c[i] = root == 4 ? cs * std::sqrt(1 + sn * sn) : cs;
        r.w[i] = root == 4 ? 2 * w * sn * sn * sn * cs : w * sn * cs;
    }
    return r;
}

// The Lobatto nodes z_m = -cos(m pi/n) of every n up to max_nodes, tabulated
// once (the regridding and the start read them for every option).
const std::array<double, max_nodes + 1>& lobatto(int n) noexcept {
    static const auto* const nodes = [] {
        static std::array<std::array<double, max_nodes + 1>, max_nodes + 1> t{};
        for (int k = 1; k <= max_nodes; ++k)
            for (int m = 0; m <= k; ++m) t[k][m] = -std::cos(pi * m / k);
        return &t;
    }();
    return (*nodes)[n];
}

// Lagrange interpolation on the Lobatto nodes z_m = -cos(m pi/n) in the
// barycentric form: the weights of the n + 1 node values at z.
void cardinal(int n, double z, double* out) noexcept {
    const std::array<double, max_nodes + 1>& zs = lobatto(n);
    double sum = 0;
    for (int m = 0; m <= n; ++m) {
        const double zm = zs[m];
        if (z == zm) {
            for (int j = 0; j <= n; ++j) out[j] = j == m ? 1.0 : 0.0;
            return;
        }
        const double w = ((m & 1) ? -1.0 : 1.0) * (m == 0 || m == n ? 0.5 : 1.0) / (z - zm);
        out[m] = w;
        sum += w;
    }
    for (int m = 0; m <= n; ++m) out[m] /= sum;
}

// A rule of the value integral: its p points and the interpolation weights
// of H at them, by node m: row m - 1 of the points (padded to 8).
struct ValueRule {
    int p = 0;
    Substituted rule;
    std::vector<double> pmt;
};

// What a scheme needs beyond the option: the rules, the nodes as fractions of
// T, and the interpolation weights at every point where the boundary is read
// (they depend on the scheme alone, since u/T is fixed at each point).
struct Tables {
    Scheme sc;
    Substituted lr;
    // p/2, p, 2p, ... points (count of them); from eager_value_rules on
    // filled by finer_rules() on first use.
    mutable std::array<ValueRule, value_rules> value;
    int value_count = 0;
    mutable std::once_flag finer_once;
    std::array<double, max_nodes + 1> frac{}, x{};  // tau_i / T and its root-th root
    std::vector<double> m;   // node i, point k: row (i - 1) l + k of n + 1
    std::vector<double> mt;  // the same by node m of the interpolation: row m - 1 of n l (padded to 8)
    // The last tail_terms Chebyshev coefficients of H from its node values:
    // row j, node m: (2/n) cos(pi m k/n), k = n - j, halved at m = 0, n and k = n.
    std::array<std::array<double, max_nodes + 1>, tail_terms> tail{};
    double tail_limit = default_tail_limit;
    double difference_limit = lower_difference_limit;
    double difference_tail = lower_difference_tail;
    // The same nodes with twice the boundary points: the solved boundary is
    // refined on it by Newton's method (null where l is at its bound).
    const Tables* polish = nullptr;
};

// A value rule of v.p points for the nodes of sc.
void build_value_rule(ValueRule& v, const Scheme& sc) noexcept {
    const int p = v.p;
    v.rule = make_rule(p, sc.root, true);
    const std::size_t padded = (static_cast<std::size_t>(p) + 7) / 8 * 8;
    v.pmt.assign(padded * static_cast<std::size_t>(sc.n), 0.0);
    std::array<double, max_nodes + 1> c;
    for (std::size_t j = 0; j < padded; ++j) {
        cardinal(sc.n, 2 * v.rule.sin[j < static_cast<std::size_t>(p) ? j : 0] - 1, c.data());
        for (int m = 1; m <= sc.n; ++m) v.pmt[static_cast<std::size_t>(m - 1) * padded + j] = c[m];
    }
}

// Value rule k of tb, the finer ones built once, by the first option to need them.
const ValueRule& value_rule(const Tables& tb, int k) noexcept {
    if (k >= eager_value_rules)
        std::call_once(tb.finer_once, [&tb] {
            for (int j = eager_value_rules; j < tb.value_count; ++j) build_value_rule(tb.value[j], tb.sc);
        });
    return tb.value[k];
}

// The value rules only where the value is integrated (not for the polish).
void build(Tables& t, const Scheme& sc, bool value_rules_too = true) noexcept {
    t.sc = sc;
    t.lr = make_rule(sc.l, sc.root);
    for (int i = 0; i <= sc.n; ++i) {
        const double x = (1 - std::cos(pi * i / sc.n)) / 2;
        t.x[i] = x;
        t.frac[i] = sc.root == 4 ? x * x * x * x : x * x;
    }
    // (u/T)^(1/root) = x_i sin(theta) and z = 2 (u/T)^(1/root) - 1.
    t.m.assign(static_cast<std::size_t>(sc.n * sc.l) * (sc.n + 1), 0.0);
    for (int i = 1; i <= sc.n; ++i)
        for (int k = 0; k < sc.l; ++k)
            cardinal(sc.n, 2 * t.x[i] * t.lr.sin[k] - 1,
                     t.m.data() + static_cast<std::size_t>((i - 1) * sc.l + k) * (sc.n + 1));
    for (int j = 0; j < tail_terms; ++j) {
        const int k = sc.n - j;
        for (int m = 0; m <= sc.n; ++m)
            t.tail[j][m] = 2.0 / sc.n * std::cos(pi * ((m * k) % (2 * sc.n)) / sc.n) *
                           (m == 0 || m == sc.n ? 0.5 : 1.0) * (j == 0 ? 0.5 : 1.0);
    }
    t.value_count = 0;
    for (int k = 0; k < value_rules && value_rules_too; ++k) {
        const int p = std::min(std::max(sc.p / 2, 2) << k, max_value_points);
        if (k > 0 && p == t.value[t.value_count - 1].p) break;
        t.value[t.value_count].p = p;
        if (k < eager_value_rules) build_value_rule(t.value[t.value_count], sc);
        ++t.value_count;
    }
    const std::size_t points = static_cast<std::size_t>(sc.n * sc.l), padded = (points + 7) / 8 * 8;
    t.mt.assign(padded * static_cast<std::size_t>(sc.n), 0.0);
    for (std::size_t j = 0; j < points; ++j)
        for (int m = 1; m <= sc.n; ++m)
            t.mt[static_cast<std::size_t>(m - 1) * padded + j] = t.m[j * static_cast<std::size_t>(sc.n + 1) + m];
}

// The ladder a solve climbs: the default scheme, then nodes and points times
// 3/2 and times 2 (within the tables' bounds: 32/24/128, 48/36/128,
// 64/48/128), each level with its polish (twice its boundary points).
struct Ladder {
    std::array<Tables, 3> level, polish;
    int count = 0;
};

const Ladder& tables() noexcept {
    static const Ladder* t = [] {
        static Ladder built;
        Scheme sc = default_scheme;
        double limit = default_tail_limit;
        // For measuring and testing only: VANTOREL_AMERICAN_SCHEME="n,l,p[,passes[,limit[,root]]]"
        // replaces the scheme (passes, unless 0, caps both systems), sets
        // the tail limit of the lower levels (none without one, or "inf": no
        // level is then climbed) and the node variable (tau/T)^(1/root),
        // root 2 or 4 (step 3), read once per process.
        if (const char* e = std::getenv("VANTOREL_AMERICAN_SCHEME")) {
            int passes = 0;
            const int got = std::sscanf(e, "%d,%d,%d,%d,%lf,%d", &sc.n, &sc.l, &sc.p, &passes, &limit, &sc.root);
            if (sc.root != 2) sc.root = 4;
            sc.n = std::clamp(sc.n, tail_terms, max_nodes);
            sc.l = std::clamp(sc.l, 2, max_points);
            sc.p = std::clamp(sc.p, 2, max_value_points);
            if (got >= 4 && passes > 0) sc.passes_b = sc.passes_a = std::clamp(passes, 1, 1000);
            if (got < 5) limit = inf;
        }
        for (const int f : {2, 3, 4}) {
            Scheme s = sc;
            s.n = std::min(f * sc.n / 2, max_nodes);
            s.l = std::min(f * sc.l / 2, max_points);
            s.p = std::min(f * sc.p / 2, std::max(sc.p, max_points));
            if (built.count > 0) {
                const Scheme& below = built.level[built.count - 1].sc;
                if (s.n == below.n && s.l == below.l && s.p == below.p) continue;
            }
            Tables& tb = built.level[built.count];
            build(tb, s);
            tb.tail_limit = limit;
            Scheme ps = s;
            ps.l = std::min(2 * s.l, max_points);
            if (ps.l != s.l) {
                build(built.polish[built.count], ps, false);
                tb.polish = &built.polish[built.count];
            }
            ++built.count;
        }
        // The top level's own limit (its escalation has nowhere to go), where
        // there is a check.
        if (limit < inf) {
            built.level[built.count - 1].tail_limit = top_tail_limit;
            built.level[built.count - 1].difference_limit = top_difference_limit;
            built.level[built.count - 1].difference_tail = inf;
        }
        return &built;
    }();
    return *t;
}

// The boundary of a unit-strike put: H = ln(B/X)^2 at the nodes.
struct Boundary {
    double r, q, vol, T, sqrt_T, X;
    std::array<double, max_nodes + 1> h{};
    // B(u) for u in [0, T] at n nodes in (u/T)^(1/root).
    double at(double u, int n, int root) const noexcept {
        std::array<double, max_nodes + 1> w;
        cardinal(n, 2 * (root == 4 ? std::sqrt(std::sqrt(u / T)) : std::sqrt(u / T)) - 1, w.data());
        double hu = 0;
        for (int m = 0; m <= n; ++m) hu += w[m] * h[m];
        return X * std::exp(-std::sqrt(std::max(hu, 0.0)));
    }
};

// A solved boundary handed to the next solve of the same option at nearby
// parameters (the bumps of the greeks, the last steps of the implied vol): H at
// the nodes, the start in place of the quadratic approximation when the vol is
// within 5% of the one it was solved at.
struct Warm {
    bool have = false;
    int n = 0;  // the scheme's nodes
    double vol = 0;
    std::array<double, max_nodes + 1> h{};
    bool regridded = false;  // read from a boundary at fewer nodes
    bool near(double v, int nodes) const noexcept { return have && n == nodes && std::abs(v - vol) <= 0.05 * vol; }
};

double european_put(double s, double r, double q, double tau, double vol) noexcept {
    return npv(s, 1.0, r, q, tau, PutCallFlag::Put, vol).value_or(nan);
}

// Boundary of the quadratic approximation at tau: the root in (0, X] of
//   1 - e^(-q tau) N(-d+) + lambda (1 - B - p(B))/B,
// lambda the negative root of the quadratic with h = 1 - e^(-r tau), by the
// Illinois variant of regula falsi on ln B (to 1e-6: a first guess). y_hi is
// a ln B known to lie above the root (that at a shorter tau: the put's
// boundary falls with tau).
double qd_boundary(double r, double q, double vol, double tau, double X, double y_hi) noexcept {
    const double h = -std::expm1(-r * tau);
    const double omega = 2 * (r - q) / (vol * vol);
    const double lambda = (-(omega - 1) - std::sqrt((omega - 1) * (omega - 1) + 8 * r / (vol * vol * h))) / 2;
    const double sq = vol * std::sqrt(tau);
    auto f = [&](double y) {
        const double b = std::exp(y);
        const double dp = (y + (r - q) * tau) / sq + sq / 2;
        return 1 - std::exp(-q * tau) * ncdf(-dp) + lambda * (1 - b - european_put(b, r, q, tau, vol)) / b;
    };
    // f > 0 just below X (the premium is positive there), f -> -inf as B -> 0.
    double a = std::min(y_hi, std::log(X) - 1e-9), fa = f(a);
    if (!(fa > 0)) {
        a = std::log(X) - 1e-9;
        fa = f(a);
        if (!(fa > 0)) return X;
    }
    double b = a, fb = fa, step = 0.05 * (0.5 + sq);
    for (int k = 0; k < 60 && fb > 0; ++k) {  // a bracket below, in growing steps
        a = b;
        fa = fb;
        b = a - step;
        step *= 2;
        fb = f(b);
    }
    if (!(fb <= 0)) return std::exp(b);
    int side = 0;
    for (int it = 0; it < 40; ++it) {
        const double c = (a * fb - b * fa) / (fb - fa);
        const double fc = f(c);
        if (!(std::abs(a - b) > 1e-6) || fc == 0) return std::exp(c);
        if ((fc < 0) == (fa < 0)) {
            a = c;
            fa = fc;
            if (side == -1) fb /= 2;
            side = -1;
        } else {
            b = c;
            fb = fc;
            if (side == 1) fa /= 2;
            side = 1;
        }
    }
    return std::exp((a + b) / 2);
}

// The lanes of the boundary integrands for the instruction set the array
// loops run on (VANTOREL_SIMD forces a narrower one).
const lanes::AmericanLoops& american_loops() noexcept {
    const lanes::Table* t = lanes::active();
    return *(t != nullptr ? t : &lanes::table_baseline)->american;
}

// Steps 2 to 5: the boundary of a unit-strike put with r > 0, vol > 0, T > 0.
// False when the iteration does not converge.
bool solve_boundary(Boundary& bd, const Tables& tb, bool system_a, const Warm* warm = nullptr,
                    double stop = newton_stop, bool chord = false) noexcept {
    const double r = bd.r, q = bd.q, vol = bd.vol, ln_x = std::log(bd.X);
    const int n = tb.sc.n, l = tb.sc.l;
    const Substituted& ru = tb.lr;
    std::array<double, max_nodes + 1> b{};
    b[0] = bd.X;
    if (warm != nullptr) {
        for (int i = 1; i <= n; ++i) b[i] = bd.X * std::exp(-std::sqrt(warm->h[i]));
    } else {
        // The quadratic approximation at every second node (the Lobatto
        // nodes of n/2, a subset), H read between them by their
        // interpolation: a start of a few per cent of error either way (every
        // fourth node measured more passes).
        const int every = n % 2 == 0 && n >= 16 ? 2 : 1;
        for (int i = every; i <= n; i += every) {
            b[i] = qd_boundary(r, q, vol, bd.T * tb.frac[i], bd.X, i > every ? std::log(b[i - every]) : 0.0);
            if (!(b[i] > 0)) b[i] = bd.X / 2;
            b[i] = std::min(b[i], bd.X);
        }
        if (every > 1) {
            const int coarse = n / every;
            std::array<double, max_nodes + 1> hc{}, c{};
            for (int j = 1; j <= coarse; ++j) hc[j] = std::log(b[j * every] / bd.X) * std::log(b[j * every] / bd.X);
            for (int i = 1; i <= n; ++i) {
                if (i % every == 0) continue;
                cardinal(coarse, 2 * tb.x[i] - 1, c.data());
                double h = 0;
                for (int j = 1; j <= coarse; ++j) h += c[j] * hc[j];
                b[i] = bd.X * std::exp(-std::sqrt(std::max(h, 0.0)));
            }
        }
    }
    // Per node and quadrature point, what does not change between iterations:
    // vol sqrt(s), its inverse, (r - q)s, and e^(-rs), e^(-qs) times the weights
    // of each integral; n(d+) = n(d-) e^(-(r-q)s) B(u)/B(tau) makes the weight
    // of n(d+) in D one of e^(-rs). Held as columns (american_lanes.hpp),
    // padded to a multiple of 8 with copies of the first point.
    struct Node {
        double sq, inv_sq, drift, er, eq;
    };
    std::array<Node, max_nodes + 1> nodes;
    const int points = n * l, padded = (points + 7) / 8 * 8;
    enum Column { z_, sqs_, inv_sqs_, drift_, wn_, wd_cdf_, wd_pdf_, wn_cdf_, pm_, td_, gn_, gd_, columns };
    thread_local std::vector<double> cols, hp;
    // The Jacobian of the last Newton pass, factored: a chord step (the
    // polish's first) reuses the one its start was solved with.
    thread_local struct {
        std::vector<double> a;
        std::array<int, max_nodes> piv;
        int n = 0;
        bool have = false;
    } lu;
    if (!(chord && lu.have && lu.n == n)) lu.have = false;
    std::vector<double>& jac = lu.a;
    cols.resize(static_cast<std::size_t>(columns * padded));
    hp.resize(static_cast<std::size_t>(padded));
    jac.resize(static_cast<std::size_t>(n * (n + 1)));
    auto col = [&](Column c) { return cols.data() + static_cast<std::ptrdiff_t>(c) * padded; };
    // e^(-rs) and e^(-qs) of every point in lanes (in the columns pm and td
    // until the passes use them).
    const lanes::AmericanLoops& loops = american_loops();
    for (int i = 1; i <= n; ++i)
        for (int k = 0; k < l; ++k) {
            const double s = bd.T * tb.frac[i] * ru.c[k] * ru.c[k];
            col(pm_)[(i - 1) * l + k] = -r * s;
            col(td_)[(i - 1) * l + k] = -q * s;
        }
    loops.exp(col(pm_), col(pm_), points);
    loops.exp(col(td_), col(td_), points);
    for (int i = 1; i <= n; ++i) {
        const double tau = bd.T * tb.frac[i], sqrt_tau = std::sqrt(tau);
        nodes[i] = {vol * sqrt_tau, 1 / (vol * sqrt_tau), (r - q) * tau, std::exp(-r * tau), std::exp(-q * tau)};
        for (int k = 0; k < l; ++k) {
            const double c = ru.c[k], s = tau * c * c, sqs = vol * sqrt_tau * c;
            const double w_du = ru.w[k] * tau, w_pdf = w_du / sqs;
            const int j = (i - 1) * l + k;
            const double ers = col(pm_)[j], eqs = col(td_)[j];
            col(sqs_)[j] = sqs;
            col(inv_sqs_)[j] = 1 / sqs;
            col(drift_)[j] = (r - q) * s;
            col(wn_)[j] = r * ers * w_pdf;
            col(wd_cdf_)[j] = q * eqs * w_du;
            col(wd_pdf_)[j] = q * ers * w_pdf;
            col(wn_cdf_)[j] = r * ers * w_du;
        }
    }
    for (int c = z_; c < columns; ++c)
        for (int j = points; j < padded; ++j) col(static_cast<Column>(c))[j] = col(static_cast<Column>(c))[0];
    const lanes::AmericanPoints lanes_in{col(z_), col(sqs_), col(inv_sqs_), col(drift_), col(wn_), col(wd_cdf_),
                                         col(wd_pdf_), col(pm_), col(td_), col(gn_), col(gd_)};
    const bool newton = !system_a;
    double last_change = inf;
    for (int iter = 0; iter < (system_a ? tb.sc.passes_a : tb.sc.passes_b); ++iter) {
        const bool reuse = iter == 0 && lu.have;
        std::array<double, max_nodes> step{};
        std::array<double, max_nodes + 1> sqrt_h{};
        for (int i = 1; i <= n; ++i) {
            sqrt_h[i] = std::log(bd.X / b[i]);
            bd.h[i] = sqrt_h[i] * sqrt_h[i];
        }
        // sqrt(H) at every point: the interpolation weights times the node
        // values, summed over the nodes in order, in lanes over the points.
        loops.interpolate(tb.mt.data(), padded, bd.h.data(), n, hp.data(), padded);
        // z = ln(B(tau)/B(u)) at every point, and system B's terms in lanes.
        for (int i = 1; i <= n; ++i) {
            const double zi = std::log(b[i]) - ln_x;
            for (int k = 0; k < l; ++k) col(z_)[(i - 1) * l + k] = zi + hp[(i - 1) * l + k];
        }
        for (int j = points; j < padded; ++j) col(z_)[j] = col(z_)[0];
        if (!system_a) loops.points(lanes_in, padded);
        double change = 0;
        bool lost = false;
        std::array<double, max_nodes + 1> next = b;
        for (int i = 1; i <= n; ++i) {
            const Node& nd = nodes[i];
            const double B = b[i], ln_b = std::log(B);
            const double dm0 = (ln_b + nd.drift) * nd.inv_sq - nd.sq / 2, dp0 = dm0 + nd.sq;
            const int at = (i - 1) * l;
            const double* hr = &hp[at];
            const double* zs = col(z_) + at;
            if (system_a) {
                double nn = nd.er * ncdf(dm0), d = nd.eq * ncdf(dp0);
                for (int k = 0; k < l; ++k) {
                    const double z = zs[k], sqs = col(sqs_)[at + k];
                    const double dm = (z + col(drift_)[at + k]) * col(inv_sqs_)[at + k] - sqs / 2, dp = dm + sqs;
                    nn += ncdf(dm) * col(wn_cdf_)[at + k];
                    d += ncdf(dp) * col(wd_cdf_)[at + k];
                }
                next[i] = nn / d;
                if (!(next[i] > 0) || !std::isfinite(next[i])) next[i] = bd.X * std::sqrt(B / bd.X);
                continue;
            }
            // N, D, and for Newton's method their derivatives in z = ln(B(tau_i)/B(u))
            // at each point: d/dz n(d-) = -d- n(d-)/(vol sqrt s), d/dz N(d+) = n(d+)/(vol sqrt s).
            const double pp0 = npdf(dp0) * nd.inv_sq;
            double nn = nd.er * npdf(dm0) * nd.inv_sq, d = nd.eq * (pp0 + ncdf(dp0));
            double dn = -nn * dm0 * nd.inv_sq, dd = nd.eq * pp0 * (1 - dp0 * nd.inv_sq);
            const double* gn = col(gn_) + at;
            const double* gd = col(gd_) + at;
            for (int k = 0; k < l; ++k) {
                nn += col(pm_)[at + k];
                d += col(td_)[at + k];
                dn += gn[k];
                dd += gd[k];
            }
            next[i] = nn / d;
            if (!(next[i] > 0) || !std::isfinite(next[i])) {
                // Far below the boundary (D, with q < 0, can be negative):
                // halfway to X in ln B, and no Newton step this pass.
                next[i] = bd.X * std::sqrt(B / bd.X);
                lost = true;
                continue;
            }
            if (!newton) continue;
            step[i - 1] = std::log(next[i] / B);
            if (reuse) continue;
            // Row i of the Jacobian of ln B - ln(N/D) in y = ln B at the nodes:
            // z at point k moves with y_i, and with y_m through B(u):
            // d ln B(u)/d y_m = w_km sqrt(H_m)/sqrt(H(u)).
            double* row = jac.data() + static_cast<std::size_t>((i - 1) * (n + 1));
            const double inv_n = 1 / nn, inv_d = 1 / d;
            loops.jacobian_row(tb.m.data() + static_cast<std::size_t>((i - 1) * l) * (n + 1), gn, gd, hr, inv_n, inv_d,
                               l, n, row);
            for (int m = 1; m <= n; ++m) row[m - 1] *= sqrt_h[m];
            row[i - 1] += 1 - (dn * inv_n - dd * inv_d);
        }
        bool all_newton = false;
        if (newton && !lost) {
            if (!reuse) {
                lu.n = n;
                lu.have = loops.factor(n, jac.data(), lu.piv.data());
            }
            bool ok = lu.have && loops.apply(n, jac.data(), lu.piv.data(), step.data());
            if (reuse) lu.have = false;  // a chord step once: then Newton's again
            all_newton = ok;
            for (int i = 1; i <= n && ok; ++i) {
                const double nb = b[i] * std::exp(step[i - 1]);
                if (nb > 0 && nb <= bd.X) next[i] = nb;
                else all_newton = false;
            }
        }
        for (int i = 1; i <= n; ++i) {
            if (!(next[i] > 0) || !std::isfinite(next[i])) return false;
            next[i] = std::min(next[i], bd.X);
            change = std::max(change, std::abs(next[i] - b[i]) / b[i]);
        }
        b = next;
        // The change stops falling at the rounding of the integrals, about
        // 1e-13: a rise below noise_floor ends the iteration as converged.
        const bool rose = change > last_change;
        last_change = change;
        if (rose && change < noise_floor) change = 0;
        if (change < tolerance || (all_newton && change < stop)) {
            for (int i = 1; i <= n; ++i) {
                const double g = std::log(b[i] / bd.X);
                bd.h[i] = g * g;
            }
            return true;
        }
    }
    return false;
}

// The boundary bd solved at n nodes as the start at the nodes of tb.
Warm regrid(const Boundary& bd, int n, const Tables& tb) noexcept {
    Warm w{true, tb.sc.n, bd.vol, {}, true};
    std::array<double, max_nodes + 1> c;
    for (int i = 1; i <= tb.sc.n; ++i) {
        cardinal(n, 2 * tb.x[i] - 1, c.data());
        double h = 0;
        for (int m = 1; m <= n; ++m) h += c[m] * bd.h[m];
        w.h[i] = std::max(h, 0.0);
    }
    return w;
}

// Steps 2 to 5 at one scheme, from warm where it was solved at the same nodes.
bool solve_at(Boundary& bd, const Tables& tb, const Warm* warm) noexcept {
    const bool polish = tb.polish != nullptr && bd.vol * bd.sqrt_T <= polish_below;
    const bool start = warm != nullptr && warm->near(bd.vol, tb.sc.n);
    // A boundary solved for nearby parameters (not one read from fewer
    // nodes) is within the polish's reach of Newton's method on its own.
    if (start && !warm->regridded && solve_boundary(bd, polish ? *tb.polish : tb, false, warm)) return true;
    const double stop = polish ? polished_stop : newton_stop;
    if (!((start && solve_boundary(bd, tb, false, warm, stop)) || solve_boundary(bd, tb, false, nullptr, stop) ||
          solve_boundary(bd, tb, true)))
        return false;
    if (!polish) return true;
    const Warm solved{true, tb.sc.n, bd.vol, bd.h};
    return solve_boundary(bd, *tb.polish, false, &solved, newton_stop, true);
}

struct PutValue {
    double v, delta, gamma;
    double tail = 0;  // the tail estimate of v (step 7), not yet in bars
    bool exercised = false;  // the spot is on the exercise side: v is the intrinsic value
};

// Steps 6 and 7 for a solved boundary: value, delta and gamma (when greeks)
// of the unit-strike put at spot s > 0, and the tail estimate of the value.
PutValue premium_value(const Boundary& bd, double s, const Tables& tb, bool greeks) noexcept {
    const double r = bd.r, q = bd.q, vol = bd.vol, T = bd.T;
    const int n = tb.sc.n;
    double shift = 0;
    for (int j = 0; j < tail_terms; ++j) {
        double a = 0;
        for (int m = 1; m <= n; ++m) a += tb.tail[j][m] * bd.h[m];
        shift += std::abs(a);
    }
    // Exercised: exact where the spot is below the boundary raised by the
    // tail too; otherwise the exercise decision itself is in doubt.
    if (s <= bd.X * std::exp(-std::sqrt(bd.h[n])))
        return {1 - s, -1, 0, s <= bd.X * std::exp(-std::sqrt(bd.h[n] + shift)) ? 0.0 : inf, true};
    // The terms of every point in lanes (american_lanes.hpp), padded to a
    // multiple of 8 with copies of the first point, then summed in order.
    struct Sums {
        double v = 0, vt = 0, dv = 0, gv = 0;
    };
    enum Column { t_, sqs_, w_du_, w_pdf_, w_der_, v_, vt_, dv_, gv_, columns };
    thread_local std::vector<double> cols;
    auto integral = [&](const ValueRule& rule, bool with_greeks) {
        const Substituted& ru = rule.rule;
        const int p = rule.p, padded = (p + 7) / 8 * 8;
        cols.resize(static_cast<std::size_t>(columns * padded));
        auto col = [&](Column c) { return cols.data() + static_cast<std::ptrdiff_t>(c) * padded; };
        for (int j = 0; j < padded; ++j) {
            const int k = j < p ? j : 0;
            const double c = ru.c[k], sqs = vol * bd.sqrt_T * c;
            col(t_)[j] = T * c * c;
            col(sqs_)[j] = sqs;
            col(w_du_)[j] = ru.w[k] * T;
            if (!with_greeks) continue;
            col(w_pdf_)[j] = ru.w[k] * T / sqs;
            col(w_der_)[j] = ru.w[k] * T / (sqs * sqs);
        }
        const lanes::ValuePoints in{rule.pmt.data(), bd.h.data(), padded, n, std::log(s) - std::log(bd.X), s, r, q,
                                    shift, col(t_), col(sqs_), col(w_du_), col(w_pdf_), col(w_der_), col(v_),
                                    col(vt_), col(dv_), col(gv_)};
        american_loops().value_points(in, padded, with_greeks);
        Sums sum;
        for (int k = 0; k < p; ++k) {
            sum.v += col(v_)[k];
            sum.vt += col(vt_)[k];
        }
        if (with_greeks)
            for (int k = 0; k < p; ++k) {
                sum.dv += col(dv_)[k];
                sum.gv += col(gv_)[k];
            }
        return sum;
    };
    // Each rule's value stands where it is within the bar of the rule with
    // half its points (Gauss-Legendre's error falls geometrically, so that
    // difference far exceeds the finer rule's own error); none: NaN. Delta
    // and gamma likewise, each within greeks_tolerance (relative, and 1e-12)
    // of the rule before, from the first rule where both are: near B(T) they
    // take in a step the value hardly sees (gamma was 6 % off from a rule
    // whose value was within the bar); none: NaN for them.
    const double e = european_put(s, r, q, T, vol);
    const double ed = greeks ? vantorel::delta(s, 1.0, r, q, T, PutCallFlag::Put, vol).value_or(nan) : nan;
    const double eg = greeks ? vantorel::gamma(s, 1.0, r, q, T, PutCallFlag::Put, vol).value_or(nan) : nan;
    auto close = [](double a, double b, double whole) { return std::abs(a - b) <= greeks_tolerance * std::abs(whole) + 1e-12; };
    Sums prev = integral(value_rule(tb, 0), greeks), value, slopes;
    bool value_found = false, greeks_found = !greeks;
    for (int k = 1; k < tb.value_count && !(value_found && greeks_found); ++k) {
        const Sums sum = integral(value_rule(tb, k), greeks);
        if (!value_found && std::abs(sum.v - prev.v) <= std::max(1e-10 * (e + sum.v), 1e-12)) {
            value_found = true;
            value = sum;
        }
        if (!greeks_found && close(sum.dv, prev.dv, ed + sum.dv) && close(sum.gv, prev.gv, eg + sum.gv)) {
            greeks_found = true;
            slopes = sum;
        }
        prev = sum;
    }
    if (!value_found) return {nan, nan, nan};
    const double v = value.v;
    if (!greeks || !greeks_found) return {std::max(e + v, 1 - s), nan, nan, std::abs(v - value.vt)};
    return {std::max(e + v, 1 - s), ed + slopes.dv, eg + slopes.gv, std::abs(v - value.vt)};
}

// The unit-strike put at spot s >= 0 for tau > 0 and vol >= 0 (finite
// arguments), with delta and gamma; NaN where the iteration failed.
PutValue unit_put(double s, double r, double q, double tau, double vol, bool greeks, Warm* warm) noexcept {
    if (vol == 0) {
        // Exercise at t in [0, tau] is worth e^(-rt) - s e^(-qt), whose
        // stationary point t* solves r e^(-rt) = q s e^(-qt).
        double best = std::max(1 - s, std::exp(-r * tau) - s * std::exp(-q * tau)), bt = 0;
        if (1 - s < best) bt = tau;
        if (r != q && r * q > 0 && s > 0) {
            const double t = std::log(q * s / r) / (q - r);
            if (t > 0 && t < tau) {
                const double v = std::exp(-r * t) - s * std::exp(-q * t);
                if (v > best) {
                    best = v;
                    bt = t;
                }
            }
        }
        if (best <= 0) return {0, 0, 0};
        return {best, -std::exp(-q * bt), 0};
    }
    const bool european = r <= 0 && q >= r;
    if (european) {
        return {european_put(s, r, q, tau, vol),
                vantorel::delta(s, 1.0, r, q, tau, PutCallFlag::Put, vol).value_or(nan),
                vantorel::gamma(s, 1.0, r, q, tau, PutCallFlag::Put, vol).value_or(nan)};
    }
    if (s == 0) return {std::max(1.0, std::exp(-r * tau)), -1, 0};
    if (r <= 0) {
        // q < r <= 0: two boundaries; the finite-difference solver to the bar
        // (its error estimate within 1e-10 relative on grids of 100 to 1600
        // steps, else NaN), differenced in spot for delta and gamma.
        const FdGrid grid{100, 100};
        auto value = [&](double x) {
            return std::max(fd_npv_adaptive(x, 1.0, r, q, tau, PutCallFlag::Put, vol, true, nullptr, 0, grid, 1e-10,
                                            1600),
                            european_put(x, r, q, tau, vol));
        };
        const double hs = 1e-3 * s, v0 = value(s);
        if (!greeks) return {v0, nan, nan};
        const double vu = value(s + hs), vd = value(s - hs);
        return {v0, (vu - vd) / (2 * hs), (vu - 2 * v0 + vd) / (hs * hs)};
    }
    Boundary bd{r, q, vol, tau, std::sqrt(tau), q > r ? r / q : 1.0, {}};
    const Ladder& tp = tables();
    double below = nan;
    int below_n = 0;
    Warm regridded;
    for (int lv = 0; lv < tp.count; ++lv) {
        const Tables& tb = tp.level[lv];
        // A level above the first starts from the boundary below read at its
        // nodes, unless the caller's is at them.
        const bool own = warm != nullptr && warm->near(vol, tb.sc.n);
        if (!solve_at(bd, tb, below_n > 0 && !own ? &regridded : warm)) {
            below_n = 0;
            continue;
        }
        const PutValue pv = premium_value(bd, s, tb, greeks);
        // The value integral's rules did not agree: finer nodes would not help.
        if (std::isnan(pv.v)) return pv;
        const double bar = std::max(1e-10 * pv.v, 1e-12);
        const double factor = std::pow(static_cast<double>(tb.sc.n) / below_n, convergence_order) - 1;
        if (pv.tail > tb.tail_limit * bar &&
            !(below_n > 0 && std::abs(pv.v - below) <= factor * tb.difference_limit * bar &&
              pv.tail <= tb.difference_tail * bar)) {
            below = pv.v;
            below_n = tb.sc.n;
            if (lv + 1 < tp.count) regridded = regrid(bd, below_n, tp.level[lv + 1]);
            continue;
        }
        if (warm != nullptr) *warm = {true, tb.sc.n, vol, bd.h};
        return pv;
    }
    return {nan, nan, nan};
}

// Rejects what the European functions reject; true when the option is
// running (tau > 0) with finite arguments.
bool invalid(double spot, double strike, double vol) noexcept {
    return spot < 0 || strike < 0 || vol < 0;
}

double intrinsic(double spot, double strike, PutCallFlag flag) noexcept {
    return std::max(flag == PutCallFlag::Put ? strike - spot : spot - strike, 0.0);
}

// Value, delta and gamma of any option through the unit-strike put.
// Preconditions: valid, tau > 0, all finite. Where early exercise never pays
// the European functions answer with the caller's arguments (the same bits);
// every value is at least the intrinsic one.
PutValue any_option(double spot, double strike, double rate, double div_yield, double tau,
                    PutCallFlag flag, double vol, bool greeks = false, Warm* warm = nullptr) noexcept {
    const bool put = flag == PutCallFlag::Put;
    const double r = put ? rate : div_yield, q = put ? div_yield : rate;
    if (r <= 0 && q >= r) {
        const auto m = get_metrics(spot, strike, rate, div_yield, tau, flag, vol);
        return {m->npv, m->delta, m->gamma};
    }
    // A moneyness beyond the doubles (spot/strike, or strike/spot for a call,
    // overflowing) is an option worth nothing to the last bit: v stays 0.
    PutValue v{0, 0, 0};
    if (put) {
        if (strike > 0 && std::isfinite(spot / strike)) {
            const PutValue p = unit_put(spot / strike, rate, div_yield, tau, vol, greeks, warm);
            v = {strike * p.v, p.delta, p.gamma / strike, 0, p.exercised};
        }
    } else if (spot > 0 && std::isfinite(strike / spot)) {
        // C(S, K, r, q) = S p(K/S; q, r)
        const double x = strike / spot;
        const PutValue p = unit_put(x, div_yield, rate, tau, vol, greeks, warm);
        v = {spot * p.v, p.v - x * p.delta, x * x * p.gamma / spot, 0, p.exercised};
    }
    // Exercised: the intrinsic value exactly (strike (1 - spot/strike) can
    // round above it).
    const double floor = intrinsic(spot, strike, flag);
    if (v.v <= floor || v.exercised) return {floor, floor > 0 ? (put ? -1.0 : 1.0) : v.delta, floor > 0 ? 0.0 : v.gamma};
    return v;
}

}  // namespace

std::optional<double> american_npv(double spot, double strike, double rate, double div_yield,
                                   double tau, PutCallFlag pc_flag, double vol) noexcept {
    if (invalid(spot, strike, vol)) return std::nullopt;
    if (tau < 0) return 0.0;
    if (tau == 0) return intrinsic(spot, strike, pc_flag);
    if (!std::isfinite(spot + strike + rate + div_yield + tau + vol)) return nan;
    return any_option(spot, strike, rate, div_yield, tau, pc_flag, vol).v;
}

std::optional<BlackScholesMetrics> american_get_metrics(double spot, double strike, double rate,
                                                        double div_yield, double tau,
                                                        PutCallFlag pc_flag, double vol) noexcept {
    if (invalid(spot, strike, vol)) return std::nullopt;
    if (tau < 0) return BlackScholesMetrics{0, 0, 0, 0, 0, 0, 0};
    if (!std::isfinite(spot + strike + rate + div_yield + tau + vol))
        return BlackScholesMetrics{nan, nan, nan, nan, nan, nan, nan};
    if (tau == 0) {
        const double v = intrinsic(spot, strike, pc_flag);
        const double d = v > 0 ? sign(pc_flag) : 0;
        return BlackScholesMetrics{v, d, 0, 0, 0, 0, 0};
    }
    // Every bump starts from the boundary of the option itself.
    Warm base;
    const PutValue p = any_option(spot, strike, rate, div_yield, tau, pc_flag, vol, true, &base);
    auto value = [&](double r, double q, double sg) {
        Warm warm = base;
        return any_option(spot, strike, r, q, tau, pc_flag, sg, false, &warm).v;
    };
    // Central differences of re-solved values: steps near the cube root of
    // the value's own error, relative to the size of each parameter.
    const double hv = 1e-4 * std::max(vol, 0.01);
    const double vega = vol >= hv ? (value(rate, div_yield, vol + hv) - value(rate, div_yield, vol - hv)) / (2 * hv)
                                  : (value(rate, div_yield, vol + hv) - p.v) / hv;
    const double hr = 1e-5;
    const double rho_r = (value(rate + hr, div_yield, vol) - value(rate - hr, div_yield, vol)) / (2 * hr);
    const double rho_q = (value(rate, div_yield + hr, vol) - value(rate, div_yield - hr, vol)) / (2 * hr);
    // Theta from the pricing equation where the option is held; 0 where it is
    // exercised (the value is the intrinsic one and does not age).
    const bool exercised = p.v == intrinsic(spot, strike, pc_flag) && p.v > 0 && p.gamma == 0;
    const double theta = exercised ? 0.0
                                   : rate * p.v - (rate - div_yield) * spot * p.delta -
                                         0.5 * vol * vol * spot * spot * p.gamma;
    return BlackScholesMetrics{p.v, p.delta, p.gamma, vega, theta, rho_r, rho_q};
}

double american_implied_vol(double price, double spot, double strike, double rate,
                            double div_yield, double tau, PutCallFlag pc_flag) noexcept {
    if (!(tau > 0) || !(spot >= 0) || !(strike >= 0) || !std::isfinite(price + spot + strike + rate + div_yield + tau))
        return nan;
    // Each step of the search starts from the boundary of the step before.
    Warm warm;
    auto value = [&](double v) { return any_option(spot, strike, rate, div_yield, tau, pc_flag, v, false, &warm).v; };
    const double low = value(0.0);
    // The limit for a growing vol: the strike for a put (the spot for a
    // call), or the European limit K e^(-r tau) (S e^(-q tau)) above it,
    // where the rate (the yield) is negative.
    const double high = pc_flag == PutCallFlag::Put ? strike * std::max(1.0, std::exp(-rate * tau))
                                                    : spot * std::max(1.0, std::exp(-div_yield * tau));
    if (price == low) return 0.0;
    if (price == high) return inf;
    if (!(price > low && price < high)) return nan;
    // Bracket [a, b] with value(a) < price < value(b), then Brent's method on
    // the value (monotone increasing in vol).
    double a = 0, fa = low - price, b = 0.5, fb = value(b) - price;
    for (int k = 0; k < 60 && fb < 0; ++k) {
        a = b;
        fa = fb;
        b *= 2;
        fb = value(b) - price;
    }
    if (!(fb >= 0)) return nan;
    const root_find::Root root = root_find::brent([&](double v) { return value(v) - price; }, {a, b, fa, fb},
                                                  {2e-16, 1e-300}, 100, root_find::OnNan::Stop);
    return root.converged ? root.x : nan;
}

void american_boundary(double strike, double rate, double div_yield, double tau,
                       PutCallFlag pc_flag, double vol, std::size_t m, const double* times,
                       double* spots) noexcept {
    for (std::size_t k = 0; k < m; ++k) spots[k] = nan;
    const bool put = pc_flag == PutCallFlag::Put;
    const double r = put ? rate : div_yield, q = put ? div_yield : rate;
    if (!(tau > 0) || !(vol > 0) || !(strike > 0) || !(r > 0) || !std::isfinite(r + q + tau + vol + strike)) return;
    Boundary bd{r, q, vol, tau, std::sqrt(tau), q > r ? r / q : 1.0, {}};
    // The default scheme's boundary (what the values read wherever its tail
    // estimate passes), the finer one's where it does not converge.
    const Ladder& tp = tables();
    const Tables* found = nullptr;
    for (int lv = 0; lv < tp.count && found == nullptr; ++lv)
        if (solve_at(bd, tp.level[lv], nullptr)) found = &tp.level[lv];
    if (found == nullptr) return;
    const Tables& tb = *found;
    // A call is exercised at spot >= strike / b(tau), b the put's of the swapped problem.
    for (std::size_t k = 0; k < m; ++k) {
        if (!(times[k] >= 0 && times[k] <= tau)) continue;
        const double b = bd.at(times[k], tb.sc.n, tb.sc.root);
        spots[k] = put ? strike * b : strike / b;
    }
}

}  // namespace vantorel
