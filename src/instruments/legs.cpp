// src/instruments/legs.cpp: leg values off discount and projection curves
#include "instruments/legs.hpp"

#include <cmath>
#include <utility>

#include "core/number_format.hpp"

namespace vantorel {

namespace {

// The first fault of parallel period lists, or "".
std::string check_periods(const char* leg, const std::vector<Date>& starts, const std::vector<Date>& ends,
                          const std::vector<Date>& pays, const std::vector<double>& accruals,
                          const std::vector<double>* fixing_accruals, double notional) {
    const std::size_t n = starts.size();
    if (n == 0 || ends.size() != n || pays.size() != n || accruals.size() != n ||
        (fixing_accruals != nullptr && fixing_accruals->size() != n))
        return std::string(leg) + ": the lists of dates and accruals must have one size, at least 1";
    if (!std::isfinite(notional)) return std::string(leg) + ": notional (" + format_plain(notional) + ") must be finite";
    for (std::size_t i = 0; i < n; ++i) {
        if (ends[i].serial() <= starts[i].serial() || pays[i].serial() < starts[i].serial())
            return std::string(leg) + ": period " + std::to_string(i) + " (" + starts[i].to_str() + " to " +
                   ends[i].to_str() + ", paid " + pays[i].to_str() + ") must end after it starts and pay no earlier";
        const double f = fixing_accruals != nullptr ? (*fixing_accruals)[i] : 1.0;
        if (!(accruals[i] > 0.0) || !std::isfinite(accruals[i]) || !(f > 0.0) || !std::isfinite(f))
            return std::string(leg) + ": period " + std::to_string(i) + " accrual (" + format_plain(accruals[i]) +
                   ") must be positive and finite";
    }
    return {};
}

}  // namespace

std::expected<FixedLeg, std::string> FixedLeg::make(std::vector<Date> start_dates, std::vector<Date> end_dates,
                                                    std::vector<Date> pay_dates, std::vector<double> accruals,
                                                    double notional) {
    if (std::string e = check_periods("FixedLeg", start_dates, end_dates, pay_dates, accruals, nullptr, notional);
        !e.empty())
        return std::unexpected(std::move(e));
    FixedLeg leg;
    leg.periods.reserve(start_dates.size());
    for (std::size_t i = 0; i < start_dates.size(); ++i)
        leg.periods.push_back({start_dates[i], end_dates[i], pay_dates[i], accruals[i], notional});
    return leg;
}

std::expected<FloatLeg, std::string> FloatLeg::make(std::vector<Date> start_dates, std::vector<Date> end_dates,
                                                    std::vector<Date> pay_dates, std::vector<double> accruals,
                                                    std::vector<double> fixing_accruals, double notional) {
    if (std::string e =
            check_periods("FloatLeg", start_dates, end_dates, pay_dates, accruals, &fixing_accruals, notional);
        !e.empty())
        return std::unexpected(std::move(e));
    FloatLeg leg;
    leg.periods.reserve(start_dates.size());
    for (std::size_t i = 0; i < start_dates.size(); ++i)
        leg.periods.push_back(
            {start_dates[i], end_dates[i], pay_dates[i], fixing_accruals[i], accruals[i], notional});
    return leg;
}

double annuity(const std::vector<FixedPeriod>& leg, const YieldCurve& discount) { return annuity_on(leg, discount); }

double float_leg_value(const std::vector<FloatPeriod>& leg, double spread, const YieldCurve& projection,
                       const YieldCurve& discount) {
    return float_leg_value_on(leg, spread, projection, discount);
}

Date last_date(const std::vector<FixedPeriod>& leg, Date from) noexcept {
    for (const FixedPeriod& p : leg) {
        if (p.end.serial() > from.serial()) from = p.end;
        if (p.pay.serial() > from.serial()) from = p.pay;
    }
    return from;
}

Date last_date(const std::vector<FloatPeriod>& leg, Date from) noexcept {
    for (const FloatPeriod& p : leg) {
        if (p.end.serial() > from.serial()) from = p.end;
        if (p.pay.serial() > from.serial()) from = p.pay;
    }
    return from;
}

}  // namespace vantorel
