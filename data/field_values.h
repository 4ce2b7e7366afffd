#pragma once

// Every value of one field, read straight from the Paradox table: no work database, no
// copy, memory that does not grow with the number of records. What the values view and
// the command line count.

#include <QString>
#include <cstdint>
#include <functional>

namespace data {

// Called once per record in file order with the field's text (valueText) and whether it
// is null; return false to stop reading (a cancelled view).
using FieldValueVisitor = std::function<bool(const QString& text, bool isNull)>;

struct FieldValuesRead
{
    std::int64_t recordCount = 0; // what the header claims: enough for a progress bar
    std::int64_t recordsRead = 0;
    bool isStopped = false; // the visitor asked to stop
};

// Reads field (named ignoring case) of table in folder. Throws core::Error with a
// message naming the folder, table or field that is missing, or the table's fault.
// recordCountKnown, when given, is called once before the first record.
FieldValuesRead readFieldValues(const QString& folder, const QString& table, const QString& field,
    const FieldValueVisitor& visit,
    const std::function<void(std::int64_t recordCount)>& recordCountKnown = {});

} // namespace data
