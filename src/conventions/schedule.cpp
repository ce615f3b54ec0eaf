// src/conventions/schedule.cpp: schedule generation, backward for front stubs, forward for back stubs
#include "conventions/schedule.hpp"

#include "conventions/business_days.hpp"

namespace vantorel {

namespace {

// anchor moved by k tenors on no calendar; with eom and an anchor on the last
// day of its month, the last day of the result's month.
std::int32_t step(std::int32_t anchor, Tenor tenor, int k, bool eom) {
    const Tenor moved{static_cast<std::int16_t>(tenor.count * k), tenor.unit};
    const std::int32_t s = add_tenor(from_int(anchor), moved).serial();
    return eom && month_end(anchor) == anchor ? month_end(s) : s;
}

}  // namespace

std::expected<Schedule, std::string> make_schedule(const HolidayCalendar& cal, const ScheduleSpec& spec) {
    const Tenor tenor = spec.tenor;
    if (tenor.count <= 0 || tenor.unit == TenorUnit::B)
        return std::unexpected("Schedule tenor (" + tenor.to_str() + ") must be a positive count of D, W, M or Y");
    if (spec.effective >= spec.termination)
        return std::unexpected(std::string("Schedule effective date must be before its termination date"));
    for (std::int32_t s : {spec.effective, spec.termination})
        if (!cal.covers(s)) return std::unexpected(cal.range_error(s));
    const auto inside = [&](const std::optional<std::int32_t>& d) {
        return !d || (*d > spec.effective && *d < spec.termination);
    };
    if (!inside(spec.first_date) || !inside(spec.next_to_last_date))
        return std::unexpected(std::string("Schedule first and next-to-last dates must lie strictly between the "
                                           "effective and the termination dates"));
    if (spec.first_date && spec.next_to_last_date && *spec.first_date > *spec.next_to_last_date)
        return std::unexpected(std::string("Schedule first date must not be after its next-to-last date"));

    const bool eom = spec.end_of_month && (tenor.unit == TenorUnit::M || tenor.unit == TenorUnit::Y);
    const BusDayAdj conv = spec.convention;
    // Adjustment of a generated date; the walk stays inside the calendar for
    // every date between two covered ones but a few days at the very ends.
    const auto adj = [&](std::int32_t s, BusDayAdj a) -> std::int32_t {
        auto r = adjust(cal, s, a);
        return r ? *r : s;
    };
    const bool backward = spec.stub == StubType::FrontShort || spec.stub == StubType::FrontLong ||
                          spec.stub == StubType::NoStub;
    std::vector<std::int32_t> dates;
    std::vector<std::uint8_t> regular;
    std::int32_t seed = 0;
    if (backward) {
        dates.push_back(spec.termination);
        seed = spec.termination;
        if (spec.next_to_last_date) {
            dates.insert(dates.begin(), *spec.next_to_last_date);
            regular.insert(regular.begin(), step(seed, tenor, -1, eom) == *spec.next_to_last_date);
            seed = *spec.next_to_last_date;
        }
        const std::int32_t exit = spec.first_date ? *spec.first_date : spec.effective;
        for (int k = 1;; ++k) {
            const std::int32_t temp = step(seed, tenor, -k, eom);
            if (temp < exit) {
                if (spec.first_date && adj(dates.front(), conv) != adj(*spec.first_date, conv)) {
                    dates.insert(dates.begin(), *spec.first_date);
                    regular.insert(regular.begin(), 0);
                }
                break;
            }
            if (adj(dates.front(), conv) != adj(temp, conv)) {
                dates.insert(dates.begin(), temp);
                regular.insert(regular.begin(), 1);
            }
        }
        if (adj(dates.front(), conv) != adj(spec.effective, conv)) {
            dates.insert(dates.begin(), spec.effective);
            regular.insert(regular.begin(), 0);
        }
    } else {
        dates.push_back(spec.effective);
        seed = spec.effective;
        if (spec.first_date) {
            dates.push_back(*spec.first_date);
            regular.push_back(step(seed, tenor, 1, eom) == *spec.first_date);
            seed = *spec.first_date;
        }
        const std::int32_t exit = spec.next_to_last_date ? *spec.next_to_last_date : spec.termination;
        for (int k = 1;; ++k) {
            const std::int32_t temp = step(seed, tenor, k, eom);
            if (temp > exit) {
                if (spec.next_to_last_date && adj(dates.back(), conv) != adj(*spec.next_to_last_date, conv)) {
                    dates.push_back(*spec.next_to_last_date);
                    regular.push_back(0);
                }
                break;
            }
            if (adj(dates.back(), conv) != adj(temp, conv)) {
                dates.push_back(temp);
                regular.push_back(1);
            }
        }
        const BusDayAdj tconv = spec.termination_convention;
        if (adj(dates.back(), tconv) != adj(spec.termination, tconv)) {
            dates.push_back(spec.termination);
            regular.push_back(0);
        } else {
            dates.back() = spec.termination;
        }
    }

    // Long stubs: a short stub joins the period next to it.
    if (spec.stub == StubType::FrontLong && !spec.first_date && dates.size() > 2 && !regular.front()) {
        dates.erase(dates.begin() + 1);
        regular.erase(regular.begin());
        regular.front() = 0;
    }
    if (spec.stub == StubType::BackLong && !spec.next_to_last_date && dates.size() > 2 && !regular.back()) {
        dates.erase(dates.end() - 2);
        regular.pop_back();
        regular.back() = 0;
    }
    if (spec.stub == StubType::NoStub)
        for (std::uint8_t r : regular)
            if (!r)
                return std::unexpected("Schedule with NoStub: the tenor (" + tenor.to_str() +
                                       ") does not divide the span from the effective to the termination date");

    Schedule out;
    out.tenor = tenor;
    out.unadjusted = dates;
    std::vector<std::int32_t>& a = out.adjusted;
    a = dates;
    const std::size_t n = a.size();
    // With the end-of-month rule and an anchor on its month's last business
    // day, the dates between the ends are their months' last days, adjusted.
    auto seed_eom = is_end_of_month(cal, seed);
    const bool month_ends = eom && seed_eom && *seed_eom;
    a.front() = adj(a.front(), conv);
    a.back() = adj(a.back(), spec.termination_convention);
    for (std::size_t i = 1; i + 1 < n; ++i) a[i] = adj(month_ends ? month_end(a[i]) : a[i], conv);
    // Adjustment may bring the dates next to the ends onto or past them.
    auto& u = out.unadjusted;
    if (a.size() > 2 && a[a.size() - 2] >= a.back()) {
        regular[regular.size() - 2] = a[a.size() - 2] == a.back();
        a.erase(a.end() - 2), u.erase(u.end() - 2), regular.pop_back();
    }
    if (a.size() > 2 && a[1] <= a.front()) {
        regular[1] = a[1] == a.front();
        a.erase(a.begin() + 1), u.erase(u.begin() + 1), regular.erase(regular.begin());
    }
    out.regular = regular;
    for (std::size_t i = 0; i + 1 < u.size(); ++i) {
        std::int32_t rs = u[i], re = u[i + 1];
        if (!regular[i]) {
            if (i == 0 && u.size() > 2)
                rs = step(re, tenor, -1, eom);
            else
                re = step(rs, tenor, 1, eom);
        }
        out.reference_start.push_back(rs);
        out.reference_end.push_back(re);
    }
    return out;
}

}  // namespace vantorel
