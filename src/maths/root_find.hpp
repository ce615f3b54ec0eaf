// src/maths/root_find.hpp: Brent's root finder on a bracket, generic over the function
#pragma once

#include <algorithm>
#include <cmath>

namespace vantorel::root_find {

// A bracket [lo, hi] with f(lo) and f(hi) of opposite signs (or one of them 0).
struct Bracket {
    double lo, hi, f_lo, f_hi;
};

// When a step is small enough to stop: the bracket's half-width at most
// relative * |b| + absolute, b the best abscissa so far.
struct Tolerance {
    double relative;
    double absolute = 0.0;
};

struct Root {
    double x;        // the best abscissa found
    bool converged;  // false when the iteration cap was reached or (if asked) f gave NaN
};

// What to do when f returns NaN at a trial abscissa.
enum class OnNan { Continue, Stop };

// Brent's method (van Wijngaarden-Dekker-Brent, as in Brent 1973, ch. 4) on
// a bracket: inverse quadratic or secant steps, falling back to bisection,
// until f is 0 or the bracket is within the tolerance, at most max_iter
// evaluations of f. With OnNan::Stop a NaN from f ends the search
// unconverged at that abscissa; with OnNan::Continue the search goes on.
template <class F>
Root brent(F&& f, Bracket br, Tolerance tolerance, int max_iter, OnNan on_nan) {
    double a = br.lo, b = br.hi, fa = br.f_lo, fb = br.f_hi;
    double c = a, fc = fa, d = b - a, e = d;
    for (int iter = 0; iter < max_iter; ++iter) {
        if ((fb > 0.0) == (fc > 0.0)) {
            c = a;
            fc = fa;
            d = e = b - a;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol = tolerance.relative * std::fabs(b) + tolerance.absolute;
        const double m = 0.5 * (c - b);
        if (fb == 0.0 || std::fabs(m) <= tol) return {b, true};
        if (std::fabs(e) >= tol && std::fabs(fa) > std::fabs(fb)) {
            double p, q;
            const double s = fb / fa;
            if (a == c) {
                p = 2.0 * m * s;
                q = 1.0 - s;
            } else {
                const double qa = fa / fc, r = fb / fc;
                p = s * (2.0 * m * qa * (qa - r) - (b - a) * (r - 1.0));
                q = (qa - 1.0) * (r - 1.0) * (s - 1.0);
            }
            if (p > 0.0) q = -q;
            p = std::fabs(p);
            if (2.0 * p < std::min(3.0 * m * q - std::fabs(tol * q), std::fabs(e * q))) {
                e = d;
                d = p / q;
            } else {
                d = m;
                e = d;
            }
        } else {
            d = m;
            e = d;
        }
        a = b;
        fa = fb;
        b += std::fabs(d) > tol ? d : (m > 0.0 ? tol : -tol);
        fb = f(b);
        if (on_nan == OnNan::Stop && std::isnan(fb)) return {b, false};
    }
    return {b, false};
}

}  // namespace vantorel::root_find
