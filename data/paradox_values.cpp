#include "data/paradox_values.h"

#include "data/ado.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace data {
namespace {

// Julian day of 0000-12-31, day 0 of the Paradox day count.
constexpr qint64 kJulianDayOfDayZero = 1'721'425;
constexpr qint64 kMsecsPerDay = 86'400'000;

struct VariantOf
{
    QVariant operator()(const paradox::Null&) const { return {}; }
    QVariant operator()(bool value) const { return value; }
    QVariant operator()(std::int32_t value) const { return static_cast<qint64>(value); }
    QVariant operator()(double value) const { return value; }
    QVariant operator()(const QString& value) const { return value; }
    QVariant operator()(const QByteArray& value) const { return value; }
    QVariant operator()(const paradox::Date& value) const
    {
        return QDate::fromJulianDay(value.days + kJulianDayOfDayZero);
    }
    QVariant operator()(const paradox::TimeOfDay& value) const
    {
        return QTime::fromMSecsSinceStartOfDay(value.msecs);
    }
    QVariant operator()(const paradox::Timestamp& value) const
    {
        if (!std::isfinite(value.msecs))
            return value.msecs;
        const auto total = static_cast<qint64>(std::llround(value.msecs));
        const qint64 days = total / kMsecsPerDay;
        return QDateTime(QDate::fromJulianDay(days + kJulianDayOfDayZero),
            QTime::fromMSecsSinceStartOfDay(static_cast<int>(total % kMsecsPerDay)));
    }
    QVariant operator()(const paradox::Bcd& value) const { return value.decimal; }
};

} // namespace

int adoTypeOf(paradox::FieldType type)
{
    using paradox::FieldType;
    switch (type) {
    case FieldType::Alpha:
        return ado::adVarChar;
    case FieldType::Memo:
    case FieldType::FormattedMemo:
        return ado::adLongVarChar;
    case FieldType::Short:
        return ado::adSmallInt;
    case FieldType::Long:
    case FieldType::Autoincrement:
        return ado::adInteger;
    case FieldType::Number:
        return ado::adDouble;
    case FieldType::Money:
        return ado::adCurrency;
    case FieldType::Logical:
        return ado::adBoolean;
    case FieldType::Bcd:
        return ado::adNumeric;
    case FieldType::Date:
        return ado::adDBDate;
    case FieldType::Time:
        return ado::adDBTime;
    case FieldType::Timestamp:
        return ado::adDBTimeStamp;
    case FieldType::Bytes:
        return ado::adBinary;
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic:
        return ado::adLongVarBinary;
    }
    return ado::adEmpty;
}

bool isBinaryType(paradox::FieldType type)
{
    using paradox::FieldType;
    return type == FieldType::Bytes || type == FieldType::Blob || type == FieldType::Ole
        || type == FieldType::Graphic;
}

QVariant toVariant(const paradox::Value& value)
{
    return std::visit(VariantOf {}, value);
}

QString variantText(const QVariant& value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::LongLong: {
        const qint64 number = value.toLongLong();
        if (number >= std::numeric_limits<std::int32_t>::min()
            && number <= std::numeric_limits<std::int32_t>::max())
            return paradox::valueText(static_cast<std::int32_t>(number));
        return QString::number(number);
    }
    case QMetaType::Double:
        return paradox::valueText(value.toDouble());
    case QMetaType::QByteArray:
        return paradox::valueText(value.toByteArray());
    case QMetaType::Bool:
        return paradox::valueText(value.toBool());
    default:
        return value.toString();
    }
}

QString copyText(const paradox::Value& value)
{
    if (std::holds_alternative<QByteArray>(value)) {
        QString text;
        appendCopyText(text, value);
        return text;
    }
    return paradox::valueText(value);
}

void appendCopyText(QString& text, const paradox::Value& value)
{
    if (const auto* bytes = std::get_if<QByteArray>(&value); bytes && !bytes->isEmpty()) {
        text += u"0x"_s;
        text += QLatin1StringView(bytes->toHex());
        return;
    }
    paradox::appendValueText(text, value);
}

std::optional<QByteArray> bytesFromCopyText(const QString& text)
{
    QStringView digits(text);
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

} // namespace data
