#include "data/workdb/work_values.h"

#include <QStringView>
#include <charconv>
#include <cmath>
#include <limits>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {
namespace {

using sqlite::Affinity;


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

// Valid until the row's next step: only texts that become values are copied.
QStringView cellText(sqlite3_value* cell)
{
    const void* text = sqlite3_value_text16(cell);
    return { static_cast<const char16_t*>(text), sqlite3_value_bytes16(cell) / 2 };
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

} // namespace data
