"""vantorel_rates against QuantLib (calendars, adjustment, advance, schedules, day counts) and numpy."""

from __future__ import annotations

import datetime

import numpy as np
import pytest

import vantorel as vt

vr = pytest.importorskip("vantorel_rates")
ql = pytest.importorskip("QuantLib")

# Serial day 0 is 1899-12-30; datetime64[D] counts from 1970-01-01, serial 25569.
EPOCH = 25569
# Pairs: the enumeration members have no hash.
ADJ = [
    (vt.BusDayAdj.Unadjusted, ql.Unadjusted),
    (vt.BusDayAdj.Preceding, ql.Preceding),
    (vt.BusDayAdj.Following, ql.Following),
    (vt.BusDayAdj.ModFollowing, ql.ModifiedFollowing),
]
QL_CALENDARS = {
    "WEEKENDS": ql.WeekendsOnly(),
    "TARGET": ql.TARGET(),
    "US-SETTLEMENT": ql.UnitedStates(ql.UnitedStates.Settlement),
    "US-GOVT": ql.UnitedStates(ql.UnitedStates.GovernmentBond),
    "US-NYSE": ql.UnitedStates(ql.UnitedStates.NYSE),
    "US-SOFR": ql.UnitedStates(ql.UnitedStates.SOFR),
    "US-FED": ql.UnitedStates(ql.UnitedStates.FederalReserve),
    "UK-SETTLEMENT": ql.UnitedKingdom(ql.UnitedKingdom.Settlement),
    "UK-EXCHANGE": ql.UnitedKingdom(ql.UnitedKingdom.Exchange),
    "JAPAN": ql.Japan(),
    "SWITZERLAND": ql.Switzerland(),
    "CANADA": ql.Canada(ql.Canada.Settlement),
    "AUSTRALIA": ql.Australia(ql.Australia.Settlement),
}
# Days where the rules differ from QuantLib's on purpose (docs/guide/rates.rst says why):
# NYSE election days are the Tuesday after the first Monday of November.
KNOWN = {"US-NYSE": {"1955-11-01", "1955-11-08", "1960-11-01", "1960-11-08", "1966-11-01", "1966-11-08"}}
# Japan: the equinox days and the holidays' first years agree from 2000 to 2099 only.
YEARS = {"JAPAN": ("2000-01-01", "2100-01-01")}


def qd(day: np.datetime64) -> ql.Date:
    return ql.Date(int(day.astype(np.int64)) + EPOCH)


def days_of(dates: list[ql.Date]) -> np.ndarray:
    return np.array([d.serialNumber() - EPOCH for d in dates], dtype="M8[D]")


def random_days(rng: np.random.Generator, n: int, lo: str = "1952-01-01", hi: str = "2148-01-01") -> np.ndarray:
    a, b = np.datetime64(lo).astype(np.int64), np.datetime64(hi).astype(np.int64)
    return rng.integers(a, b, n).astype("M8[D]")


def test_calendar_names_are_the_tables():
    assert vr.calendar_names() == list(QL_CALENDARS)


