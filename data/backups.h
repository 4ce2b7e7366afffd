#pragma once

// The write-back's backups of replaced Paradox tables, under the per-user data folder:
// one folder per write-back, named <yyyyMMdd-HHmmss-zzz>-<table>, the last ten kept. The
// writer moves the old family in with the .DB last, so a backup that holds the .DB is
// complete.

#include <QString>

namespace data {

inline constexpr int kBackupsKept = 10;

// core::userDataFolder() + "/backups". Throws core::Error when there is no such folder.
QString defaultBackupRoot();

// A fresh, not yet existing folder under root for a backup of table.
QString newBackupFolder(const QString& root, const QString& table);

bool isCompleteBackup(const QString& backupFolder, const QString& table);

// Copies the family in backupFolder back into folder, the .DB last, over nothing: throws
// core::Error (naming the file) when a file is in the way or cannot be copied.
void restoreTable(const QString& backupFolder, const QString& folder);

// Removes the oldest backup folders under root so that at most `kept` remain.
void pruneBackups(const QString& root, int kept = kBackupsKept);

} // namespace data
