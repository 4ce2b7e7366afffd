#pragma once

// The one door through which a table's files are replaced. A run's write-back, a recipe's, a
// restore and a repair each make their new files (finished temporary files beside the table)
// and hand them to writeTable, which keeps every rule of a write, in this order:
//  1. the writer holds the table's claim (no other run or restore of this program writes it),
//     and the table's files may be written now (writeBackRefusal);
//  2. the backup: copies of the files replaced (the .DB and .MB always), with a note of every
//     data file's digest before and after, and the note's own digest beside it;
//  3. the journal beside the table, so that a write-back cut short is finished by the next
//     program that reads the table;
//  4. right before the first rename, under the claim: the table is still exactly as the writer
//     read it, or nothing is changed and the refusal says why;
//  5. the renames, the .DB last (a new .MB keeps the old memo values until the new .DB is in
//     place), the folder flushed, the old memo blocks freed, the files the writer drops removed;
//  6. the backups past the ten kept of the table pruned, and the history entries recorded.

#include "data/backups/backups.h"
#include "data/backups/run_history.h"
#include "data/paradox/io/table_place.h"
#include "data/replace/file_move.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace data {

class BackupCopies;
class TableLock;

struct TableWrite
{
    const paradox::TablePlace& place;
    const TableLock& claim; // held by the writer from before it read the table
    // The table's files as the writer read them (takeSnapshot). Empty for a table that was not
    // there: it must still be missing.
    QJsonObject snapshot;
    std::vector<FileMove> moves;
    BackupNote note; // its table and folder are the place's
    QString backupRoot = {}; // empty: defaultBackupRoot()
    std::vector<HistoryEntry> history = {}; // their folder and table are the place's
    BackupCopies* early = nullptr; // copies of the backup begun before the new files were written
    QStringList removes = {}; // file names of the table taken away once the new .DB is in place
};

struct WrittenTable
{
    QString backupFolder;
    TableState left; // the table's data files as the write left them; empty when not known
};

// Throws SwapRefusal when the table must not be written after all (nothing was changed);
// core::Error when the write failed and the table was left as it was (the temporary files
// are gone, or a journal still needs them); SwapNotUndone when not every file could be put
// back (the message says what the folder holds).
WrittenTable writeTable(const TableWrite& write);

} // namespace data
