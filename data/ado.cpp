#include "data/ado.h"

#include <array>
#include <utility>

namespace data {
namespace {

// Every member of the data type enumeration but adArray (a flag that is combined with a
// type, never a type of its own).
constexpr std::array<std::pair<std::int16_t, const char16_t*>, 39> kTypeNames { {
    { 0, u"adEmpty" },
    { 2, u"adSmallInt" },
    { 3, u"adInteger" },
    { 4, u"adSingle" },
    { 5, u"adDouble" },
    { 6, u"adCurrency" },
    { 7, u"adDate" },
    { 8, u"adBSTR" },
    { 9, u"adIDispatch" },
    { 10, u"adError" },
    { 11, u"adBoolean" },
    { 12, u"adVariant" },
    { 13, u"adIUnknown" },
    { 14, u"adDecimal" },
    { 16, u"adTinyInt" },
    { 17, u"adUnsignedTinyInt" },
    { 18, u"adUnsignedSmallInt" },
    { 19, u"adUnsignedInt" },
    { 20, u"adBigInt" },
    { 21, u"adUnsignedBigInt" },
    { 64, u"adFileTime" },
    { 72, u"adGUID" },
    { 128, u"adBinary" },
    { 129, u"adChar" },
    { 130, u"adWChar" },
    { 131, u"adNumeric" },
    { 132, u"adUserDefined" },
    { 133, u"adDBDate" },
    { 134, u"adDBTime" },
    { 135, u"adDBTimeStamp" },
    { 136, u"adChapter" },
    { 138, u"adPropVariant" },
    { 139, u"adVarNumeric" },
    { 200, u"adVarChar" },
    { 201, u"adLongVarChar" },
    { 202, u"adVarWChar" },
    { 203, u"adLongVarWChar" },
    { 204, u"adVarBinary" },
    { 205, u"adLongVarBinary" },
} };

} // namespace

QString AdoTypeName(std::int16_t typeNumber)
{
    for (const auto& [number, name] : kTypeNames) {
        if (number == typeNumber)
            return QString::fromUtf16(name);
    }
    return {};
}

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

} // namespace data
