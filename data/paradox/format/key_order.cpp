#include "data/paradox/format/key_order.h"

#include "data/paradox/format/byte_reader.h"
#include "data/paradox/format/field_decode.h"
#include "data/paradox/format/header.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

bool isNumericType(FieldType type)
{
    switch (type) {
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Autoincrement:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Number:
    case FieldType::Money:
    case FieldType::Timestamp:
    case FieldType::Logical:
        return true;
    default:
        return false;
    }
}

QString orderName(const TableSortOrder& order)
{
    const QString name
        = order.name.isEmpty() ? u"without a name"_s : u"\"%1\""_s.arg(QLatin1StringView(order.name));
    return u"%1 (code 0x%2)"_s.arg(name).arg(order.code, 2, 16, QChar(u'0'));
}

} // namespace

bool isByteOrderSortOrder(const TableSortOrder& order)
{
    // Old tables may end before the name; then the code alone tells.
    return order.code == 0 && (order.name.isEmpty() || order.name.compare("ascii", Qt::CaseInsensitive) == 0);
}

QString keyOrderProblem(const Field& field, const TableSortOrder& order)
{
    if (isNumericType(field.type))
        return QString();
    if (field.type == FieldType::Alpha) {
        if (isByteOrderSortOrder(order))
            return QString();
        return u"field \"%1\" is Alpha and the table sorts text by the sort order %2, whose order this "
               "program cannot reproduce (it supports the \"ascii\" sort order for text keys)"_s.arg(
                   field.name, orderName(order));
    }
    if (isBlobType(field.type))
        return u"field \"%1\" is a %2 field, which cannot be part of a key"_s.arg(
            field.name, fieldTypeName(field.type));
    return u"field \"%1\" is a %2 field; the order the engine gives its values cannot be checked here"_s.arg(
        field.name, fieldTypeName(field.type));
}

QString describeKey(const std::vector<Field>& fields, const unsigned char* key, int codePage)
{
    int size = 0;
    for (const Field& field : fields)
        size += fieldWidth(field);
    const QString name = u"key"_s;
    const ByteReader bytes(key, size, name);
    const TextCodec* text = textCodecFor(codePage);
    if (!text)
        return u"a key"_s;
    QStringList parts;
    int offset = 0;
    for (const Field& field : fields) {
        Value value;
        try {
            decodePlainField(field, bytes, offset, *text, value);
        } catch (const FormatError&) {
            value = Null {};
        }
        if (isNull(value))
            parts << u"blank"_s;
        else if (std::holds_alternative<QString>(value))
            parts << u"\"%1\""_s.arg(std::get<QString>(value));
        else
            parts << valueText(value);
        offset += fieldWidth(field);
    }
    return parts.size() == 1 ? parts.front() : u"(%1)"_s.arg(parts.join(u", "_s));
}

} // namespace paradox
