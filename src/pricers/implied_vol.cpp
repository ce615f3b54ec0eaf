// src/pricers/implied_vol.cpp: implied volatility from the normalised Black function
#include "pricers/implied_vol.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cmath>
#include <limits>

namespace vantorel {

// ---- method ------------------------------------------------------------------
//
// 1. Normalise. With F = spot*df_q/df_r and x = ln(F/K), the price divided by
//    df_r*sqrt(F*K) is the normalised Black value b(x, s) of total deviation
//    s = vol*sqrt(tau). Put-call parity and b_put(x) = b_call(-x) turn every
//    option into an out-of-the-money call at -|x|: in the money, the
//    normalised intrinsic value 2 sinh(|x|/2) comes off the normalised price.
//    That difference is as good as x is in absolute terms, so ln(spot/strike)
//    is taken with log1p near 1, and ln(spot/strike) + (rate - div_yield)*tau
//    in double-double where its two terms cancel and their rounding would
//    show against the time value. Where spot*df_q or strike*df_r leaves the
//    normal range, or a discount factor is subnormal, the bounds are compared
//    in wide form (m 2^e, below); the normalised price is kept in that form,
//    its logarithm exact, where it falls below the smallest double. Near the
//    money with a tiny price (|x| and beta below 2^-40) b is homogeneous,
//    b(2^k x, 2^k s) = 2^k b(x, s) to far below the rounding, and the problem
//    is solved at the scale 2^-40.
// 2. Evaluate b(x, s), x <= 0, without cancellation. With h = x/s, t = s/2,
//    E = -(h^2 + t^2)/2, Y(z) = N(z)/n(z) = sqrt(pi/2) erfcx(-z/sqrt 2),
//    a1 = -(h+t)/sqrt 2 and a2 = (t-h)/sqrt 2 > 0:
//      t < series_t, |x|/2 < series_half_x:  b = sqrt(2/pi) e^E times the sum
//          over odd k of Y^(k)(h) t^k/k!  (Y' = 1 + zY, Y^(k+1) = z Y^(k) + k Y^(k-1));
//          a difference of two tails would lose about |h|/t of its digits here;
//      a1 >= -1:  b = e^E (erfcx(a1) - erfcx(a2))/2, erfcx(a1 < 0) being
//          2 e^(a1^2) - erfcx(-a1);
//      a1 < -1:   b = e^(x/2) - e^E (erfcx(-a1) + erfcx(a2))/2.
//    b is carried as e^E*m, so ln b stays right where b itself would leave the
//    double range, and the vega b' = e^E/sqrt(2 pi) costs no exponential.
// 3. Solve. b is convex below the inflection point s_c = sqrt(2|x|), where
//    b_c = e^(x/2) (1 - erfcx(sqrt|x|))/2, and concave above it. Objectives,
//    each increasing in s:
//      beta < b_c:               1/ln beta - 1/ln b(s)  (close to linear in s^2);
//      b_c <= beta < e^(x/2)/2:  ln b(s) - ln beta;
//      above:                    ln(e^(x/2) - beta) - ln(e^(x/2) - b(s)), the
//                                complement evaluated as two positive tails.
//    Initial guesses: below b_c from a model of ln b (lowest_guess); in the
//    middle Newton's step from s_c; above from ln(e^(x/2) - b) ~ -s^2/8.
//    Steps are Householder's third-order (quartic convergence) on the
//    analytic derivatives
//      b''/b' = h^2/s - t/2,  b'''/b' = (b''/b')^2 - 3 h^2/s^2 - 1/4,
//    inside a bracket that each evaluation narrows; a step leaving it bisects
//    instead. Iteration stops after a step below tolerance = 1e-4 relative,
//    whose result is then within about 1e-16 of the root; a solve that has
//    not stopped after max_iterations gives NaN.
// Error bounds, measured against mpmath (bench/implied_vol.py, including a
// grid over the whole double range): erfcx within 2 units in the last place;
// b within 2 for |h| <= 2 and about h^2 beyond (the rounding of E, which the
// solver adds back where |E| > 32), where a relative error in b moves s by
// about 1/h^2 of it; the vol within a few units in the last place wherever
// vega*vol >= 1e-3*price. Where ln(spot/strike) and the carry cancel, x is
// known to about 1e-29 |ln(spot/strike)|, which moves ln b by that times
// (1 + |x|/s)/s: beyond those figures only for s under about 1e-14 after a
// cancellation of hundreds.

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double inv_sqrt_2pi = 0.3989422804014327;  // 1/sqrt(2 pi)
constexpr double sqrt_2_over_pi = 0.7978845608028654;
constexpr double sqrt_pi_over_2 = 1.2533141373155003;
constexpr double inv_sqrt_pi = 0.5641895835477563;
constexpr double inv_sqrt2 = 0.7071067811865476;

constexpr double series_t = 0.2;       // below it (and |x|/2 below series_half_x)
constexpr double series_half_x = 1.0;  // b comes from the series in t
constexpr double tolerance = 1e-4;    // relative size of the last Householder step
constexpr int max_iterations = 60;

// erfcx on [0, inf): polynomials fitted by scripts/fit_erfcx.py (Chebyshev,
// 50 digits), in the distance from the middle of each interval:
//   [k/4, (k+1)/4), k = 0..31: 13 coefficients each, within 2e-19 relative;
//   [8, inf): sqrt(pi)*y*erfcx(y) in u = 1/y^2 on [0, 1/64] (middle 1/128),
//             10 coefficients, within 5e-19 relative.
// Evaluated in double the result is within about two units in the last place.
constexpr double erfcx_pieces[][13] = {
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
constexpr double erfcx_tail[][10] = {
    {0.9961386559204192, -0.48861257905389016, 0.7083256080534589, -1.6865232549072482, 5.541862714270941, -23.08698852846783, 115.94339870895281, -678.9250327872544, 4569.859256348647, -34154.04960983122},
};

// Estrin's scheme: neighbouring coefficients paired with u, then pairs of
// those with u^2, and so on; c holds ascending powers. The fixed grouping gives
// the same bits everywhere, and the chain of dependent operations is about
// log2(N) multiply-adds long instead of Horner's N.
template <std::size_t N>
inline double poly(const double (&c)[N], double u) noexcept {
    static_assert(N > 8 && N <= 16);
    const auto at = [&c](std::size_t i) noexcept { return i < N ? c[i] : 0.0; };  // missing ones are 0
    const double u2 = u * u;
    const double u4 = u2 * u2;
    const double u8 = u4 * u4;
    const double q0 = (at(0) + at(1) * u) + (at(2) + at(3) * u) * u2;
    const double q1 = (at(4) + at(5) * u) + (at(6) + at(7) * u) * u2;
    const double q2 = (at(8) + at(9) * u) + (at(10) + at(11) * u) * u2;
    const double q3 = (at(12) + at(13) * u) + (at(14) + at(15) * u) * u2;
    return (q0 + q1 * u4) + (q2 + q3 * u4) * u8;
}

double erfcx_nonneg(double y) noexcept {
    if (y < 8.0) {
        const int k = static_cast<int>(y * 4.0);
        return poly(erfcx_pieces[k], y - (0.25 * k + 0.125));
    }
    return poly(erfcx_tail[0], 1.0 / (y * y) - 0.0078125) * (inv_sqrt_pi / y);
}

// exp(y*y) for |y| < 26.7, split as exp(a*a)*exp(d): a = y rounded to float, so
// that a*a is exact, and d = (y - a)*(y + a) < 1e-4 from its Taylor polynomial.
double exp_square(double y) noexcept {
    const double a = static_cast<double>(static_cast<float>(y));
    const double d = (y - a) * (y + a);
    return std::exp(a * a) * (1.0 + d * (1.0 + d * (0.5 + d * (1.0 / 6 + d * (1.0 / 24)))));
}

// A positive value e^e * m.
struct Scaled {
    double e;
    double m;
    double log() const noexcept { return e + std::log(m); }
};

// What every evaluation at one x shares.
struct Moneyness {
    double x;   // <= 0
    double ex;  // e^(x/2), the limit of b for large s
};

// 1/(k+1) for the series.
constexpr auto reciprocals = [] {
    std::array<double, 64> r{};
    for (std::size_t k = 0; k < r.size(); ++k) r[k] = 1.0 / static_cast<double>(k + 1);
    return r;
}();

// Series in t of b (step 2 of the method).
Scaled black_series(double h, double t) noexcept {
    const double y = sqrt_pi_over_2 * erfcx_nonneg(-h * inv_sqrt2);  // Y(h), h <= 0
    // u_k = Y^(k)(h) t^k/k! from u_(k+1) = (h t u_k + t^2 u_(k-1))/(k+1).
    const double ht = h * t;
    const double tt = t * t;
    double u_prev = y;
    double u = (1.0 + h * y) * t;
    double sum = u;
    for (std::size_t k = 1; k + 1 < reciprocals.size(); k += 2) {
        const double even = (ht * u + tt * u_prev) * reciprocals[k];
        const double odd = (ht * even + tt * u) * reciprocals[k + 1];
        u_prev = even;
        u = odd;
        sum += odd;
        if (std::fabs(odd) <= 1e-17 * sum && std::fabs(even) <= 1e-17 * sum) break;
    }
    return {-0.5 * (h * h + t * t), sqrt_2_over_pi * sum};
}

// b(x, s) from h = x/s and t = s/2 (step 2 of the method). With a1 = -(h+t)/sqrt 2 and a2 = (t-h)/sqrt 2 > 0,
// b = e^E (erfcx(a1) - erfcx(a2))/2; for a1 < -1 as e^(x/2) less the complement.
Scaled black_scaled(const Moneyness& mo, double h, double t) noexcept {
    if (t < series_t && -h * t < series_half_x) return black_series(h, t);
    const double e = -0.5 * (h * h + t * t);
    const double a1 = -(h + t) * inv_sqrt2;
    const double a2 = (t - h) * inv_sqrt2;
    if (a1 >= 0) return {e, 0.5 * (erfcx_nonneg(a1) - erfcx_nonneg(a2))};
    if (a1 >= -1.0) return {e, 0.5 * (2.0 * std::exp(a1 * a1) - erfcx_nonneg(-a1) - erfcx_nonneg(a2))};
    return {0.0, mo.ex - std::exp(e) * (0.5 * (erfcx_nonneg(-a1) + erfcx_nonneg(a2)))};
}

// e^(x/2) - b(x, s): for s at or above sqrt(2|x|) the sum of two positive tails.
Scaled complement_scaled(const Moneyness& mo, double h, double t) noexcept {
    const double e = -0.5 * (h * h + t * t);
    const double a1 = -(h + t) * inv_sqrt2;
    const double a2 = (t - h) * inv_sqrt2;
    if (a1 <= 0) return {e, 0.5 * (erfcx_nonneg(-a1) + erfcx_nonneg(a2))};
    return {0.0, mo.ex - std::exp(e) * (0.5 * (erfcx_nonneg(a1) - erfcx_nonneg(a2)))};
}

// b'(s)/(e^v.e * v.m), the vega of b relative to a value given as e^v.e * v.m,
// where b' = e^e/sqrt(2 pi).
double vega_ratio(double e, const Scaled& v) noexcept {
    const double scale = e == v.e ? 1.0 : std::exp(e - v.e);
    return inv_sqrt_2pi * scale / v.m;
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
double lowest_guess(double x, double beta, double ln_beta, double ln_b_c, double slope_c) noexcept {
    constexpr double ln_sqrt_2pi = 0.9189385332046728;
    constexpr double two_pi = 6.283185307179586;
    // A(h) and Y(h)/A(h), for h <= 0; ln B(h) = -h^2/2 - ln sqrt(2 pi) + ln A(h).
    const auto bachelier_a = [](double h, double& y_over_a) noexcept {
        const double y = sqrt_pi_over_2 * erfcx_nonneg(-h * inv_sqrt2);
        const double a = 1.0 + h * y;
        y_over_a = y / a;
        return a;
    };
    const double w_c = -2.0 * x;  // s_c^2
    const double s_c = std::sqrt(w_c);
    const double h_c = x / s_c;
    // c1 and c2 from the value and slope of ln b at s_c.
    double q_c;
    const double a_c = bachelier_a(h_c, q_c);
    // The t^2 term of the series, t^2 (h^2 - 1 + hq)/6, and its slope.
    const double dq_c = 1.0 - q_c * q_c - h_c * q_c;
    const double t2_c = w_c * (1.0 / 24) * (h_c * q_c - 1.0) + x * x * (1.0 / 24);
    const double t2_slope_c = s_c * (1.0 / 12) * (h_c * q_c - 1.0) - s_c * h_c * (1.0 / 24) * (q_c + h_c * dq_c);
    const double r0 = ln_b_c + 0.5 * h_c * h_c + ln_sqrt_2pi - std::log(s_c * a_c) - t2_c;
    const double r1 = slope_c - (1.0 - h_c * q_c) / s_c - t2_slope_c;
    const double c2 = (r1 / (2.0 * s_c) - r0 / w_c) / w_c;
    const double c1 = r0 / w_c - c2 * w_c;
    const double atm = beta - 0.5 * x;
    double v = std::max(ln_beta / (w_c * ln_b_c), 1.0 / ((atm * atm) * two_pi));
    for (int i = 0; i < 3; ++i) {
        // Halley's step on f = m(v) - ln beta, with q = Y/A = (ln B)' and
        // (ln B)'' = 1 - q^2 - h q; h = x sqrt(v), dh/dv = h/(2v).
        const double sqrt_v = std::sqrt(v);
        const double h = x * sqrt_v;
        double q;
        const double a = bachelier_a(h, q);
        const double inv_v = 1.0 / v;
        const double dq = 1.0 - q * q - h * q;
        const double f = std::log(a / sqrt_v) - 0.5 * h * h - ln_sqrt_2pi + inv_v * (c1 + c2 * inv_v) +
                         (x * x + inv_v * (h * q - 1.0)) * (1.0 / 24) - ln_beta;
        const double df = 0.5 * inv_v * (q * h - 1.0) - inv_v * inv_v * (c1 + 2.0 * c2 * inv_v) +
                          inv_v * inv_v * (1.0 / 24) * (0.5 * h * (q + h * dq) - (h * q - 1.0));
        const double d2f = 0.25 * inv_v * inv_v * (2.0 + dq * h * h - q * h) +
                           inv_v * inv_v * inv_v * (2.0 * c1 + 6.0 * c2 * inv_v);
        // Halley's -2 f f'/(2 f'^2 - f f''), Newton's -f/f' where the
        // correction would more than halve the step.
        const double den = 2.0 * df * df - f * d2f;
        const double dv = den > df * df ? -2.0 * f * df / den : -f / df;
        v = v + dv > 0 ? v + dv : 0.25 * v;
        if (std::fabs(dv) < 0.1 * v) break;  // then v is within about 1e-3 of the model's root
    }
    return 1.0 / std::sqrt(v);
}

// Householder's third-order step for f with f' > 0, given nu = -f/f',
// g = f''/f' and d = f'''/f'.
double householder_step(double nu, double g, double d) noexcept {
    return nu * (1.0 + 0.5 * g * nu) / (1.0 + nu * (g + d * nu * (1.0 / 6)));
}

// ---- double-double arithmetic for ln(F/K) ------------------------------------
//
// Where ln(spot/strike) and (rate - div_yield)*tau nearly cancel, their sum
// ln(F/K) needs both to well beyond double precision: a deep in-the-money
// option's time value is the small difference of its price and intrinsic value,
// which is the small difference of those two. A value hi + lo with |lo| at most
// half an ulp of hi carries about 106 bits.

struct DoubleDouble {
    double hi;
    double lo;
};

constexpr double ln2_hi = 0.6931471805599453;     // the double nearest ln 2
constexpr double ln2_lo = 2.3190468138462996e-17;  // ln 2 - ln2_hi

DoubleDouble quick_two_sum(double a, double b) noexcept {  // |a| >= |b|
    const double s = a + b;
    return {s, b - (s - a)};
}

DoubleDouble two_sum(double a, double b) noexcept {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

DoubleDouble two_prod(double a, double b) noexcept {
    const double p = a * b;
    return {p, std::fma(a, b, -p)};
}

DoubleDouble dd_add(DoubleDouble a, DoubleDouble b) noexcept {
    const DoubleDouble s = two_sum(a.hi, b.hi);
    return quick_two_sum(s.hi, s.lo + (a.lo + b.lo));
}

DoubleDouble dd_mul(DoubleDouble a, DoubleDouble b) noexcept {
    const DoubleDouble p = two_prod(a.hi, b.hi);
    return quick_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

DoubleDouble dd_div(DoubleDouble a, double n) noexcept {
    const double q = a.hi / n;
    const double r = std::fma(-q, n, a.hi) + a.lo;
    return quick_two_sum(q, r / n);
}

// e^a to about 1e-30 relative for |a| < 700: a = k ln 2 + f with ln 2 in two
// parts and |f| <= 0.35, then the Taylor series of e^f to f^19/19! (the
// remainder is below 1e-27 of the sum) by Horner's rule.
DoubleDouble dd_exp(double a) noexcept {
    const double k = std::nearbyint(a / ln2_hi);
    const DoubleDouble k_ln2 = two_prod(k, ln2_hi);
    const DoubleDouble f = dd_add(two_sum(a, -k_ln2.hi), DoubleDouble{-k_ln2.lo - k * ln2_lo, 0.0});
    DoubleDouble sum{1.0, 0.0};
    for (int n = 19; n >= 1; --n) sum = dd_add(DoubleDouble{1.0, 0.0}, dd_div(dd_mul(sum, f), n));
    const int e = static_cast<int>(k);
    return {std::ldexp(sum.hi, e), std::ldexp(sum.lo, e)};
}

// ---- wide numbers for quantities beyond the double range ---------------------
//
// A value m 2^e with m in [0.5, 1) (or 0, with an exponent below every other):
// spot*df_q, strike*df_r, the bounds and the normalised price keep 53 bits
// where their double forms would overflow, underflow or turn subnormal. Each
// operation rounds once, like its double counterpart, and gives the same
// value wherever that is a normal double. An ordinary double rides along as
// {v, 0}, unnormalised, which to_double and wide_log take as it is.

struct Wide {
    double m;
    int e;
};

constexpr int wide_zero_exponent = -100000;
constexpr double ln2_int_hi = 0.6931471803691238;    // 0x1.62e42feep-1: e*ln2_int_hi exact for |e| < 2^21
constexpr double ln2_int_lo = 1.9082149292705877e-10;  // ln 2 - ln2_int_hi

// The exponent and mantissa are read and written as bits (frexp and ldexp
// cost a call each): 2^k from its bits for -1022 <= k <= 1023.
double pow2(int k) noexcept {
    return std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

// Whether v is a normal double, from its exponent bits (one compare, no branch).
bool is_normal(double v) noexcept {
    return ((std::bit_cast<std::uint64_t>(v) >> 52) & 0x7ff) - 1 < 0x7fe;
}

// v as m 2^e; v finite. A subnormal v is first scaled by 2^64, exactly.
Wide wide(double v) noexcept {
    const bool tiny = std::fabs(v) < 0x1p-1022;
    const double u = tiny ? v * 0x1p64 : v;
    const auto bits = std::bit_cast<std::uint64_t>(u);
    const int e = static_cast<int>((bits >> 52) & 0x7ff) - 1022 - (tiny ? 64 : 0);
    const double m = std::bit_cast<double>((bits & 0x800fffffffffffffULL) | 0x3fe0000000000000ULL);
    return u == 0 ? Wide{0.0, wide_zero_exponent} : Wide{m, e};
}

// m 2^e as a double, rounded once: the first factor keeps m 2^e1 normal and
// exact, the second rounds (to a subnormal, 0 or inf where the value is there).
[[gnu::noinline]] double scaled_to_double(Wide a) noexcept {
    const int e1 = std::clamp(a.e, -1000, 1000);
    const int e2 = std::clamp(a.e - e1, -1022, 1023);
    return a.m * pow2(e1) * pow2(e2);
}

inline double to_double(Wide a) noexcept {
    return a.e == 0 ? a.m : scaled_to_double(a);  // e = 0: an ordinary double carried as it is
}

// m 2^e with m any finite double, as a wide number with its mantissa in [0.5, 1).
Wide normalised(double m, int e) noexcept {
    Wide n = wide(m);
    n.e += e;
    return n;
}

Wide wide_mul(Wide a, Wide b) noexcept { return normalised(a.m * b.m, a.e + b.e); }

// a - b, rounded once; its sign and whether it is zero are exact.
Wide wide_sub(Wide a, Wide b) noexcept {
    const int e = std::max(a.e, b.e);
    return normalised(to_double({a.m, a.e - e}) - to_double({b.m, b.e - e}), e);
}

Wide wide_div(Wide a, Wide b) noexcept { return normalised(a.m / b.m, a.e - b.e); }

// sqrt(a*b), for a, b > 0.
Wide wide_sqrt_mul(Wide a, Wide b) noexcept {
    const int e = a.e + b.e;
    const int odd = e & 1;
    return normalised(std::sqrt(a.m * b.m * (odd ? 2.0 : 1.0)), (e - odd) / 2);
}

// e^a, given df = exp(a) in double (a positive finite double): df itself
// where it is normal, so that products with it have the bits of the double
// expression; below, 2^k e^(a - k ln 2) keeps the digits a subnormal df loses.
Wide wide_exp(double a, double df) noexcept {
    if (std::isnormal(df)) return wide(df);
    const double k = std::nearbyint(a / ln2_int_hi);
    return normalised(std::exp((a - k * ln2_int_hi) - k * ln2_int_lo), static_cast<int>(k));
}

// ln(m 2^e) for m > 0 in two parts, to about an ulp of log(m).
DoubleDouble wide_log(Wide a) noexcept {
    if (a.e == 0) return {std::log(a.m), 0.0};
    return quick_two_sum(a.e * ln2_int_hi, std::log(a.m) + a.e * ln2_int_lo);
}

// The bounds compared on wide forms, which have the bits of the double
// expressions where those are normal: verdict 0.0 on the lower bound, +inf on
// the upper, NaN outside them, and -1 strictly between, with the normalised
// price.
struct WideBounds {
    double verdict;
    Wide price_n;
};

[[gnu::noinline]] WideBounds wide_bounds(double price, double spot, double strike, double ln_df_q, double df_q,
                                         double ln_df_r, double df_r, double chi) noexcept {
    const Wide fwd_spot = wide_mul(wide(spot), wide_exp(ln_df_q, df_q));
    const Wide pv_strike = wide_mul(wide(strike), wide_exp(ln_df_r, df_r));
    const Wide upper = chi > 0 ? fwd_spot : pv_strike;
    const Wide intrinsic = wide_sub(upper, chi > 0 ? pv_strike : fwd_spot);
    const Wide lower = intrinsic.m > 0 ? intrinsic : Wide{0.0, wide_zero_exponent};
    const Wide p = wide(price);
    const double above_lower = wide_sub(p, lower).m;
    const double below_upper = wide_sub(upper, p).m;
    if (above_lower == 0) return {0.0, p};
    if (below_upper == 0) return {inf, p};
    if (!(above_lower > 0 && below_upper > 0)) return {nan, p};
    return {-1.0, wide_div(p, wide_sqrt_mul(fwd_spot, pv_strike))};
}

// ln(spot/strike) + (rate - div_yield)*tau, for spot, strike > 0. With
// spot = m_s 2^e_s and strike = m_k 2^e_k, ln(spot/strike) is (e_s - e_k) ln 2
// plus the logarithm of the ratio r = m_s/m_k in (0.5, 2), taken in two parts
// as l + (r e^-l - 1) with l = log(r), one Newton step that needs r e^-l only
// to double precision beyond its leading 1.
[[gnu::noinline]] double ln_moneyness_exact(double spot, double strike, double rate, double div_yield,
                                            double tau) noexcept {
    const Wide s = wide(spot);
    const Wide k = wide(strike);
    const double r_hi = s.m / k.m;
    const DoubleDouble ratio{r_hi, std::fma(-r_hi, k.m, s.m) / k.m};
    const double l = std::log(r_hi);
    const DoubleDouble p = dd_mul(ratio, dd_exp(-l));
    const double n = s.e - k.e;
    DoubleDouble n_ln2 = two_prod(n, ln2_hi);
    n_ln2.lo += n * ln2_lo;
    const DoubleDouble ln_ratio = dd_add(n_ln2, quick_two_sum(l, (p.hi - 1.0) + p.lo));
    const DoubleDouble carry = two_sum(rate, -div_yield);
    DoubleDouble drift = two_prod(carry.hi, tau);
    drift.lo += carry.lo * tau;
    const DoubleDouble x = dd_add(ln_ratio, drift);
    return x.hi + x.lo;
}

// The rounding error of e = -(h*h + t*t)/2 for h = x/s and t = s/2 (h
// rounded): the exact exponent less e, where an ulp of e (above 7e-15 beyond
// |e| = 32) would show in ln b against the digits of beta; 0 elsewhere.
double exponent_error(double x, double h, double t, double e) noexcept {
    if (!(e < -32)) return 0.0;
    const double s = 2.0 * t;
    const double h_lo = std::fma(-h, s, x) / s;
    DoubleDouble hh = two_prod(h, h);
    hh.lo += 2.0 * h * h_lo;
    const DoubleDouble sum = dd_add(hh, two_prod(t, t));
    return (-0.5 * sum.hi - e) - 0.5 * sum.lo;
}

// Step 3 of the method. Both objectives increase with s. ln beta is
// ln_beta + ln_beta_lo; below the middle, ln b - ln beta is taken in two
// parts, since far out of the money both are large and an ulp of either
// would show in s.
double solve(const Moneyness& mo, double beta, double ln_beta, double ln_beta_lo) noexcept {
    const double x = mo.x;
    if (!(beta < mo.ex)) return inf;  // a price rounded onto the upper bound
    // At the inflection point h = -t, so b and its complement are
    // e^(x/2) (1 -+ erfcx(sqrt|x|))/2; at x = 0, b_c = 0.
    const double s_c = std::sqrt(-2.0 * x);
    const double erfcx_c = erfcx_nonneg(std::sqrt(-x));
    const double m_c = 0.5 - 0.5 * erfcx_c;  // b_c = e^(x/2) m_c
    const double ln_b_c = 0.5 * x + std::log(m_c);
    // ln b serves up to half the limit e^(x/2) at least; above it the
    // complement e^(x/2) - beta keeps its digits.
    constexpr double ln2 = 0.6931471805599453;
    const bool lowest = ln_beta < ln_b_c;
    const bool lower = lowest || ln_beta < 0.5 * x - ln2;
    const double inv_ln_beta = 1.0 / ln_beta;

    double lo = 0;
    double hi = inf;
    double s;
    double ln_c_target = 0;  // ln(e^(x/2) - beta) on the upper branch
    if (lowest) {
        const double slope_c = inv_sqrt_2pi / m_c;  // b'/b at s_c, where b' = e^(x/2)/sqrt(2 pi)
        s = lowest_guess(x, beta, ln_beta, ln_b_c, slope_c);
    } else if (lower) {
        // Newton's step from the inflection point, where b' = e^(x/2)/sqrt(2 pi).
        s = s_c + (beta / mo.ex - m_c) * 2.5066282746310002;
    } else {
        ln_c_target = std::log(mo.ex - beta);
        const double ln_c_c = 0.5 * x + std::log(0.5 + 0.5 * erfcx_c);
        s = std::sqrt(s_c * s_c + 8.0 * (ln_c_c - ln_c_target));
    }
    if (!(s > 0 && s < inf)) s = s_c > 0 ? s_c : 1.0;

    for (int i = 0; i < max_iterations; ++i) {
        const double inv_s = 1.0 / s;
        const double h = x / s;
        const double t = 0.5 * s;
        const double hh_s = h * h * inv_s;
        const double g_b = hh_s - 0.5 * t;                            // b''/b'
        const double d_b = g_b * g_b - 3.0 * hh_s * inv_s - 0.25;      // b'''/b'
        const double e = -0.5 * (h * h + t * t);                       // b' = e^e/sqrt(2 pi)
        double f;
        double g;
        double d;
        double fp;  // f'
        if (lowest) {
            // f = 1/ln beta - 1/ln b, from the derivatives of l = ln b.
            const Scaled v = black_scaled(mo, h, t);
            const double log_m = std::log(v.m) + (v.e == e ? exponent_error(x, h, t, e) : 0.0);
            const double l = v.e + log_m;
            const double r = vega_ratio(e, v);                       // l'
            const double g_l = g_b - r;                              // l''/l'
            const double d_l = d_b - 3.0 * r * g_b + 2.0 * r * r;   // l'''/l'
            const double q = r / l;
            f = ((v.e - ln_beta) + (log_m - ln_beta_lo)) * inv_ln_beta / l;  // 1/ln beta - 1/l
            fp = q / l;
            g = g_l - 2.0 * q;
            d = d_l - 6.0 * q * g_l + 6.0 * q * q;
        } else if (lower) {
            const Scaled v = black_scaled(mo, h, t);
            const double log_m = std::log(v.m) + (v.e == e ? exponent_error(x, h, t, e) : 0.0);
            f = (v.e - ln_beta) + (log_m - ln_beta_lo);
            fp = vega_ratio(e, v);
            g = g_b - fp;
            d = d_b - 3.0 * fp * g_b + 2.0 * fp * fp;
        } else {
            const Scaled c = complement_scaled(mo, h, t);
            f = ln_c_target - c.log();
            fp = vega_ratio(e, c);
            g = g_b + fp;
            d = d_b + 3.0 * fp * g_b + 2.0 * fp * fp;
        }
        if (f == 0) return s;
        (f < 0 ? lo : hi) = s;
        const double step = householder_step(-f / fp, g, d);
        double next = s + step;
        if (!(next > lo && next < hi)) {
            next = hi == inf ? 2.0 * lo : lo > 0 ? std::sqrt(lo * hi) : 0.5 * hi;
            if (!(next > lo && next < hi)) return s;  // the bracket is one ulp wide
        } else if (std::fabs(step) <= tolerance * s) {
            return next;
        }
        s = next;
    }
    return nan;  // not converged: no answer rather than a wrong one
}

}  // namespace

double erfcx(double y) noexcept {
    if (std::isnan(y)) return y;
    if (y >= 0) return erfcx_nonneg(y);
    if (y < -26.7) return inf;
    return 2.0 * exp_square(y) - erfcx_nonneg(-y);
}

double normalised_black(double x, double s) noexcept {
    const Moneyness mo{x, std::exp(0.5 * x)};
    const Scaled v = black_scaled(mo, x / s, 0.5 * s);
    const double half = std::exp(0.5 * v.e);  // e^e itself may underflow where b does not
    return (half * v.m) * half;
}

double normalised_implied_std_dev(double x, double beta, double ln_beta) noexcept {
    return solve(Moneyness{x, std::exp(0.5 * x)}, beta, ln_beta, 0.0);
}

double implied_vol(double price, double spot, double strike, double rate, double div_yield,
                   double tau, PutCallFlag pc_flag) noexcept {
    if (!(std::isfinite(price) && std::isfinite(spot) && std::isfinite(strike) &&
          std::isfinite(rate) && std::isfinite(div_yield) && std::isfinite(tau))) {
        return nan;
    }
    if (!(tau > 0) || spot < 0 || strike < 0) return nan;
    const double ln_df_q = -div_yield * tau;
    const double ln_df_r = -rate * tau;
    const double df_q = std::exp(ln_df_q);
    const double df_r = std::exp(ln_df_r);
    const double chi = sign(pc_flag);
    const double fwd_spot = spot * df_q;
    const double pv_strike = strike * df_r;
    // The normalised price, price/sqrt(spot*df_q * strike*df_r) = price/(df_r sqrt(F K)),
    // in wide form (its mantissa not necessarily in [0.5, 1)): out of the money
    // it may lie far below the smallest double.
    Wide price_n;
    if (is_normal(fwd_spot) & is_normal(pv_strike) & is_normal(df_q) & is_normal(df_r)) {
        const double lower = std::max(chi * (fwd_spot - pv_strike), 0.0);
        const double upper = chi > 0 ? fwd_spot : pv_strike;
        if (price == lower) return 0.0;
        if (price == upper) return inf;
        if (!(price > lower && price < upper)) return nan;
        const double norm = std::sqrt(fwd_spot) * std::sqrt(pv_strike);
        price_n = {price / norm, 0};
        if (!is_normal(price_n.m)) price_n = wide_div(wide(price), wide(norm));
    } else {
        // A discount factor or a product subnormal, or a product overflowing.
        // A discount factor that is not a positive finite double has no meaning.
        if (!(df_q > 0 && df_q < inf && df_r > 0 && df_r < inf)) return nan;
        const WideBounds w = wide_bounds(price, spot, strike, ln_df_q, df_q, ln_df_r, df_r, chi);
        if (w.verdict >= 0 || std::isnan(w.verdict)) return w.verdict;
        price_n = w.price_n;
    }

    // ln(F/K) to a few units of its last place even where it is small: within a
    // factor of 2, spot - strike is exact and log1p keeps the digits of the ratio.
    const double ratio = spot / strike;
    const double ln_ratio = ratio >= 0.5 && ratio <= 2.0 ? std::log1p((spot - strike) / strike)
                            : std::isnormal(ratio)       ? std::log(ratio)
                                                         : std::log(spot) - std::log(strike);
    // In the money, the normalised intrinsic value e^(|x|/2) - e^(-|x|/2) comes
    // off the normalised price: accurate to its own last digits, where
    // spot*df_q - strike*df_r carries the rounding of both terms. The price is
    // then at most e^(|x|/2) with |x| < 37 (wider, the bounds hold no double
    // strictly between them), so its normalised value is an ordinary double.
    // Gives the normalised out-of-the-money price, 0 or less where the price is
    // within rounding of the intrinsic value.
    // One expm1 gives both e^(-|x|/2) and 2 sinh(|x|/2) = em (1 + e^(-|x|/2)),
    // em = e^(|x|/2) - 1, without cancellation.
    double ex;
    const auto otm_price = [&](double ln_moneyness) noexcept {
        const double em = std::expm1(0.5 * std::fabs(ln_moneyness));
        ex = 1.0 / (1.0 + em);
        return chi * ln_moneyness > 0 ? Wide{to_double(price_n) - (em + em * ex), 0} : price_n;
    };
    double ln_moneyness = ln_ratio + (rate - div_yield) * tau;
    Wide beta = otm_price(ln_moneyness);
    // ln(F/K) carries an error of about an ulp of ln(spot/strike); where the two
    // terms cancel and that error is not far below the (time) value, it is
    // taken again in double-double.
    if (std::fabs(ln_moneyness) < 0.5 * std::fabs(ln_ratio) &&
        std::fabs(ln_ratio) * 0x1p-52 > 1e-14 * to_double(beta)) {
        ln_moneyness = ln_moneyness_exact(spot, strike, rate, div_yield, tau);
        beta = otm_price(ln_moneyness);
    }
    if (!(beta.m > 0)) return 0.0;
    // e^(x/2) below the normal range (|ln(F/K)| > 1416): the normalised value
    // would have no digits to solve on.
    if (!(ex >= std::numeric_limits<double>::min())) return nan;
    double x = -std::fabs(ln_moneyness);
    // Near the money with a tiny price, s and |x| are both tiny and b(x, s) is
    // s B(x/s) to far below the rounding (B the normalised Bachelier value), so
    // b(2^k x, 2^k s) = 2^k b(x, s): the problem is solved at the scale 2^-40
    // and the answer scaled back, exactly, by 2^-k.
    int k = 0;
    double beta_d = to_double(beta);
    if (std::fabs(x) < 0x1p-40 && beta_d < 0x1p-40) {
        beta = normalised(beta.m, beta.e);
        k = -40 - (x == 0 ? beta.e : std::max(std::ilogb(x) + 1, beta.e));  // ilogb(0) raises invalid
        x = std::ldexp(x, k);
        beta.e += k;
        ex = std::exp(0.5 * x);
        beta_d = to_double(beta);
    }
    const DoubleDouble ln_beta = wide_log(beta);
    const double s = solve(Moneyness{x, ex}, beta_d, ln_beta.hi, ln_beta.lo);
    return k == 0 ? s / std::sqrt(tau) : std::ldexp(s / std::sqrt(tau), -k);
}

}  // namespace vantorel
