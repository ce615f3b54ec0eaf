"""How often results differ between glibc's FMA and non-FMA variants of exp, log and pow.

glibc picks a variant of its exponential and logarithm at run time from the CPU;
GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA,-AVX512F forces the plain one. This
script computes one fixed book of npv, implied vols, erfc and curve queries in
two child processes, one per variant, and prints the share of elements whose
bits differ. It reports; it never fails.

    python bench/libm_variants.py [N]
"""

from __future__ import annotations

import os
import subprocess
import sys
import tempfile

import numpy as np

PLAIN = "glibc.cpu.hwcaps=-AVX2,-FMA,-AVX512F"


def book(n: int) -> dict[str, np.ndarray]:
    """The results of one seeded book, by name."""
    import vantorel as vt
    import vantorel_np as vn

    rng = np.random.default_rng(20261209)
    spot = rng.uniform(50.0, 150.0, n)
    strike = spot * np.exp(rng.normal(0.0, 0.3, n))
    rate, q = rng.uniform(-0.01, 0.08, n), rng.uniform(0.0, 0.05, n)
    tau, vol = rng.uniform(0.01, 5.0, n), rng.uniform(0.05, 0.8, n)
    flag = rng.integers(0, 2, n)
    price = vn.npv(spot, strike, rate, q, tau, flag, vol)
    # The same prices in both processes: those computed with the plain variant.
    price_in = np.load(os.environ["LIBM_VARIANT_PRICES"]) if "LIBM_VARIANT_PRICES" in os.environ else price
    today = vt.Date(2025, 1, 2)
    nodes = [today + d for d in (0, 30, 91, 182, 365, 730, 1826, 3652, 10957)]
    factors = [float(np.exp(-0.035 * (n_ - today) / 365.0 - 1e-6 * (n_ - today))) for n_ in nodes]
    curves = {str(i).partition(".")[2]: vt.YieldCurve.create_noded(today, vt.DayCounter.Act365, nodes, factors, i)
              for i in (vt.InterpType.Linear, vt.InterpType.Geometric)}  # fmt: skip
    start = vn.to_datetime64(today) + rng.integers(0, 10000, n).astype("m8[D]")
    end = start + rng.integers(1, 400, n).astype("m8[D]")
    out = {"npv": price, "implied_vol": vn.implied_vol(price_in, spot, strike, rate, q, tau, flag),
           "erfc": vn.erfc(rng.normal(0.0, 3.0, n))}  # fmt: skip
    for i, c in curves.items():
        for name in ("discount_factor", "zero_rate", "overnight_rate"):
            out[f"{name} {i}"] = getattr(vn, name)(c, start)
        out[f"fwd_rate {i}"] = vn.fwd_rate(c, start, end)
    return out


def main(argv: list[str]) -> None:
    if argv and argv[0] == "--child":
        np.savez(argv[2], **book(int(argv[1])))
        return
    n = int(argv[0]) if argv else 200_000
    with tempfile.TemporaryDirectory() as tmp:
        files = {}
        for variant, tunables in [("plain", PLAIN), ("default", None)]:
            env = {k: v for k, v in os.environ.items() if k != "GLIBC_TUNABLES"}
            if variant == "default":
                env["LIBM_VARIANT_PRICES"] = os.path.join(tmp, "prices.npy")
                np.save(env["LIBM_VARIANT_PRICES"], np.load(files["plain"])["npv"])
            if tunables:
                env["GLIBC_TUNABLES"] = tunables
            files[variant] = os.path.join(tmp, f"{variant}.npz")
            subprocess.run([sys.executable, __file__, "--child", str(n), files[variant]], env=env, check=True)
        a, b = np.load(files["default"]), np.load(files["plain"])
        print(f"{n} elements per result (implied vols of the same prices); share whose bits differ")
        print(f"between the default variant and GLIBC_TUNABLES={PLAIN}:")
        for name in a.files:
            x, y = a[name].view(np.int64), b[name].view(np.int64)
            differ = x != y
            with np.errstate(all="ignore"):
                rel = np.abs(a[name][differ] / b[name][differ] - 1.0)
            worst = np.nanmax(rel) if differ.any() else 0.0
            far = int(np.count_nonzero(~(rel <= 1e-9)))
            print(f"  {name:28s} {differ.mean():.2e}  largest relative difference {worst:.1e}, {far} beyond 1e-9")


if __name__ == "__main__":
    main(sys.argv[1:])
