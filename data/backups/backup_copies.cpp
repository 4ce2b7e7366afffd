#include "data/backups/backup_copies.h"

#include "data/digests/table_state.h"
#include "data/paradox/io/file_faults.h"
#include "data/safety/safe_files.h"
#include "data/safety/table_checks.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace data {
namespace {

QMap<QString, QByteArray> copyWithDigests(
    const QString& partial, const QString& tableFolder, const QStringList& names, const QJsonObject& snapshot)
{
    files::makeFolder(partial);
    const QDir table(tableFolder);
    QMap<QString, QByteArray> digests;
    for (const QString& name : names) {
        const QString copy = QDir(partial).filePath(name);
        if (snapshot.isEmpty()) {
            digests.insert(name.toLower(), files::copySyncedWithDigest(table.filePath(name), copy));
            continue;
        }
        // The SHA-256 of the bytes the run's copy read is known: the quick digest of the bytes
        // the backup copied tells whether they are the same.
        const std::optional<quint64> copied = files::copySynced(table.filePath(name), copy);
        QByteArray digest = snapshotSha256(snapshot, name, copy, copied);
        digests.insert(name.toLower(), digest.isEmpty() ? requiredDigest(copy) : digest);
    }
    return digests;
}

} // namespace

bool isAlwaysHeld(const QString& fileName)
{
    const QString key = QFileInfo(fileName).suffix().toLower();
    return key == u"db"_s || key == u"mb"_s;
}

QString partialBackupFolder(const QString& backupFolder)
{
    // Filled under a hidden name and renamed once whole: a backup cut short by a kill has no
    // name a listing takes, so it is never taken for one of an older version of the program.
    const QFileInfo named(backupFolder);
    return named.absolutePath() + u"/."_s + named.fileName() + u".part"_s;
}

BackupCopies::BackupCopies(
    QString backupFolder, const QString& tableFolder, const QString& table, const QJsonObject& snapshot)
    : m_backupFolder(std::move(backupFolder))
{
    QStringList names;
    for (const QString& name : dataFileNames(tableFolder, table)) {
        if (isAlwaysHeld(name))
            names << name;
    }
    const auto copy = [partial = partialBackupFolder(m_backupFolder), tableFolder, names, snapshot] {
        return copyWithDigests(partial, tableFolder, names, snapshot);
    };
    const bool isInOrder = paradox::io::isFaultPlanned();
    m_copies = std::async(isInOrder ? std::launch::deferred : std::launch::async, copy);
    if (isInOrder)
        m_copies.wait(); // runs it now
}

BackupCopies::~BackupCopies()
{
    if (m_isTaken)
        return;
    if (m_copies.valid())
        m_copies.wait();
    QDir(partialBackupFolder(m_backupFolder)).removeRecursively();
}

QMap<QString, QByteArray> BackupCopies::take()
{
    m_isTaken = true;
    return m_copies.get();
}

} // namespace data
