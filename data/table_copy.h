#pragma once

// The copy of a Paradox table into the work database: one CREATE TABLE and one INSERT per
// record, every value a quoted text literal or NULL.

#include "data/data_context.h"

#include <QString>
#include <cstdint>

namespace data {

struct CopyResult
{
    // True only when the work table holds every record of the Paradox table. The change
    // run must not write back a table whose copy is not complete.
    bool isComplete = false;
    std::int64_t recordsExpected = 0;
    std::int64_t recordsCopied = 0;
    QString problem; // why the copy is not complete; empty when it is
};

// Copies table (as the table list names it) from the folder in ctx.folderBox into the
// work database, replacing a stale work table of that name. A failing step is reported
// through ctx.errors and the copy goes on, as the program always has; the result says
// whether the copy is nonetheless complete.
CopyResult sendTableToAccess(const QString& table, const DataContext& ctx);

// The text that follows the field name in the create statement for a field whose
// lower-cased type name is typeName, e.g. "` TEXT," for "advarchar".
QString columnTypeText(const QString& lowerTypeName);

} // namespace data
