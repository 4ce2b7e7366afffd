#pragma once

// The write-back of a changed work table over the Paradox table it was copied from.

#include "data/data_context.h"

#include <QString>

namespace data {

struct WriteBackResult
{
    bool isWrittenBack = false;
    // The folder that holds the old table's family, when one was kept. After a failure
    // that could not put the old table back, this is where the user's data is.
    QString backupFolder;
    QString problem; // why the table was not written back; empty when it was
};

// Replaces the Paradox table in ctx.folder with the work table of the same name, keeping
// the old family in a backup folder under ctx.backupRoot, and drops the work table once the
// new table is in place. The old table stays in its folder until the new one is complete;
// the work table is kept when the write-back fails.
WriteBackResult sendTableToParadox(const QString& table, const DataContext& ctx);

// A leading run of separators becomes exactly two; elsewhere each pair of separators
// becomes one, in one left-to-right pass ("a//b" -> "a/b", "a///b" -> "a//b").
QString CollapseBackslashes(const QString& path);

} // namespace data
