#pragma once

// The backups of replaced Paradox tables, under the user's data folder: one folder per
// write-back or restore, named <yyyyMMdd-HHmmss-zzz>-<table>, holding copies of the files it
// replaced and a note (backup.json) of what replaced them. The last ten of each table are
// kept. A backup is complete when it holds the table's .DB.
//
// A backup holds the .DB and .MB always, and every other file its write-back replaced; its
// note keeps a digest of each data file of the table before and after that write-back, so a
// restore can tell a damaged backup, or a table that was changed since, from a whole one.

#include "data/backups/backup_copies.h"
#include "data/digests/table_state.h"
#include "data/paradox/io/table_place.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace data {

inline constexpr int kBackupsKept = 10;
// A note is a few hundred bytes; a bigger one is not ours, and is never read whole.
inline constexpr qint64 kLargestBackupNote = 1 << 20;

// One data file of the table (.DB, .MB, .PX, .Xnn, .Ynn) as a write-back found and left it.
// A digest is the file's SHA-256 in hex, empty when the file was not there.
struct BackedUpFile
{
    QString name;
    bool isHeld = false; // a copy of it as it was before is in the backup
    QByteArray before;
    QByteArray after;
};

// What replaced the files a backup holds: a run (field, operation, its answers, the records
// it changed) or a restore (operation "Restore", the backup it brought back as answer).
struct BackupNote
{
    QString table;
    QString folder; // the table's folder, canonical
    QString field;
    QString operation;
    QStringList answers;
    std::int64_t recordsChanged = 0;
    QDateTime time;
    std::vector<BackedUpFile> files {}; // empty in backups of older versions of the program
    QStringList removes {}; // files of the table its writer removes after the swap (held, not there after)

    bool hasDigests() const { return !files.empty(); }
    TableState before() const;
    TableState after() const;
};

struct Backup
{
    QString id; // the backup folder's name
    QString path;
    BackupNote note;
    QStringList files; // the file names it holds
    QString movedFrom; // the folder it was made in, when the table has moved since; else empty
};

// A file that replaces a file of the table (or becomes one), with what is written into it in
// place once it is there (laterWrites, then a cut to length when that is not negative): the
// note keeps the digest of the file as it is once that is done.
struct Replacement
{
    QString target;
    QString replacement;
    InPlaceWrites laterWrites = {};
    std::int64_t length = -1;
    QByteArray digest = {}; // of replacement as it is, when already known
};

// core::userDataFolder() + "/backups". Throws core::Error when there is no such folder.
QString defaultBackupRoot();

// A backup folder as messages show it: under the user's home as "~/..." (the long part says
// nothing the user needs), elsewhere in full.
QString shownBackupFolder(const QString& folder);

// A fresh, not yet existing folder under root for a backup of table.
QString newBackupFolder(const QString& root, const QString& table);

bool isCompleteBackup(const QString& backupFolder, const QString& table);

// Copies into backupFolder the files of table `note.table` of tableFolder that a restore
// puts back (the .DB, the .MB and every target of replacements), with their digests and
// those of the table's other data files in the note. Returns the table's state once the
// replacements are in place and finished (the note's after()). Copies begun earlier (early,
// when given, of this backupFolder) are taken up, not made again. Throws core::Error.
TableState writeBackup(const QString& backupFolder, const QString& tableFolder,
    const std::vector<Replacement>& replacements, BackupNote note, BackupCopies* early = nullptr);

void writeBackupNote(const QString& backupFolder, const BackupNote& note); // throws core::Error
// An empty note when there is none; throws core::Error for one that is no regular file or is
// too big to be ours.
BackupNote readBackupNote(const QString& backupFolder);

// The complete backups of table `table` of folder under root, newest first: those made in
// that folder (by its canonical path), but not one whose write-back never took place (cut
// short before the table was touched), then those made in a folder that is gone since, when
// that folder's table became this one (its last digest is this table's first). current, when
// given, is the table's state, known to the caller, which spares reading all of its files.
std::vector<Backup> listBackups(
    const QString& root, const QString& folder, const QString& table, const TableState* current = nullptr);

// Removes the oldest complete backups of this table of this folder so that `kept` remain;
// backups of other tables are never touched. current: as for listBackups.
void pruneBackups(const QString& root, const QString& folder, const QString& table, int kept = kBackupsKept,
    const TableState* current = nullptr);

} // namespace data
