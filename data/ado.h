#pragma once

// Field type numbers and their names: the copy chooses a work column's type from the name
// of its field's type number (adVarChar, adInteger, ...).

#include "data/paradox/paradox.h"

#include <QString>
#include <cstdint>

namespace data::ado {

// The field type numbers that matter here (all of them have a name in AdoTypeName).
enum TypeNumber : std::int16_t {
    adEmpty = 0,
    adSmallInt = 2,
    adInteger = 3,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adBoolean = 11,
    adBigInt = 20,
    adBinary = 128,
    adChar = 129,
    adNumeric = 131,
    adDBDate = 133,
    adDBTime = 134,
    adDBTimeStamp = 135,
    adVarChar = 200,
    adLongVarChar = 201,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adLongVarBinary = 205,
};

} // namespace data::ado

namespace data {

// The name of the member of the type enumeration with this number, spelled as the
// database interface spells it ("adInteger" for 3); the empty text for any other number.
QString AdoTypeName(std::int16_t typeNumber);

// The type number of a Paradox field of this type.
int adoTypeOf(paradox::FieldType type);

} // namespace data
