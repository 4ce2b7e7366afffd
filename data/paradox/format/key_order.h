#pragma once

// The order of keys: the engine keeps a keyed table's records, and every index's entries, in
// ascending order of their key fields by the table's sort order.
//
// Every order reproduced here is the order of the stored bytes, compared field by field (so
// the key as a whole compares as one run of bytes):
// - numeric types (Short, Long, Autoincrement, Date, Time, Number, Money, Timestamp,
//   Logical) store their values big-endian with the sign flipped, so that their bytes sort
//   like their values, in every sort order; a blank (all zero) sorts first;
// - Alpha under the "ascii" sort order (code 0): the code-page bytes, NUL-padded, so a blank
//   sorts first and a prefix before the longer text.
// Alpha under any other sort order is a language driver's collation that cannot be checked
// against the engine here; BCD and Bytes keys neither. Those are refused.

#include "data/paradox/format/table.h"

#include <QByteArray>
#include <QString>
#include <cstring>
#include <vector>

namespace paradox {

struct TableSortOrder
{
    int code = 0; // header byte 0x29
    QByteArray name; // the name at the end of the header, e.g. "ascii", "ANSII850"
};

bool isByteOrderSortOrder(const TableSortOrder& order);

// Why the engine's order of `field`'s values under `order` cannot be reproduced; empty when
// it is the byte order.
QString keyOrderProblem(const Field& field, const TableSortOrder& order);

inline int compareKeys(const unsigned char* a, const unsigned char* b, int size)
{
    return std::memcmp(a, b, static_cast<std::size_t>(size));
}

// A key as the user reads it, e.g. ("Smith", 12) or "Smith"; `key` holds the fields' bytes
// back to back.
QString describeKey(const std::vector<Field>& fields, const unsigned char* key, int codePage);

} // namespace paradox
