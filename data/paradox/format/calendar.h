#pragma once

// Dates and times as the fields store them: Date counts days in the proleptic Gregorian
// calendar with 0001-01-01 = 1, Time milliseconds since midnight, Timestamp milliseconds on
// the same day count (0001-01-01 00:00:00.000 = 86 400 000).

#include <cstdint>

namespace paradox {

constexpr std::int64_t kMsecsPerDay = 86'400'000;
// Beyond 2^53 ms a double no longer holds whole milliseconds, and no calendar date is that
// far away: such a (corrupt) timestamp is shown, and read back, as the plain number it is.
constexpr double kLargestExactTimestamp = 9'007'199'254'740'992.0;

struct CivilDate
{
    std::int64_t year;
    int month; // 1..12
    int day; // 1..31
};

// The date of a day count (valid for any 32-bit count).
CivilDate civilFromDays(std::int64_t days);
// The day count of a date; month and day must be valid for the year.
std::int64_t daysFromCivil(std::int64_t year, int month, int day);
int daysInMonth(std::int64_t year, int month);

} // namespace paradox
