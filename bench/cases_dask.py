"""The 20,000,000-option book of examples/book_dask.py on Dask: threads, process workers,
and the cost of the cluster against plain vantorel_np in one process.

Each figure is one run of the whole book (generation in the tasks, curve rates,
the seven metrics, implied vols), in chunks of
1,000,000 options; VANTOREL_BENCH_OPTIONS sets another book size. Scaling is
throughput over throughput, so a ratio above 1.0 is a gain; the overhead is
cluster time over in-process time.
"""

from __future__ import annotations

import os
import pathlib
import sys
import time

from harness import available

TITLE = "Dask: the option book of examples/book_dask.py"
CASES: list = []

OPTIONS = int(os.environ.get("VANTOREL_BENCH_OPTIONS", 20_000_000))
CHUNK = 1_000_000
_TASKS = 2000


def _seconds(run) -> float:
    start = time.perf_counter()
    run()
    return time.perf_counter() - start


def report() -> None:
    if not (available("dask.array") and available("distributed")):
        print("(dask[array] and distributed are not installed: the Dask figures are skipped)")
        return
    import dask

    sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "examples"))
    import book_dask as bd

    curve = bd.make_curve()
    lazy = bd.price(bd.lazy_book(OPTIONS, CHUNK), curve)
    times: dict[str, float] = {"in process": _seconds(lambda: bd.in_process(OPTIONS, CHUNK, curve))}
    for threads in (1, 2):
        times[f"threads {threads}"] = _seconds(lambda: dask.compute(lazy, scheduler="threads", num_workers=threads))
    for workers in (1, 2):
        cluster, client = bd.local_cluster(workers)
        with cluster, client:
            bd.on_cluster(client, CHUNK, CHUNK, curve, show_progress=False)  # workers import vantorel_np
            times[f"cluster {workers}"] = _seconds(lambda: bd.on_cluster(client, OPTIONS, CHUNK, curve, show_progress=False))
            if workers == 2:  # the scheduler's own cost per task, on tasks that do nothing
                per_task = _seconds(lambda: client.gather(client.map(abs, range(-_TASKS, 0)))) / _TASKS
    print(f"\n{'run (' + format(OPTIONS, ',') + ' options)':<44} {'seconds':>9} {'options/s':>13}")
    for name, seconds in times.items():
        print(f"{name:<44} {seconds:>9.2f} {OPTIONS / seconds:>13,.0f}")
    print(f"{'LocalCluster, 2 workers: per empty task':<44} {per_task * 1e3:>9.3f} ms")
    print(f"\n{'figure':<44} {'ratio':>7} {'goal':>8}")
    for name, ratio, goal in [
        ("threaded scheduler: 2 threads / 1 thread", times["threads 1"] / times["threads 2"], ">= 1.80"),
        ("LocalCluster: 2 process workers / 1", times["cluster 1"] / times["cluster 2"], ">= 1.70"),
        ("overhead: LocalCluster 1 worker / in process", times["cluster 1"] / times["in process"], "<= 1.30"),
    ]:
        print(f"{name:<44} {ratio:>7.2f} {goal:>8}")
