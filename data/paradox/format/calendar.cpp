// Day counts <-> dates after H. Hinnant's days_from_civil and civil_from_days, shifted from
// 1970-01-01 = 0 to 0001-01-01 = 1 (719 163 days apart).

#include "data/paradox/format/calendar.h"

namespace paradox {
namespace {

constexpr std::int64_t kUnixEpochDay = 719'163; // 1970-01-01
constexpr std::int64_t kMarchFirstOfYear0 = 719'468; // days from 0000-03-01 to 1970-01-01
constexpr std::int64_t kDaysPerEra = 146'097; // 400 years

bool isLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

CivilDate civilFromDays(std::int64_t days)
{
    const std::int64_t z = days - kUnixEpochDay + kMarchFirstOfYear0; // days since 0000-03-01
    const std::int64_t era = (z >= 0 ? z : z - (kDaysPerEra - 1)) / kDaysPerEra;
    const std::int64_t dayOfEra = z - era * kDaysPerEra;
    const std::int64_t yearOfEra
        = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return { yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day };
}

std::int64_t daysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * kDaysPerEra + dayOfEra - kMarchFirstOfYear0 + kUnixEpochDay;
}

int daysInMonth(std::int64_t year, int month)
{
    constexpr int kDays[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

} // namespace paradox
