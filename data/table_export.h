#pragma once

// Writes a work table into a Paradox folder as a new table, replacing the table of that
// name: the new table gets the field types, sizes, code page and collation of the Paradox
// table the work table was copied from (an Alpha field widened when a changed value no
// longer fits, up to 255). The new family is written completely beside the old one; then
// the old family goes into backupFolder and the new one takes its place.

#include "data/workdb/work_table.h"

#include <QString>

namespace data {

// Throws core::Error naming the table, and the row and field of a value that cannot be
// stored; the old table is then in its folder, or in backupFolder when it could not be put
// back (the message says so).
void exportToParadox(WorkDatabase& database, WorkTable& work, std::int64_t rowLimit, const QString& folder,
    const QString& target, const QString& backupFolder);

} // namespace data