@pytest.mark.parametrize("name", QL_CALENDARS)
def test_business_days_match_quantlib(name):
    lo, hi = YEARS.get(name, ("1950-01-01", "2151-01-01"))
    days = np.arange(lo, hi, dtype="M8[D]")
    cal = QL_CALENDARS[name]
    holidays = days_of(ql.Calendar.holidayList(cal, qd(days[0]), qd(days[-1]), True))
    theirs = ~np.isin(days, holidays)
    mine = vr.is_business_day(vr.Calendar(name), days)
    assert set(np.datetime_as_string(days[mine != theirs])) == KNOWN.get(name, set())
    # The scalar method and the weekend query agree with the array answers.
    ours = vr.Calendar(name)
    for d in days[:: len(days) // 97]:
        assert ours.is_business_day(d) == mine[days == d][0]
        assert ours.is_weekend(d) == (d.astype(datetime.date).weekday() >= 5)


@pytest.mark.parametrize("name", ["TARGET", "US-SETTLEMENT", "UK-SETTLEMENT", "JAPAN"])
def test_adjust_and_advance_match_quantlib(name):
    rng = np.random.default_rng(len(name))
    cal, qcal = vr.Calendar(name), QL_CALENDARS[name]
    lo, hi = "1952-01-01", "2148-01-01"
    # Japan: moves of up to 24 years from 2026-2074 stay in its years of agreement.
    days = random_days(rng, 400, *(("2026-01-01", "2074-01-01") if name == "JAPAN" else (lo, hi)))
    units = {"B": ql.Days, "W": ql.Weeks, "M": ql.Months, "Y": ql.Years}
    for adj, qadj in ADJ:
        got = vr.adjust(cal, days, adj)
        assert list(got) == [np.datetime64(qcal.adjust(qd(d), qadj).ISO()) for d in days]
        for unit, qunit in units.items():
            n = int(rng.integers(-24, 25))
            for eom in (False, True):
                got = vr.advance(cal, days, f"{n}{unit}", adj, eom)
                want = [qcal.advance(qd(d), ql.Period(n, qunit), qadj, eom).ISO() for d in days]
                assert list(got) == list(np.array(want, dtype="M8[D]")), (adj, n, unit, eom)


def test_dates_in_and_out_keep_their_kind():
    cal = vr.Calendar("TARGET")
    christmas = "2024-12-25"
    assert str(cal.adjust(christmas)) == "2024-12-27"
    assert isinstance(vr.adjust(cal, vt.Date(christmas)), vt.Date)
    assert vr.adjust(cal, datetime.date(2024, 12, 25)) == datetime.date(2024, 12, 27)
    assert vr.adjust(cal, np.datetime64(christmas)) == np.datetime64("2024-12-27")
    pd = pytest.importorskip("pandas")
    column = pd.Series(pd.to_datetime(["2024-12-25", "2024-12-31"]))
    assert list(vr.advance(cal, column, "1B")) == list(np.array(["2024-12-27", "2025-01-02"], dtype="M8[D]"))
    assert str(cal.advance(vt.Date(2024, 12, 24), vt.Tenor("2B"))) == "2024-12-30"
    assert str(cal.advance("2024-01-31", "1M", end_of_month=True)) == "2024-02-29"
    assert vr.is_business_day(cal, datetime.date(2024, 12, 25)) is False
    # NaT is a missing element; an empty column an empty answer.
    gaps = np.array(["2024-12-25", "NaT"], dtype="M8[D]")
    assert vr.adjust(cal, gaps).astype(str).tolist() == ["2024-12-27", "NaT"]
    assert vr.is_business_day(cal, gaps).tolist() == [False, False] and vr.adjust(cal, []).size == 0


def test_built_calendars_match_numpy_busdaycalendar():
    rng = np.random.default_rng(7)
    holidays = random_days(rng, 300, "2000-01-01", "2030-01-01")
    mine = vr.Calendar.from_holidays("MINE", list(holidays), 1990, 2040, weekend=[4, 5])
    np_cal = np.busdaycalendar(weekmask="1111001", holidays=holidays)
    a, b = random_days(rng, 500, "1995-01-01", "2035-01-01"), random_days(rng, 500, "1995-01-01", "2035-01-01")
    assert (vr.is_business_day(mine, a) == np.is_busday(a, busdaycal=np_cal)).all()
    assert (vr.business_days_between(mine, a, b) == np.busday_count(a, b, busdaycal=np_cal)).all()
    # Joins, additions and removals are set operations on the closed days.
    t, u = vr.Calendar("TARGET"), vr.Calendar("US-SETTLEMENT")
    days = np.arange("2000-01-01", "2030-01-01", dtype="M8[D]")
    bt, bu = vr.is_business_day(t, days), vr.is_business_day(u, days)
    assert (vr.is_business_day(vr.Calendar.join([t, u]), days) == (bt & bu)).all()
    assert (vr.is_business_day(vr.Calendar.join([t, u], "all"), days) == (bt | bu)).all()
    changed = t.with_holidays(added=["2024-06-03"], removed=[vt.Date(2024, 12, 25)])
    assert not changed.is_business_day("2024-06-03") and changed.is_business_day("2024-12-25")
    listed = t.holidays("2024-01-01", "2024-12-31")
    assert [str(d) for d in listed] == ["2024-01-01", "2024-03-29", "2024-04-01", "2024-05-01", "2024-12-25",
                                        "2024-12-26"]  # fmt: skip


STUBS = [(vt.StubType.FrontShort, ql.DateGeneration.Backward), (vt.StubType.BackShort, ql.DateGeneration.Forward)]


def test_schedules_match_quantlib():
    cal, qcal = vr.Calendar("TARGET"), QL_CALENDARS["TARGET"]
    rng = np.random.default_rng(3)
    starts = list(random_days(rng, 12, "1990-01-01", "2060-01-01")) + [np.datetime64("2024-01-31")]
    count = 0
    for start in starts:
        for months in (1, 7, 18, 60, 121, 600):
            end = np.datetime64(qcal.advance(qd(start), ql.Period(months, ql.Months), ql.Unadjusted).ISO())
            end = end + np.timedelta64(int(rng.integers(0, 3)) * int(rng.integers(-9, 10)), "D")
            for tenor in ("1M", "3M", "6M", "1Y"):
                for adj, qadj in ADJ:
                    for stub, rule in STUBS:
                        for eom in (False, True):
                            q = ql.Schedule(qd(start), qd(end), ql.Period(tenor), qcal, qadj, qadj, rule, eom)
                            s = vr.schedule(start, end, tenor, cal, adj, adj, stub, eom)
                            want = days_of(list(q))
                            assert list(s.dates) == list(want), (start, end, tenor, adj, stub, eom)
                            count += 1
    assert count > 2000


def test_long_stubs_and_no_stub():
    cal = vr.Calendar("TARGET")
    qcal = QL_CALENDARS["TARGET"]
    start, end, first = "2024-02-10", "2029-06-15", "2024-09-15"
    q = ql.Schedule(qd(np.datetime64(start)), qd(np.datetime64(end)), ql.Period("6M"), qcal, ql.Following,
                    ql.Following, ql.DateGeneration.Backward, False, qd(np.datetime64(first)))  # fmt: skip
    s = vr.schedule(start, end, "6M", cal, first_date=first)
    assert list(s.dates) == list(days_of(list(q)))
    long_front = vr.schedule(start, end, "6M", cal, stub=vt.StubType.FrontLong)
    assert list(long_front.dates) == [s.dates[0], *s.dates[2:]]
    assert not long_front.is_regular[0] and long_front.is_regular[1:].all()
    assert long_front.reference_end[0] == long_front.unadjusted_dates[1]
    short_back = vr.schedule(start, end, "6M", cal, stub=vt.StubType.BackShort)
    long_back = vr.schedule(start, end, "6M", cal, stub=vt.StubType.BackLong)
    assert list(long_back.dates) == [*short_back.dates[:-2], short_back.dates[-1]] and not long_back.is_regular[-1]
    assert long_back.reference_start[-1] == long_back.unadjusted_dates[-2]
    with pytest.raises(ValueError, match="does not divide"):
        vr.schedule(start, end, "6M", cal, stub=vt.StubType.NoStub)
    assert len(vr.schedule("2024-03-15", "2029-03-15", "3M", cal, stub=vt.StubType.NoStub)) == 21


def ulps(a: np.ndarray, b: np.ndarray) -> int:
    return int(np.max(np.abs(a.view(np.int64) - b.view(np.int64)))) if len(a) else 0


def test_day_counts_match_quantlib():
    rng = np.random.default_rng(11)
    a = random_days(rng, 3000, "1960-01-01", "2100-01-01")
    b = a + rng.integers(0, 4000, len(a))
    # Month ends and February ends, where the 30/360 rules differ.
    ends = np.array(["2024-02-29", "2023-02-28", "2024-01-31", "2024-03-31", "2025-02-28"], dtype="M8[D]")
    a, b = np.concatenate([a, np.repeat(ends, 5)]), np.concatenate([b, np.tile(ends, 5) + np.timedelta64(400, "D")])
    cal = vr.Calendar("TARGET")
    cases = [
        (vr.DayCount.Thirty360, ql.Thirty360(ql.Thirty360.BondBasis), {}),
        (vr.DayCount.Thirty360E, ql.Thirty360(ql.Thirty360.EurobondBasis), {}),
        (vr.DayCount.Thirty360EIsda, ql.Thirty360(ql.Thirty360.ISDA), {}),
        (vr.DayCount.ActActIsda, ql.ActualActual(ql.ActualActual.ISDA), {}),
        (vr.DayCount.Act365, ql.Actual365Fixed(), {}),
        (vr.DayCount.Act360, ql.Actual360(), {}),
        (vr.DayCount.Bus252, ql.Business252(QL_CALENDARS["TARGET"]), {"calendar": cal}),
    ]
    for dc, qdc, extra in cases:
        mine = vr.year_fraction(dc, a, b, **extra)
        theirs = np.array([qdc.yearFraction(qd(x), qd(y)) for x, y in zip(a, b, strict=True)])
        assert ulps(mine, theirs) <= (1 if dc == vr.DayCount.ActActIsda else 0), dc
        assert vr.year_fraction(dc, a[0], b[0], **extra) == mine[0] == vr._native.year_fraction(dc, a[0], b[0], **extra)
    # ICMA within a reference period and over short stubs of a quarterly schedule.
    icma = ql.ActualActual(ql.ActualActual.ISMA)
    rs = a[:500]
    re = rs + np.timedelta64(91, "D")
    x = rs + rng.integers(0, 91, 500)
    y = x + rng.integers(0, 400, 500).astype("m8[D]")  # past the reference period too
    mine = vr.year_fraction(vr.DayCount.ActActIcma, x, y, reference_start=rs, reference_end=re)
    theirs = np.array([icma.yearFraction(qd(p), qd(q), qd(r), qd(s)) for p, q, r, s in zip(x, y, rs, re, strict=True)])
    assert ulps(mine, theirs) <= 1


def test_errors_are_data_errors():
    cal = vr.Calendar("TARGET")
    with pytest.raises(ValueError, match=r"Unknown calendar name \(XYZ\), known names are: WEEKENDS, TARGET, "):
        vr.Calendar("XYZ")
    years = r"outside the years of calendar TARGET \(1901-2199\)"
    with pytest.raises(ValueError, match=years):
        cal.is_business_day("1900-06-01")
    with pytest.raises(ValueError, match=years):
        vr.is_business_day(cal, np.array(["2024-01-01", "2200-01-01"], dtype="M8[D]"))
    with pytest.raises(ValueError, match=years):
        cal.advance("2199-12-30", "5B")
    with pytest.raises(TypeError, match="argument 'date': expected a date"):
        cal.adjust(3.5)
    with pytest.raises(TypeError, match="argument 'dates': expected dates"):
        vr.adjust(cal, [1.5, 2.5])
    with pytest.raises(TypeError, match="argument 'convention'"):
        cal.adjust("2024-01-01", "Following")
    with pytest.raises(ValueError, match="Bus252 needs a calendar"):
        vr.year_fraction(vr.DayCount.Bus252, "2024-01-01", "2024-02-01")
