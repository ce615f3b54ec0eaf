// src/conventions/schedule.cpp: schedule generation, backward for front stubs, forward for back stubs
#include "conventions/schedule.hpp"

#include <algorithm>
#include <cstdint>

#include "conventions/business_days.hpp"

namespace vantorel {

namespace {

// Moves an anchor by whole tenors on no calendar. Month and year tenors keep
// the anchor's day, clamped to the month's length; with eom and an anchor on
// the last day of its month, the result is the last day of its month.
class Stepper {
public:
    Stepper(std::int32_t anchor, Tenor tenor, bool eom)
        : anchor_(anchor), tenor_(tenor), date_(from_int(anchor)), to_month_end_(eom && month_end(anchor) == anchor) {}

    std::int32_t operator()(int k) const {
        const int n = tenor_.count * k;
        switch (tenor_.unit) {
            case TenorUnit::D: return anchor_ + n;
            case TenorUnit::W: return anchor_ + 7 * n;
            case TenorUnit::M:
            case TenorUnit::Y: {
                const int months = (tenor_.unit == TenorUnit::Y ? 12 : 1) * n + (date_.month() - 1);
                const int years = months >= 0 ? months / 12 : -((11 - months) / 12);
                const int year = date_.year() + years, month = months - 12 * years + 1;
                // Beyond the dates: before or after every date of any calendar.
                if (year < 1899) return INT32_MIN;
                if (year > 65535) return INT32_MAX;
                const auto length = month_length(static_cast<std::uint16_t>(year), static_cast<std::uint8_t>(month));
                const int day = to_month_end_ || date_.day() > length ? length : date_.day();
                return serial_from_ymd(*YearMonthDay::make(year, month, day));
            }
            case TenorUnit::B: break;
        }
        return anchor_;
    }

private:
    std::int32_t anchor_;
    Tenor tenor_;
    Date date_;
    bool to_month_end_;
};

std::int32_t step(std::int32_t anchor, Tenor tenor, int k, bool eom) { return Stepper(anchor, tenor, eom)(k); }

}  // namespace

std::expected<Schedule, std::string> make_schedule(const HolidayCalendar& cal, const ScheduleTerms& terms) {
    const Tenor tenor = terms.tenor;
    if (tenor.count <= 0 || tenor.unit == TenorUnit::B)
        return std::unexpected("Schedule tenor (" + tenor.to_str() + ") must be a positive count of D, W, M or Y");
    if (terms.effective >= terms.termination)
        return std::unexpected(std::string("Schedule effective date must be before its termination date"));
    for (std::int32_t s : {terms.effective, terms.termination})
        if (!cal.covers(s)) return std::unexpected(cal.range_error(s));
    const auto inside = [&](const std::optional<std::int32_t>& d) {
        return !d || (*d > terms.effective && *d < terms.termination);
    };
    if (!inside(terms.first_date) || !inside(terms.next_to_last_date))
        return std::unexpected(std::string("Schedule first and next-to-last dates must lie strictly between the "
                                           "effective and the termination dates"));
    if (terms.first_date && terms.next_to_last_date && *terms.first_date > *terms.next_to_last_date)
        return std::unexpected(std::string("Schedule first date must not be after its next-to-last date"));

    const bool eom = terms.end_of_month && (tenor.unit == TenorUnit::M || tenor.unit == TenorUnit::Y);
    const BusDayAdj conv = terms.convention;
    // Adjustment of a generated date; the walk stays inside the calendar for
    // every date between two covered ones but a few days at the very ends.
    const auto adj = [&](std::int32_t s, BusDayAdj a) -> std::int32_t {
        auto r = adjust(cal, s, a);
        return r ? *r : s;
    };
    const bool backward = terms.stub == StubType::FrontShort || terms.stub == StubType::FrontLong ||
                          terms.stub == StubType::NoStub;
    std::vector<std::int32_t> dates;
    std::vector<std::uint8_t> regular;
    std::int32_t seed = 0;
    if (backward) {
        dates.push_back(terms.termination);
        seed = terms.termination;
        if (terms.next_to_last_date) {
            dates.insert(dates.begin(), *terms.next_to_last_date);
            regular.insert(regular.begin(), step(seed, tenor, -1, eom) == *terms.next_to_last_date);
            seed = *terms.next_to_last_date;
        }
        const std::int32_t exit = terms.first_date ? *terms.first_date : terms.effective;
        // Built from the end, in reverse, then turned round.
        std::ranges::reverse(dates);
        std::ranges::reverse(regular);
        const Stepper back(seed, tenor, eom);
        std::int32_t last_adjusted = adj(dates.back(), conv);
        for (int k = 1;; ++k) {
            const std::int32_t temp = back(-k);
            if (temp < exit) {
                if (terms.first_date && last_adjusted != adj(*terms.first_date, conv)) {
                    dates.push_back(*terms.first_date);
                    regular.push_back(0);
                    last_adjusted = adj(*terms.first_date, conv);
                }
                break;
            }
            const std::int32_t temp_adjusted = adj(temp, conv);
            if (last_adjusted != temp_adjusted) {
                dates.push_back(temp);
                regular.push_back(1);
                last_adjusted = temp_adjusted;
            }
        }
        if (last_adjusted != adj(terms.effective, conv)) {
            dates.push_back(terms.effective);
            regular.push_back(0);
        }
        std::ranges::reverse(dates);
        std::ranges::reverse(regular);
    } else {
        dates.push_back(terms.effective);
        seed = terms.effective;
        if (terms.first_date) {
            dates.push_back(*terms.first_date);
            regular.push_back(step(seed, tenor, 1, eom) == *terms.first_date);
            seed = *terms.first_date;
        }
        const std::int32_t exit = terms.next_to_last_date ? *terms.next_to_last_date : terms.termination;
        const Stepper forth(seed, tenor, eom);
        std::int32_t last_adjusted = adj(dates.back(), conv);
        for (int k = 1;; ++k) {
            const std::int32_t temp = forth(k);
            if (temp > exit) {
                if (terms.next_to_last_date && last_adjusted != adj(*terms.next_to_last_date, conv)) {
                    dates.push_back(*terms.next_to_last_date);
                    regular.push_back(0);
                }
                break;
            }
            const std::int32_t temp_adjusted = adj(temp, conv);
            if (last_adjusted != temp_adjusted) {
                dates.push_back(temp);
                regular.push_back(1);
                last_adjusted = temp_adjusted;
            }
        }
        const BusDayAdj tconv = terms.termination_convention;
        if (adj(dates.back(), tconv) != adj(terms.termination, tconv)) {
            dates.push_back(terms.termination);
            regular.push_back(0);
        } else {
            dates.back() = terms.termination;
        }
    }

    // Long stubs: a short stub joins the period next to it.
    if (terms.stub == StubType::FrontLong && !terms.first_date && dates.size() > 2 && !regular.front()) {
        dates.erase(dates.begin() + 1);
        regular.erase(regular.begin());
        regular.front() = 0;
    }
    if (terms.stub == StubType::BackLong && !terms.next_to_last_date && dates.size() > 2 && !regular.back()) {
        dates.erase(dates.end() - 2);
        regular.pop_back();
        regular.back() = 0;
    }
    if (terms.stub == StubType::NoStub)
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
    a.back() = adj(a.back(), terms.termination_convention);
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
