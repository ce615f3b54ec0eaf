"""The enumeration classes: members, text forms, int(), and the comparison rules."""

from __future__ import annotations

import operator

import pytest

import vantorel
from vantorel import BusDayAdj, ExtrapType, PutCallFlag, TenorUnit, Weekday

MEMBERS = {
    "BusDayAdj": ["Unadjusted", "Preceding", "Following", "ModFollowing"],
    "PayerReceiverFlag": ["Payer", "Receiver"],
    "ExtrapType": ["Auto", "Flat", "Disabled"],
    "PutCallFlag": ["Put", "Call"],
    "StubType": ["FrontShort", "FrontLong", "BackShort", "BackLong", "NoStub"],
    "TenorUnit": ["D", "B", "W", "M", "Y"],
    "Weekday": ["Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"],
    "InterpType": ["Linear", "Geometric", "CubicSpline", "LogCubicSpline"],
    "DayCounter": ["Act365", "Act360", "Thirty360"],
}
ALL_MEMBERS = [(cls, code, member) for cls, names in MEMBERS.items() for code, member in enumerate(names)]


@pytest.mark.parametrize("cls_name, code, member", ALL_MEMBERS)
def test_member_code_text_and_identity(cls_name, code, member):
    cls = getattr(vantorel, cls_name)
    value = getattr(cls, member)
    assert type(value) is cls
    assert int(value) == code
    assert repr(value) == str(value) == f"{cls_name}.{member}"
    assert getattr(cls, member) is value  # one stored class attribute
    assert value == code and code == value and not (value != code)
    assert value != code + 1
    assert bool(value) is True  # no truth-value operation, even for code 0


@pytest.mark.parametrize("cls_name", MEMBERS)
def test_members_are_class_attributes_in_declaration_order(cls_name):
    cls = getattr(vantorel, cls_name)
    declared = [name for name, value in vars(cls).items() if type(value) is cls]
    assert declared == MEMBERS[cls_name]


@pytest.mark.parametrize(
    "left, right, equal",
    [
        (BusDayAdj.Following, 2, True),
        (Weekday.Monday, False, True),
        (Weekday.Tuesday, True, True),
        (Weekday.Monday, 0.0, False),  # floats are never converted
        (Weekday.Tuesday, TenorUnit.B, False),  # other enumerations never equal
        (ExtrapType.Flat, 2**70, False),  # out of the 64-bit range: simply unequal
        (ExtrapType.Flat, -(2**70), False),
        (PutCallFlag.Call, PutCallFlag.Call, True),
        (PutCallFlag.Call, PutCallFlag.Put, False),
        (PutCallFlag.Call, "Call", False),
        (PutCallFlag.Put, None, False),
    ],
)
def test_equality_rules(left, right, equal):
    assert (left == right) is equal
    assert (right == left) is equal
    assert (left != right) is (not equal)
    assert (right != left) is (not equal)


class Indexable:
    def __init__(self, value: int) -> None:
        self.value = value
        self.calls = 0

    def __index__(self) -> int:
        self.calls += 1
        return self.value


def test_index_objects_compare_and_ordering_still_converts_once():
    other = Indexable(3)
    assert BusDayAdj.ModFollowing == other
    with pytest.raises(TypeError):
        BusDayAdj.ModFollowing < other  # noqa: B015
    # Once for ==, once (before the operator is examined) for <, once reflected.
    assert other.calls >= 2


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
@pytest.mark.parametrize("other", [Weekday.Sunday, 6, 6.0])
def test_ordering_is_a_type_error(op, other):
    with pytest.raises(TypeError, match="not supported between instances of 'Weekday'"):
        op(Weekday.Monday, other)


@pytest.mark.parametrize("value", [PutCallFlag.Call, Weekday.Monday, vantorel.DayCounter.Act360])
def test_members_are_unhashable(value):
    with pytest.raises(TypeError, match="unhashable type"):
        hash(value)
    with pytest.raises(TypeError):
        {value: 1}  # noqa: B018
    with pytest.raises(TypeError):
        {value}  # noqa: B018


def test_returned_members_are_fresh_objects():
    weekday = vantorel.Date(2024, 1, 5).weekday()
    assert weekday == Weekday.Friday and weekday is not Weekday.Friday
    assert vantorel.Date(2024, 1, 5).weekday() is not weekday


def test_no_index_conversion():
    with pytest.raises(TypeError):
        [1, 2, 3][PutCallFlag.Call]
    with pytest.raises(TypeError):
        operator.index(Weekday.Sunday)
