// tests/native/core_tests.cpp: checks of the native core without Python
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/failure.hpp"
#include "core/lane_loops.hpp"
#include "core/number_format.hpp"
#include "conventions/business_days.hpp"
#include "conventions/holiday_calendar.hpp"
#include "datetime/date.hpp"
#include "maths/functions/exp_log_kernels.hpp"
#include "pricers/implied_vol.hpp"

namespace {

int failures = 0;

void check(bool ok, const char* what, long long detail = 0) {
    if (!ok) {
        ++failures;
        if (failures <= 20) std::fprintf(stderr, "FAILED: %s (%lld)\n", what, detail);
    }
}

using namespace vantorel;

static_assert(std::is_trivially_copyable_v<Date>);
static_assert(std::is_trivially_copyable_v<YearMonthDay>);
static_assert(is_leap_year(2000) && !is_leap_year(1900) && is_leap_year(2024) && !is_leap_year(2023));

// Walks every representable serial: the triple is the next day of the previous
// triple, the serial computed back from it is the same, and the weekday advances
// by one each day.
void walk_every_serial() {
    Date previous = from_int(min_serial);
    check(previous.year() == 1899 && previous.month() == 1 && previous.day() == 1, "first date");
    check(previous.weekday() == Weekday::Sunday, "1899-01-01 is a Sunday");
    for (std::int32_t s = min_serial + 1; s <= max_serial; ++s) {
        const Date d = from_int(s);
        const auto ymd = YearMonthDay::make(d.year(), d.month(), d.day());
        check(ymd.has_value() && serial_from_ymd(*ymd) == s, "serial round trip", s);
        const bool next_day = d.day() == previous.day() + 1 && d.month() == previous.month() &&
                              d.year() == previous.year();
        const bool next_month = d.day() == 1 && previous.day() == month_length(previous.year(), previous.month()) &&
                                ((d.month() == previous.month() + 1 && d.year() == previous.year()) ||
                                 (d.month() == 1 && previous.month() == 12 && d.year() == previous.year() + 1));
        check(next_day || next_month, "consecutive days", s);
        check(code_of(d.weekday()) == (code_of(previous.weekday()) + 1) % 7, "weekday advances", s);
        previous = d;
    }
    check(previous.year() == 65535 && previous.month() == 12 && previous.day() == 31, "last date");
}

void out_of_range_serials_fail() {
    for (const std::int64_t s : {std::int64_t{-364}, std::int64_t{max_serial} + 1, std::int64_t{-2147483648LL} - 1,
                                 std::int64_t{4294967296LL}}) {
        bool failed = false;
        try {
            (void)from_int(s);
        } catch (const Failure&) {
            failed = true;
        }
        check(failed, "out-of-range serial fails", s);
    }
}

void plain_number_format() {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0"}, {-0.0, "-0"}, {1.0, "1"}, {2.0, "2"}, {100.0, "100"}, {0.99, "0.99"},
        {1e-7, "0.0000001"}, {1.5e-7, "0.00000015"}, {0.0001, "0.0001"}, {37.5, "37.5"},
        {0.1, "0.1"}, {1e21, "1000000000000000000000"}, {-2.5, "-2.5"},
        {9.227006, "9.227006"}, {123456.789, "123456.789"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {5e-324, nullptr}, {1.7976931348623157e308, nullptr},
    };
    for (const auto& c : cases) {
        const std::string text = format_plain(c.value);
        if (c.text != nullptr) {
            check(text == c.text, (std::string(c.text) + " != " + text).c_str());
        } else {  // extremes: plain digits that read back exactly
            check(text.find('e') == std::string::npos && std::strtod(text.c_str(), nullptr) == c.value,
                  "extreme round trip");
        }
    }
}

// The bounds of implied_vol: 0.0 at the discounted intrinsic value, +inf at
// spot*df_q (call) or strike*df_r (put), NaN outside them and for inputs out
// of the domain.
void implied_vol_bounds() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double r = 0.05, q = 0.02, tau = 0.5;
    const double fwd_spot = 100.0 * std::exp(-q * tau), pv_strike = 90.0 * std::exp(-r * tau);
    const double call_lower = fwd_spot - pv_strike;
    const auto iv = [&](double price, PutCallFlag flag, double t = 0.5) {
        return implied_vol(price, 100.0, 90.0, r, q, t, flag);
    };
    check(iv(call_lower, PutCallFlag::Call) == 0.0, "call at the intrinsic value is 0");
    check(iv(0.0, PutCallFlag::Put) == 0.0, "out-of-the-money put at 0 is 0");
    check(std::isinf(iv(fwd_spot, PutCallFlag::Call)), "call at spot*df_q is +inf");
    check(std::isinf(iv(pv_strike, PutCallFlag::Put)), "put at strike*df_r is +inf");
    for (const double price : {std::nextafter(call_lower, 0.0), std::nextafter(fwd_spot, 1e9), -1.0, nan}) {
        check(std::isnan(iv(price, PutCallFlag::Call)), "call price outside the bounds is NaN");
    }
    check(std::isnan(iv(-1e-300, PutCallFlag::Put)), "negative put price is NaN");
    // One ulp of time value: a small vol (about 0.02 here), never NaN.
    const double above = iv(std::nextafter(call_lower, 1e9), PutCallFlag::Call);
    check(above >= 0 && above < 0.05, "just above the lower bound");
    check(std::isfinite(iv(std::nextafter(fwd_spot, 0.0), PutCallFlag::Call)), "just below the upper bound");
    check(std::isnan(iv(12.0, PutCallFlag::Call, 0.0)) && std::isnan(iv(12.0, PutCallFlag::Call, -1.0)),
          "tau <= 0 is NaN");
    check(std::isnan(implied_vol(5.0, -1.0, 90.0, r, q, tau, PutCallFlag::Call)) &&
              std::isnan(implied_vol(5.0, 100.0, -90.0, r, q, tau, PutCallFlag::Call)) &&
              std::isnan(implied_vol(5.0, 100.0, 90.0, nan, q, tau, PutCallFlag::Call)),
          "negative spot or strike, NaN rate");
}

