#pragma once

// Reads a Paradox table with pxlib, an independent implementation, so that tests can check
// the files our writer makes. pxlib has faults of its own; this reader steps around them:
// integers are decoded from the record bytes (pxlib misses blank Long/Date/Time values),
// the .mb file is handed over so that pxlib skips its faulty block indexing, errors are
// collected instead of printed, and the C locale is restored after pxlib changes it.

#include "data/paradox/paradox.h"

#include <QString>
#include <vector>

namespace testsupport {

struct PxlibTable
{
    QString error; // empty when the whole table was read
    std::vector<paradox::Field> fields; // sizes as stored in the header
    std::vector<paradox::Row> rows;
    int fileVersion = 0; // as pxlib counts: 40 (4.x), 50 (5.x), 70 (7.x)
    int codePage = 0;
    int blockSizeKb = 0;
    int sortOrderCode = 0;
    std::int32_t autoIncrement = 0;
    std::int64_t recordCount = 0; // as the header says
};

// Reads dbPath (and mbPath for memo and blob values, when that file exists). Text of Alpha fields
// is converted by pxlib from the table's code page; memo text is converted with iconv here.
// Values use the same alternatives as paradox::Value (Short/Long/Autoincrement as int32,
// Number/Money as double, Date/Time/Timestamp/Bcd as their structs, binary as QByteArray).
// maxRecords < 0 reads all records.
PxlibTable readWithPxlib(
    const QString& dbPath, const QString& mbPath = QString(), std::int64_t maxRecords = -1);

} // namespace testsupport
