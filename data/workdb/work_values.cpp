#include "data/workdb/work_values.h"

#include <QStringView>
#include <charconv>
#include <cmath>
#include <limits>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {
namespace {

using paradox::FieldType;
using sqlite::Affinity;

constexpr std::int64_t kMsecsPerDay = 86'400'000;

// SQLite's own text-to-double conversion can miss the nearest double by one unit for very
// large or small magnitudes; the copy must give back every Number exactly, so a plain
// decimal bound for a REAL column is converted here, correctly rounded.
std::optional<double> exactNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 64)
        return std::nullopt;
    char buffer[64] = {};
    qsizetype digits = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool isDigit = c >= u'0' && c <= u'9';
        digits += isDigit ? 1 : 0;
        if (!isDigit && c != u'.' && c != u'-' && c != u'+' && c != u'e' && c != u'E')
            return std::nullopt;
        buffer[i] = static_cast<char>(c);
    }
    const char* begin = buffer + (buffer[0] == '+' ? 1 : 0);
    const char* end = buffer + text.size();
    double value = 0;
    const auto result = std::from_chars(begin, end, value);
    if (digits == 0 || result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

// A plain whole number that fits 64 bits, as an INTEGER column would store the text.
std::optional<qint64> exactInteger(QStringView text)
{
    if (text.isEmpty() || text.size() > 18 || (text.size() > 1 && text[0] == u'0'))
        return std::nullopt;
    const bool isNegative = text[0] == u'-';
    if (isNegative && (text.size() == 1 || text[1] == u'0'))
        return std::nullopt;
    qint64 value = 0;
    for (qsizetype i = isNegative ? 1 : 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return isNegative ? -value : value;
}

// Days with 0001-01-01 = 1 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t daysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + dayOfEra - 719'468 + 719'163;
}

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

// "YYYY-MM-DD", the year possibly negative or longer than four digits.
std::optional<std::int64_t> parseDate(QStringView text)
{
    const bool isNegative = text.startsWith(u'-');
    const qsizetype yearDigits = text.size() - 6 - (isNegative ? 1 : 0);
    if (yearDigits < 1 || yearDigits > 9 || text[text.size() - 6] != u'-' || text[text.size() - 3] != u'-')
        return std::nullopt;
    const auto year = digitsAt(text, isNegative ? 1 : 0, yearDigits);
    const auto month = digitsAt(text, text.size() - 5, 2);
    const auto day = digitsAt(text, text.size() - 2, 2);
    if (!year || !month || !day || *month < 1 || *month > 12 || *day < 1 || *day > 31)
        return std::nullopt;
    return daysFromCivil(isNegative ? -*year : *year, static_cast<int>(*month), static_cast<int>(*day));
}

// "HH:MM:SS" with an optional ".mmm" (one to three digits).
std::optional<std::int64_t> parseTime(QStringView text)
{
    const qsizetype point = text.indexOf(u'.');
    const QStringView clock = point < 0 ? text : text.left(point);
    if (clock.size() < 8 || clock[clock.size() - 3] != u':' || clock[clock.size() - 6] != u':')
        return std::nullopt;
    const auto hours = digitsAt(clock, 0, clock.size() - 6);
    const auto minutes = digitsAt(clock, clock.size() - 5, 2);
    const auto seconds = digitsAt(clock, clock.size() - 2, 2);
    if (!hours || !minutes || !seconds || *minutes > 59 || *seconds > 59)
        return std::nullopt;
    std::int64_t millis = 0;
    if (point >= 0) {
        const qsizetype fractionDigits = text.size() - point - 1;
        const auto fraction = digitsAt(text, point + 1, fractionDigits);
        if (!fraction || fractionDigits > 3)
            return std::nullopt;
        millis = *fraction * (fractionDigits == 1 ? 100 : fractionDigits == 2 ? 10 : 1);
    }
    return ((*hours * 60 + *minutes) * 60 + *seconds) * 1000 + millis;
}

std::optional<double> parseNumber(QStringView text)
{
    const QByteArray latin = text.trimmed().toLatin1();
    double value = 0;
    const char* begin = latin.constData() + (latin.startsWith('+') ? 1 : 0);
    const char* end = latin.constData() + latin.size();
    const auto result = std::from_chars(begin, end, value);
    if (latin.isEmpty() || result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

// Valid until the row's next step: only texts that become values are copied.
QStringView cellText(sqlite3_value* cell)
{
    const void* text = sqlite3_value_text16(cell);
    return { static_cast<const char16_t*>(text), sqlite3_value_bytes16(cell) / 2 };
}

std::optional<QByteArray> bytesFromCopyText(QStringView digits)
{
    if (digits.startsWith(u"0x"_s, Qt::CaseInsensitive))
        digits = digits.mid(2);
    if (digits.size() % 2 != 0)
        return std::nullopt;
    for (const QChar c : digits) {
        const char16_t u = c.toLower().unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f')))
            return std::nullopt;
    }
    return QByteArray::fromHex(digits.toLatin1());
}

} // namespace

void appendCopyText(QString& text, const paradox::Value& value)
{
    if (const auto* bytes = std::get_if<QByteArray>(&value); bytes && !bytes->isEmpty()) {
        text += u"0x"_s;
        text += QLatin1StringView(bytes->toHex());
        return;
    }
    paradox::appendValueText(text, value);
}

QString copyText(const paradox::Value& value)
{
    QString text;
    appendCopyText(text, value);
    return text;
}

void bindCopyText(sqlite::Statement& statement, int parameter, QStringView text, Affinity affinity)
{
    if (text.isEmpty()) {
        statement.bindNull(parameter);
        return;
    }
    // What SQLite would make of the literal, without its own conversion (which can miss the
    // nearest double by one unit).
    if (affinity == Affinity::Real) {
        if (const auto number = exactNumber(text)) {
            statement.bindDouble(parameter, *number);
            return;
        }
    } else if (affinity == Affinity::Integer) {
        if (const auto number = exactInteger(text)) {
            statement.bindInt(parameter, *number);
            return;
        }
    }
    statement.bindText(parameter, text);
}

void bindCopyValue(sqlite::Statement& statement, int parameter, const paradox::Value& value, Affinity affinity,
    QString& scratch)
{
    // A whole number into an INTEGER column and a finite number into a REAL one skip the
    // round trip through their text; it would give the same value.
    if (const auto* number = std::get_if<std::int32_t>(&value); number && affinity == Affinity::Integer) {
        statement.bindInt(parameter, *number);
        return;
    }
    if (const auto* real = std::get_if<double>(&value); real && affinity == Affinity::Real && std::isfinite(*real)) {
        statement.bindDouble(parameter, *real);
        return;
    }
    if (const auto* text = std::get_if<QString>(&value)) {
        bindCopyText(statement, parameter, *text, affinity);
        return;
    }
    scratch.resize(0);
    appendCopyText(scratch, value);
    bindCopyText(statement, parameter, scratch, affinity);
}

QString storedText(sqlite3_value* value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: {
        const qint64 number = sqlite3_value_int64(value);
        if (number >= std::numeric_limits<std::int32_t>::min() && number <= std::numeric_limits<std::int32_t>::max())
            return paradox::valueText(static_cast<std::int32_t>(number));
        return QString::number(number);
    }
    case SQLITE_FLOAT:
        return paradox::valueText(sqlite3_value_double(value));
    case SQLITE_TEXT:
        return cellText(value).toString();
    case SQLITE_BLOB:
        return paradox::valueText(
            QByteArray(static_cast<const char*>(sqlite3_value_blob(value)), sqlite3_value_bytes(value)));
    default:
        return {};
    }
}

std::optional<QString> assignFieldValue(sqlite3_value* cell, const paradox::Field& field, paradox::Value& value)
{
    const int storage = sqlite3_value_type(cell);
    if (storage == SQLITE_NULL) {
        value = paradox::Null {};
        return std::nullopt;
    }
    // A number in a numeric field is taken as it is: asking SQLite for its text costs a printf.
    const bool isPlainNumber = (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
        && (field.type == FieldType::Short || field.type == FieldType::Long
            || field.type == FieldType::Autoincrement || field.type == FieldType::Number
            || field.type == FieldType::Money);
    const QStringView text = isPlainNumber ? QStringView() : cellText(cell);
    const auto notA = [&](const QString& what) {
        return QString { u"\"%1\" is not %2"_s.arg(text.toString(), what) };
    };
    switch (field.type) {
    case FieldType::Alpha:
    case FieldType::Memo:
    case FieldType::FormattedMemo:
        if (text.isEmpty())
            value = paradox::Null {};
        else if (auto* own = std::get_if<QString>(&value))
            own->setUnicode(reinterpret_cast<const QChar*>(text.utf16()), text.size());
        else
            value = text.toString();
        return std::nullopt;
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Autoincrement: {
        std::int64_t number = 0;
        if (storage == SQLITE_INTEGER) {
            number = sqlite3_value_int64(cell);
        } else if (storage == SQLITE_FLOAT) {
            const double real = sqlite3_value_double(cell);
            if (real != std::trunc(real) || std::fabs(real) > 4e9)
                return QString { u"%1 is not a whole number"_s.arg(real) };
            number = static_cast<std::int64_t>(real);
        } else {
            bool isNumber = false;
            number = text.trimmed().toLongLong(&isNumber);
            if (!isNumber)
                return notA(u"a whole number"_s);
        }
        if (number < std::numeric_limits<std::int32_t>::min()
            || number > std::numeric_limits<std::int32_t>::max())
            return QString { u"%1 is too large for a whole-number field"_s.arg(number) };
        value = static_cast<std::int32_t>(number);
        return std::nullopt;
    }
    case FieldType::Number:
    case FieldType::Money: {
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
            value = sqlite3_value_double(cell);
            return std::nullopt;
        }
        if (const auto number = parseNumber(text)) {
            value = *number;
            return std::nullopt;
        }
        return notA(u"a number"_s);
    }
    case FieldType::Logical:
        if (storage == SQLITE_INTEGER) {
            value = sqlite3_value_int64(cell) != 0;
            return std::nullopt;
        }
        if (text.compare(u"true", Qt::CaseInsensitive) == 0) {
            value = true;
            return std::nullopt;
        }
        if (text.compare(u"false", Qt::CaseInsensitive) == 0) {
            value = false;
            return std::nullopt;
        }
        return notA(u"true or false"_s);
    case FieldType::Date: {
        const auto days = parseDate(text);
        if (!days || *days <= std::numeric_limits<std::int32_t>::min()
            || *days > std::numeric_limits<std::int32_t>::max())
            return notA(u"a date (YYYY-MM-DD)"_s);
        value = paradox::Date { static_cast<std::int32_t>(*days) };
        return std::nullopt;
    }
    case FieldType::Time: {
        const auto msecs = parseTime(text);
        if (!msecs || *msecs >= kMsecsPerDay)
            return notA(u"a time of day (HH:MM:SS)"_s);
        value = paradox::TimeOfDay { static_cast<std::int32_t>(*msecs) };
        return std::nullopt;
    }
    case FieldType::Timestamp: {
        const qsizetype space = text.indexOf(u' ');
        if (space > 0) {
            const auto days = parseDate(text.left(space));
            const auto msecs = parseTime(text.mid(space + 1));
            if (days && msecs && *msecs < kMsecsPerDay) {
                value = paradox::Timestamp { static_cast<double>(*days * kMsecsPerDay + *msecs) };
                return std::nullopt;
            }
        }
        // A value far outside the calendar is shown, and so copied, as its plain number.
        if (const auto number = parseNumber(text)) {
            value = paradox::Timestamp { *number };
            return std::nullopt;
        }
        return notA(u"a date and time (YYYY-MM-DD HH:MM:SS)"_s);
    }
    case FieldType::Bcd:
        // SQLite keeps a decimal of up to 15 digits as a double and writes it back with 15
        // significant digits, which gives the decimal again; a longer one stays text.
        if (storage == SQLITE_FLOAT && text.contains(u'e', Qt::CaseInsensitive)) {
            value = paradox::Bcd { QString::number(sqlite3_value_double(cell), 'f', field.size) };
            return std::nullopt;
        }
        value = paradox::Bcd { text.toString() };
        return std::nullopt;
    case FieldType::Bytes:
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic: {
        if (storage == SQLITE_BLOB) {
            value = QByteArray(static_cast<const char*>(sqlite3_value_blob(cell)),
                sqlite3_value_bytes(cell));
            return std::nullopt;
        }
        if (text.isEmpty()) {
            value = paradox::Null {};
            return std::nullopt;
        }
        if (const auto bytes = bytesFromCopyText(text)) {
            value = *bytes;
            return std::nullopt;
        }
        return notA(u"binary data in hex digits (0x...)"_s);
    }
    }
    return QString { u"the field type is unknown"_s };
}

} // namespace data
