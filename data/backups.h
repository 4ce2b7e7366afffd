#pragma once

// The backups of replaced Paradox tables, under the user's data folder: one folder per
// write-back or restore, named <yyyyMMdd-HHmmss-zzz>-<table>, holding copies of the files it
// replaced and a note (backup.json) of what replaced them. The last ten of each table are
// kept. A backup is complete when it holds the table's .DB.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace data {

inline constexpr int kBackupsKept = 10;

// What replaced the files a backup holds: a run (field, operation, its answers, the records
// it changed) or a restore (operation "Restore", the backup it brought back as answer).
struct BackupNote
{
    QString table;
    QString folder; // the table's folder, absolute
    QString field;
    QString operation;
    QStringList answers;
    std::int64_t recordsChanged = 0;
    QDateTime time;
};

struct Backup
{
    QString id; // the backup folder's name
    QString path;
    BackupNote note;
    QStringList files; // the file names it holds
};

// core::userDataFolder() + "/backups". Throws core::Error when there is no such folder.
QString defaultBackupRoot();

// A backup folder as messages show it: under the user's home as "~/..." (the long part says
// nothing the user needs), elsewhere in full.
QString shownBackupFolder(const QString& folder);

// A fresh, not yet existing folder under root for a backup of table.
QString newBackupFolder(const QString& root, const QString& table);

bool isCompleteBackup(const QString& backupFolder, const QString& table);

void writeBackupNote(const QString& backupFolder, const BackupNote& note); // throws core::Error
BackupNote readBackupNote(const QString& backupFolder); // an empty note when there is none

// The complete backups of table `table` of folder under root, newest first.
std::vector<Backup> listBackups(const QString& root, const QString& folder, const QString& table);

// Removes the oldest complete backups of this table of this folder so that `kept` remain;
// backups of other tables are never touched.
void pruneBackups(const QString& root, const QString& folder, const QString& table, int kept = kBackupsKept);

} // namespace data
