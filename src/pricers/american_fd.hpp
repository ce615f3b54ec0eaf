// src/pricers/american_fd.hpp: finite-difference values of European and American options with cash dividends
#pragma once

#include <cstddef>

#include "enums/put_call_flag.hpp"

namespace vantorel {

// A cash dividend: the ex-date as a time from now in years, the amount paid.
struct CashDividend {
    double time;
    double amount;
};

// Grid sizes of one finite-difference solve.
struct FdGrid {
    int space_steps;
    int time_steps;
};

// The value on one grid (space_steps >= 8, time_steps >= 4), the same
// arguments as the closed-form functions plus the exercise style and the
// dividends. Dividends must have 0 < time (strictly increasing) and
// amount >= 0; those with time > tau do not touch the option. On the ex-date
// the spot falls by the amount, capped at the spot so that it stays >= 0.
// NaN for a negative spot, strike or vol; tau < 0 gives 0; tau = 0 the
// intrinsic value.
double fd_npv(double spot, double strike, double rate, double div_yield, double tau,
              PutCallFlag pc_flag, double vol, bool american, const CashDividend* dividends,
              std::size_t n_dividends, FdGrid grid) noexcept;

// Richardson extrapolation of fd_npv over grid and grid doubled in both
// directions: the default for arrays, within about 1e-8 relative of the
// converged value for the grids the array functions use.
double fd_npv_richardson(double spot, double strike, double rate, double div_yield, double tau,
                         PutCallFlag pc_flag, double vol, bool american,
                         const CashDividend* dividends, std::size_t n_dividends,
                         FdGrid grid) noexcept;

// The value to a relative tolerance: Richardson values R_k from grids refined
// 2^k and 2^(k+1) times (k = 0, 1, ...), refined until R_k's error estimate
// |R_k - R_(k-1)|/(2^p - 1) is within tol * max(|R_k|, 1e-4 strike) and the
// step before was at most 2^p times as large (order p = 4 for a European; an
// American's p = 2, its step before up to 2^(p+1) times as large); then R_k.
// NaN when the grid would pass max_space space steps first. tol <= 0: R_0, as
// fd_npv_richardson. Never below 0, nor an American below its intrinsic value.
double fd_npv_adaptive(double spot, double strike, double rate, double div_yield, double tau,
                       PutCallFlag pc_flag, double vol, bool american, const CashDividend* dividends,
                       std::size_t n_dividends, FdGrid grid, double tol, int max_space) noexcept;

}  // namespace vantorel
