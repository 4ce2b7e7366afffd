#include "data/backup_restore.h"

#include "core/error_report.h"
#include "data/backups/backups.h"
#include "data/backups/run_history.h"
#include "data/paradox/io/file_faults.h"
#include "data/paradox/io/find_table.h"
#include "data/paradox/io/table_family.h"
#include "data/paradox/io/table_place.h"
#include "data/paradox/paradox.h"
#include "data/replace/interrupted_write_backs.h"
#include "data/replace/table_replace.h"
#include "data/replace/table_write.h"
#include "data/safe_names.h"
#include "data/safety/safe_files.h"
#include "data/safety/table_checks.h"
#include "data/safety/table_lock.h"

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

// A file to put back: where it comes from, and its digest when the backups know it.
struct Source
{
    QString path;
    QByteArray digest;
};

// A copy in a backup is only ever a regular file: a link could bring back any file at all.
bool isPlainFile(const QString& path)
{
    const QFileInfo info(path);
    return !info.isSymLink() && info.isFile();
}

// The table's files as they were before backups[chosen] was made, for a backup of an older
// version of the program: it holds only what its write-back replaced, so a file it lacks was
// not changed then, and is found in the oldest later backup that holds it (or as it is now).
QMap<QString, Source> filesBefore(
    const std::vector<Backup>& backups, std::size_t chosen, const QString& table)
{
    QMap<QString, Source> files;
    for (std::size_t i = chosen + 1; i-- > 0;) { // the list is newest first
        for (const QString& name : backups[i].files) {
            // Only the table's own files: not a note's half-written copy left by a crash.
            const QString key = extensionKey(name);
            const QString path = QDir(backups[i].path).filePath(name);
            if (QFileInfo(name).completeBaseName().compare(table, Qt::CaseInsensitive) == 0
                && !files.contains(key)) {
                if (!isPlainFile(path))
                    throw core::Error(
                        u"The backup %1 holds %2, which is no regular file; nothing was restored."_s.arg(
                            backups[i].id, name));
                files.insert(key, { path, {} });
            }
        }
    }
    return files;
}

class Restore
{
public:
    Restore(const QString& folder, const QString& table, const paradox::TablePlace& place,
        const TableLock& claim, const QString& id, const QString& backupRoot)
        : m_folder(folder)
        , m_table(table)
        , m_place(place)
        , m_claim(claim)
        , m_id(id)
        , m_root(backupRoot.isEmpty() ? defaultBackupRoot() : backupRoot)
    { }

    // Throws core::Error with what the user should read.
    QString run();

private:
    const Backup& chosen(const std::vector<Backup>& backups, std::size_t* index) const;
    [[noreturn]] void explainMissing() const;
    void checkWritable();
    void checkUnchangedSince(const Backup& newest) const;
    QMap<QString, Source> trustedFiles(const std::vector<Backup>& backups, std::size_t chosen) const;
    QStringList strayFiles(const Backup& backup) const;
    std::vector<FileMove> copyIn(const QMap<QString, Source>& sources);

    QString m_folder; // as given, for messages
    QString m_table;
    const paradox::TablePlace& m_place; // the table, found once
    const TableLock& m_claim;
    QJsonObject m_snapshot; // the table's files when the restore looked at them
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
    explainMissing();
}

// Why a backup that is not listed for this table is not restored, when it is there at all.
void Restore::explainMissing() const
{
    const QString path = QDir(m_root).filePath(m_id);
    const QString none
        = u"There is no backup %1 of the table %2 of %3."_s.arg(m_id, m_table, shown(m_folder));
    if (m_id.isEmpty() || m_id.contains(u'/') || m_id.startsWith(u'.') || !QFileInfo(path).isDir())
        throw core::Error(none);
    BackupNote note;
    try {
        note = readBackupNote(path);
    } catch (const core::Error& e) {
        throw core::Error(
            u"The backup %1 cannot be used: %2 Nothing was restored."_s.arg(m_id, e.description()));
    }
    if (!note.folder.isEmpty() && paradox::canonicalFolder(note.folder) != paradox::canonicalFolder(m_folder))
        throw core::Error(
            u"The backup %1 is a backup of a table of another folder (%2), not of %3; nothing was "
            "restored."_s.arg(m_id, shown(note.folder), shown(m_folder)));
    if (!note.table.isEmpty() && isCompleteBackup(path, m_table)
        && note.table.compare(m_table, Qt::CaseInsensitive) == 0)
        throw core::Error(
            u"The backup %1 holds the table as it is now: the write-back or restore that made it never took "
            "place (it was cut short), or the table has been put back as it was since. Nothing was "
            "restored."_s.arg(m_id));
    throw core::Error(none);
}

