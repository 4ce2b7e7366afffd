#pragma once

// The numbers of the database interface the program was written against: cursor
// locations, modes, cursor and lock types, the table-list schema and the field type
// numbers. Connections and record sets take and report these same numbers.

#include <QString>
#include <cstdint>

namespace data::ado {

inline constexpr int kUseServer = 2; // cursor location: server-side
inline constexpr int kUseClient = 3; // cursor location: client-side

inline constexpr int kModeReadWrite = 3;

inline constexpr int kOpenForwardOnly = 0; // cursor type
inline constexpr int kOpenStatic = 3;

inline constexpr int kLockReadOnly = 1;
inline constexpr int kLockOptimistic = 3;

inline constexpr int kSchemaTables = 20;

inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpen = 1;

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

} // namespace data
