// src/instruments/bond.hpp: fixed-rate bonds priced off a curve or a yield
#pragma once

#include <expected>
#include <string>
#include <utility>
#include <vector>

#include "conventions/day_counts.hpp"
#include "instruments/legs.hpp"

namespace vantorel {

// How a yield y turns a time t into a discount factor B(t):
//   Simple 1 / (1 + y t); Compounded 1 / (1 + y / f)^(f t); Continuous
//   1 / exp(y t); SimpleThenCompounded: Simple up to t = 1 / f, then Compounded.
enum class Compounding : std::uint8_t { Simple, Compounded, Continuous, SimpleThenCompounded };

template <>
struct EnumInfo<Compounding> {
    static constexpr std::string_view name = "Compounding";
    static constexpr std::array<std::string_view, 4> members{"Simple", "Compounded", "Continuous",
                                                             "SimpleThenCompounded"};
};

// A yield convention: times from the settlement date under `dc`, compounded
// `frequency` times a year (ignored by Simple and Continuous).
struct YieldConvention {
    DayCount dc;
    Compounding compounding;
    int frequency;
};

// Discount factor of yield y over time t, and its first two derivatives in y.
struct YieldDiscount {
    double df, d1, d2;
};
[[nodiscard]] YieldDiscount yield_discount(double y, double t, const YieldConvention& conv) noexcept;

// Sensitivities of the dirty price to its yield.
struct BondRisk {
    double macaulay;   // sum of t * PV(flow) / dirty value
    double modified;   // -(dP/dy) / P
    double convexity;  // (d2P/dy2) / P
    double dv01;       // modified * dirty price * 1e-4: the price fall for one basis point, per 100 face
};

// Year fraction from d1 to d2 under dc, over the reference period [ref_start,
// ref_end] (used by Actual/Actual ICMA only). Bus252 needs a calendar and is
// refused when a bond is made.
[[nodiscard]] double bond_year_fraction(DayCount dc, const Date& d1, const Date& d2, const Date& ref_start,
                                        const Date& ref_end);

// One dated amount of a bond: coupons and the redemption.
struct BondFlow {
    Date pay;
    double amount;
};

// A bullet bond paying `coupon_rate` on `face` over its periods (accrual
// year fractions already in them) and `redemption` per 100 of face on the last
// payment date. Prices and accrued amounts are per 100 of face. Flows paying on
// or before the settlement date belong to the seller and are left out.
class FixedRateBond {
public:
    // Checks: at least one period, each ending after it starts and paying no
    // earlier than its start, payment dates increasing, finite coupon, face
    // and redemption > 0, accruals finite and >= 0, a day counter that counts.
    // `reference` holds each period's reference period (start, end) for
    // Actual/Actual ICMA; empty: each period is its own.
    static std::expected<FixedRateBond, std::string> make(std::vector<FixedPeriod> periods, double coupon_rate,
                                                          DayCount dc, double face, double redemption,
                                                          std::vector<std::pair<Date, Date>> reference = {});

    [[nodiscard]] const std::vector<FixedPeriod>& periods() const noexcept { return periods_; }
    [[nodiscard]] const std::vector<BondFlow>& flows() const noexcept { return flows_; }
    [[nodiscard]] double coupon_rate() const noexcept { return coupon_rate_; }
    [[nodiscard]] DayCount dc() const noexcept { return dc_; }
    [[nodiscard]] double face() const noexcept { return face_; }
    [[nodiscard]] double redemption() const noexcept { return redemption_; }
    [[nodiscard]] const std::vector<std::pair<Date, Date>>& reference() const noexcept { return reference_; }

    // Interest accrued at settlement in the coupon paid next, per 100 of face.
    [[nodiscard]] double accrued(const Date& settlement) const;

    // Dirty price off a curve: each flow's P(pay) / P(settlement), with a
    // continuously compounded spread z over the curve's own times.
    [[nodiscard]] double dirty_price(const YieldCurve& curve, const Date& settlement, double z_spread = 0.0) const;
    // The same without spread, over any curve type (a book's cached curve).
    template <class Curve>
    [[nodiscard]] double dirty_price_on(const Curve& curve, const Date& settlement) const {
        const double ds = curve.get_df(settlement);
        double sum = 0.0;
        for (const BondFlow& f : flows_)
            if (f.pay.serial() > settlement.serial()) sum += f.amount * (curve.get_df(f.pay) / ds);
        return sum * 100.0 / face_;
    }
    // Dirty price at a yield.
    [[nodiscard]] double dirty_price(double yield, const YieldConvention& conv, const Date& settlement) const;
    // The yield that gives this dirty price (exact to 1e-14), or why none does.
    [[nodiscard]] std::expected<double, std::string> yield(double dirty_price, const YieldConvention& conv,
                                                           const Date& settlement) const;
    [[nodiscard]] BondRisk risk(double yield, const YieldConvention& conv, const Date& settlement) const;
    // The spread z over the curve that gives this dirty price.
    [[nodiscard]] std::expected<double, std::string> z_spread(double dirty_price, const YieldCurve& curve,
                                                              const Date& settlement) const;

private:
    FixedRateBond(std::vector<FixedPeriod> periods, std::vector<BondFlow> flows,
                  std::vector<std::pair<Date, Date>> reference, double coupon_rate, DayCount dc, double face,
                  double redemption) noexcept;

    // Times of the flows after settlement under conv: step by step from the
    // settlement date to each payment date, each step within its coupon's
    // period (its reference period for Actual/Actual ICMA).
    [[nodiscard]] std::vector<std::pair<double, double>> timed_flows(const YieldConvention& conv,
                                                                     const Date& settlement) const;

    std::vector<FixedPeriod> periods_;
    std::vector<BondFlow> flows_;
    std::vector<std::pair<Date, Date>> reference_;
    double coupon_rate_;
    DayCount dc_;
    double face_;
    double redemption_;
};

}  // namespace vantorel
