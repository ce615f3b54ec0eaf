"""Prints the coefficient tables of erfcx in src/pricers/implied_vol.cpp.

Chebyshev fits in 50-digit mpmath, as polynomials in the distance from the
middle of each interval: erfcx(y) on [k/4, (k+1)/4) for k = 0..31 with 13
coefficients, and sqrt(pi)*y*erfcx(y) as a polynomial of u = 1/y^2 on
[0, 1/64] (y >= 8) with 10. Prints the worst relative error of each table.
"""

import mpmath as mp

mp.mp.dps = 50


def erfcx(y):
    return mp.exp(y * y) * mp.erfc(y)


def centred_fit(f, a, b, n):
    c = (a + b) / 2
    poly = mp.chebyfit(lambda u: f(u + c), [a - c, b - c], n)  # highest power first
    grid = [a + (b - a) * mp.mpf(i) / 256 for i in range(257)]
    worst = max(abs(mp.polyval(poly, y - c) / f(y) - 1) for y in grid)
    return [float(p) for p in reversed(poly)], worst


def table(name, rows):
    print(f"constexpr double {name}[][{len(rows[0])}] = {{")
    for row in rows:
        print("    {" + ", ".join(repr(v) for v in row) + "},")
    print("};")


def main():
    rows, worst = [], 0
    for k in range(32):
        coeffs, w = centred_fit(erfcx, mp.mpf(k) / 4, mp.mpf(k + 1) / 4, 13)
        rows.append(coeffs)
        worst = max(worst, w)
    table("erfcx_pieces", rows)
    print(f"// worst relative error {float(worst):.1e}")
    tail = lambda u: mp.sqrt(mp.pi) * erfcx(1 / mp.sqrt(u)) / mp.sqrt(u) if u > 0 else mp.mpf(1)  # noqa: E731
    coeffs, w = centred_fit(tail, mp.mpf(0), mp.mpf(1) / 64, 10)
    table("erfcx_tail", [coeffs])
    print(f"// worst relative error {float(w):.1e}")


if __name__ == "__main__":
    main()
