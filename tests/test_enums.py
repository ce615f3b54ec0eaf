"""The enumeration classes: members, text forms, int(), and the comparison rules."""

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
    assert type(value) is cls and getattr(cls, member) is value  # one stored class attribute
    assert int(value) == code and value == code and code == value and value != code + 1
    assert repr(value) == str(value) == f"{cls_name}.{member}"
    assert bool(value) is True  # no truth-value operation, even for code 0


@pytest.mark.parametrize("cls_name", MEMBERS)
def test_members_are_class_attributes_in_declaration_order(cls_name):
    cls = getattr(vantorel, cls_name)
    declared = [name for name, value in vars(cls).items() if type(value) is cls]
    assert declared == MEMBERS[cls_name]


class Three:
    def __index__(self) -> int:
        return 3


@pytest.mark.parametrize(
    "left, right, equal",
    [(BusDayAdj.Following, 2, True), (Weekday.Monday, False, True), (Weekday.Tuesday, True, True),
     (BusDayAdj.ModFollowing, Three(), True), (BusDayAdj.Following, Three(), False),  # any __index__
     (Weekday.Monday, 0.0, False),  # floats are never converted
     (Weekday.Tuesday, TenorUnit.B, False),  # other enumerations never equal
     (ExtrapType.Flat, 2**70, False), (ExtrapType.Flat, -(2**70), False),  # beyond 64 bits: simply unequal
     (PutCallFlag.Call, PutCallFlag.Call, True), (PutCallFlag.Call, PutCallFlag.Put, False),
     (PutCallFlag.Call, "Call", False), (PutCallFlag.Put, None, False)],
)  # fmt: skip
def test_equality_rules(left, right, equal):
    assert (left == right) is (right == left) is equal
    assert (left != right) is (right != left) is (not equal)


class IndexRaises:
    def __init__(self, exc: BaseException) -> None:
        self.exc = exc

    def __index__(self) -> int:
        raise self.exc


@pytest.mark.parametrize("op", [operator.eq, operator.ne])
@pytest.mark.parametrize(
    "exc", [KeyboardInterrupt(), SystemExit(3), MemoryError(), ValueError("boom"), TypeError("no"), OverflowError()]
)
def test_equality_propagates_errors_of_index_other_than_failed_conversions(op, exc):
    # Only a failed integer conversion means "not comparable" (then identity decides).
    if isinstance(exc, (TypeError, OverflowError)):
        assert op(Weekday.Monday, IndexRaises(exc)) is (op is operator.ne)
    else:
        with pytest.raises(type(exc)):
            op(Weekday.Monday, IndexRaises(exc))


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
@pytest.mark.parametrize("other", [Weekday.Sunday, 6, 6.0, Three()])
def test_ordering_is_a_type_error(op, other):
    with pytest.raises(TypeError, match="not supported between instances of 'Weekday'"):
        op(Weekday.Monday, other)


@pytest.mark.parametrize("value", [PutCallFlag.Call, Weekday.Monday, vantorel.DayCounter.Act360])
def test_members_are_unhashable(value):
    with pytest.raises(TypeError, match="unhashable type"):
        hash(value)


def test_no_index_conversion():
    with pytest.raises(TypeError, match="^'PutCallFlag' object cannot be interpreted as an integer$"):
        operator.index(PutCallFlag.Call)