void Restore::checkWritable()
{
    m_dbFile = m_place.dbPath;
    if (m_dbFile.isEmpty()) {
        // A table lost from its folder is put back there.
        m_realFolder = m_place.folder;
        if (!QFileInfo(m_realFolder).isWritable())
            throw core::Error(u"The table %1 cannot be restored: the folder %2 cannot be written."_s.arg(
                m_table, shown(m_folder)));
        return;
    }
    if (const QString refusal = writeBackRefusal(m_dbFile); !refusal.isEmpty())
        throw core::Error(refusal);
    m_realFolder = m_place.realFolder();
    // What the restore compares the table with, right before its first rename.
    m_snapshot = takeSnapshot(m_dbFile);
}

// A table changed by another program since this one last wrote it is no version the backups
// know: putting a kept file back beside one of that program's would mix two versions.
void Restore::checkUnchangedSince(const Backup& newest) const
{
    // A table lost from its folder is put back whole.
    if (!newest.note.hasDigests() || m_dbFile.isEmpty())
        return;
    const TableState now = tableState(m_place.folder, m_table);
    const TableState expected = newest.note.after();
    if (now == expected)
        return;
    QString file;
    for (const QString& name : dataFileNames(m_place.folder, m_table)) {
        if (now.value(extensionKey(name)) != expected.value(extensionKey(name)))
            file = name;
    }
    for (auto known = expected.cbegin(); known != expected.cend() && file.isEmpty(); ++known) {
        if (!now.contains(known.key())) // one it expected is gone
            file = m_table + u'.' + known.key().toUpper();
    }
    throw core::Error(
        u"The table %1 was changed since this program last wrote it (%2 is not as that left it), "
        "perhaps by another program; a restore now could mix two versions of it. Nothing was "
        "restored."_s.arg(m_table, file));
}

// Each data file of the table as it was before the chosen backup was made: its copy in that
// backup, checked against the digest noted when it was made; a file it does not hold (its
// write-back did not change it) as it is now or in a later backup, whichever has that digest.
QMap<QString, Source> Restore::trustedFiles(const std::vector<Backup>& backups, std::size_t chosen) const
{
    const Backup& backup = backups[chosen];
    QMap<QString, Source> sources;
    for (const BackedUpFile& file : backup.note.files) {
        if (file.before.isEmpty())
            continue;
        const QString key = extensionKey(file.name);
        if (file.isHeld) {
            const QString path = QDir(backup.path).filePath(file.name);
            if (!isPlainFile(path))
                throw core::Error(u"The backup %1 is damaged: %2 is missing or no regular file. Nothing was "
                                  "restored."_s.arg(backup.id, file.name));
            if (fileDigest(path).toLatin1() != file.before)
                throw core::Error(
                    u"The backup %1 is damaged: %2 is not as it was when it was kept. Nothing was "
                    "restored."_s.arg(backup.id, file.name));
            sources.insert(key, { path, file.before });
            continue;
        }
        QStringList candidates;
        if (const QString now = paradox::findFileIgnoringCase(m_place.folder, file.name); !now.isEmpty())
            candidates << now;
        for (std::size_t i = chosen; i-- > 0;) {
            for (const QString& name : backups[i].files) {
                if (extensionKey(name) == key)
                    candidates << QDir(backups[i].path).filePath(name);
            }
        }
        const auto found
            = std::find_if(candidates.cbegin(), candidates.cend(), [&](const QString& candidate) {
                  return isPlainFile(candidate) && fileDigest(candidate).toLatin1() == file.before;
              });
        if (found == candidates.cend())
            throw core::Error(
                u"The table %1 cannot be restored to the version of the backup %2: its file %3 is no "
                "longer as that version had it, and no backup holds it. Nothing was restored."_s.arg(
                    m_table, backup.id, file.name));
        sources.insert(key, { *found, file.before });
    }
    return sources;
}

// Data files the table has now but did not have then (an index made since): left in place
// they would be taken for part of the restored table.
QStringList Restore::strayFiles(const Backup& backup) const
{
    QStringList strays;
    if (m_dbFile.isEmpty() || !backup.note.hasDigests())
        return strays;
    const TableState then = backup.note.before();
    for (const QString& name : dataFileNames(m_realFolder, m_table)) {
        if (!then.contains(extensionKey(name)))
            strays << name;
    }
    return strays;
}

