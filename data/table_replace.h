#pragma once

// Putting a written-back table in place. The new files are finished temporary files in the
// table's folder; the files they replace are first copied into a backup, then each new file
// is renamed over its old one, the .DB last. A journal beside the table lists the renames
// before the first one, so a write-back cut short at any point (a kill, a power cut, a
// failing disk) is finished by the next run or the next start: the folder then holds the
// whole new table, while the backup holds the whole old one.

#include "data/backups.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <vector>

namespace data {

struct FileMove
{
    QString temporary; // a finished, flushed file in the table's folder
    QString target; // the file of the table it replaces (or becomes)
};

// Backs the targets up into a new folder under backupRoot with note, then makes the moves.
// Returns the backup folder. Throws core::Error; before the first move, the table's folder is
// as it was (the temporary files are removed); after it, the table is either complete again
// or its journal finishes the moves at the next start (the message says which).
QString replaceTableFiles(const QString& folder, const QString& table, const std::vector<FileMove>& moves,
    const QString& backupRoot, const BackupNote& note);

// Finishes the write-backs interrupted in folder and removes temporary files that no
// write-back will finish. A write-back that another process is putting in place right now is
// waited for, up to patience, so the tables are whole when this returns. Returns what the
// user should be told, one text per table.
inline constexpr std::chrono::milliseconds kJournalPatience { 5000 };
QStringList finishInterruptedWriteBacks(
    const QString& folder, std::chrono::milliseconds patience = kJournalPatience);

// The same for every folder in which a write-back of this user was interrupted, wherever it
// is (called at start).
QStringList finishAllInterruptedWriteBacks();

} // namespace data
