// src/instruments/swap.hpp: fixed-against-floating swaps on one or two curves
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "enums/payer_receiver_flag.hpp"
#include "instruments/legs.hpp"

namespace vantorel {

// Values of a swap on the discount curve's date.
struct SwapValues {
    double npv;          // to the holder: float - fixed for a Payer, fixed - float for a Receiver
    double fixed_leg;    // fixed_rate * annuity
    double float_leg;    // with the spread
    double annuity;      // sum of notional * accrual * P(pay) of the fixed leg
    double fair_rate;    // the fixed rate with npv 0: float_leg / annuity
    double pv01;         // annuity * 1e-4
};

// A payer pays the fixed leg and receives the floating one. The floating leg
// is an IBOR leg or, with daily-compounded overnight periods, an OIS leg.
class Swap {
public:
    // Checks: both legs non-empty, every period ending after it starts with
    // positive finite accruals, finite rate and spread.
    static std::expected<Swap, std::string> make(PayerReceiverFlag flag, double fixed_rate, double spread,
                                                 std::vector<FixedPeriod> fixed, std::vector<FloatPeriod> floating);

    [[nodiscard]] SwapValues values(const YieldCurve& projection, const YieldCurve& discount) const {
        return values_on(projection, discount);
    }
    template <class P, class D>
    [[nodiscard]] SwapValues values_on(const P& projection, const D& discount) const {
        const double a = annuity_on(fixed_, discount);
        const double fl = float_leg_value_on(floating_, spread_, projection, discount);
        const double fx = fixed_rate_ * a;
        const double npv = flag_ == PayerReceiverFlag::Payer ? fl - fx : fx - fl;
        return {npv, fx, fl, a, fl / a, a * 1e-4};
    }

    [[nodiscard]] PayerReceiverFlag flag() const noexcept { return flag_; }
    [[nodiscard]] double fixed_rate() const noexcept { return fixed_rate_; }
    [[nodiscard]] double spread() const noexcept { return spread_; }
    [[nodiscard]] const std::vector<FixedPeriod>& fixed() const noexcept { return fixed_; }
    [[nodiscard]] const std::vector<FloatPeriod>& floating() const noexcept { return floating_; }

private:
    Swap(PayerReceiverFlag flag, double fixed_rate, double spread, std::vector<FixedPeriod> fixed,
         std::vector<FloatPeriod> floating) noexcept;

    PayerReceiverFlag flag_;
    double fixed_rate_;
    double spread_;
    std::vector<FixedPeriod> fixed_;
    std::vector<FloatPeriod> floating_;
};

}  // namespace vantorel
