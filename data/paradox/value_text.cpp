// The text of a value, as the program shows and exports it.

#include "data/paradox/table.h"

#include <charconv>
#include <cmath>

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

// Appends value as decimal digits, zero-padded to at least width digits. Dates and times
// are formatted by hand: a copy of a million rows formats a million of them.
void appendPadded(QString& text, std::int64_t value, int width)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (int i = count; i < width; ++i)
        text += u'0';
    while (count > 0)
        text += QLatin1Char(digits[--count]);
}

QString dateText(std::int64_t days)
{
    const CivilDate date = civilFromDays(days);
    QString text;
    text.reserve(11);
    if (date.year < 0)
        text += u'-';
    appendPadded(text, date.year < 0 ? -date.year : date.year, 4);
    text += u'-';
    appendPadded(text, date.month, 2);
    text += u'-';
    appendPadded(text, date.day, 2);
    return text;
}

QString timeText(std::int64_t msecs)
{
    QString text;
    text.reserve(13);
    if (msecs < 0) {
        text += u'-';
        msecs = -msecs;
    }
    const std::int64_t millis = msecs % 1000;
    const std::int64_t seconds = msecs / 1000;
    appendPadded(text, seconds / 3600, 2);
    text += u':';
    appendPadded(text, seconds / 60 % 60, 2);
    text += u':';
    appendPadded(text, seconds % 60, 2);
    if (millis != 0) {
        text += u'.';
        appendPadded(text, millis, 3);
    }
    return text;
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
