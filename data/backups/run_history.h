#pragma once

// What was done to which table: every run that ended "Done." and every restore, oldest first,
// in one log per user (history.jsonl in the program's user data folder, one JSON object a
// line). Backups keep only the last ten versions of a table and nothing for a run that
// changed nothing; the history keeps every step, so that steps can be taken out as a recipe.

#include "data/paradox/io/table_place.h" // canonicalFolder: history files a folder as backups do

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace data {

struct HistoryEntry
{
    QDateTime time;
    QString folder; // the table's folder, canonical
    QString table; // as the table list names it
    QString field; // empty for a restore
    int operationNumber = 0; // 0 for a restore
    QString operation; // the caption, or "Restore"
    QStringList answers; // as typed; a restore's: the backup it put back
    std::int64_t recordsChanged = 0;
    // A recipe's step as the recipe wrote it, for this table and field (a merge has no
    // operation to rebuild it from); empty for a run of the window or of `clean`.
    QJsonObject recipeStep = {};
};

// Appends one entry to the log of this user (`logFile` empty: the default). A failure to
// write is not the run's failure: the table is as the run says; the history only misses it.
void recordHistory(const HistoryEntry& entry, const QString& logFile = {});

// The entries of tables in folder (any path that names it), of `table` only when it is not
// empty, oldest first. Unreadable lines are passed over; the newest 16 MB of the log are read.
std::vector<HistoryEntry> readHistory(
    const QString& folder, const QString& table = {}, const QString& logFile = {});

// userDataFolder() + "/history.jsonl".
QString defaultHistoryFile();

} // namespace data
