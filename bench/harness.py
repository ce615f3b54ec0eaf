"""Benchmark harness: times vantorel and its peers in the same run and prints ratios.

A case times one vantorel statement against one or more peer statements; the
ratio is vantorel's time over the peer's (below 1.0: vantorel is faster). Each
pair is timed as the best of several alternating rounds of automatically sized
loops, so one noisy round does not decide the figure and a slow drift of the
machine hits both sides alike. Benchmarks report; they
never fail.
"""

from __future__ import annotations

import time
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
    # A floor of vantorel's own statement (the C library calls it cannot avoid
    # while keeping its bits): for an unmet goal of the case, the summary gives
    # the ratio vantorel would have if it spent nothing beyond this.
    bound: bool = False


@dataclass
class Case:
    name: str
    stmt: str
    setup: str = ""
    peers: list[Peer] = field(default_factory=list)
    # Goal for vantorel's time per item, in ns, where the statement handles
    # `items` of them (None: no absolute goal).
    goal_ns: float | None = None
    items: int = 1


@dataclass
class Row:
    """One measured pair: vantorel's time, the peer's, and the goal of their ratio."""

    case: str
    peer: str
    ours: float | None  # ns per execution (None: the peer is not installed)
    theirs: float | None
    goal: float | None
    bound: bool = False

    @property
    def ratio(self) -> float | None:
        return None if self.ours is None or self.theirs is None else self.ours / self.theirs


def verdict(ratio: float | None, goal: float | None) -> str:
    if goal is None:
        return ""
    if ratio is None:
        return "not measured"
    return "met" if ratio <= goal else "NOT met"


def _loop_count(timer: timeit.Timer, min_time: float) -> int:
    number = 1
    while timer.timeit(number) < min_time:
        number *= 4
    return number


def best_ns_pair(
    stmt_a: str, setup_a: str, stmt_b: str, setup_b: str, repeat: int = 9, min_time: float = 0.05
) -> tuple[float, float]:
    """Best time of one execution of each statement, in nanoseconds. The two
    are timed in alternating rounds, so that a drift of the machine's speed
    (frequency ramps, a neighbour's load) hits both alike."""
    timers = [timeit.Timer(stmt_a, setup=setup_a), timeit.Timer(stmt_b, setup=setup_b)]
    numbers = [_loop_count(t, min_time) for t in timers]
    best = [float("inf"), float("inf")]
    for _ in range(repeat):
        for i, (timer, number) in enumerate(zip(timers, numbers)):
            best[i] = min(best[i], timer.timeit(number) / number * 1e9)
    return best[0], best[1]


def warm_up(seconds: float = 0.5) -> None:
    """Keeps the CPU busy for a moment so that the first figures are not taken
    while the processor is still leaving an idle state."""
    end = time.perf_counter() + seconds
    while time.perf_counter() < end:
        pass


def available(module: str | None) -> bool:
    if module is None:
        return True
    try:
        __import__(module)
    except Exception:
        return False
    return True


def run_cases(title: str, cases: list[Case]) -> list[Row]:
    """Times every case and prints a table; returns its rows."""
    rows: list[Row] = []
    print(f"\n== {title} ==")
    print(f"{'case':<44} {'vantorel ns':>11} {'peer':<26} {'peer ns':>10} {'ratio':>7} {'goal':>6}")
    warm_up()
    for case in cases:
        best_ours = float("inf")
        for peer in case.peers:
            goal = f"{peer.goal:.2f}" if peer.goal is not None else "-"
            if not available(peer.needs):
                print(f"{case.name:<44} {'-':>11} {peer.name:<26} {'n/a':>10} {'-':>7} {goal:>6}")
                rows.append(Row(case.name, peer.name, None, None, peer.goal, peer.bound))
                continue
            ours, theirs = best_ns_pair(case.stmt, case.setup, peer.stmt, peer.setup)
            best_ours = min(best_ours, ours)
            ratio = ours / theirs
            mark = f"  {verdict(ratio, peer.goal)}" if peer.goal is not None else ""
            print(
                f"{case.name:<44} {ours:>11.1f} {peer.name:<26} {theirs:>10.1f} {ratio:>7.2f} {goal:>6}{mark}"
            )
            rows.append(Row(case.name, peer.name, ours, theirs, peer.goal, peer.bound))
        if case.goal_ns is not None:
            per_item = best_ours / case.items if best_ours < float("inf") else None
            shown = f"{per_item:.1f}" if per_item is not None else "-"
            print(f"{case.name + ', per item':<44} {shown:>11} {'(ns per item)':<26} {'':>10} {'':>7} "
                  f"{case.goal_ns:>6.0f}  {verdict(per_item, case.goal_ns)}")
            # An absolute goal reads as a ratio to the goal itself.
            rows.append(Row(case.name, f"{shown} ns per item, goal {case.goal_ns:.0f}", per_item, case.goal_ns, 1.0))
    return rows


def summary(title: str, rows: list[Row]) -> None:
    """The goals of the rows, met or not; an unmet one with the floor its case measured."""
    goals = [r for r in rows if r.goal is not None]
    if not goals:
        return
    print(f"\n== {title} ==")
    print(f"{'case':<44} {'against':<30} {'ratio':>7} {'goal':>6}  verdict")
    for r in goals:
        ratio = f"{r.ratio:.2f}" if r.ratio is not None else "-"
        print(f"{r.case:<44} {r.peer:<30} {ratio:>7} {r.goal:>6.2f}  {verdict(r.ratio, r.goal)}")
        if verdict(r.ratio, r.goal) != "NOT met" or r.theirs is None:
            continue
        for b in rows:
            if b.case == r.case and b.bound and b.theirs is not None:
                print(f"{'':<44}   bound: {b.peer} alone would give {b.theirs / r.theirs:.2f}")
