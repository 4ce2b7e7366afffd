#include "data/backup_restore.h"

#include "core/error_report.h"
#include "data/backups.h"
#include "data/paradox/table.h"
#include "data/paradox/table_family.h"
#include "data/safe_files.h"
#include "data/table_checks.h"
#include "data/table_lock.h"
#include "data/table_replace.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <memory>

using namespace Qt::StringLiterals;

namespace data {
namespace {

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The files of a table are told apart by their extension (.db, .mb, .px, .x02...); the
// name before it is the table's, in whatever case the folder has it.
QString extensionKey(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

// The table's files as they were before backups[chosen] was made, by extension: a backup
// holds only what its write-back replaced, so a file it lacks was not changed then, and is
// found in the oldest later backup that holds it (or, when none does, as it is now).
QMap<QString, QString> filesBefore(
    const std::vector<Backup>& backups, std::size_t chosen, const QString& table)
{
    QMap<QString, QString> files;
    for (std::size_t i = chosen + 1; i-- > 0;) { // the list is newest first
        for (const QString& name : backups[i].files) {
            // Only the table's own files: not a note's half-written copy left by a crash.
            const QString key = extensionKey(name);
            if (QFileInfo(name).completeBaseName().compare(table, Qt::CaseInsensitive) == 0
                && !files.contains(key))
                files.insert(key, QDir(backups[i].path).filePath(name));
        }
    }
    return files;
}

class Restore
{
public:
    Restore(const QString& folder, const QString& table, const QString& id, const QString& backupRoot)
        : m_folder(folder)
        , m_table(table)
        , m_id(id)
        , m_root(backupRoot.isEmpty() ? defaultBackupRoot() : backupRoot)
    { }

    // Throws core::Error with what the user should read.
    QString run();

private:
    const Backup& chosen(const std::vector<Backup>& backups, std::size_t* index) const;
    void checkWritable();
    std::vector<FileMove> copyIn(const QMap<QString, QString>& sources);

    QString m_folder;
    QString m_table;
    QString m_id;
    QString m_root;
    QString m_dbFile; // the table's .db now; empty when the table is missing
    QString m_realFolder; // where its files really are, when they are symbolic links
    // The copies to put in place: hidden, named as the start-up clean-up knows them, and
    // locked until they are in place, so no clean-up takes them for leftovers before.
    std::vector<std::unique_ptr<paradox::writer::TemporaryFile>> m_copies;
};

const Backup& Restore::chosen(const std::vector<Backup>& backups, std::size_t* index) const
{
    for (std::size_t i = 0; i < backups.size(); ++i) {
        if (backups[i].id == m_id) {
            *index = i;
            return backups[i];
        }
    }
    throw core::Error(u"There is no backup %1 of the table %2 of %3."_s.arg(m_id, m_table, shown(m_folder)));
}

void Restore::checkWritable()
{
    m_dbFile = paradox::findTableFile(m_folder, m_table);
    if (m_dbFile.isEmpty()) {
        // A table lost from its folder is put back there.
        m_realFolder = QDir(m_folder).absolutePath();
        if (!QFileInfo(m_realFolder).isDir() || !QFileInfo(m_realFolder).isWritable())
            throw core::Error(u"The table %1 cannot be restored: the folder %2 cannot be written."_s.arg(
                m_table, shown(m_folder)));
        return;
    }
    if (const QString refusal = writeBackRefusal(m_dbFile); !refusal.isEmpty())
        throw core::Error(refusal);
    m_realFolder = QFileInfo(QFileInfo(m_dbFile).canonicalFilePath()).absolutePath();
}

std::vector<FileMove> Restore::copyIn(const QMap<QString, QString>& sources)
{
    QMap<QString, QString> targets; // by extension: the table's files now, where they really are
    if (!m_dbFile.isEmpty()) {
        const QFileInfo db(m_dbFile);
        for (const QString& file : paradox::tableFamily(db.absolutePath(), db.completeBaseName()))
            targets.insert(extensionKey(file), QFileInfo(file).canonicalFilePath());
    }
    QString baseName = m_dbFile.isEmpty() ? QFileInfo(sources.value(u"db"_s)).completeBaseName()
                                          : QFileInfo(targets.value(u"db"_s)).completeBaseName();
    if (baseName.isEmpty())
        baseName = m_table;
    std::vector<FileMove> moves;
    for (auto source = sources.cbegin(); source != sources.cend(); ++source) {
        const QString target = targets.value(
            source.key(), QDir(m_realFolder).filePath(baseName + u'.' + QFileInfo(source.value()).suffix()));
        auto& copy = m_copies.emplace_back(std::make_unique<paradox::writer::TemporaryFile>());
        QString error;
        if (!copy->create(m_realFolder, QFileInfo(target).completeBaseName(), QFileInfo(target).suffix(), &error)
            || !copy->copyFrom(source.value(), &error) || !copy->finish(&error)) {
            m_copies.clear(); // removes the copies made so far
            throw core::Error(u"Cannot restore %1: %2. The table %1 was left as it was."_s.arg(m_table, error));
        }
        moves.push_back({ copy->path(), target });
    }
    return moves;
}

QString Restore::run()
{
    // A write-back of this folder cut short is finished first: its backup belongs in the list.
    finishInterruptedWriteBacks(m_folder);
    const std::vector<Backup> backups = listBackups(m_root, m_folder, m_table);
    std::size_t index = 0;
    const Backup& backup = chosen(backups, &index);
    checkWritable();
    const std::vector<FileMove> moves = copyIn(filesBefore(backups, index, m_table));
    const BackupNote note { m_table, QDir(m_folder).absolutePath(), backup.note.field,
        QString::fromUtf16(kRestoreOperation), { m_id }, 0, QDateTime::currentDateTime() };
    // Whatever happens, the replacement has removed the copies or a journal still needs them.
    const auto release = [this] {
        for (const auto& copy : m_copies)
            copy->markPlaced();
    };
    QString replaced;
    try {
        replaced = replaceTableFiles(m_realFolder, m_table, moves, m_root, note);
    } catch (const core::Error&) {
        release();
        throw;
    }
    release();
    pruneBackups(m_root, note.folder, m_table);
    return replaced;
}

} // namespace

RestoreResult restoreBackup(
    const QString& folder, const QString& table, const QString& id, const QString& backupRoot)
{
    RestoreResult result;
    // Held until the restore is done: no run or restore of ours writes the table meanwhile.
    const TableLock claim(folder, table);
    if (!claim.problem().isEmpty()) {
        result.problem = claim.problem();
        return result;
    }
    try {
        result.backupFolder = Restore(folder, table, id, backupRoot).run();
        result.isRestored = true;
    } catch (const core::Error& e) {
        result.problem = e.description();
    }
    return result;
}

} // namespace data
