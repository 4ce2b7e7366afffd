#pragma once

// The write-back's copy statement, which only the old database engine understood:
//     select top N * into [Paradox 5.x;Database=FOLDER].[T.db] from [W]
// writes the first N rows of the work table W as the Paradox table T into FOLDER. The new
// table gets the field types, sizes, code page and collation of the Paradox table that W
// was copied from (an Alpha field widened when a changed value no longer fits, up to 255);
// columns without such a source get a type from their declared type. It fails when T
// exists in FOLDER, unless a DeferredDrops holds the drop of that very table: then the old
// family is replaced once the new one is completely written.

#include <QString>

namespace paradox {
struct Field;
}

namespace data {

class DeferredDrops;
class WorkDatabaseBackend;

bool isParadoxExportStatement(const QString& sql);

// Throws core::Error naming the table, and the row and field of a value that cannot be stored.
void exportToParadox(WorkDatabaseBackend& database, const QString& sql, DeferredDrops* drops);

} // namespace data