// normalised_implied_std_dev inverts normalised_black across the moneyness
// h = x/s and deviation s, deep out of the money included.
void implied_std_dev_round_trip() {
    for (const double h : {0.0, -0.3, -2.0, -8.0, -30.0}) {
        for (const double s : {1e-6, 1e-3, 0.1, 0.7, 3.0, 12.0}) {
            const double x = h * s;
            const double b = normalised_black(x, s);
            if (!(b > 1e-300) || b >= 0.999 * std::exp(0.5 * x)) continue;  // vega vanishes there
            const double back = normalised_implied_std_dev(x, b, std::log(b));
            check(std::fabs(back / s - 1) < 1e-13, "normalised round trip",
                  static_cast<long long>(h * 100 + s * 1e6));
        }
    }
}

// erfcx is continuous across the pieces of its table and has its limits.
void erfcx_pieces_join() {
    check(erfcx(0.0) == 1.0 && erfcx(std::numeric_limits<double>::infinity()) == 0.0, "erfcx limits");
    for (int k = 1; k <= 32; ++k) {
        const double y = k / 4.0;
        const double left = erfcx(std::nextafter(y, 0.0)), right = erfcx(y);
        check(std::fabs(left - right) <= 4.5e-16 * right, "erfcx continuous at a piece boundary", k);
    }
    const double y = 1e6;  // erfcx(y) ~ 1/(y sqrt(pi)) (1 - 1/(2 y^2))
    check(std::fabs(erfcx(y) * y * 1.7724538509055160 / (1 - 0.5 / (y * y)) - 1) < 1e-15, "erfcx asymptote");
}

// Easter Sunday is a Sunday from 22 March to 25 April; every convention of
// every market calendar gives a business day on the right side of the day,
// ModFollowing in the day's month unless the month's end forces Preceding.
void conventions_hold_their_rules() {
    for (int y = 1901; y <= 2199; ++y) {
        const Date e = easter_sunday(static_cast<std::uint16_t>(y));
        const int md = e.month() * 100 + e.day();
        check(e.weekday() == Weekday::Sunday && md >= 322 && md <= 425, "Easter Sunday", y);
    }
    for (const MarketTable& table : market_tables()) {
        const auto cal = *HolidayCalendar::make(table.name);
        for (std::int32_t s = cal->first_serial() + 10; s <= cal->last_serial() - 10; ++s) {
            const std::int32_t f = *adjust(*cal, s, BusDayAdj::Following);
            const std::int32_t p = *adjust(*cal, s, BusDayAdj::Preceding);
            const std::int32_t m = *adjust(*cal, s, BusDayAdj::ModFollowing);
            check(!cal->closed(f) && !cal->closed(p) && f >= s && p <= s, "following/preceding", s);
            check((cal->closed(s) ? f > s && p < s : f == s && p == s), "open days stay", s);
            check(m == (from_int(f).month() == from_int(s).month() ? f : p), "modified following", s);
        }
    }
}

}  // namespace

