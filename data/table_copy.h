#pragma once

// The copy of a Paradox table into the work database: one create statement and one insert
// per record, every value stored as the quoted text literal or NULL the insert gives it.

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

// Copies table (as the table list names it) from ctx.folder into the work database,
// replacing a stale work table of that name. A failing step is reported through ctx.errors
// and the copy goes on where that is safe; the result says whether the copy is complete.
CopyResult sendTableToAccess(const QString& table, const DataContext& ctx);

} // namespace data
