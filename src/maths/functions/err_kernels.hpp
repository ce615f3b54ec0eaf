// src/maths/functions/err_kernels.hpp: erf and erfc as one formula over the number type (double or SIMD pack)
#pragma once

#include <cstddef>

#include "core/lanes.hpp"

namespace vantorel::err_kernels {

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

inline constexpr double small_p[] = {0.0033791670955125737, -0.0007369565304816795, -0.3747323373929196,
                              0.08174424487335873,   -0.04210893199365486,   0.007016570951209575,
                              -0.004950912559824351, 0.0008716465990379225};
inline constexpr double small_q[] = {1.0,                   -0.21808821808792464, 0.4125429727254421,
                              -0.08418911478731067,  0.06553388564002416,  -0.012001960445494177,
                              0.00408165558926174,   -0.0006159007215577697};

inline constexpr double e0_p[] = {-0.03617903907182625, 0.2922518834448827,   0.2814470417976045,
                           0.12561020886276694,  0.027413502826893053, 0.0025083967216806575};
inline constexpr double e0_q[] = {1.0,                 1.8545005897903486,  1.4357580303783142,
                           0.5828276587530365,  0.12481047693294975, 0.011372417654635328};
inline constexpr double e1_p[] = {-0.03978768926111369, 0.1531652124678783,    0.19126029560093624,
                           0.10276327061989304,  0.029637090615738836,  0.004609348678027549,
                           0.0003076078203486802};
inline constexpr double e1_q[] = {1.0,                 1.955200729876277,    1.6476231719938486,
                           0.7682386070221262,  0.20979318593650978,  0.031956931689991336,
                           0.0021336316089578537};
inline constexpr double e2_p[] = {-0.030083856055794972, 0.05385788298444545,  0.07262115416519142,
                           0.036762846988804936,  0.009646290155725275, 0.0013345348007529107,
                           7.780875997825043e-05};
inline constexpr double e2_q[] = {1.0,                 1.7596709814716753,    1.3288357143796112,
                           0.5525285965087576,  0.13379305694133287,   0.017950964517628076,
                           0.0010471244001993736, -1.0664038182035734e-08};
inline constexpr double e3_p[] = {-0.011790757013722784, 0.01426213209053881,     0.020223443590296084,
                           0.009306682999904321,  0.00213357802422066,     0.00025022987386460105,
                           1.2053491221958819e-05};
inline constexpr double e3_q[] = {1.0,                 1.5037622520362048,  0.9653977862044629,
                           0.3392652304767967,  0.06897406495415698, 0.007710602624917683,
                           0.0003714211015310693};
inline constexpr double e4_p[] = {-0.005469547955387293, 0.004041902787317071,  0.005496336955316117,
                           0.002126164726039454,  0.0003949840144950839, 3.655654770644424e-05,
                           1.3548589710993232e-06};
inline constexpr double e4_q[] = {1.0,                   1.2101969777363077,     0.6209146682211439,
                           0.17303843066114277,   0.027655081377343203,   0.0024062597442430973,
                           8.918118172513365e-05, -4.655288362833827e-12};
inline constexpr double e5_p[] = {-0.0027072253590577837, 0.00131875634250294,    0.0011992593326100233,
                           0.00027849619811344664, 2.6782298821833186e-05, 9.230436723150282e-07};
inline constexpr double e5_q[] = {1.0,                  0.8146328085431416,     0.26890166585629954,
                           0.044987721610304114, 0.0038175966332024847,  0.00013157189788859692,
                           4.048153596757641e-12};
inline constexpr double e6_p[] = {-0.001099467206917422, 0.00040642544275042267, 0.0002744994894169007,
                           4.652937706466594e-05, 3.2095542539576746e-06, 7.782860181450209e-08};
inline constexpr double e6_q[] = {1.0,                  0.5881737106118461,    0.13936333128940975,
                           0.016632934041708368, 0.0010002392131023491, 2.4254837521587224e-05};
inline constexpr double e7_p[] = {-0.0005690799360109496, 0.00016949854037376225, 5.184723545811009e-05,
                           3.8281931223192885e-06, 8.249899312818944e-08};
inline constexpr double e7_q[] = {1.0,                  0.33963725005113937,   0.04347264787031066,
                           0.002485493352246371, 5.356333053371529e-05, -1.1749094440545958e-13};
inline constexpr double e8_p[] = {-0.00024131359948399134, 5.742249752025015e-05, 1.1599896292738377e-05,
                           5.817621344025938e-07,   8.539715550856736e-09};
inline constexpr double e8_q[] = {1.0, 0.23304413829968784, 0.02041869405464403, 0.0007971856475643983,
                           1.1701928167017232e-05};
inline constexpr double e9_p[] = {-0.00014667469927776036, 1.6266655211228053e-05, 2.6911624850916523e-06,
                           9.79584479468092e-08,    1.0199464762572346e-09};
inline constexpr double e9_q[] = {1.0, 0.16590781294484722, 0.010336171619150588, 0.0002865930263738684,
                           2.9840157084090034e-06};
inline constexpr double e10_p[] = {-5.839057976297718e-05, 4.125103251054962e-06, 4.3179092242025094e-07,
                            9.933651555900132e-09,  6.534805100201047e-11};
inline constexpr double e10_q[] = {1.0, 0.10507708607203992, 0.004142784286754756, 7.263387546445238e-05,
                            4.778184710473988e-07};
inline constexpr double e11_p[] = {-1.9645779760922958e-05, 1.572438876668007e-06, 5.439025111927009e-08,
                            3.174724923691177e-10};
inline constexpr double e11_q[] = {1.0, 0.05280398924095763, 0.0009268760691517533, 5.410117232266303e-06,
                            5.350938458036424e-16};
inline constexpr double e12_p[] = {-7.892247039787227e-06, 6.22088451660987e-07, 1.457284456768824e-08,
                            6.037155055427153e-11};
inline constexpr double e12_q[] = {1.0, 0.03753288463562937, 0.0004679195359746253, 1.9384703927584565e-06};

// ---- inverses ----------------------------------------------------------------
//
// erf_inv(p) with q = 1 - p:
//   p <= 0.5:           p*(p + 10) * (Y + P(p)/Q(p));
//   q >= 0.25:          sqrt(-2 ln q) / (Y + P(q - 0.25)/Q(q - 0.25));
//   q < 0.25:           w * (Y + P(w - shift)/Q(w - shift)), w = sqrt(-ln q),
//                       on the intervals of w split at 3, 6, 18 and 44.
// The Y constants are exact binary fractions (747689*2^-23, 73711*2^-15, ...).

inline constexpr double i0_p[] = {-0.0005087819496582806, -0.008368748197417368, 0.03348066254097446,
                           -0.012692614766297404,  -0.03656379714117627,  0.02198786811111689,
                           0.008226878746769157,   -0.005387729650712429};
inline constexpr double i0_q[] = {1.0,                 -0.9700050433032906,  -1.5657455823417585,
                           1.5622155839842302,  0.662328840472003,    -0.7122890234154284,
                           -0.05273963823400997, 0.07952836873415717, -0.0023339375937419,
                           0.0008862163904564247};
inline constexpr double i1_p[] = {-0.20243350835593876, 0.10526468069939171, 8.3705032834312,
                           17.644729840837403,   -18.851064805871424, -44.6382324441787,
                           17.445385985570866,   21.12946554483405,   -3.6719225470772936};
inline constexpr double i1_q[] = {1.0,                6.242641248542475,  3.971343795334387,
                           -28.66081804998,    -20.14326346804852, 48.560921310873994,
                           10.826866735546016, -22.643693341313973, 1.7211476576120028};
inline constexpr double i2_p[] = {-0.1311027816799519,  -0.16379404719331705,   0.11703015634199525,
                           0.38707973897260434,  0.3377855389120359,     0.14286953440815717,
                           0.029015791000532906, 0.0021455899538880526,  -6.794655751811263e-07,
                           2.8522533178221704e-08, -6.81149956853777e-10};
inline constexpr double i2_q[] = {1.0,               3.4662540724256723, 5.381683457070069,
                           4.778465929458438, 2.5930192162362027, 0.848854343457902,
                           0.15226433829533179, 0.011059242293464892};
inline constexpr double i3_p[] = {-0.0350353787183178,    -0.0022242652921344794, 0.018557330651423107,
                           0.009508047013259196,   0.0018712349281955923,  0.00015754461742496055,
                           4.60469890584318e-06,   -2.304047769118826e-10, 2.6633922742578204e-12};
inline constexpr double i3_q[] = {1.0,                 1.3653349817554064, 0.7620591645536234,
                           0.22009110576413124, 0.03415891436709477, 0.00263861676657016,
                           7.646752923027944e-05};
inline constexpr double i4_p[] = {-0.016743100507663373, -0.0011295143874558028, 0.001056288621524929,
                           0.00020938631748758808, 1.4962478375834237e-05, 4.4969678992770644e-07,
                           4.625961635228786e-09,  -2.811287356288318e-14, 9.905570997331033e-17};
inline constexpr double i4_q[] = {1.0,                  0.5914293448864175,     0.1381518657490833,
                           0.016074608709367652, 0.0009640118070051656,  2.7533547476472603e-05,
                           2.82243172016108e-07};
inline constexpr double i5_p[] = {-0.002497821279189813, -7.79190719229054e-06,  2.5472303741302746e-05,
                           1.6239777734251093e-06, 3.963410113048012e-08,  4.116328311909442e-10,
                           1.4559628671867504e-12, -1.1676501239718427e-18};
inline constexpr double i5_q[] = {1.0,                    0.2071231122144225,     0.01694108381209759,
                           0.0006905382656226846,  1.4500735981823264e-05, 1.4443775662814415e-07,
                           5.097612765997785e-10};
inline constexpr double i6_p[] = {-0.0005390429110190785, -2.8398759004727723e-07, 8.994651148922914e-07,
                           2.2934585926592085e-08, 2.2556144486350015e-10,  9.478466275030226e-13,
                           1.3588013010892486e-15, -3.4889039339994887e-22};
inline constexpr double i6_q[] = {1.0,                   0.08457462340018994,    0.002820929847262647,
                           4.682929219408942e-05, 3.999688121938621e-07,  1.6180929088790448e-09,
                           2.315586083102596e-12};

// The 13 intervals of [0.5, 110) as columns of one table, so that each lane
// gathers its interval's constants: shift (the left end), y, and P, Q padded
// at the top with zero coefficients. Horner's rule over a padded polynomial
// gives the same bits as over the original: its first steps are 0*t + c = c.
// Columns have room for 16 rows, the width of two AVX-512 registers.
inline constexpr std::size_t erfc_rows = 13, erfc_terms = 8, erfc_room = 16;
struct ErfcTable {
    double shift[erfc_room];
    double y[erfc_room];
    double p[erfc_terms][erfc_room];
    double q[erfc_terms][erfc_room];
};

template <std::size_t NP, std::size_t NQ>
constexpr void put_row(ErfcTable& t, std::size_t row, double shift, double y, const double (&p)[NP],
                       const double (&q)[NQ]) {
    static_assert(NP <= erfc_terms && NQ <= erfc_terms);
    t.shift[row] = shift;
    t.y[row] = y;
    for (std::size_t k = 0; k < erfc_terms; ++k) {
        t.p[k][row] = k < NP ? p[k] : 0.0;
        t.q[k][row] = k < NQ ? q[k] : 0.0;
    }
}

inline constexpr ErfcTable erfc_table = [] {
    ErfcTable t{};
    put_row(t, 0, 0.5, 0.3440242112, e0_p, e0_q);
    put_row(t, 1, 0.75, 0.419990927, e1_p, e1_q);
    put_row(t, 2, 1.25, 0.4898625016, e2_p, e2_q);
    put_row(t, 3, 2.25, 0.5317370892, e3_p, e3_q);
    put_row(t, 4, 3.5, 0.5489973426, e4_p, e4_q);
    put_row(t, 5, 5.25, 0.5571740866, e5_p, e5_q);
    put_row(t, 6, 8.0, 0.5609807968, e6_p, e6_q);
    put_row(t, 7, 11.5, 0.5626493692, e7_p, e7_q);
    put_row(t, 8, 17.0, 0.5634598136, e8_p, e8_q);
    put_row(t, 9, 24.0, 0.5638477802, e9_p, e9_q);
    put_row(t, 10, 38.0, 0.5640528202, e10_p, e10_q);
    put_row(t, 11, 60.0, 0.5641309023, e11_p, e11_q);
    put_row(t, 12, 85.0, 0.5641584396, e12_p, e12_q);
    return t;
}();

// The tail intervals of w as columns, as for erfc: [shift, next shift) from
// 1.125 (w < 3), then 3, 6, 18, 44; P padded to 11 coefficients, Q to 8.
inline constexpr std::size_t inv_rows = 5, inv_p_terms = 11, inv_q_terms = 8;
struct InvTable {
    double shift[erfc_room];
    double y[erfc_room];
    double p[inv_p_terms][erfc_room];
    double q[inv_q_terms][erfc_room];
};
template <std::size_t NP, std::size_t NQ>
constexpr void put_row(InvTable& t, std::size_t row, double shift, double y, const double (&p)[NP],
                       const double (&q)[NQ]) {
    static_assert(NP <= inv_p_terms && NQ <= inv_q_terms);
    t.shift[row] = shift;
    t.y[row] = y;
    for (std::size_t k = 0; k < inv_p_terms; ++k) t.p[k][row] = k < NP ? p[k] : 0.0;
    for (std::size_t k = 0; k < inv_q_terms; ++k) t.q[k][row] = k < NQ ? q[k] : 0.0;
}
inline constexpr InvTable inv_table = [] {
    InvTable t{};
    put_row(t, 0, 1.125, 0.807220458984375, i2_p, i2_q);
    put_row(t, 1, 3.0, 0.9399557113647461, i3_p, i3_q);
    put_row(t, 2, 6.0, 0.9836282730102539, i4_p, i4_q);
    put_row(t, 3, 18.0, 0.9971456527709961, i5_p, i5_q);
    put_row(t, 4, 44.0, 0.9994134902954102, i6_p, i6_q);
    return t;
}();
inline constexpr double inv_tail_ends[] = {3.0, 6.0, 18.0, 44.0};

// Horner's rule from the highest coefficient down, c holding c0, c1, ... in
// ascending powers. With -ffp-contract=off no step is fused.
template <std::size_t N, class T>
inline T poly(const double (&c)[N], T t) noexcept {
    T r = lanes::splat<T>(c[N - 1]);
    for (std::size_t i = N - 1; i-- > 0;) r = r * t + c[i];
    return r;
}

// The same over the coefficients of each lane's interval.
template <std::size_t K, std::size_t R, class I, class T>
inline T poly_rows(const double (&c)[K][R], I row, T t) noexcept {
    T r = lanes::gather(c[K - 1], row);
    for (std::size_t k = K - 1; k-- > 0;) r = r * t + lanes::gather(c[k], row);
    return r;
}

// erf(z) below 0.5, erfc(z) from 0.5 up, for z >= 0 or NaN.
template <class T>
T erf_or_erfc(T z) noexcept {
    using lanes::mask_and, lanes::mask_not, lanes::select, lanes::set, lanes::when;
    T r = lanes::splat<T>(0.0);  // from 110 up erfc underflows to 0
    const auto small = z < 0.5;
    when(small, [&] {
        const T tiny = z * 0.0033791670955125737 + z * 1.125;
        const T rational = z * poly(small_p, z) / poly(small_q, z) + z * 1.125;
        set(small, r, select(z < 1e-10, tiny, rational));
    });
    // The last interval whose left end is <= z; a NaN stays in the first.
    const auto mid = mask_and(mask_not(small), mask_not(z >= 110));
    when(mid, [&] {
        auto row = lanes::count(z >= erfc_table.shift[1]);
        for (std::size_t i = 2; i < erfc_rows; ++i) row += lanes::count(z >= erfc_table.shift[i]);
        const T t = z - lanes::gather(erfc_table.shift, row);
        const T big_r = poly_rows(erfc_table.p, row, t) / poly_rows(erfc_table.q, row, t);
        const T g = lanes::exp_where(mid, -z * z) / z;
        set(mid, r, g * big_r + g * lanes::gather(erfc_table.y, row));
    });
    return r;
}

// erf(z), or erfc(z) when complement is true, for a z that is neither NaN nor
// infinite. Negative arguments by symmetry: -erf(-z), 2 - erfc(-z) below
// -0.5, else 1 + erf(-z).
template <class T>
T erf_impl(T z, bool complement) noexcept {
    using lanes::select;
    const auto neg = z < 0.0;
    const T a = select(neg, -z, z);
    const T r = erf_or_erfc(a);
    const auto small = a < 0.5;
    const T e = select(small, r, 1.0 - r);  // erf(a)
    if (!complement) return select(neg, -e, e);
    const T c = select(small, 1.0 - r, r);  // erfc(a)
    return select(neg, select(z < -0.5, 2.0 - c, 1.0 + e), c);
}

// The error function and its complement of any double: NaN flows through,
// erf(+-inf) is +-1, erf(+-0) is +0, erfc(+inf) is 0 and erfc(-inf) is 2.
template <class T>
T erf(T x) noexcept {
    using lanes::select;
    constexpr double inf = __builtin_inf();
    const T r = select(x == 0.0, 0.0, erf_impl(x, false));
    return select(x != x, x, select(x == inf, 1.0, select(x == -inf, -1.0, r)));
}
template <class T>
T erfc(T x) noexcept {
    using lanes::select;
    constexpr double inf = __builtin_inf();
    return select(x != x, x, select(x == inf, 0.0, select(x == -inf, 2.0, erf_impl(x, true))));
}

// s*y with erf(y) = p, given q = 1 - p; 0 <= p < 1, 0 < q <= 1 and s = +1 or
// -1 (NaN flows through).
template <class T>
T erf_inv_impl(T p, T q, T s) noexcept {
    using lanes::mask_and, lanes::mask_not, lanes::set, lanes::when;
    T r = lanes::splat<T>(0.0);
    const auto small = p <= 0.5;
    when(small, [&] {
        const T g = p * (p + 10.0);
        set(small, r, g * (poly(i0_p, p) / poly(i0_q, p)) + g * 0.08913147449493408);
    });
    const auto large = mask_not(small);
    when(large, [&] {
        const T l = lanes::log(q);
        const auto mid = mask_and(large, q >= 0.25);
        when(mid, [&] {
            const T g = lanes::sqrt(-2.0 * l);
            const T t = q - 0.25;
            set(mid, r, g / (2.249481201171875 + poly(i1_p, t) / poly(i1_q, t)));
        });
        const auto tail = mask_and(large, mask_not(q >= 0.25));
        when(tail, [&] {
            // The first interval whose right end exceeds w; NaN lands in the last.
            const T w = lanes::sqrt(-l);
            auto row = lanes::count(mask_not(w < inv_tail_ends[0]));
            for (std::size_t i = 1; i < inv_rows - 1; ++i) row += lanes::count(mask_not(w < inv_tail_ends[i]));
            const T t = w - lanes::gather(inv_table.shift, row);
            const T ratio = poly_rows(inv_table.p, row, t) / poly_rows(inv_table.q, row, t);
            set(tail, r, w * ratio + w * lanes::gather(inv_table.y, row));
        });
    });
    return r * s;
}

// Inverses of any double: +inf from 1 (erf) or 0 (erfc) on, -inf from -1
// (erf) or 2 (erfc) on, erf_inv(+-0) = +0; NaN flows through.
template <class T>
T erf_inv(T x) noexcept {
    using lanes::select;
    constexpr double inf = __builtin_inf();
    const auto neg = x < 0.0;
    const T r = erf_inv_impl(select(neg, -x, x), select(neg, 1.0 + x, 1.0 - x), select(neg, -1.0, 1.0));
    return select(x == 0.0, 0.0, select(x >= 1.0, inf, select(x <= -1.0, -inf, r)));
}
template <class T>
T erfc_inv(T x) noexcept {
    using lanes::select;
    constexpr double inf = __builtin_inf();
    const auto above = x > 1.0;
    const T r = erf_inv_impl(select(above, x - 1.0, 1.0 - x), select(above, 2.0 - x, x), select(above, -1.0, 1.0));
    return select(x <= 0.0, inf, select(x >= 2.0, -inf, r));
}

}  // namespace vantorel::err_kernels
