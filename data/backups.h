#pragma once

// Backups of Paradox table families, kept by the write-back under the per-user data
// folder: one folder per write-back, named <yyyyMMdd-HHmmss-zzz>-<table>, the last ten kept.

#include <QString>

namespace data {

inline constexpr int kBackupsKept = 10;

// GenericDataLocation + "/Vantorel/Fieldwright/backups".
QString defaultBackupRoot();

// Copies every file of the family of table in folder into a new folder under root and
// returns that folder. The copy is complete when this returns: a marker file is written
// last. Throws app::Error (naming the file) when a copy fails; the partial backup is removed.
QString backUpTable(const QString& folder, const QString& table, const QString& root);

// True when backupFolder holds a complete backup (its marker exists).
bool isCompleteBackup(const QString& backupFolder);

// Copies the family in backupFolder back into folder, replacing files of the same names.
// Throws app::Error naming the backup when that fails.
void restoreTable(const QString& backupFolder, const QString& folder);

// Removes the oldest backup folders under root so that at most `kept` remain.
void pruneBackups(const QString& root, int kept = kBackupsKept);

} // namespace data
