#pragma once

// The write-back of a changed work table over the Paradox table it was copied from.

#include "data/data_context.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace data {

struct WriteBackResult
{
    bool isWrittenBack = false; // the table now holds the run's changes (or there were none)
    std::int64_t recordsChanged = 0; // 0: no file was touched and no backup kept
    QString backupFolder; // where the files it replaced are kept
    QString problem; // why the table was not written back; empty when it was
    bool isRefused = false; // the table was in use or changed elsewhere: nothing was tried
    QStringList notices; // earlier write-backs of this folder that were finished first
    // When a failed write-back could not put every file back: one sentence on what the folder
    // holds. Empty when the table was left as it was, or written.
    QString tableState;
};

// Writes the changes of the work table of the same name into the Paradox table in
// ctx.folder: only the changed values, in copies of the table's files that replace the old
// ones once complete (the old ones are kept in a backup under ctx.backupRoot). Every other
// file of the table stays as it is; a run that changed nothing writes nothing. The work
// table is dropped once the table is written, and kept when it is not.
WriteBackResult sendTableToParadox(const QString& table, const DataContext& ctx);

// A leading run of separators becomes exactly two; elsewhere each pair of separators
// becomes one, in one left-to-right pass ("a//b" -> "a/b", "a///b" -> "a//b").
QString CollapseBackslashes(const QString& path);

} // namespace data
