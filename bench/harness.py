"""Benchmark harness: times vantorel and its peers in the same run and prints ratios.

A case times one vantorel statement against one or more peer statements; the
ratio is vantorel's time over the peer's (below 1.0: vantorel is faster). Each
statement is timed as the best of several repeats of an automatically sized
loop, so one noisy repeat does not decide the figure. Benchmarks report; they
never fail.
"""

from __future__ import annotations

import timeit
from dataclasses import dataclass, field


@dataclass
class Peer:
    name: str
    stmt: str
    setup: str = ""
    # Module the peer needs; the peer is skipped when it does not import.
    needs: str | None = None
    # Goal for vantorel's time over this peer's (None: report only).
    goal: float | None = None


@dataclass
class Case:
    name: str
    stmt: str
    setup: str = ""
    peers: list[Peer] = field(default_factory=list)


def best_ns(stmt: str, setup: str, repeat: int = 7, min_time: float = 0.05) -> float:
    """Best time of one execution of stmt, in nanoseconds."""
    timer = timeit.Timer(stmt, setup=setup)
    number = 1
    while True:
        if timer.timeit(number) >= min_time:
            break
        number *= 4
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e9


def available(module: str | None) -> bool:
    if module is None:
        return True
    try:
        __import__(module)
    except Exception:
        return False
    return True


def run_cases(title: str, cases: list[Case]) -> list[tuple[str, str, float | None, float | None]]:
    """Times every case and prints a table; returns (case, peer, ratio, goal) rows."""
    rows: list[tuple[str, str, float | None, float | None]] = []
    print(f"\n== {title} ==")
    print(f"{'case':<44} {'vantorel ns':>11} {'peer':<26} {'peer ns':>10} {'ratio':>7} {'goal':>6}")
    for case in cases:
        ours = best_ns(case.stmt, case.setup)
        for peer in case.peers:
            goal = f"{peer.goal:.2f}" if peer.goal is not None else "-"
            if not available(peer.needs):
                print(f"{case.name:<44} {ours:>11.1f} {peer.name:<26} {'n/a':>10} {'-':>7} {goal:>6}")
                rows.append((case.name, peer.name, None, peer.goal))
                continue
            theirs = best_ns(peer.stmt, peer.setup)
            ratio = ours / theirs
            mark = "" if peer.goal is None or ratio <= peer.goal else "  (above goal)"
            print(
                f"{case.name:<44} {ours:>11.1f} {peer.name:<26} {theirs:>10.1f} {ratio:>7.2f} {goal:>6}{mark}"
            )
            rows.append((case.name, peer.name, ratio, peer.goal))
    return rows