std::vector<FileMove> Restore::copyIn(const QMap<QString, Source>& sources)
{
    QMap<QString, QString> targets; // by extension: the table's files now, where they really are
    if (!m_dbFile.isEmpty()) {
        const QFileInfo db(m_dbFile);
        for (const QString& file : paradox::tableFamily(db.absolutePath(), db.completeBaseName()))
            targets.insert(extensionKey(file), QFileInfo(file).canonicalFilePath());
    }
    QString baseName = m_dbFile.isEmpty() ? QFileInfo(sources.value(u"db"_s).path).completeBaseName()
                                          : QFileInfo(targets.value(u"db"_s)).completeBaseName();
    if (baseName.isEmpty())
        baseName = m_table;
    std::vector<FileMove> moves;
    for (auto source = sources.cbegin(); source != sources.cend(); ++source) {
        const QString target = targets.value(
            source.key(), QDir(m_realFolder).filePath(baseName + u'.' + QFileInfo(source->path).suffix()));
        auto& copy = m_copies.emplace_back(std::make_unique<paradox::writer::TemporaryFile>());
        QString error;
        paradox::io::takeLastFailure(); // a failure seen earlier is not this one's
        if (!copy->create(
                m_realFolder, QFileInfo(target).completeBaseName(), QFileInfo(target).suffix(), &error)
            || !copy->copyFrom(source->path, &error)
            || !copy->finish(&error)
            // The copy itself is checked: the backup could have changed since it was.
            || (!source->digest.isEmpty() && fileDigest(copy->path()).toLatin1() != source->digest
                && (error = u"the copy of %1 is not as that file was kept"_s.arg(shown(source->path)),
                    true))) {
            m_copies.clear(); // removes the copies made so far
            files::throwFailure(u"Cannot restore %1: %2"_s.arg(m_table, error),
                u"The table %1 was left as it was."_s.arg(m_table));
        }
        moves.push_back({ copy->path(), target });
    }
    return moves;
}

QString Restore::run()
{
    if (!QFileInfo(m_folder).isDir())
        throw core::Error(u"There is no folder %1."_s.arg(shown(m_folder)));
    refuseUnsafeTableName(m_table);
    // A write-back of this folder cut short is finished first: its backup belongs in the list.
    finishInterruptedWriteBacks(m_place.realFolder());
    const std::vector<Backup> backups = listBackups(m_root, m_place.folder, m_table);
    std::size_t index = 0;
    const Backup& backup = chosen(backups, &index);
    checkWritable();
    checkUnchangedSince(backups.front());
    const QMap<QString, Source> sources
        = backup.note.hasDigests() ? trustedFiles(backups, index) : filesBefore(backups, index, m_table);
    const std::vector<FileMove> moves = copyIn(sources);
    const BackupNote note { m_table, m_place.folder, backup.note.field, QString::fromUtf16(kRestoreOperation),
        { m_id }, 0, QDateTime::currentDateTime() };
    const HistoryEntry history { QDateTime::currentDateTime(), {}, m_table, {}, 0,
        QString::fromUtf16(kRestoreOperation), { m_id }, 0 };
    // A table lost from its folder is put back where the restore looked for it.
    const paradox::TablePlace place
        = m_place.isFound() ? m_place : paradox::TablePlace { m_realFolder, m_table, {} };
    // Whatever happens, the write-back has removed the copies or a journal still needs them.
    const auto release = [this] {
        for (const auto& copy : m_copies)
            copy->markPlaced();
    };
    QString replaced;
    try {
        replaced = writeTable(
            { place, m_claim, m_snapshot, moves, note, m_root, { history }, nullptr, strayFiles(backup) })
                       .backupFolder;
    } catch (const SwapRefusal& refusal) {
        release();
        throw core::Error(refusal.reason + u" Nothing was restored."_s);
    } catch (const core::Error&) {
        release();
        throw;
    }
    release();
    return replaced;
}

} // namespace

RestoreResult restoreBackup(
    const QString& folder, const QString& table, const QString& id, const QString& backupRoot)
{
    RestoreResult result;
    // Found once; held until the restore is done: no run or restore of ours writes the table
    // meanwhile.
    const paradox::TablePlace place = paradox::findTablePlace(folder, table);
    const TableLock claim(place);
    if (!claim.problem().isEmpty()) {
        result.problem = claim.problem();
        return result;
    }
    try {
        result.backupFolder = Restore(folder, table, place, claim, id, backupRoot).run();
        result.isRestored = true;
    } catch (const core::Error& e) {
        result.problem = e.description();
    }
    return result;
}

} // namespace data
