#include "data/paradox/format/table.h"

using namespace Qt::StringLiterals;

namespace paradox {

QString fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Alpha:
        return u"Alpha"_s;
    case FieldType::Date:
        return u"Date"_s;
    case FieldType::Short:
        return u"Short"_s;
    case FieldType::Long:
        return u"Long"_s;
    case FieldType::Money:
        return u"Money"_s;
    case FieldType::Number:
        return u"Number"_s;
    case FieldType::Logical:
        return u"Logical"_s;
    case FieldType::Memo:
        return u"Memo"_s;
    case FieldType::Blob:
        return u"Blob"_s;
    case FieldType::FormattedMemo:
        return u"Formatted memo"_s;
    case FieldType::Ole:
        return u"OLE"_s;
    case FieldType::Graphic:
        return u"Graphic"_s;
    case FieldType::Time:
        return u"Time"_s;
    case FieldType::Timestamp:
        return u"Timestamp"_s;
    case FieldType::Autoincrement:
        return u"Autoincrement"_s;
    case FieldType::Bcd:
        return u"BCD"_s;
    case FieldType::Bytes:
        return u"Bytes"_s;
    }
    return u"type 0x%1"_s.arg(static_cast<int>(type), 2, 16, QChar(u'0'));
}

} // namespace paradox
