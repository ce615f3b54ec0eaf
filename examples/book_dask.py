"""A book of 20,000,000 European options on a Dask cluster: value, metrics and implied vols.

    python examples/book_dask.py [--options N] [--chunk N] [--scheduler tcp://HOST:PORT]

Each chunk of the book is generated inside its own task from its chunk index
(nothing but the index travels to the workers), and the rates come from a yield
curve that travels to the workers inside the task graph: vantorel_np registers
picklers for vantorel's objects, and a curve goes by value. Without
``--scheduler`` the book runs on a ``distributed.LocalCluster`` of process
workers, with 1 and then 2 workers, and the options per second of each are
printed; with ``--scheduler`` it runs once, unchanged, on that cluster (its
workers need vantorel installed with the same version).
"""

from __future__ import annotations

import argparse
import time
from collections.abc import Callable, Sequence
from typing import Any

import numpy as np

import vantorel as vt
import vantorel_np as vn

EVAL_DAY = np.datetime64("2025-01-02")
SEED = 20250102
FIELDS = ("spot", "strike", "div", "vol", "is_call", "days")
RESULTS = ("npv", "delta", "gamma", "vega", "theta", "rho_r", "rho_q")
VEGA_FLOOR = 1e-4


def make_curve() -> vt.YieldCurve:
    """A log-linear discount curve over ten years, valued on EVAL_DAY."""
    d0 = vt.Date(2025, 1, 2)
    nodes = [d0 + days for days in (0, 91, 182, 365, 730, 1826, 3652)]
    factors = [1.0, 0.9905, 0.9811, 0.9627, 0.9254, 0.8180, 0.6570]
    return vt.YieldCurve.create_noded(d0, vt.DayCounter.Act365, nodes, factors, vt.InterpType.Geometric)


def chunk_sizes(options: int, chunk: int) -> tuple[int, ...]:
    return (chunk,) * (options // chunk) + ((options % chunk,) if options % chunk else ())


def field(index: int, name: str, size: int) -> np.ndarray:
    """One field of chunk `index` of the book, drawn from a generator seeded by the
    chunk and the field, so that a chunk is the same wherever it is made."""
    rng = np.random.default_rng([SEED, index, FIELDS.index(name)])
    if name == "is_call":
        return rng.random(size) < 0.5
    if name == "days":  # days to expiry
        return rng.integers(7, 3 * 365, size)
    low, high = {"spot": (50.0, 150.0), "strike": (50.0, 150.0), "div": (0.0, 0.04), "vol": (0.05, 0.8)}[name]
    return rng.uniform(low, high, size)


def price(book: dict[str, Any], curve: vt.YieldCurve) -> list[Any]:
    """The book's totals of the seven metrics, then the implied vols recovered from
    the values: the largest error among the options whose vega is above VEGA_FLOOR,
    and how many those are (below it, a value moves by less than about 1e-10 per
    1e-6 of vol, or underflows, and gives the vol back only roughly or not at all).
    The same code serves numpy arrays (one chunk, in process) and dask arrays (the
    whole book, lazily)."""
    expiry = EVAL_DAY + book["days"].astype("m8[D]")
    tau = vn.tau_from_dates(EVAL_DAY, expiry)
    rate = vn.zero_rate(curve, expiry)
    spot, strike, div, is_call, vol = book["spot"], book["strike"], book["div"], book["is_call"], book["vol"]
    metrics = vn.metrics(spot, strike, rate, div, tau, is_call, vol)
    iv = vn.implied_vol(metrics.npv, spot, strike, rate, div, tau, is_call)
    priced = metrics.vega > VEGA_FLOOR
    return [*(m.sum() for m in metrics), np.where(priced, abs(iv - vol), 0.0).max(), priced.sum()]


def lazy_book(options: int, chunk: int) -> dict[str, Any]:
    """The book as dask arrays whose blocks are made inside their tasks."""
    import dask.array as da

    sizes = chunk_sizes(options, chunk)
    index = da.arange(len(sizes), chunks=1)

    def block(name: str) -> Any:
        meta = field(0, name, 0)
        return index.map_blocks(lambda i, name=name: field(int(i[0]), name, sizes[int(i[0])]),
                                chunks=(sizes,), meta=meta)  # fmt: skip

    return {name: block(name) for name in FIELDS}


def in_process(options: int, chunk: int, curve: vt.YieldCurve) -> list[float]:
    """The same book chunk by chunk in this process, plain vantorel_np."""
    parts = [price({n: field(i, n, size) for n in FIELDS}, curve) for i, size in enumerate(chunk_sizes(options, chunk))]
    totals = [float(sum(p[k] for p in parts)) for k in range(len(RESULTS))]
    return [*totals, float(max(p[-2] for p in parts)), float(sum(p[-1] for p in parts))]


def on_cluster(client: Any, options: int, chunk: int, curve: vt.YieldCurve, show_progress: bool = True) -> list[float]:
    """The book on the cluster of `client`, with a progress bar on the terminal."""
    from distributed import progress

    futures = client.compute(price(lazy_book(options, chunk), curve))
    if show_progress:
        progress(futures)
        print()
    return [float(f.result()) for f in futures]


def timed(run: Callable[[], list[float]]) -> tuple[float, list[float]]:
    start = time.perf_counter()
    result = run()
    return time.perf_counter() - start, result


def local_cluster(workers: int) -> Any:
    from distributed import Client, LocalCluster

    cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=":0")
    return cluster, Client(cluster)


def report(label: str, options: int, seconds: float, result: Sequence[float]) -> None:
    print(f"{label}: {options:,} options in {seconds:.2f} s, {options / seconds:,.0f} options/s")
    print("  book totals: " + ", ".join(f"{n} {v:,.2f}" for n, v in zip(RESULTS, result)))
    print(f"  implied vols from the values: largest |implied - input| {result[-2]:.1e} "
          f"over the {result[-1]:,.0f} options with vega above {VEGA_FLOOR:g}")


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--options", type=int, default=20_000_000, help="options in the book")
    parser.add_argument("--chunk", type=int, default=1_000_000, help="options per task")
    parser.add_argument("--scheduler", help="address of a running scheduler, tcp://HOST:PORT")
    args = parser.parse_args(argv)
    curve = make_curve()
    if args.scheduler:
        from distributed import Client

        with Client(args.scheduler) as client:
            threads = sum(w["nthreads"] for w in client.scheduler_info()["workers"].values())
            seconds, result = timed(lambda: on_cluster(client, args.options, args.chunk, curve))
            report(f"{args.scheduler} ({threads} worker threads)", args.options, seconds, result)
        return 0
    rates = {}
    for workers in (1, 2):
        cluster, client = local_cluster(workers)
        with cluster, client:
            on_cluster(client, args.chunk, args.chunk, curve, show_progress=False)  # workers import vantorel_np
            seconds, result = timed(lambda: on_cluster(client, args.options, args.chunk, curve))
        report(f"LocalCluster, {workers} process worker{'s' * (workers > 1)}", args.options, seconds, result)
        rates[workers] = args.options / seconds
    print(f"2 workers / 1 worker: {rates[2] / rates[1]:.2f}x the options per second")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
