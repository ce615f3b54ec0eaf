// src/instruments/bootstrap.hpp: discount curves solved pillar by pillar from quoted instruments
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "enums/interp_type.hpp"
#include "instruments/legs.hpp"
#include "mkt_data/yield_curve_noded.hpp"

namespace vantorel {

// One quoted instrument of a curve. A ForwardRate (deposit, FRA) quotes the
// simple rate of `period` on the curve built; a Swap quotes the fixed rate
// that makes its fixed leg worth its floating leg (an overnight swap's
// floating leg is compounded daily, which `FloatPeriod` values exactly).
struct CurveQuote {
    enum class Kind : std::uint8_t { ForwardRate, Swap };
    Kind kind;
    std::string name;  // names the instrument in messages ("Deposit 3M")
    double quote;
    FloatPeriod period;                 // ForwardRate
    std::vector<FixedPeriod> fixed;     // Swap
    std::vector<FloatPeriod> floating;  // Swap
};

// The rate the instrument implies: for a ForwardRate the projection curve's
// simple forward, for a Swap the floating leg's value over the annuity, both
// discounted on `discount`.
[[nodiscard]] double implied_quote(const CurveQuote& q, const YieldCurve& projection, const YieldCurve& discount);

// The last date the instrument needs: its pillar.
[[nodiscard]] Date pillar_date(const CurveQuote& q) noexcept;

// Builds the curve whose nodes are the curve date (factor 1) and each
// instrument's pillar, in the order given: every pillar's factor is solved,
// with the earlier ones fixed, so that its instrument implies its quote
// (secant steps on the factor from a flat-forward guess, else Brent's method
// on a bracket, to the last bit; the instrument reprices within 1e-12 in rate
// or the build fails). With
// `discount` null the curve discounts itself (single curve, overnight
// curves); otherwise it only projects and cash flows are discounted on
// `discount` (dual curve). Errors name the instrument: quotes not finite,
// dates before the curve date, pillars not increasing, a quote no positive
// factor can meet (with the bracket searched), no convergence.
std::expected<YieldCurveNoded, std::string> bootstrap(const Date& curve_date, DayCounter dc, InterpType interp,
                                                      const std::vector<CurveQuote>& quotes,
                                                      const YieldCurve* discount);

}  // namespace vantorel
