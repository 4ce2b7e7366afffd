#include "data/scratch_copy.h"

#include "core/error_report.h"
#include "data/paradox/io/file_faults.h"
#include "data/paradox/io/table_family.h"
#include "data/paradox/paradox.h"
#include "data/paradox_folder.h"
#include "data/replace/table_replace.h"
#include "data/safety/safe_files.h"
#include "data/safety/table_checks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace data {
namespace {

bool haveSameBytes(const QString& a, const QString& b)
{
    QFile left(a);
    QFile right(b);
    if (!left.open(QIODevice::ReadOnly) || !right.open(QIODevice::ReadOnly))
        throw core::Error(u"Cannot read %1 or %2 to compare them."_s.arg(
            QDir::toNativeSeparators(a), QDir::toNativeSeparators(b)));
    if (left.size() != right.size())
        return false;
    constexpr qint64 kChunk = 1 << 20;
    while (!left.atEnd()) {
        if (left.read(kChunk) != right.read(kChunk))
            return false;
    }
    return true;
}

QStringList fileNames(const std::vector<QString>& paths)
{
    QStringList names;
    for (const QString& path : paths)
        names.append(QFileInfo(path).fileName());
    names.sort();
    return names;
}

} // namespace

ScratchCopy::ScratchCopy(const QString& tableFolder, const QString& table)
{
    const QString file = paradoxTableFile(tableFolder, table);
    m_dbPath = QFileInfo(file).canonicalFilePath();
    m_name = QFileInfo(m_dbPath).completeBaseName();
    m_claim = std::make_unique<TableLock>(m_dbPath);
    if (!m_claim->problem().isEmpty())
        throw core::Error(m_claim->problem());
    if (!m_dir.isValid())
        throw core::Error(
            u"Cannot make a private folder to work on a copy of %1: %2"_s.arg(table, m_dir.errorString()));
    if (const QString refusal = writeBackRefusal(m_dbPath); !refusal.isEmpty())
        throw core::Error(refusal);
    QDir(m_dir.path()).mkpath(u"table"_s);
    QDir(m_dir.path()).mkpath(u"backups"_s);
    // The state first: a change between it and the copies shows at the write-back.
    m_snapshot = takeSnapshot(m_dbPath);
    for (const QString& member : paradox::tableFamily(QFileInfo(m_dbPath).absolutePath(), m_name))
        files::copySynced(member, folder() + u'/' + QFileInfo(member).fileName());
}

QString ScratchCopy::folder() const
{
    return m_dir.path() + u"/table"_s;
}

QString ScratchCopy::backupRoot() const
{
    return m_dir.path() + u"/backups"_s;
}

QString ScratchCopy::writeBack(const QString& backupRoot, BackupNote note)
{
    const QString tableFolder = QFileInfo(m_dbPath).absolutePath();
    const std::vector<QString> now = paradox::tableFamily(tableFolder, m_name);
    const std::vector<QString> changed = paradox::tableFamily(folder(), m_name);
    // A run that added or dropped a file of the family (an index) is not one this write-back can
    // mirror without leaving a stray file: refused rather than half done.
    if (fileNames(now) != fileNames(changed))
        throw core::Error(
            u"The steps changed which files the table %1 has; it was not written back."_s.arg(m_name));

    std::vector<std::unique_ptr<paradox::writer::TemporaryFile>> temporaries;
    std::vector<FileMove> moves;
    for (const QString& copy : changed) {
        const QString target = tableFolder + u'/' + QFileInfo(copy).fileName();
        if (haveSameBytes(copy, target))
            continue;
        auto temporary = std::make_unique<paradox::writer::TemporaryFile>();
        QString error;
        const QFileInfo info(target);
        paradox::io::takeLastFailure(); // a failure seen earlier is not this one's
        if (!temporary->create(tableFolder, m_name, info.suffix(), &error)
            || !temporary->copyFrom(copy, &error) || !temporary->finish(&error))
            files::throwFailure(error);
        files::copyOwnership(target, temporary->path());
        moves.push_back({ temporary->path(), target });
        temporaries.push_back(std::move(temporary));
    }
    if (moves.empty())
        return {};
    // The .DB last, as every write-back puts it.
    std::stable_partition(moves.begin(), moves.end(),
        [&](const FileMove& move) { return QFileInfo(move.target).filePath() != m_dbPath; });

    if (const QString refusal = writeBackRefusal(m_dbPath); !refusal.isEmpty())
        throw core::Error(refusal);
    if (const QString difference = snapshotDifference(m_snapshot, m_dbPath); !difference.isEmpty())
        throw core::Error(difference);
    note.table = m_name;
    note.folder = tableFolder;
    const QString root = backupRoot.isEmpty() ? defaultBackupRoot() : backupRoot;
    QString backupFolder;
    try {
        backupFolder = replaceTableFiles(tableFolder, m_name, moves, root, note);
    } catch (const core::Error&) {
        // A journal may still need the files the replacement did not move yet.
        for (auto& temporary : temporaries)
            temporary->markPlaced();
        throw;
    }
    for (auto& temporary : temporaries)
        temporary->markPlaced();
    pruneBackups(root, note.folder, m_name);
    return backupFolder;
}

} // namespace data
