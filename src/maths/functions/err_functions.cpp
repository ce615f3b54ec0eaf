// src/maths/functions/err_functions.cpp: erf, erfc and their inverses from fixed rational approximations
#include "maths/functions/err_functions.hpp"

#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>

namespace vantorel {

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// Horner's rule from the highest coefficient down; c holds c0, c1, ... in
// ascending powers. With -ffp-contract=off no step is fused, so the result is
// the same bits everywhere. The length is a compile-time constant, so the loop
// unrolls and a numerator and denominator evaluated together interleave.
template <std::size_t N>
inline double poly(const double (&c)[N], double t) noexcept {
    double r = c[N - 1];
    for (std::size_t i = N - 1; i-- > 0;) r = r * t + c[i];
    return r;
}

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

// ---- erf and erfc --------------------------------------------------------------
//
// Rational approximations in double precision:
//   [0, 1e-10):     erf(z) ~ z*c + z*1.125 (2/sqrt(pi)*z, the first term of
//                   the series, with the constant split in two);
//   [1e-10, 0.5):   erf(z) ~ z*P(z)/Q(z) + z*1.125;
//   [0.5, 110):     erfc(z) ~ exp(-z*z)/z * (Y + P(t)/Q(t)) on 13 intervals,
//                   t = z - left end; the Y are ten-digit decimals, so erf and
//                   erfc above 0.5 are within about 1e-10 relative of the
//                   correctly rounded values;
//   [110, inf):     erfc(z) underflows to 0.

constexpr double small_p[] = {0.0033791670955125737, -0.0007369565304816795, -0.3747323373929196,
                              0.08174424487335873,   -0.04210893199365486,   0.007016570951209575,
                              -0.004950912559824351, 0.0008716465990379225};
constexpr double small_q[] = {1.0,                   -0.21808821808792464, 0.4125429727254421,
                              -0.08418911478731067,  0.06553388564002416,  -0.012001960445494177,
                              0.00408165558926174,   -0.0006159007215577697};

constexpr double e0_p[] = {-0.03617903907182625, 0.2922518834448827,   0.2814470417976045,
                           0.12561020886276694,  0.027413502826893053, 0.0025083967216806575};
constexpr double e0_q[] = {1.0,                 1.8545005897903486,  1.4357580303783142,
                           0.5828276587530365,  0.12481047693294975, 0.011372417654635328};
constexpr double e1_p[] = {-0.03978768926111369, 0.1531652124678783,    0.19126029560093624,
                           0.10276327061989304,  0.029637090615738836,  0.004609348678027549,
                           0.0003076078203486802};
constexpr double e1_q[] = {1.0,                 1.955200729876277,    1.6476231719938486,
                           0.7682386070221262,  0.20979318593650978,  0.031956931689991336,
                           0.0021336316089578537};
constexpr double e2_p[] = {-0.030083856055794972, 0.05385788298444545,  0.07262115416519142,
                           0.036762846988804936,  0.009646290155725275, 0.0013345348007529107,
                           7.780875997825043e-05};
constexpr double e2_q[] = {1.0,                 1.7596709814716753,    1.3288357143796112,
                           0.5525285965087576,  0.13379305694133287,   0.017950964517628076,
                           0.0010471244001993736, -1.0664038182035734e-08};
constexpr double e3_p[] = {-0.011790757013722784, 0.01426213209053881,     0.020223443590296084,
                           0.009306682999904321,  0.00213357802422066,     0.00025022987386460105,
                           1.2053491221958819e-05};
constexpr double e3_q[] = {1.0,                 1.5037622520362048,  0.9653977862044629,
                           0.3392652304767967,  0.06897406495415698, 0.007710602624917683,
                           0.0003714211015310693};
constexpr double e4_p[] = {-0.005469547955387293, 0.004041902787317071,  0.005496336955316117,
                           0.002126164726039454,  0.0003949840144950839, 3.655654770644424e-05,
                           1.3548589710993232e-06};
constexpr double e4_q[] = {1.0,                   1.2101969777363077,     0.6209146682211439,
                           0.17303843066114277,   0.027655081377343203,   0.0024062597442430973,
                           8.918118172513365e-05, -4.655288362833827e-12};
constexpr double e5_p[] = {-0.0027072253590577837, 0.00131875634250294,    0.0011992593326100233,
                           0.00027849619811344664, 2.6782298821833186e-05, 9.230436723150282e-07};
constexpr double e5_q[] = {1.0,                  0.8146328085431416,     0.26890166585629954,
                           0.044987721610304114, 0.0038175966332024847,  0.00013157189788859692,
                           4.048153596757641e-12};
constexpr double e6_p[] = {-0.001099467206917422, 0.00040642544275042267, 0.0002744994894169007,
                           4.652937706466594e-05, 3.2095542539576746e-06, 7.782860181450209e-08};
constexpr double e6_q[] = {1.0,                  0.5881737106118461,    0.13936333128940975,
                           0.016632934041708368, 0.0010002392131023491, 2.4254837521587224e-05};
constexpr double e7_p[] = {-0.0005690799360109496, 0.00016949854037376225, 5.184723545811009e-05,
                           3.8281931223192885e-06, 8.249899312818944e-08};
constexpr double e7_q[] = {1.0,                  0.33963725005113937,   0.04347264787031066,
                           0.002485493352246371, 5.356333053371529e-05, -1.1749094440545958e-13};
constexpr double e8_p[] = {-0.00024131359948399134, 5.742249752025015e-05, 1.1599896292738377e-05,
                           5.817621344025938e-07,   8.539715550856736e-09};
constexpr double e8_q[] = {1.0, 0.23304413829968784, 0.02041869405464403, 0.0007971856475643983,
                           1.1701928167017232e-05};
constexpr double e9_p[] = {-0.00014667469927776036, 1.6266655211228053e-05, 2.6911624850916523e-06,
                           9.79584479468092e-08,    1.0199464762572346e-09};
constexpr double e9_q[] = {1.0, 0.16590781294484722, 0.010336171619150588, 0.0002865930263738684,
                           2.9840157084090034e-06};
constexpr double e10_p[] = {-5.839057976297718e-05, 4.125103251054962e-06, 4.3179092242025094e-07,
                            9.933651555900132e-09,  6.534805100201047e-11};
constexpr double e10_q[] = {1.0, 0.10507708607203992, 0.004142784286754756, 7.263387546445238e-05,
                            4.778184710473988e-07};
constexpr double e11_p[] = {-1.9645779760922958e-05, 1.572438876668007e-06, 5.439025111927009e-08,
                            3.174724923691177e-10};
constexpr double e11_q[] = {1.0, 0.05280398924095763, 0.0009268760691517533, 5.410117232266303e-06,
                            5.350938458036424e-16};
constexpr double e12_p[] = {-7.892247039787227e-06, 6.22088451660987e-07, 1.457284456768824e-08,
                            6.037155055427153e-11};
constexpr double e12_q[] = {1.0, 0.03753288463562937, 0.0004679195359746253, 1.9384703927584565e-06};

// Intervals [shift, next shift) from 0.5 up to 110.
constexpr Row erfc_rows[] = {
    {0.5, 0.3440242112, &ratio<e0_p, e0_q>},   {0.75, 0.419990927, &ratio<e1_p, e1_q>},
    {1.25, 0.4898625016, &ratio<e2_p, e2_q>},  {2.25, 0.5317370892, &ratio<e3_p, e3_q>},
    {3.5, 0.5489973426, &ratio<e4_p, e4_q>},   {5.25, 0.5571740866, &ratio<e5_p, e5_q>},
    {8.0, 0.5609807968, &ratio<e6_p, e6_q>},   {11.5, 0.5626493692, &ratio<e7_p, e7_q>},
    {17.0, 0.5634598136, &ratio<e8_p, e8_q>},  {24.0, 0.5638477802, &ratio<e9_p, e9_q>},
    {38.0, 0.5640528202, &ratio<e10_p, e10_q>}, {60.0, 0.5641309023, &ratio<e11_p, e11_q>},
    {85.0, 0.5641584396, &ratio<e12_p, e12_q>},
};
constexpr std::size_t erfc_row_count = sizeof erfc_rows / sizeof erfc_rows[0];

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

// erf_impl for z >= 0 (or NaN): erf(z) below 0.5, erfc(z) from 0.5 up.
inline double erf_or_erfc(double z) noexcept {
    if (z < 1e-10) return z * 0.0033791670955125737 + z * 1.125;
    if (z < 0.5) return z * poly(small_p, z) / poly(small_q, z) + z * 1.125;
    if (z >= 110) return 0;  // erfc underflows
    // The last row whose left end is <= z (a NaN stays in the first row).
    std::size_t i = 0;
    while (i + 1 < erfc_row_count && z >= erfc_rows[i + 1].shift) ++i;
    const Row& row = erfc_rows[i];
    const double big_r = row.ratio(z - row.shift);
    const double g = std::exp(-z * z) / z;
    return g * big_r + g * row.y;
}

inline double erf_positive(double z, bool complement) noexcept {
    const double r = erf_or_erfc(z);
    if (z < 0.5) return complement ? 1 - r : r;
    return complement ? r : 1 - r;
}

}  // namespace

double erf_impl(double z, bool complement) noexcept {
    // Negative arguments by symmetry: -erf(-z), 2 - erfc(-z) below -0.5, else
    // 1 + erf(-z); these results are final.
    if (z < 0) {
        if (!complement) return -erf_positive(-z, false);
        if (z < -0.5) return 2 - erf_positive(-z, true);
        return 1 + erf_positive(-z, false);
    }
    return erf_positive(z, complement);
}

double erf(double x) noexcept {
    if (std::isnan(x)) return x;
    if (x >= 0 && std::isinf(x)) return 1.0;
    if (x <= 0 && std::isinf(x)) return -1.0;
    if (x == 0) return 0.0;  // +0.0 for either sign of zero
    return erf_impl(x, false);
}

double erfc(double x) noexcept {
    if (std::isnan(x)) return x;
    if (x == inf) return 0.0;
    if (x == -inf) return 2.0;
    return erf_impl(x, true);
}

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
