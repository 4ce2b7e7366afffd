// The text of a value, as the program shows and exports it.

#include "data/paradox/format/calendar.h"
#include "data/paradox/format/table.h"

#include <charconv>
#include <cmath>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

// Shortest text that reads back as the same double: plain digits for everyday magnitudes,
// scientific notation only for very large or very small ones (where plain digits would run
// to hundreds of characters).
void appendShortestNumber(QString& text, double value)
{
    char buffer[400];
    const double magnitude = std::fabs(value);
    const bool isPlain = magnitude == 0 || (magnitude >= 1e-7 && magnitude < 1e21);
    const auto result = isPlain
        ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
        : std::to_chars(buffer, buffer + sizeof buffer, value);
    text += QLatin1StringView(buffer, result.ptr - buffer);
}

// Dates and times are formatted by hand into a small buffer and appended at once: a copy of
// a million rows formats a million of them.
struct Characters
{
    char16_t data[48];
    qsizetype size = 0;
    void put(char16_t c) { data[size++] = c; }
    // value as decimal digits, zero-padded to at least width digits (at most 20 in all)
    void putPadded(std::int64_t value, int width)
    {
        char16_t digits[20];
        int count = 0;
        do {
            digits[count++] = static_cast<char16_t>(u'0' + value % 10);
            value /= 10;
        } while (value > 0);
        for (int i = count; i < width; ++i)
            put(u'0');
        while (count > 0)
            put(digits[--count]);
    }
    void appendTo(QString& text) const { text.append(reinterpret_cast<const QChar*>(data), size); }
};

void putDate(Characters& text, std::int64_t days)
{
    const CivilDate date = civilFromDays(days);
    if (date.year < 0)
        text.put(u'-');
    text.putPadded(date.year < 0 ? -date.year : date.year, 4);
    text.put(u'-');
    text.putPadded(date.month, 2);
    text.put(u'-');
    text.putPadded(date.day, 2);
}

void putTime(Characters& text, std::int64_t msecs)
{
    if (msecs < 0) {
        text.put(u'-');
        msecs = -msecs;
    }
    const std::int64_t millis = msecs % 1000;
    const std::int64_t seconds = msecs / 1000;
    text.putPadded(seconds / 3600, 2);
    text.put(u':');
    text.putPadded(seconds / 60 % 60, 2);
    text.put(u':');
    text.putPadded(seconds % 60, 2);
    if (millis != 0) {
        text.put(u'.');
        text.putPadded(millis, 3);
    }
}

void appendDate(QString& text, std::int64_t days)
{
    Characters characters;
    putDate(characters, days);
    characters.appendTo(text);
}

void appendTime(QString& text, std::int64_t msecs)
{
    Characters characters;
    putTime(characters, msecs);
    characters.appendTo(text);
}

void appendTimestamp(QString& text, double msecs)
{
    if (!std::isfinite(msecs) || std::fabs(msecs) > kLargestExactTimestamp) {
        appendShortestNumber(text, msecs);
        return;
    }
    const auto total = static_cast<std::int64_t>(std::llround(msecs));
    std::int64_t days = total / kMsecsPerDay;
    std::int64_t ofDay = total % kMsecsPerDay;
    if (ofDay < 0) {
        ofDay += kMsecsPerDay;
        --days;
    }
    Characters characters;
    putDate(characters, days);
    characters.put(u' ');
    putTime(characters, ofDay);
    characters.appendTo(text);
}

struct AppendText
{
    QString& text;
    void operator()(const Null&) const { }
    void operator()(bool value) const { text += value ? u"true"_s : u"false"_s; }
    void operator()(std::int32_t value) const
    {
        char digits[12];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        text += QLatin1StringView(digits, result.ptr - digits);
    }
    void operator()(double value) const { appendShortestNumber(text, value); }
    void operator()(const QString& value) const { text += value; }
    void operator()(const QByteArray& value) const { text += QLatin1StringView(value.toHex()); }
    void operator()(const Date& value) const { appendDate(text, value.days); }
    void operator()(const TimeOfDay& value) const { appendTime(text, value.msecs); }
    void operator()(const Timestamp& value) const { appendTimestamp(text, value.msecs); }
    void operator()(const Bcd& value) const { text += value.decimal; }
};

} // namespace

void appendValueText(QString& text, const Value& value)
{
    std::visit(AppendText { text }, value);
}

QString valueText(const Value& value)
{
    // Texts and decimals are shared, not copied.
    if (isNull(value))
        return {};
    if (const auto* text = std::get_if<QString>(&value))
        return *text;
    if (const auto* bcd = std::get_if<Bcd>(&value))
        return bcd->decimal;
    QString text;
    text.reserve(24);
    appendValueText(text, value);
    return text;
}

} // namespace paradox
