// Text -> value of a field, the inverse of valueText, and whether a field can hold a value.

#include "data/paradox/write/value_from_text.h"

#include "data/paradox/format/bcd.h"
#include "data/paradox/format/calendar.h"
#include "data/paradox/format/header.h"
#include "data/paradox/format/table.h"
#include "data/paradox/write/field_encode.h"

#include <charconv>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

// Digits [at, at + count) of text as a number; nullopt when one is not a digit.
std::optional<std::int64_t> digitsAt(QStringView text, qsizetype at, qsizetype count)
{
    if (at < 0 || count <= 0 || at + count > text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// "YYYY-MM-DD" as valueText writes it: the year possibly negative or longer than four digits.
std::optional<std::int32_t> parseDate(QStringView text)
{
    const bool isNegative = text.startsWith(u'-');
    const qsizetype yearDigits = text.size() - 6 - (isNegative ? 1 : 0);
    if (yearDigits < 4 || yearDigits > 9 || text[text.size() - 6] != u'-' || text[text.size() - 3] != u'-')
        return std::nullopt;
    const auto year = digitsAt(text, isNegative ? 1 : 0, yearDigits);
    const auto month = digitsAt(text, text.size() - 5, 2);
    const auto day = digitsAt(text, text.size() - 2, 2);
    if (!year || !month || !day || *month < 1 || *month > 12)
        return std::nullopt;
    const std::int64_t signedYear = isNegative ? -*year : *year;
    if (*day < 1 || *day > daysInMonth(signedYear, static_cast<int>(*month)))
        return std::nullopt;
    const std::int64_t days = daysFromCivil(signedYear, static_cast<int>(*month), static_cast<int>(*day));
    // The smallest day number has the bytes of a blank date.
    if (days <= std::numeric_limits<std::int32_t>::min() || days > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(days);
}

// "HH:MM:SS" with an optional ".mmm" (one to three digits), within one day.
std::optional<std::int32_t> parseTime(QStringView text)
{
    const qsizetype point = text.indexOf(u'.');
    const QStringView clock = point < 0 ? text : text.left(point);
    if (clock.size() < 7 || clock.size() > 8 || clock[clock.size() - 3] != u':'
        || clock[clock.size() - 6] != u':')
        return std::nullopt;
    const auto hours = digitsAt(clock, 0, clock.size() - 6);
    const auto minutes = digitsAt(clock, clock.size() - 5, 2);
    const auto seconds = digitsAt(clock, clock.size() - 2, 2);
    if (!hours || !minutes || !seconds || *hours > 23 || *minutes > 59 || *seconds > 59)
        return std::nullopt;
    std::int64_t millis = 0;
    if (point >= 0) {
        const qsizetype fractionDigits = text.size() - point - 1;
        const auto fraction = digitsAt(text, point + 1, fractionDigits);
        if (!fraction || fractionDigits > 3)
            return std::nullopt;
        millis = *fraction * (fractionDigits == 1 ? 100 : fractionDigits == 2 ? 10 : 1);
    }
    return static_cast<std::int32_t>(((*hours * 60 + *minutes) * 60 + *seconds) * 1000 + millis);
}

// A finite number in C notation ("-1.5", "2e-7"); no "inf" or "nan".
std::optional<double> parseNumber(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    QByteArray latin;
    latin.reserve(trimmed.size());
    for (const QChar c : trimmed) {
        if (c.unicode() >= 0x80)
            return std::nullopt;
        latin.append(static_cast<char>(c.unicode()));
    }
    const char* begin = latin.constData() + (latin.startsWith('+') && !latin.startsWith("+-") ? 1 : 0);
    const char* end = latin.constData() + latin.size();
    double value = 0;
    const auto result = std::from_chars(begin, end, value);
    if (latin.isEmpty() || result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseWholeNumber(QStringView text)
{
    bool isNumber = false;
    const qlonglong number = text.trimmed().toLongLong(&isNumber);
    if (!isNumber)
        return std::nullopt;
    return number;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Hex digits as valueText writes bytes (upper case and "0x" in front allowed too).
std::optional<QByteArray> parseHex(QStringView text)
{
    if (text.startsWith(u"0x", Qt::CaseInsensitive))
        text = text.mid(2);
    if (text.size() % 2 != 0)
        return std::nullopt;
    QByteArray bytes(text.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int high = hexDigit(text[2 * i]);
        const int low = hexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[i] = static_cast<char>(high << 4 | low);
    }
    return bytes;
}

std::optional<Value> parseValue(const Field& field, QStringView text, QString* problem)
{
    const auto notA = [&](const QString& what) {
        *problem = u"\"%1\" is not %2"_s.arg(text, what);
        return std::nullopt;
    };
    switch (field.type) {
    case FieldType::Alpha:
    case FieldType::Memo:
    case FieldType::FormattedMemo:
        return Value(text.toString());
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Autoincrement: {
        const auto number = parseWholeNumber(text);
        if (!number)
            return notA(u"a whole number"_s);
        const std::int64_t largest = field.type == FieldType::Short ? 32767 : 2'147'483'647;
        // The smallest value of the width has the bytes of a blank value.
        if (*number < -largest || *number > largest) {
            *problem = u"%1 is outside the range of the field (%2 to %3)"_s.arg(text.trimmed())
                           .arg(-largest)
                           .arg(largest);
            return std::nullopt;
        }
        return Value(static_cast<std::int32_t>(*number));
    }
    case FieldType::Number:
    case FieldType::Money:
        if (const auto number = parseNumber(text))
            return Value(*number);
        return notA(u"a number"_s);
    case FieldType::Logical:
        if (text.compare(u"true", Qt::CaseInsensitive) == 0)
            return Value(true);
        if (text.compare(u"false", Qt::CaseInsensitive) == 0)
            return Value(false);
        return notA(u"true or false"_s);
    case FieldType::Date:
        if (const auto days = parseDate(text))
            return Value(Date { *days });
        return notA(u"a date (YYYY-MM-DD)"_s);
    case FieldType::Time:
        if (const auto msecs = parseTime(text))
            return Value(TimeOfDay { *msecs });
        return notA(u"a time of day (HH:MM:SS or HH:MM:SS.mmm)"_s);
    case FieldType::Timestamp: {
        const qsizetype space = text.indexOf(u' ');
        if (space > 0) {
            const auto days = parseDate(text.left(space));
            const auto msecs = parseTime(text.mid(space + 1));
            if (days && msecs)
                return Value(Timestamp { static_cast<double>(*days * kMsecsPerDay + *msecs) });
        }
        // A value beyond any calendar date is shown as its plain number.
        if (const auto number = parseNumber(text); number && std::fabs(*number) > kLargestExactTimestamp)
            return Value(Timestamp { *number });
        return notA(u"a date and time (YYYY-MM-DD HH:MM:SS)"_s);
    }
    case FieldType::Bcd: {
        const auto digits = parseBcd(text, field.size, problem);
        if (!digits)
            return std::nullopt;
        return Value(Bcd { bcdText(*digits, field.size) });
    }
    case FieldType::Bytes:
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic:
        if (auto bytes = parseHex(text))
            return Value(std::move(*bytes));
        return notA(u"binary data in hex digits"_s);
    }
    *problem = u"the field type is unknown"_s;
    return std::nullopt;
}

} // namespace

bool valueFits(const Field& field, const Value& value, int codePage, QString* problem)
{
    QString ignored;
    QString& message = problem ? *problem : ignored;
    if (!isBlobType(field.type)) {
        char bytes[256];
        if (fieldWidth(field) > static_cast<int>(sizeof bytes)) {
            message = u"a field of %1 bytes cannot be written"_s.arg(fieldWidth(field));
            return false;
        }
        return writer::encodeFixedField(field, value, codePage, bytes, &message);
    }
    return writer::blobContent(field, value, codePage, &message).has_value();
}

std::optional<Value> valueFromText(const Field& field, QStringView text, int codePage, QString* problem)
{
    QString ignored;
    QString& message = problem ? *problem : ignored;
    if (text.isEmpty())
        return Value(Null {});
    std::optional<Value> value = parseValue(field, text, &message);
    if (value && !valueFits(field, *value, codePage, &message))
        return std::nullopt;
    return value;
}

QString emptyTextProblem(const Field& field)
{
    QString problem;
    return parseValue(field, QStringView(), &problem) ? QString() : problem;
}

} // namespace paradox
