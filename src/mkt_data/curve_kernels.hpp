// src/mkt_data/curve_kernels.hpp: the curve's formulas over its discount factors, over a double or a pack of lanes
#pragma once

#include "core/lanes.hpp"

// Each curve query is a formula over discount factors and year fractions:
// the scalar curve calls these with doubles, the array loops with packs, so a
// lane gives the scalar call's bits.
namespace vantorel::curve_kernels {

// A flat curve's factor at tau from its date: exp(tau * -rate).
template <class T>
T flat_df(T tau, double rate) noexcept {
    return lanes::exp(tau * -rate);
}

// The factor from start to end: df(end) / df(start).
template <class T>
T fwd_df(T df_start, T df_end) noexcept {
    return df_end / df_start;
}

// The simple rate from start to end over the year fraction tau between them:
// (df(start) / df(end) - 1) / tau.
template <class T>
T simple_rate(T df_start, T df_end, T tau) noexcept {
    return (df_start / df_end - 1.0) / tau;
}

// The continuously compounded rate to a date tau from the curve date:
// -ln(df) / tau (0/0, NaN, at the curve date).
template <class T>
T zero_rate(T df, T tau) noexcept {
    return -lanes::log(df) / tau;
}

}  // namespace vantorel::curve_kernels
