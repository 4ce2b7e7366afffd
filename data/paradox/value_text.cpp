// The text of a value, as the program shows and exports it.

#include "data/paradox/table.h"

#include <charconv>
#include <cmath>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr std::int64_t kMsecsPerDay = 86'400'000;

// Shortest text that reads back as the same double: plain digits for everyday magnitudes,
// scientific notation only for very large or very small ones (where plain digits would run
// to hundreds of characters).
QString shortestNumber(double value)
{
    char buffer[400];
    const double magnitude = std::fabs(value);
    const bool isPlain = magnitude == 0 || (magnitude >= 1e-7 && magnitude < 1e21);
    const auto result = isPlain
        ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
        : std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

struct CivilDate
{
    std::int64_t year;
    int month;
    int day;
};

// Proleptic Gregorian date of a day count with 0001-01-01 = 1 (after H. Hinnant's
// days-to-civil algorithm, valid for any 32-bit count).
CivilDate civilFromDays(std::int64_t days)
{
    std::int64_t z = days - 719'163 + 719'468; // days since 0000-03-01
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const std::int64_t dayOfEra = z - era * 146'097;
    const std::int64_t yearOfEra
        = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return { yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day };
}

QString dateText(std::int64_t days)
{
    const CivilDate date = civilFromDays(days);
    char buffer[40];
    const int size = std::snprintf(buffer, sizeof buffer, "%s%04lld-%02d-%02d", date.year < 0 ? "-" : "",
        static_cast<long long>(date.year < 0 ? -date.year : date.year), date.month, date.day);
    return QString::fromLatin1(buffer, size);
}

QString timeText(std::int64_t msecs)
{
    const char* sign = msecs < 0 ? "-" : "";
    if (msecs < 0)
        msecs = -msecs;
    const std::int64_t millis = msecs % 1000;
    const std::int64_t seconds = msecs / 1000;
    char buffer[48];
    int size = std::snprintf(buffer, sizeof buffer, "%s%02lld:%02lld:%02lld", sign,
        static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
        static_cast<long long>(seconds % 60));
    if (millis != 0)
        size += std::snprintf(buffer + size, sizeof buffer - static_cast<std::size_t>(size), ".%03lld",
            static_cast<long long>(millis));
    return QString::fromLatin1(buffer, size);
}

QString timestampText(double msecs)
{
    // Beyond 2^53 ms a double no longer holds whole milliseconds, and no calendar date is
    // that far away: show such a (corrupt) value as the number it is.
    constexpr double kLargestExact = 9'007'199'254'740'992.0;
    if (!std::isfinite(msecs) || std::fabs(msecs) > kLargestExact)
        return shortestNumber(msecs);
    const auto total = static_cast<std::int64_t>(std::llround(msecs));
    std::int64_t days = total / kMsecsPerDay;
    std::int64_t ofDay = total % kMsecsPerDay;
    if (ofDay < 0) {
        ofDay += kMsecsPerDay;
        --days;
    }
    return dateText(days) + u' ' + timeText(ofDay);
}

struct TextOf
{
    QString operator()(const Null&) const { return {}; }
    QString operator()(bool value) const { return value ? u"true"_s : u"false"_s; }
    QString operator()(std::int32_t value) const { return QString::number(value); }
    QString operator()(double value) const { return shortestNumber(value); }
    QString operator()(const QString& value) const { return value; }
    QString operator()(const QByteArray& value) const { return QString::fromLatin1(value.toHex()); }
    QString operator()(const Date& value) const { return dateText(value.days); }
    QString operator()(const TimeOfDay& value) const { return timeText(value.msecs); }
    QString operator()(const Timestamp& value) const { return timestampText(value.msecs); }
    QString operator()(const Bcd& value) const { return value.decimal; }
};

} // namespace

QString valueText(const Value& value)
{
    return std::visit(TextOf {}, value);
}

} // namespace paradox
