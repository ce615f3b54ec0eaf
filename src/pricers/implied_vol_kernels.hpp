// src/pricers/implied_vol_kernels.hpp: the implied-volatility solve over the number type (double or SIMD pack)
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cmath>
#include <type_traits>

#include "core/lanes.hpp"
#include "maths/functions/exp_log_kernels.hpp"

// The method, its steps and error bounds are stated in implied_vol.cpp. Each
// step is written once here over the number type T: the scalar call
// (implied_vol.cpp) instantiates it with double, the array loops with a pack
// of lanes that run in lockstep, a lane that has its answer masked off while
// the others iterate. A branch on the inputs is a per-lane select, and a
// branch whose lanes do costly work (an erfcx, a libm call) is taken per pack
// with when(); exp and log are written over the number type too
// (exp_log_kernels.hpp), expm1 is glibc's, called lane by lane, so
// every lane gives the bits of the scalar call.
namespace vantorel::iv_kernels {

using lanes::any;
using lanes::mask_and;
using lanes::mask_not;
using lanes::mask_or;
using lanes::MaskOf;
using lanes::select;
using lanes::set;
using lanes::splat;
using lanes::Traits;
using lanes::when;

inline constexpr double nan = __builtin_nan("");
inline constexpr double inf = __builtin_inf();
inline constexpr double inv_sqrt_2pi = 0.3989422804014327;  // 1/sqrt(2 pi)
inline constexpr double sqrt_2_over_pi = 0.7978845608028654;
inline constexpr double sqrt_pi_over_2 = 1.2533141373155003;
inline constexpr double inv_sqrt_pi = 0.5641895835477563;
inline constexpr double inv_sqrt2 = 0.7071067811865476;

inline constexpr double series_t = 0.2;       // below it (and |x|/2 below series_half_x)
inline constexpr double series_half_x = 1.0;  // b comes from the series in t
inline constexpr double tolerance = 1e-4;    // relative size of the last Householder step
inline constexpr int max_iterations = 60;

// erfcx on [0, inf): polynomials fitted by scripts/fit_erfcx.py (Chebyshev,
// 50 digits), in the distance from the middle of each interval:
//   [k/4, (k+1)/4), k = 0..31: 13 coefficients each, within 2e-19 relative;
//   [8, inf): sqrt(pi)*y*erfcx(y) in u = 1/y^2 on [0, 1/64] (middle 1/128),
//             10 coefficients, within 5e-19 relative.
// Evaluated in double the result is within about two units in the last place.
inline constexpr double erfcx_pieces[][13] = {
    {0.8732218450821508, -0.9100737058249748, 0.759462631854029, -0.5434272512288376, 0.3457671127252221, -0.20008254484327542, 0.1069189315350891, -0.053347910747932686, 0.025062611709523383, -0.011158626701468466, 0.004733447842483794, -0.0019356473822429144, 0.0007540948494775165},
    {0.6858572331012929, -0.6139862422695429, 0.45561239225021427, -0.2954210634504818, 0.1724147467281454, -0.09230621336750003, 0.045933305570143745, -0.021451778984211422, 0.00947222244753548, -0.003977628865180708, 0.00159608813514055, -0.0006185420156587484, 0.00022905448458625585},
    {0.5568138808733625, -0.43236181600380946, 0.2865877458709816, -0.1688296498896327, 0.09053460734498192, -0.04489820811854473, 0.020824409089725073, -0.009109415215390305, 0.003782756258424993, -0.0014989067951486311, 0.0005691765826741029, -0.00020912350071074624, 7.363214257331038e-05},
    {0.464311583202669, -0.3158338964908418, 0.1879569237731824, -0.10091439212620548, 0.04982841533137681, -0.022925811484156768, 0.009922776760704834, -0.0040695377378321225, 0.0015904828502581662, -0.0005950731226669547, 0.00021395483349863278, -7.456866102720806e-05, 2.497428235728618e-05},
    {0.3956980795529959, -0.2380584881012718, 0.12788228043906513, -0.06279394840488257, 0.028619544241786313, -0.012238784453032324, 0.00495030391062935, -0.0019056264695248481, 0.0007016185480284176, -0.00024806517590081605, 8.450760676854731e-05, -2.795719976635647e-05, 8.911018197121129e-06},
    {0.3432958898621254, -0.18431546997466777, 0.08986211864695719, -0.04050337122340118, 0.017084991607390358, -0.006804603105254051, 0.0025762207791909016, -0.0009320855902612192, 0.0003236507789235028, -0.00010823586083519329, 3.496474482374798e-05, -1.098807548497499e-05, 3.335187449560455e-06},
    {0.30226120936348594, -0.14603023666418335, 0.06496207478418799, -0.02697791009325194, 0.010561485441326825, -0.003926198500422747, 0.0013938042927005585, -0.0004746475819316404, 0.00015562549534526093, -4.9278779864759255e-05, 1.5109276732553369e-05, -4.514364028833331e-06, 1.3057676665450787e-06},
    {0.2694299851646704, -0.11801672272799837, 0.04814863004967349, -0.01849202758990707, 0.006738039159298881, -0.0023432816664825835, 0.0007814620115426119, -0.0002508686855750777, 7.777080749883476e-05, -2.3343951257309468e-05, 6.8000889612901964e-06, -1.9334345754266977e-06, 5.333442670538872e-07},
    {0.24267036461265454, -0.09703011749173075, 0.0364813649427267, -0.013004811325624345, 0.00442307043788749, -0.0014423146580429004, 0.0004527172631797362, -0.00013722585019556091, 4.027808330310593e-05, -1.1474369509694925e-05, 3.1789704768334423e-06, -8.60973143103244e-07, 2.2669477497353674e-07},
    {0.22050569220490668, -0.08097712912220592, 0.028185010539667613, -0.009358486060330228, 0.0029793030731916637, -0.0009130565045989669, 0.00027026462492196177, -7.74794346316363e-05, 2.1562742109066935e-05, -5.837291601586933e-06, 1.5398174251029425e-06, -3.9765523934743816e-07, 1.0002736415628084e-07},
    {0.201887554546017, -0.06846950572892327, 0.022155102007593415, -0.00687490863932704, 0.0020542334146799695, -0.0005930183703163913, 0.00016585339753264242, -4.504377204111378e-05, 1.1903374070072646e-05, -3.066081557659455e-06, 7.709739165843627e-07, -1.9005181976253436e-07, 4.5713797574382465e-08},
    {0.1860549346844711, -0.05856329265980373, 0.01768546828753539, -0.005145047555426323, 0.0014467282828423563, -0.0003942814969016125, 0.00010438965974982962, -2.690320722274112e-05, 6.760734788759569e-06, -1.6591273185977365e-06, 3.981448957189344e-07, -9.3786036968736e-08, 2.159192706377783e-08},
    {0.1724443521021736, -0.05060196645692752, 0.014313206924275092, -0.003915463212378573, 0.0010386921927960265, -0.00026782004395629953, 6.725151847740898e-05, -1.6474013939592873e-05, 3.942556250111947e-06, -9.230034409904174e-07, 2.1163220542314262e-07, -4.768899282448834e-08, 1.051893570881236e-08},
    {0.1606310681265444, -0.044119457241337846, 0.011727899937029176, -0.0030251966359095845, 0.0007589306454171639, -0.000185522283050616, 4.426431337371653e-05, -1.0322921557154124e-05, 2.356113290277071e-06, -5.268965119915123e-07, 1.1556655511384625e-07, -2.493926126417226e-08, 5.275506170316265e-09},
    {0.15028972247426936, -0.03877867915705971, 0.009717010529927907, -0.002369677324047367, 0.0005634651151281015, -0.0001308465126831764, 2.9715502217163306e-05, -6.607947761042391e-06, 1.4404229014202357e-06, -3.080916260858646e-07, 6.471765449034604e-08, -1.3389445030460211e-08, 2.71892536935332e-09},
    {0.1411674197630518, -0.034331663931861184, 0.0081322220270897, -0.001879535717925734, 0.00042451056006373997, -9.38229190714849e-05, 2.0315582887227988e-05, -4.314295826420686e-06, 8.99421642938506e-07, -1.8423016139041112e-07, 3.710568911889599e-08, -7.367786439380672e-09, 1.4376435628898673e-09},
    {0.13306497124120825, -0.03059315435554446, 0.006868209524587355, -0.0015078600444144155, 0.00032414342068894564, -6.830737362899972e-05, 1.4125168156431075e-05, -2.868872853832062e-06, 5.727669102199849e-07, -1.1249082352444104e-07, 2.1748308618121168e-08, -4.14896523718317e-09, 7.786720498564306e-10},
    {0.12582358819498807, -0.02742277038936697, 0.005848967741507582, -0.0012223576801808648, 0.00025057644535814914, -5.043429269558168e-05, 9.975471604987772e-06, -1.940458407504053e-06, 3.7149151894772404e-07, -7.004059304224429e-08, 1.3012704678324735e-08, -2.3875456272051654e-09, 4.3140193681312336e-10},
    {0.11931528862713332, -0.02471274729452929, 0.005018832389935356, -0.0010004316607188461, 0.00019591797955534638, -3.7724402110145874e-05, 7.1475399319708606e-06, -1.333437121756372e-06, 2.450983114796789e-07, -4.4412720828815246e-08, 7.937849930665273e-09, -1.4021626067758548e-09, 2.441472574559815e-10},
    {0.1134358772147405, -0.022379364251792787, 0.004336476487250648, -0.0008260275842972519, 0.0001547960069007728, -2.8558820262392806e-05, 5.190586040534183e-06, -9.299180901572354e-07, 1.6430883805531616e-07, -2.864720003963576e-08, 4.930721133456387e-09, -8.393584522953145e-10, 1.4096869113929657e-10},
    {0.10809973724654746, -0.020356860318401043, 0.0037708281147421233, -0.0006875774868984406, 0.0001234967471938077, -2.1862663012069845e-05, 3.8168664189822e-06, -6.57492175776861e-07, 1.1180475470953836e-07, -1.8776166336514962e-08, 3.115364831097163e-09, -5.115704153032591e-10, 8.29452192642872e-11},
    {0.10323591747815693, -0.0185930542053256, 0.0032982511245318153, -0.0005766362739780628, 9.94155759498637e-05, -1.6911021299017893e-05, 2.8396121558802032e-06, -4.708874175464339e-07, 7.714807174927043e-08, -1.2492555002075333e-08, 2.0001083368761074e-09, -3.1711353753040984e-10, 4.968097980947239e-11},
    {0.09878515717340754, -0.01704614889467775, 0.0029005696408452076, -0.00048696310994896994, 8.070107369112591e-05, -1.320782817455447e-05, 2.135680069751952e-06, -3.413222235278593e-07, 5.3935640667574186e-08, -8.429827668204527e-09, 1.3035662717942507e-09, -1.997337461591374e-10, 3.026106257278906e-11},
    {0.09469759959536303, -0.015682371849997035, 0.0025636649766304447, -0.00041389340819544796, 6.602060174109399e-05, -1.04089491866082e-05, 1.622675089923363e-06, -2.502094381134274e-07, 3.817366029254434e-08, -5.764260388854902e-09, 8.617225422762038e-10, -1.277091756441951e-10, 1.8727036730064265e-11},
    {0.09093101671883685, -0.01447421228976114, 0.0022764664440498702, -0.00035390354663712383, 5.440361044874321e-05, -8.27257305542861e-06, 1.2447001614141728e-06, -1.8536701909163235e-07, 2.7331792395215488e-08, -3.991062950479219e-09, 5.773041228316893e-10, -8.28250712984314e-11, 1.1764370948572136e-11},
    {0.0874494177846225, -0.013399090341575739, 0.0020302168570771567, -0.0003043052518059114, 4.513543840723568e-05, -6.626732783913538e-06, 9.633389699288588e-07, -1.386991001858222e-07, 1.978305157751876e-08, -2.7960315133570457e-09, 3.916687040378626e-10, -5.4441718092553566e-11, 7.49606143287414e-12},
    {0.08422194904914018, -0.012438342194405214, 0.001817932011205636, -0.0002630284134452501, 3.768438606542704e-05, -5.3477423047183735e-06, 7.518644322225398e-07, -1.0475441178997956e-07, 1.446661353914616e-08, -1.980687606536676e-09, 2.6891070236254443e-10, -3.6242438421117095e-11, 4.84101588818663e-12},
    {0.081222016591888, -0.011576438957052513, 0.0016339987621519715, -0.00022846497817180668, 3.165101861040027e-05, -4.345690090121924e-06, 5.914664136039727e-07, -7.981671331653577e-08, 1.0681627395194826e-08, -1.417894034534532e-09, 1.8672057410224672e-10, -2.4418896093998964e-11, 3.166469316135648e-12},
    {0.07842658154261602, -0.010800380113234368, 0.0014738732358211464, -0.00019935553867246594, 2.6732511389913256e-05, -3.5545580077335924e-06, 4.6876186160377514e-07, -6.132278394720831e-08, 7.959256499624972e-09, -1.0251289370935712e-09, 1.3104216164781505e-10, -1.6641232918605642e-11, 2.0963631123635987e-12},
    {0.07581558972469768, -0.01009921865622184, 0.0013338521350615962, -0.00017470610676171324, 2.269729884698046e-05, -2.9254111060929337e-06, 3.7413064651500666e-07, -4.748502515723364e-08, 5.982146498221768e-09, -7.481542156838943e-10, 9.290156120886906e-11, -1.146416428299386e-11, 1.403932493698152e-12},
    {0.07337150692917299, -0.009463686425624349, 0.0012108979337873366, -0.00015372645366393863, 1.93668622999022e-05, -2.42165145087374e-06, 3.0058999566329906e-07, -3.704363826992743e-08, 4.533063465892895e-09, -5.508952978435831e-10, 6.649718066597596e-11, -7.979222194088544e-12, 9.505347750453908e-13},
    {0.07107893782589438, -0.008885896337676107, 0.0011025041666950371, -0.00013578401663512612, 1.6602517846709488e-05, -2.0156754369155544e-06, 2.4302459366649026e-07, -2.9101931941252233e-08, 3.4617199087339882e-09, -4.090860723240104e-10, 4.803329225036075e-11, -5.608150769038287e-12, 6.502818379503479e-13},
};
inline constexpr double erfcx_tail[][10] = {
    {0.9961386559204192, -0.48861257905389016, 0.7083256080534589, -1.6865232549072482, 5.541862714270941, -23.08698852846783, 115.94339870895281, -678.9250327872544, 4569.859256348647, -34154.04960983122},
};


// The pieces' coefficients by power: erfcx_columns.c[i][k] = erfcx_pieces[k][i].
inline constexpr auto erfcx_columns = [] {
    struct Columns {
        alignas(64) double c[13][32];
    } r{};
    for (std::size_t k = 0; k < 32; ++k)
        for (std::size_t i = 0; i < 13; ++i) r.c[i][k] = erfcx_pieces[k][i];
    return r;
}();

// ---- lane helpers ------------------------------------------------------------------

template <class T>
inline constexpr bool is_scalar = Traits<T>::width == 1;

// f(lanes...) per lane: a libm call (fma, exact in every lane whether the
// target has the instruction or not).
template <class T, class F, class... A>
T per_lane(F f, T a, A... b) noexcept {
    if constexpr (is_scalar<T>) {
        return f(a, b...);
    } else {
        T r;
        for (int i = 0; i < Traits<T>::width; ++i) r[i] = f(a[i], b[i]...);
        return r;
    }
}

// f per lane on the lanes of m; the others keep a. A lane whose result is not
// kept costs no call.
template <class T, class F, class... A>
T per_lane_if(MaskOf<T> m, F f, T a, A... b) noexcept {
    if constexpr (is_scalar<T>) {
        return m ? f(a, b...) : a;
    } else {
        T r = a;
        for (int i = 0; i < Traits<T>::width; ++i)
            if (m[i] != 0) r[i] = f(a[i], b[i]...);
        return r;
    }
}

// exp and log (maths/functions/exp_log_kernels.hpp) on the lanes of m: for a
// double only where m holds, for a pack on every lane at once if m holds in
// any (x where it holds in none).
template <class T>
T exp_if(MaskOf<T> m, T x) noexcept {
    return any(m) ? math_kernels::exp(x) : x;
}
template <class T>
T log_if(MaskOf<T> m, T x) noexcept {
    return any(m) ? math_kernels::log(x) : x;
}
// a*b + c rounded once (for the double-double products of exponent_error).
template <class T>
T fma(T a, T b, T c) noexcept {
    return per_lane<T>([](double p, double q, double r) noexcept { return std::fma(p, q, r); }, a, b, c);
}

template <class T>
T fabs(T x) noexcept {
    if constexpr (is_scalar<T>) {
        return std::fabs(x);
    } else {
        using M = MaskOf<T>;
        return std::bit_cast<T>(std::bit_cast<M>(x) & ~std::bit_cast<M>(splat<T>(-0.0)));
    }
}

// std::max(a, b): b where a < b, else a.
template <class T>
T max(T a, T b) noexcept {
    return select(a < b, b, a);
}

template <class T>
auto is_finite(T v) noexcept {
    return fabs(v) <= __DBL_MAX__;
}
template <class T>
auto is_normal(T v) noexcept {
    const T a = fabs(v);
    return mask_and(a >= __DBL_MIN__, a <= __DBL_MAX__);
}

template <class T>
MaskOf<T> none() noexcept {
    if constexpr (is_scalar<T>) return false;
    else return MaskOf<T>{} != MaskOf<T>{};
}

// ---- erfcx on [0, inf) ---------------------------------------------------------------

// Estrin's scheme for N (9 to 16) coefficients: neighbouring coefficients
// paired with u, then pairs of those with u^2, and so on; at(i) gives
// ascending powers. A coefficient past the last has no term (a pair, or a
// pair of pairs, is then its first part alone). The fixed grouping gives the
// same bits everywhere, and the chain of dependent operations is about
// log2(N) multiply-adds long instead of Horner's N.
template <std::size_t N, class T, class At>
T poly(At at, T u) noexcept {
    static_assert(N > 8 && N <= 16);
    const T u2 = u * u;
    const T u4 = u2 * u2;
    const T u8 = u4 * u4;
    const auto alone = [&](std::size_t i) -> T {
        if constexpr (std::is_same_v<decltype(at(i)), T>) return at(i);
        else return splat<T>(at(i));
    };
    const auto pair = [&](std::size_t i) -> T { return i + 1 < N ? at(i) + at(i + 1) * u : alone(i); };
    const auto quad = [&](std::size_t i) { return i + 2 < N ? pair(i) + pair(i + 2) * u2 : pair(i); };
    const T q2 = quad(8);
    return (quad(0) + quad(4) * u4) + (12 < N ? q2 + quad(12) * u4 : q2) * u8;
}

// erfcx(y) for y >= 0 (any value on other lanes): the coefficients of each
// lane's interval gathered.
template <class T>
T erfcx_nonneg(T y) noexcept {
    constexpr std::size_t n = 13;
    const auto near = y < 8.0;
    T r = splat<T>(0.0);
    when(near, [&] {
        if constexpr (is_scalar<T>) {
            const int k = static_cast<int>(y * 4.0);
            const auto at = [k](std::size_t i) noexcept { return erfcx_pieces[k][i]; };
            r = poly<n>(at, y - (0.25 * k + 0.125));
        } else {
            using I = MaskOf<T>;
            // Lanes outside [0, 8) read the first interval. The interval
            // k = floor(4 y) in [0, 31] from exact operations: 4 y rounded to
            // an integer by adding 2^52 (whose low bits then hold it), less
            // one where that rounded up.
            const T yc = select(mask_and(near, y >= 0.0), y, 0.0);
            const T y4 = yc * 4.0;
            const T big = y4 + 0x1p52;
            const T up = select(big - 0x1p52 > y4, 1.0, 0.0);
            const T big_k = big - up;
            const T k = big_k - 0x1p52;
            const T u = yc - (0.25 * k + 0.125);
            const I ki = std::bit_cast<I>(big_k) - std::bit_cast<I>(splat<T>(0x1p52));
#if defined(__AVX512F__)
            if constexpr (std::is_same_v<T, lanes::Pack8>) {
                // A column of 32 coefficients sits in four registers: two
                // permutations by the low four bits of k, a blend by the fifth.
                const auto idx = std::bit_cast<__m512i>(ki);
                const __mmask8 high = _mm512_test_epi64_mask(idx, _mm512_set1_epi64(16));
                const auto at = [&](std::size_t i) noexcept {
                    const double* c = erfcx_columns.c[i];
                    const __m512d lo = _mm512_permutex2var_pd(_mm512_load_pd(c), idx, _mm512_load_pd(c + 8));
                    const __m512d hi = _mm512_permutex2var_pd(_mm512_load_pd(c + 16), idx, _mm512_load_pd(c + 24));
                    return std::bit_cast<T>(_mm512_mask_blend_pd(high, lo, hi));
                };
                set(near, r, poly<n>(at, u));
                return;
            }
#endif
            const I base = ki * static_cast<std::int64_t>(n);
            const auto at = [&](std::size_t i) noexcept { return lanes::gather_at(&erfcx_pieces[0][0] + i, base); };
            set(near, r, poly<n>(at, u));
        }
    });
    const auto far = mask_not(near);
    when(far, [&] {
        const auto at = [](std::size_t i) noexcept { return erfcx_tail[0][i]; };
        set(far, r, poly<10>(at, 1.0 / (y * y) - 0.0078125) * (inv_sqrt_pi / y));
    });
    return r;
}

// ---- the normalised Black value (step 2 of the method) ------------------------------

// A positive value e^e * m.
template <class T>
struct Scaled {
    T e;
    T m;
};

// 1/(k+1) for the series.
inline constexpr auto reciprocals = [] {
    struct R {
        double r[64];
    } r{};
    for (std::size_t k = 0; k < 64; ++k) r.r[k] = 1.0 / static_cast<double>(k + 1);
    return r;
}();

// Series in t of b, on the lanes of m.
template <class T>
Scaled<T> black_series(T h, T t, MaskOf<T> m) noexcept {
    const T y = sqrt_pi_over_2 * erfcx_nonneg(-h * inv_sqrt2);  // Y(h), h <= 0
    // u_k = Y^(k)(h) t^k/k! from u_(k+1) = (h t u_k + t^2 u_(k-1))/(k+1).
    const T ht = h * t;
    const T tt = t * t;
    T u_prev = y;
    T u = (1.0 + h * y) * t;
    T sum = u;
    auto going = m;
    for (std::size_t k = 1; k + 1 < 64; k += 2) {
        const T even = (ht * u + tt * u_prev) * reciprocals.r[k];
        const T odd = (ht * even + tt * u) * reciprocals.r[k + 1];
        u_prev = even;
        u = odd;
        set(going, sum, sum + odd);
        going = mask_and(going, mask_not(mask_and(fabs(odd) <= 1e-17 * sum, fabs(even) <= 1e-17 * sum)));
        if (!any(going)) break;
    }
    return {-0.5 * (h * h + t * t), sqrt_2_over_pi * sum};
}

// What b and its complement share away from the series: E = -(h^2 + t^2)/2,
// a1 = -(h+t)/sqrt 2, erfcx(|a1|) and erfcx(a2), a2 = (t-h)/sqrt 2 > 0.
template <class T>
struct Tails {
    T e, a1, c1, c2;
};
template <class T>
Tails<T> tails(T h, T t) noexcept {
    const T a1 = -(h + t) * inv_sqrt2;
    const T a2 = (t - h) * inv_sqrt2;
    // erfcx(a1), or erfcx(-a1) where a1 < 0.
    return {-0.5 * (h * h + t * t), a1, erfcx_nonneg(fabs(a1)), erfcx_nonneg(a2)};
}

// Whether b(x, s) comes from the series in t.
template <class T>
auto by_series(T h, T t) noexcept {
    return mask_and(t < series_t, -h * t < series_half_x);
}

// The one exponential that b or its complement takes from the tails, on the
// lanes of b (for_b) and of the complement that need it: e^(a1^2) for b
// where -1 <= a1 < 0, e^E for b where a1 < -1 and for the complement where
// a1 > 0. One call serves a pack whose lanes mix them.
template <class T>
auto middle_a1(const Tails<T>& tl) noexcept {
    return mask_and(tl.a1 < 0.0, tl.a1 >= -1.0);
}
template <class T>
T tails_exp(const Tails<T>& tl, MaskOf<T> for_b, MaskOf<T> for_complement) noexcept {
    const auto b_middle = mask_and(for_b, middle_a1(tl));
    const auto need = mask_or(mask_and(for_b, mask_not(tl.a1 >= 0.0)), mask_and(for_complement, mask_not(tl.a1 <= 0.0)));
    return exp_if(need, select(b_middle, tl.a1 * tl.a1, tl.e));
}

// b(x, s) from h = x/s and t = s/2, on the lanes of want; tl holds the tails
// on its lanes that are not by_series, and ea their tails_exp. b = e^E
// (erfcx(a1) - erfcx(a2))/2; for a1 < -1 as e^(x/2) less the complement.
template <class T>
Scaled<T> black_scaled(T ex, T h, T t, MaskOf<T> want, const Tails<T>& tl, T ea) noexcept {
    const auto series = mask_and(want, by_series(h, t));
    Scaled<T> r{splat<T>(0.0), splat<T>(1.0)};
    when(series, [&] {
        const Scaled<T> v = black_series(h, t, series);
        set(series, r.e, v.e);
        set(series, r.m, v.m);
    });
    const auto rest = mask_and(want, mask_not(series));
    when(rest, [&] {
        const auto right = tl.a1 >= 0.0;
        const auto middle = middle_a1(tl);
        const auto left = mask_not(mask_or(right, middle));
        const T m = select(right, 0.5 * (tl.c1 - tl.c2),
                           select(middle, 0.5 * (2.0 * ea - tl.c1 - tl.c2), ex - ea * (0.5 * (tl.c1 + tl.c2))));
        set(rest, r.e, select(left, 0.0, tl.e));
        set(rest, r.m, m);
    });
    return r;
}

// e^(x/2) - b(x, s), from the tails and their tails_exp: for s at or above
// sqrt(2|x|) the sum of two positive tails.
template <class T>
Scaled<T> complement_scaled(T ex, const Tails<T>& tl, T ea) noexcept {
    const auto sum = tl.a1 <= 0.0;
    return {select(sum, tl.e, 0.0), select(sum, 0.5 * (tl.c1 + tl.c2), ex - ea * (0.5 * (tl.c1 - tl.c2)))};
}

// b'(s)/(e^v.e * v.m), the vega of b relative to a value given as e^v.e * v.m,
// where b' = e^e/sqrt(2 pi).
template <class T>
T vega_ratio(T e, const Scaled<T>& v, MaskOf<T> want) noexcept {
    const auto same = e == v.e;
    const T scale = select(same, 1.0, exp_if(mask_and(want, mask_not(same)), e - v.e));
    return inv_sqrt_2pi * scale / v.m;
}

// The rounding error of e = -(h*h + t*t)/2 for h = x/s and t = s/2 (h
// rounded): the exact exponent less e, where an ulp of e (above 7e-15 beyond
// |e| = 32) would show in ln b against the digits of beta; 0 elsewhere.
// Double-double products and sums written out (fma exact in every lane).
template <class T>
T exponent_error(T x, T h, T t, T e, MaskOf<T> want) noexcept {
    const auto deep = mask_and(want, e < -32.0);
    T r = splat<T>(0.0);
    when(deep, [&] {
        const T s = 2.0 * t;
        const T h_lo = fma(-h, s, x) / s;
        const T hh_hi = h * h;
        const T hh_lo = fma(h, h, -hh_hi) + 2.0 * h * h_lo;
        const T tt_hi = t * t;
        const T tt_lo = fma(t, t, -tt_hi);
        // two_sum of the high parts, then quick_two_sum with the low ones.
        const T sh = hh_hi + tt_hi;
        const T bb = sh - hh_hi;
        const T sl = (hh_hi - (sh - bb)) + (tt_hi - bb);
        const T lo_sum = sl + (hh_lo + tt_lo);
        const T sum_hi = sh + lo_sum;
        const T sum_lo = lo_sum - (sum_hi - sh);
        set(deep, r, (-0.5 * sum_hi - e) - 0.5 * sum_lo);
    });
    return r;
}

// Initial guess below the inflection point s_c = sqrt(2|x|). At fixed h = x/s,
// b/s is the Bachelier function B(h) = n(h) + h N(h) = n(h) A(h), A = 1 + hY,
// times 1 + O(t^2) with the t^2 term (h^2 - 1 + hq)/6 of the series, q = Y/A.
// The model
//   m(s) = ln s + ln B(x/s) + t^2 (h^2 - 1 + hq)/6 + c1 s^2 + c2 s^4,
// with c1, c2 matching ln b and its slope at s_c, follows ln b from the far
// left (where it is the leading asymptote -x^2/(2 s^2) + 3 ln s + ...) to s_c
// within about 1e-6 where t < 0.5, 1e-3 at worst. At most three Halley steps
// on m = ln beta in v = 1/s^2 (one erfcx and one logarithm each; m is nearly
// linear in v for small s) start from the larger v of the guesses
// ln beta/ln b_c = s_c^2/s^2 and beta - x/2 = s/sqrt(2 pi) (the model near the
// money), so that they approach the root from the left, where m is convex.
// On the lanes of want.
template <class T>
T lowest_guess(T x, T beta, T ln_beta, T ln_b_c, T slope_c, MaskOf<T> want) noexcept {
    constexpr double ln_sqrt_2pi = 0.9189385332046728;
    constexpr double two_pi = 6.283185307179586;
    // A(h) and Y(h)/A(h), for h <= 0; ln B(h) = -h^2/2 - ln sqrt(2 pi) + ln A(h).
    const auto bachelier_a = [](T h, T& y_over_a) noexcept {
        const T y = sqrt_pi_over_2 * erfcx_nonneg(-h * inv_sqrt2);
        const T a = 1.0 + h * y;
        y_over_a = y / a;
        return a;
    };
    const T w_c = -2.0 * x;  // s_c^2
    const T s_c = lanes::sqrt(w_c);
    const T h_c = x / s_c;
    // c1 and c2 from the value and slope of ln b at s_c.
    T q_c;
    const T a_c = bachelier_a(h_c, q_c);
    // The t^2 term of the series, t^2 (h^2 - 1 + hq)/6, and its slope.
    const T dq_c = 1.0 - q_c * q_c - h_c * q_c;
    const T t2_c = w_c * (1.0 / 24) * (h_c * q_c - 1.0) + x * x * (1.0 / 24);
    const T t2_slope_c = s_c * (1.0 / 12) * (h_c * q_c - 1.0) - s_c * h_c * (1.0 / 24) * (q_c + h_c * dq_c);
    const T r0 = ln_b_c + 0.5 * h_c * h_c + ln_sqrt_2pi - log_if(want, s_c * a_c) - t2_c;
    const T r1 = slope_c - (1.0 - h_c * q_c) / s_c - t2_slope_c;
    const T c2 = (r1 / (2.0 * s_c) - r0 / w_c) / w_c;
    const T c1 = r0 / w_c - c2 * w_c;
    const T atm = beta - 0.5 * x;
    T v = max(ln_beta / (w_c * ln_b_c), 1.0 / ((atm * atm) * two_pi));
    auto going = want;
    for (int i = 0; i < 3; ++i) {
        // Halley's step on f = m(v) - ln beta, with q = Y/A = (ln B)' and
        // (ln B)'' = 1 - q^2 - h q; h = x sqrt(v), dh/dv = h/(2v).
        const T sqrt_v = lanes::sqrt(v);
        const T h = x * sqrt_v;
        T q;
        const T a = bachelier_a(h, q);
        const T inv_v = 1.0 / v;
        const T dq = 1.0 - q * q - h * q;
        const T f = log_if(going, a / sqrt_v) - 0.5 * h * h - ln_sqrt_2pi + inv_v * (c1 + c2 * inv_v) +
                    (x * x + inv_v * (h * q - 1.0)) * (1.0 / 24) - ln_beta;
        const T df = 0.5 * inv_v * (q * h - 1.0) - inv_v * inv_v * (c1 + 2.0 * c2 * inv_v) +
                     inv_v * inv_v * (1.0 / 24) * (0.5 * h * (q + h * dq) - (h * q - 1.0));
        const T d2f = 0.25 * inv_v * inv_v * (2.0 + dq * h * h - q * h) +
                      inv_v * inv_v * inv_v * (2.0 * c1 + 6.0 * c2 * inv_v);
        // Halley's -2 f f'/(2 f'^2 - f f''), Newton's -f/f' where the
        // correction would more than halve the step.
        const T den = 2.0 * df * df - f * d2f;
        const T dv = select(den > df * df, -2.0 * f * df / den, -f / df);
        set(going, v, select(v + dv > 0.0, v + dv, 0.25 * v));
        going = mask_and(going, mask_not(fabs(dv) < 0.1 * v));  // then v is within about 1e-3 of the model's root
        if (!any(going)) break;
    }
    return 1.0 / lanes::sqrt(v);
}

// Householder's third-order step for f with f' > 0, given nu = -f/f',
// g = f''/f' and d = f'''/f'.
template <class T>
T householder_step(T nu, T g, T d) noexcept {
    return nu * (1.0 + 0.5 * g * nu) / (1.0 + nu * (g + d * nu * (1.0 / 6)));
}

// ---- the solve (step 3 of the method) --------------------------------------------

// At the inflection point s_c = sqrt(2|x|) of b, h = -t, so b and its
// complement are e^(x/2) (1 -+ erfcx(sqrt|x|))/2; at x = 0, b_c = 0.
template <class T>
struct Inflection {
    T s_c, erfcx_c, m_c, ln_b_c;  // b_c = e^(x/2) m_c
};
template <class T>
Inflection<T> inflection(T x, MaskOf<T> live) noexcept {
    const T erfcx_c = erfcx_nonneg(lanes::sqrt(-x));
    const T m_c = 0.5 - 0.5 * erfcx_c;
    return {lanes::sqrt(-2.0 * x), erfcx_c, m_c, 0.5 * x + log_if(live, m_c)};
}
// Whether beta lies below half the limit e^(x/2) (by its logarithm): up to
// there ln b serves, above it the complement e^(x/2) - beta keeps its digits.
template <class T>
auto below_half(T x, T ln_beta) noexcept {
    constexpr double ln2 = 0.6931471805599453;
    return ln_beta < 0.5 * x - ln2;
}
// The branch of the solve: 0 below the inflection point, 1 below half the
// limit, 2 above (for grouping options that take the same one).
template <class T>
T branch(T x, T ln_beta, MaskOf<T> live) noexcept {
    return select(ln_beta < inflection(x, live).ln_b_c, 0.0, select(below_half(x, ln_beta), 1.0, 2.0));
}

// s with b(x, s) = beta on the lanes of live (x <= 0, ex = e^(x/2),
// 0 < beta, ln beta = ln_beta + ln_beta_lo); NaN on the other lanes and on
// those that have not met the tolerance after max_iterations. Both
// objectives increase with s. Below the middle, ln b - ln beta is taken in
// two parts, since far out of the money both are large and an ulp of either
// would show in s.
template <class T>
T solve(T x, T ex, T beta, T ln_beta, T ln_beta_lo, MaskOf<T> live) noexcept {
    using M = MaskOf<T>;
    T result = splat<T>(nan);
    const M onto = mask_and(live, mask_not(beta < ex));  // a price rounded onto the upper bound
    set(onto, result, splat<T>(inf));
    live = mask_and(live, mask_not(onto));
    if (!any(live)) return result;
    const Inflection<T> at_c = inflection(x, live);
    const T s_c = at_c.s_c;
    const T erfcx_c = at_c.erfcx_c;
    const T m_c = at_c.m_c;
    const T ln_b_c = at_c.ln_b_c;
    const M lowest = mask_and(live, ln_beta < ln_b_c);
    const M lower = mask_and(live, mask_or(lowest, below_half(x, ln_beta)));
    const M middle = mask_and(lower, mask_not(lowest));
    const M upper = mask_and(live, mask_not(lower));
    const T inv_ln_beta = 1.0 / ln_beta;

    T lo = splat<T>(0.0);
    T hi = splat<T>(inf);
    T s = splat<T>(0.0);
    T ln_c_target = splat<T>(0.0);  // ln(e^(x/2) - beta) on the upper branch
    when(lowest, [&] {
        const T slope_c = inv_sqrt_2pi / m_c;  // b'/b at s_c, where b' = e^(x/2)/sqrt(2 pi)
        set(lowest, s, lowest_guess(x, beta, ln_beta, ln_b_c, slope_c, lowest));
    });
    // Newton's step from the inflection point, where b' = e^(x/2)/sqrt(2 pi).
    when(middle, [&] { set(middle, s, s_c + (beta / ex - m_c) * 2.5066282746310002); });
    when(upper, [&] {
        set(upper, ln_c_target, log_if(upper, ex - beta));
        const T ln_c_c = 0.5 * x + log_if(upper, 0.5 + 0.5 * erfcx_c);
        set(upper, s, lanes::sqrt(s_c * s_c + 8.0 * (ln_c_c - ln_c_target)));
    });
    set(mask_not(mask_and(s > 0.0, s < inf)), s, select(s_c > 0.0, s_c, 1.0));

    for (int i = 0; i < max_iterations; ++i) {
        const T inv_s = 1.0 / s;
        const T h = x / s;
        const T t = 0.5 * s;
        const T hh_s = h * h * inv_s;
        const T g_b = hh_s - 0.5 * t;                        // b''/b'
        const T d_b = g_b * g_b - 3.0 * hh_s * inv_s - 0.25;  // b'''/b'
        const T e = -0.5 * (h * h + t * t);                   // b' = e^e/sqrt(2 pi)
        T f = splat<T>(0.0);
        T g = splat<T>(0.0);
        T d = splat<T>(0.0);
        T fp = splat<T>(1.0);  // f'
        const M on_b = mask_and(live, lower);
        const M up = mask_and(live, upper);
        // The tails, their exponential, the logarithm and the vega ratio
        // serve both objectives: each computed once per pack.
        Tails<T> tl{};
        const M need_tails = mask_or(up, mask_and(on_b, mask_not(by_series(h, t))));
        when(need_tails, [&] { tl = tails(h, t); });
        const T ea = tails_exp(tl, mask_and(on_b, need_tails), up);
        Scaled<T> v = black_scaled(ex, h, t, on_b, tl, ea);  // b, or its complement on the upper lanes
        when(up, [&] {
            const Scaled<T> c = complement_scaled(ex, tl, ea);
            set(up, v.e, c.e);
            set(up, v.m, c.m);
        });
        const T log_v = log_if(live, v.m);
        const T r = vega_ratio(e, v, live);  // l' for l = ln b, or -(ln c)' for the complement c
        when(on_b, [&] {
            const T log_m = log_v + select(v.e == e, exponent_error(x, h, t, e, on_b), 0.0);
            const M low = mask_and(live, lowest);
            when(low, [&] {
                // f = 1/ln beta - 1/ln b, from the derivatives of l = ln b.
                const T l = v.e + log_m;
                const T g_l = g_b - r;                            // l''/l'
                const T d_l = d_b - 3.0 * r * g_b + 2.0 * r * r;  // l'''/l'
                const T q = r / l;
                set(low, f, ((v.e - ln_beta) + (log_m - ln_beta_lo)) * inv_ln_beta / l);  // 1/ln beta - 1/l
                set(low, fp, q / l);
                set(low, g, g_l - 2.0 * q);
                set(low, d, d_l - 6.0 * q * g_l + 6.0 * q * q);
            });
            const M mid = mask_and(live, middle);
            when(mid, [&] {
                set(mid, f, (v.e - ln_beta) + (log_m - ln_beta_lo));
                set(mid, fp, r);
                set(mid, g, g_b - r);
                set(mid, d, d_b - 3.0 * r * g_b + 2.0 * r * r);
            });
        });
        when(up, [&] {
            set(up, f, ln_c_target - (v.e + log_v));
            set(up, fp, r);
            set(up, g, g_b + r);
            set(up, d, d_b + 3.0 * r * g_b + 2.0 * r * r);
        });
        const M root = mask_and(live, f == 0.0);
        set(root, result, s);
        live = mask_and(live, mask_not(root));
        const M below = f < 0.0;
        set(mask_and(live, below), lo, s);
        set(mask_and(live, mask_not(below)), hi, s);
        const T step = householder_step(-f / fp, g, d);
        const T next = s + step;
        const M outside = mask_not(mask_and(next > lo, next < hi));
        T bisect = select(hi == inf, 2.0 * lo, 0.5 * hi);
        const M geometric = mask_and(outside, mask_and(lo > 0.0, mask_not(hi == inf)));
        when(geometric, [&] { set(geometric, bisect, lanes::sqrt(lo * hi)); });
        const M narrow = mask_and(mask_and(live, outside), mask_not(mask_and(bisect > lo, bisect < hi)));
        set(narrow, result, s);  // the bracket is one ulp wide
        const M done = mask_and(mask_and(live, mask_not(outside)), fabs(step) <= tolerance * s);
        set(done, result, next);
        live = mask_and(live, mask_not(mask_or(narrow, done)));
        if (!any(live)) return result;
        s = select(outside, bisect, next);
    }
    return result;  // not converged: no answer rather than a wrong one
}

// ---- the common path of implied_vol --------------------------------------------------

// ln(spot/strike) to a few units of its last place even where it is small,
// on the lanes of want. Within a factor of 2, u = (spot - strike)/strike
// keeps the digits of the ratio (spot - strike is exact) and
// ln(1 + u) = u ln(w)/(w - 1) with w = 1 + u rounded (w - 1 exact), within a
// few units of its last place; beyond, the logarithm of the ratio, or of
// each where the ratio leaves the normal range.
template <class T>
T ln_ratio(T spot, T strike, MaskOf<T> want) noexcept {
    const T ratio = spot / strike;
    const auto near = mask_and(ratio >= 0.5, ratio <= 2.0);
    const T u = (spot - strike) / strike;
    const T w = 1.0 + u;
    const T lg = log_if(want, select(near, w, ratio));
    T r = select(near, select(w == 1.0, u, u * (lg / (w - 1.0))), lg);
    const auto apart = mask_and(want, mask_not(mask_or(near, is_normal(ratio))));
    when(apart, [&] { set(apart, r, log_if(apart, spot) - log_if(apart, strike)); });
    return r;
}

// Step 1 of implied_vol (implied_vol.hpp) for chi = +1 (call) or -1 (put),
// up to the solve, on every option whose discount factors, spot*df_q, strike*df_r and normalised price
// are normal doubles, whose ln(F/K) needs no second pass in double-double
// and that is not a tiny problem near the money: step 1 of the method in
// double. The lanes of the others are set in `rare` (their results are
// meaningless), for the scalar kernel's wide and scaled forms.
template <class T>
struct Problem {
    T result;               // the answer on lanes decided before the solve, else NaN
    T x, ex, beta, ln_beta;  // the solve's operands, on the lanes of live
    MaskOf<T> live, rare;
};
template <class T>
Problem<T> prepare(T price, T spot, T strike, T rate, T div_yield, T tau, T chi) noexcept {
    using M = MaskOf<T>;
    T result = splat<T>(nan);
    M rare = none<T>();
    const T zero = splat<T>(0.0);
    const auto done = [&](M live) noexcept { return Problem<T>{result, zero, zero, zero, zero, live, rare}; };
    M live = mask_and(mask_and(mask_and(is_finite(price), is_finite(spot)), mask_and(is_finite(strike), is_finite(rate))),
                      mask_and(is_finite(div_yield), is_finite(tau)));
    live = mask_and(live, mask_and(tau > 0.0, mask_not(mask_or(spot < 0.0, strike < 0.0))));
    if (!any(live)) return done(live);
    const T df_q = exp_if(live, -div_yield * tau);
    const T df_r = exp_if(live, -rate * tau);
    const T fwd_spot = spot * df_q;
    const T pv_strike = strike * df_r;
    const M normal = mask_and(mask_and(is_normal(fwd_spot), is_normal(pv_strike)),
                              mask_and(is_normal(df_q), is_normal(df_r)));
    rare = mask_and(live, mask_not(normal));
    live = mask_and(live, normal);
    const T lower = max(chi * (fwd_spot - pv_strike), splat<T>(0.0));
    const T upper = select(chi > 0.0, fwd_spot, pv_strike);
    const M on_lower = mask_and(live, price == lower);
    set(on_lower, result, splat<T>(0.0));
    live = mask_and(live, mask_not(on_lower));
    const M on_upper = mask_and(live, price == upper);
    set(on_upper, result, splat<T>(inf));
    live = mask_and(live, mask_and(mask_not(on_upper), mask_and(price > lower, price < upper)));
    if (!any(mask_or(live, rare))) return done(live);
    // The normalised price price/sqrt(spot*df_q * strike*df_r) = price/(df_r sqrt(F K)).
    const T price_n = price / (lanes::sqrt(fwd_spot) * lanes::sqrt(pv_strike));
    rare = mask_or(rare, mask_and(live, mask_not(is_normal(price_n))));
    live = mask_and(live, is_normal(price_n));
    // In the money, the normalised intrinsic value e^(|x|/2) - e^(-|x|/2) =
    // em (1 + e^(-|x|/2)), em = e^(|x|/2) - 1, comes off the normalised price.
    const T ln_spot_strike = ln_ratio(spot, strike, live);
    const T ln_moneyness = ln_spot_strike + (rate - div_yield) * tau;
    const T em = per_lane_if<T>(live, [](double v) noexcept { return std::expm1(v); }, 0.5 * fabs(ln_moneyness));
    const T ex = 1.0 / (1.0 + em);
    const T beta = select(chi * ln_moneyness > 0.0, price_n - (em + em * ex), price_n);
    // Where ln(spot/strike) and the carry cancel, ln(F/K) is taken again in
    // double-double (the scalar kernel).
    const M cancels = mask_and(live, mask_and(fabs(ln_moneyness) < 0.5 * fabs(ln_spot_strike),
                                              fabs(ln_spot_strike) * 0x1p-52 > 1e-14 * beta));
    rare = mask_or(rare, cancels);
    live = mask_and(live, mask_not(cancels));
    const M intrinsic = mask_and(live, mask_not(beta > 0.0));
    set(intrinsic, result, splat<T>(0.0));
    // e^(x/2) below the normal range: no digits to solve on (NaN).
    live = mask_and(live, mask_and(mask_not(intrinsic), ex >= __DBL_MIN__));
    const T x = -fabs(ln_moneyness);
    const M tiny = mask_and(live, mask_and(fabs(x) < 0x1p-40, beta < 0x1p-40));
    rare = mask_or(rare, tiny);
    live = mask_and(live, mask_not(tiny));
    if (!any(live)) return done(live);
    return {result, x, ex, beta, log_if(live, beta), live, rare};
}

// implied_vol for chi = +1 (call) or -1 (put) on the lanes the common path
// takes; the others are set in rare (see prepare).
template <class T>
T implied_vol(T price, T spot, T strike, T rate, T div_yield, T tau, T chi, MaskOf<T>& rare) noexcept {
    Problem<T> p = prepare(price, spot, strike, rate, div_yield, tau, chi);
    rare = p.rare;
    when(p.live, [&] { set(p.live, p.result, solve(p.x, p.ex, p.beta, p.ln_beta, splat<T>(0.0), p.live) / lanes::sqrt(tau)); });
    return p.result;
}

}  // namespace vantorel::iv_kernels
