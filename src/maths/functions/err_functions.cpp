// src/maths/functions/err_functions.cpp: erf, erfc and their inverses from fixed rational approximations
#include "maths/functions/err_functions.hpp"

#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>

#include "maths/functions/err_kernels.hpp"

namespace vantorel {

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

using err_kernels::poly;

// P(t)/Q(t), numerator and denominator evaluated independently, divided once.
template <const auto& P, const auto& Q>
double ratio(double t) noexcept {
    return poly(P, t) / poly(Q, t);
}

// One piece of a piecewise rational approximation: on its interval the
// function is (a factor) times (y + P(t)/Q(t)), with t the argument minus
// `shift`. The y constants carry most of the value, the rational part a small
// correction.
struct Row {
    double shift;
    double y;
    double (*ratio)(double t) noexcept;  // P(t)/Q(t) of the piece
};

// ---- inverses ----------------------------------------------------------------
//
// erf_inv(p) with q = 1 - p:
//   p <= 0.5:           p*(p + 10) * (Y + P(p)/Q(p));
//   q >= 0.25:          sqrt(-2 ln q) / (Y + P(q - 0.25)/Q(q - 0.25));
//   q < 0.25:           w * (Y + P(w - shift)/Q(w - shift)), w = sqrt(-ln q),
//                       on the intervals of w split at 3, 6, 18 and 44.
// The Y constants are exact binary fractions (747689*2^-23, 73711*2^-15, ...).

constexpr double i0_p[] = {-0.0005087819496582806, -0.008368748197417368, 0.03348066254097446,
                           -0.012692614766297404,  -0.03656379714117627,  0.02198786811111689,
                           0.008226878746769157,   -0.005387729650712429};
constexpr double i0_q[] = {1.0,                 -0.9700050433032906,  -1.5657455823417585,
                           1.5622155839842302,  0.662328840472003,    -0.7122890234154284,
                           -0.05273963823400997, 0.07952836873415717, -0.0023339375937419,
                           0.0008862163904564247};
constexpr double i1_p[] = {-0.20243350835593876, 0.10526468069939171, 8.3705032834312,
                           17.644729840837403,   -18.851064805871424, -44.6382324441787,
                           17.445385985570866,   21.12946554483405,   -3.6719225470772936};
constexpr double i1_q[] = {1.0,                6.242641248542475,  3.971343795334387,
                           -28.66081804998,    -20.14326346804852, 48.560921310873994,
                           10.826866735546016, -22.643693341313973, 1.7211476576120028};
constexpr double i2_p[] = {-0.1311027816799519,  -0.16379404719331705,   0.11703015634199525,
                           0.38707973897260434,  0.3377855389120359,     0.14286953440815717,
                           0.029015791000532906, 0.0021455899538880526,  -6.794655751811263e-07,
                           2.8522533178221704e-08, -6.81149956853777e-10};
constexpr double i2_q[] = {1.0,               3.4662540724256723, 5.381683457070069,
                           4.778465929458438, 2.5930192162362027, 0.848854343457902,
                           0.15226433829533179, 0.011059242293464892};
constexpr double i3_p[] = {-0.0350353787183178,    -0.0022242652921344794, 0.018557330651423107,
                           0.009508047013259196,   0.0018712349281955923,  0.00015754461742496055,
                           4.60469890584318e-06,   -2.304047769118826e-10, 2.6633922742578204e-12};
constexpr double i3_q[] = {1.0,                 1.3653349817554064, 0.7620591645536234,
                           0.22009110576413124, 0.03415891436709477, 0.00263861676657016,
                           7.646752923027944e-05};
constexpr double i4_p[] = {-0.016743100507663373, -0.0011295143874558028, 0.001056288621524929,
                           0.00020938631748758808, 1.4962478375834237e-05, 4.4969678992770644e-07,
                           4.625961635228786e-09,  -2.811287356288318e-14, 9.905570997331033e-17};
constexpr double i4_q[] = {1.0,                  0.5914293448864175,     0.1381518657490833,
                           0.016074608709367652, 0.0009640118070051656,  2.7533547476472603e-05,
                           2.82243172016108e-07};
constexpr double i5_p[] = {-0.002497821279189813, -7.79190719229054e-06,  2.5472303741302746e-05,
                           1.6239777734251093e-06, 3.963410113048012e-08,  4.116328311909442e-10,
                           1.4559628671867504e-12, -1.1676501239718427e-18};
constexpr double i5_q[] = {1.0,                    0.2071231122144225,     0.01694108381209759,
                           0.0006905382656226846,  1.4500735981823264e-05, 1.4443775662814415e-07,
                           5.097612765997785e-10};
constexpr double i6_p[] = {-0.0005390429110190785, -2.8398759004727723e-07, 8.994651148922914e-07,
                           2.2934585926592085e-08, 2.2556144486350015e-10,  9.478466275030226e-13,
                           1.3588013010892486e-15, -3.4889039339994887e-22};
constexpr double i6_q[] = {1.0,                   0.08457462340018994,    0.002820929847262647,
                           4.682929219408942e-05, 3.999688121938621e-07,  1.6180929088790448e-09,
                           2.315586083102596e-12};

constexpr Row inv_small{0.0, 0.08913147449493408, &ratio<i0_p, i0_q>};
constexpr Row inv_mid{0.25, 2.249481201171875, &ratio<i1_p, i1_q>};
// Intervals of w: [shift, next shift) from 1.125 (w < 3), then 3, 6, 18, 44.
constexpr Row inv_tail[] = {
    {1.125, 0.807220458984375, &ratio<i2_p, i2_q>},  {3.0, 0.9399557113647461, &ratio<i3_p, i3_q>},
    {6.0, 0.9836282730102539, &ratio<i4_p, i4_q>},   {18.0, 0.9971456527709961, &ratio<i5_p, i5_q>},
    {44.0, 0.9994134902954102, &ratio<i6_p, i6_q>},
};
constexpr double inv_tail_ends[] = {3.0, 6.0, 18.0, 44.0};

}  // namespace

