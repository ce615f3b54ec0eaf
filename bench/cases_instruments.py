"""Bootstrapping, bond and swap books of vantorel_rates beside QuantLib."""

from harness import Case, Peer

TITLE = "rates instruments (EUR: ESTR discount, 6M Euribor projection)"

_SETUP = (
    "from instruments_setup import (VR_BOND_BOOK, VR_DISC, VR_PROJ, VR_SWAP_BOOK, SETTLE, ql_bond_book, "
    "ql_curves, ql_swap_book, vr, vr_curves)"
)

CASES = [
    Case(
        "bootstrap 20-instrument dual curve",
        "vr_curves()",
        _SETUP,
        [Peer("QuantLib PiecewiseLogLinearDiscount x2", "ql_curves()", _SETUP, needs="QuantLib", goal=0.05)],
    ),
    Case(
        "price_bonds: 100,000 bonds off one curve",
        "vr.price_bonds(VR_BOND_BOOK, VR_DISC, SETTLE)",
        _SETUP,
        [Peer("QuantLib bond.dirtyPrice() loop", "ql_bond_book()", _SETUP, needs="QuantLib", goal=0.02)],
    ),
    Case(
        "value_swaps: 100,000 swaps, NPV and fair rate",
        "vr.value_swaps(VR_SWAP_BOOK, VR_PROJ, VR_DISC)",
        _SETUP,
        [Peer("QuantLib swap.NPV(), fairRate() loop", "ql_swap_book()", _SETUP, needs="QuantLib", goal=0.02)],
    ),
]