// exp and log over the number type against long double: within one unit in
// the last place on random arguments across their domains (subnormal results
// and arguments included), the IEEE values at the ends, and each lane of a
// pack the double's bits.
void exp_log_within_an_ulp() {
    const auto ulps = [](double got, long double want) {
        const double w = static_cast<double>(want);
        if (got == w) return 0.0L;
        const double ulp = std::max(std::nextafter(std::fabs(w), std::numeric_limits<double>::infinity()) - std::fabs(w), 0x1p-1074);
        return std::fabs(static_cast<long double>(got) - want) / ulp;
    };
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> span(-745.5, 710.0), near(-2.0, 2.0);
    long double worst_exp = 0, worst_log = 0;
    for (int i = 0; i < 200000; ++i) {
        const double x = i % 2 ? span(rng) : near(rng);
        worst_exp = std::max(worst_exp, ulps(math_kernels::exp(x), expl(x)));
        std::uint64_t bits = rng() >> 1;  // a positive finite double, or a subnormal
        double y;
        std::memcpy(&y, &bits, sizeof y);
        if (!std::isfinite(y)) continue;
        worst_log = std::max(worst_log, ulps(math_kernels::log(y), logl(y)));
        const lanes::Pack2 p = math_kernels::log(lanes::Pack2{y, x}) + math_kernels::exp(lanes::Pack2{x, 0.5});
        check(p[0] == math_kernels::log(y) + math_kernels::exp(x), "exp and log in a pack give the double's bits", i);
    }
    check(worst_exp <= 1.0L, "exp within an ulp", static_cast<long long>(worst_exp * 1000));
    check(worst_log <= 1.0L, "log within an ulp", static_cast<long long>(worst_log * 1000));
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    check(math_kernels::exp(-inf) == 0.0 && math_kernels::exp(inf) == inf && math_kernels::exp(710.0) == inf &&
              math_kernels::exp(-746.0) == 0.0 && math_kernels::exp(-745.0) == 0x1p-1074 &&
              std::isnan(math_kernels::exp(nan)),
          "exp at the ends");
    check(math_kernels::log(0.0) == -inf && math_kernels::log(inf) == inf && std::isnan(math_kernels::log(-1.0)) &&
              std::isnan(math_kernels::log(nan)) && math_kernels::log(1.0) == 0.0 &&
              math_kernels::log(0x1p-1074) == static_cast<double>(-1074 * 0.69314718055994530941723L),
          "log at the ends");
}

// implied_vol's lane loop, on the target this CPU runs and on the baseline,
// gives every option the scalar call's bits: options of every moneyness in
// mixed packs, and rows whose step 1 the lanes take in full (wide and
// scaled forms, ln(F/K) in double-double) before solving them beside others.
void implied_vol_lanes_match_the_scalar_call() {
    std::mt19937_64 rng(5);
    std::normal_distribution<double> z(0.0, 1.5);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const std::size_t n = 4099;
    std::vector<double> col[7], out(n);
    std::vector<std::int64_t> flag(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double tau = std::pow(10.0, -2.5 + 4.0 * u(rng)), vol = std::pow(10.0, -2.0 + 2.5 * u(rng));
        const double strike = 100.0 * std::exp(z(rng) * vol * std::sqrt(tau));
        const double values[] = {0.0, 100.0, strike, -0.01 + 0.1 * u(rng), 0.03 * u(rng), tau};
        for (int k = 1; k < 6; ++k) col[k].push_back(values[k]);
        flag[i] = static_cast<std::int64_t>(rng() & 1);
        const double chi = flag[i] ? 1.0 : -1.0;
        const double fwd = 100.0 * std::exp(-values[4] * tau), pv = strike * std::exp(-values[3] * tau);
        const double lower = std::max(chi * (fwd - pv), 0.0), upper = flag[i] ? fwd : pv;
        col[0].push_back(lower + (upper - lower) * std::pow(u(rng), 3.0));
    }
    const double rare[][7] = {{1e-14, 100, 100, 0, 0, 1, 1}, {0.01, 100, 105.12710963760242, 0.05, 0, 1, 0},
                              {1.0, 1e308, 1e308, 0, -1, 1, 0}, {50, 100, 100, 800, 0, 1, 1}, {5e-324, 1, 1e10, 0, 0, 1, 1}};
    for (std::size_t j = 0; j < 5; ++j) {  // inside packs of the common path
        for (int k = 0; k < 6; ++k) col[k][101 * j + 5] = rare[j][k];
        flag[101 * j + 5] = static_cast<std::int64_t>(rare[j][6]);
    }
    char* data[8];
    for (int k = 0; k < 6; ++k) data[k] = reinterpret_cast<char*>(col[k].data());
    data[6] = reinterpret_cast<char*>(flag.data());
    data[7] = reinterpret_cast<char*>(out.data());
    const std::ptrdiff_t steps[8] = {8, 8, 8, 8, 8, 8, 8, 8};
    for (const lanes::Table* table : {lanes::active(), &lanes::table_baseline}) {
        const auto loop = table->loops[static_cast<std::size_t>(lanes::Kernel::implied_vol)];
        check(loop(data, steps, static_cast<std::ptrdiff_t>(n)) == static_cast<std::ptrdiff_t>(n), "implied_vol lanes run");
        for (std::size_t i = 0; i < n; ++i) {
            const double want = implied_vol(col[0][i], col[1][i], col[2][i], col[3][i], col[4][i], col[5][i],
                                            flag[i] ? PutCallFlag::Call : PutCallFlag::Put);
            check(std::memcmp(&want, &out[i], sizeof want) == 0 || (std::isnan(want) && std::isnan(out[i])),
                  table->target, static_cast<long long>(i));
        }
    }
}

int main() {
    conventions_hold_their_rules();
    walk_every_serial();
    out_of_range_serials_fail();
    plain_number_format();
    implied_vol_bounds();
    implied_std_dev_round_trip();
    erfcx_pieces_join();
    exp_log_within_an_ulp();
    implied_vol_lanes_match_the_scalar_call();
    if (failures != 0) {
        std::fprintf(stderr, "%d native check(s) failed\n", failures);
        return 1;
    }
    std::puts("native core checks passed");
    return 0;
}