double erf_impl(double z, bool complement) noexcept { return err_kernels::erf_impl(z, complement); }

double erf(double x) noexcept { return err_kernels::erf(x); }

double erfc(double x) noexcept { return err_kernels::erfc(x); }

double erf_inv_impl(double p, double q, double s) noexcept {
    double result;
    if (p <= 0.5) {
        const double g = p * (p + 10);
        result = g * inv_small.ratio(p) + g * inv_small.y;
    } else {
        const double l = std::log(q);
        if (q >= 0.25) {
            const double g = std::sqrt(-2 * l);
            result = g / (inv_mid.y + inv_mid.ratio(q - inv_mid.shift));
        } else {
            // The first interval whose right end exceeds w; NaN lands in the last.
            const double w = std::sqrt(-l);
            std::size_t i = 0;
            while (i < std::size(inv_tail_ends) && !(w < inv_tail_ends[i])) ++i;
            const Row& row = inv_tail[i];
            result = w * row.ratio(w - row.shift) + w * row.y;
        }
    }
    return result * s;
}

double erf_inv(double x) noexcept {
    if (x == 0) return 0.0;
    if (x >= 1) return inf;
    if (x <= -1) return -inf;
    if (x < 0) return erf_inv_impl(-x, 1 + x, -1);
    return erf_inv_impl(x, 1 - x, 1);  // 0 < x < 1, or NaN, which flows through
}

double erfc_inv(double x) noexcept {
    if (x <= 0) return inf;
    if (x >= 2) return -inf;
    if (x > 1) return erf_inv_impl(x - 1, 2 - x, -1);
    return erf_inv_impl(1 - x, x, 1);  // 0 < x <= 1, or NaN
}

}  // namespace vantorel
