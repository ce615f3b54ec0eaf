// src/instruments/swap.cpp: swap legs, NPV, fair rate and annuity
#include "instruments/swap.hpp"

#include <cmath>
#include <utility>

#include "core/number_format.hpp"

namespace vantorel {

Swap::Swap(PayerReceiverFlag flag, double fixed_rate, double spread, std::vector<FixedPeriod> fixed,
           std::vector<FloatPeriod> floating) noexcept
    : flag_(flag), fixed_rate_(fixed_rate), spread_(spread), fixed_(std::move(fixed)), floating_(std::move(floating)) {}

std::expected<Swap, std::string> Swap::make(PayerReceiverFlag flag, double fixed_rate, double spread,
                                            std::vector<FixedPeriod> fixed, std::vector<FloatPeriod> floating) {
    if (fixed.empty() || floating.empty()) return std::unexpected(std::string("Swap: both legs need a period"));
    if (!std::isfinite(fixed_rate) || !std::isfinite(spread))
        return std::unexpected("Swap: fixed rate (" + format_plain(fixed_rate) + ") and spread (" +
                               format_plain(spread) + ") must be finite");
    auto bad = [](const Date& s, const Date& e, double a) {
        return e.serial() <= s.serial() || !(a > 0.0) || !std::isfinite(a);
    };
    for (const FixedPeriod& p : fixed)
        if (bad(p.start, p.end, p.accrual) || !std::isfinite(p.notional))
            return std::unexpected("Swap: fixed period " + p.start.to_str() + " to " + p.end.to_str() +
                                   " must end after it starts, with a positive accrual");
    for (const FloatPeriod& p : floating)
        if (bad(p.start, p.end, p.accrual) || bad(p.start, p.end, p.fixing_accrual) || !std::isfinite(p.notional))
            return std::unexpected("Swap: floating period " + p.start.to_str() + " to " + p.end.to_str() +
                                   " must end after it starts, with a positive accrual");
    return Swap(flag, fixed_rate, spread, std::move(fixed), std::move(floating));
}

}  // namespace vantorel
