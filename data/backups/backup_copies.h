#pragma once

// The copies of the files every backup of a table keeps (isAlwaysHeld), begun before the new files
// are written: the copying and the writing then share the time, and each waits for the disk
// once. The copies go into the backup's hidden folder, which writeBackup fills and names.
//
// While a test plans faults, the copies are made at once, in the order of every other file
// operation, so that the Nth operation a test fails or kills at is always the same one.

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <future>

namespace data {

// Whether every backup holds this file of a table, whatever its write-back replaces: the .DB
// and the .MB, so that a restore never pairs a .DB with a memo file of another version.
bool isAlwaysHeld(const QString& fileName);

// The hidden folder a backup is filled in before it takes its name.
QString partialBackupFolder(const QString& backupFolder);

class BackupCopies
{
public:
    // Starts copying; backupFolder is the backup's name (newBackupFolder), not yet made.
    // snapshot: the copy's (table_checks.h), whose SHA-256 of a file holds for a copy that
    // holds the same bytes.
    BackupCopies(QString backupFolder, const QString& tableFolder, const QString& table,
        const QJsonObject& snapshot = {});
    // Waits for the copies, and removes them unless taken.
    ~BackupCopies();
    BackupCopies(const BackupCopies&) = delete;
    BackupCopies& operator=(const BackupCopies&) = delete;

    const QString& backupFolder() const { return m_backupFolder; }
    // Waits for the copies, made in partialBackupFolder(backupFolder()): their digests by file
    // name in lower case. The folder is the caller's from now on. Throws core::Error.
    QMap<QString, QByteArray> take();

private:
    QString m_backupFolder;
    std::future<QMap<QString, QByteArray>> m_copies;
    bool m_isTaken = false;
};

} // namespace data
