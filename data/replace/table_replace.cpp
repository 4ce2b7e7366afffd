#include "data/replace/table_replace.h"

#include "data/replace/table_journal.h"

#include "data/backups/backup_copies.h"

#include "core/error_report.h"
#include "core/helpers.h"
#include "data/paradox/paradox.h"
#include "data/safety/safe_files.h"
#include "data/safety/table_lock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace data {

using namespace journal;

namespace {
TableState backUp(const QString& backup, const QString& folder, const std::vector<FileMove>& moves,
    const std::vector<std::int64_t>& cutBackTo, const BackupNote& note, BackupCopies* early)
{
    std::vector<Replacement> replacements;
    for (std::size_t i = 0; i < moves.size(); ++i)
        replacements.push_back(
            { moves[i].target, moves[i].temporary, moves[i].laterWrites, cutBackTo[i], moves[i].digest });
    return writeBackup(backup, folder, replacements, note, early);
}

} // namespace

namespace {

bool isMemoFile(const QString& path)
{
    return path.endsWith(u".mb"_s, Qt::CaseInsensitive);
}

std::int64_t sizeOf(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}

// A memo file put back shorter than the one in place (a restore) first takes the rest of the
// one in place, so that the .DB in place until the last rename finds every value it reads;
// it is cut back once its own .DB is in place. Returns the length to cut back to, or -1.
std::int64_t extendMemo(const FileMove& move)
{
    const std::int64_t own = sizeOf(move.temporary);
    if (!isMemoFile(move.target) || own < 0 || sizeOf(move.target) <= own)
        return -1;
    files::appendTail(move.target, own, move.temporary);
    return own;
}

// What an undone swap left in the folder.
struct Undone
{
    QString text; // for the failure's message, starting with a space
    QStringList notBack; // the files that could not be put back as they were
};

// After a rename failed at ordered[failed]: the new .DB never comes in, the files already
// replaced are put back from the backup, and the journal goes.
Undone undoSwap(const QString& folder, const QString& table, const std::vector<FileMove>& ordered,
    std::size_t failed, const QString& backup, const QString& journal)
{
    QStringList notBack;
    // The not yet moved temporaries first, the .DB's among them: a journal carried out after
    // a kill from here on can bring in nothing the old .DB does not read.
    for (std::size_t i = ordered.size(); i-- > failed;) {
        try {
            files::remove(ordered[i].temporary);
        } catch (const core::Error&) {
            QFile::remove(ordered[i].temporary);
        }
    }
    for (std::size_t i = failed; i-- > 0;) {
        const FileMove& move = ordered[i];
        const QString kept = QDir(backup).filePath(QFileInfo(move.target).fileName());
        try {
            if (QFileInfo::exists(kept)) {
                const QString copy = QDir(folder).filePath(
                    u".%1.%2.%3.tmp"_s.arg(table)
                        .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'))
                        .arg(QFileInfo(move.target).suffix()));
                try {
                    files::copySynced(kept, copy);
                    files::copyOwnership(move.target, copy);
                    files::rename(copy, move.target);
                } catch (const core::Error&) {
                    QFile::remove(copy);
                    throw;
                }
            } else {
                files::remove(move.target);
            }
        } catch (const core::Error&) {
            notBack << QFileInfo(move.target).fileName();
        }
    }
    try {
        files::syncFolder(folder);
        forget(journal);
    } catch (const core::Error&) {
        QFile::remove(journal);
    }
    if (!notBack.isEmpty())
        return {
            u" The table %1 still has its old .DB, so it reads as it did, but %2 could not be put back as "
            "it was; the old files are kept in %3."_s.arg(
                table, notBack.join(u", "_s), QDir::toNativeSeparators(backup)),
            notBack
        };
    QDir(backup).removeRecursively();
    return { u" The table %1 was left as it was."_s.arg(table), {} };
}

} // namespace

QString replaceTableFiles(const QString& folder, const QString& table, const std::vector<FileMove>& moves,
    const QString& backupRoot, const BackupNote& note, const std::function<QString()>& lastCheck,
    TableState* left, BackupCopies* early)
{
    std::vector<FileMove> ordered = moves;
    // The .DB last: a table whose .DB has been replaced has every other new file in place.
    std::stable_partition(
        ordered.begin(), ordered.end(), [](const FileMove& move) { return !isDbFile(move.target); });
    const QString backup = early ? early->backupFolder() : newBackupFolder(backupRoot, table);
    const QString journal = journalPath(folder, table);
    Journal plan { table, backup, {}, {} };
    for (const FileMove& move : ordered)
        plan.moves.push_back(
            { QFileInfo(move.temporary).fileName(), QFileInfo(move.target).fileName(), move.laterWrites });
    std::vector<std::int64_t>& cutBackTo = plan.cutBackTo;
    cutBackTo.assign(ordered.size(), -1);
    // Locked before anyone can see it: another process finishing interrupted write-backs
    // never carries out this one's moves beside it.
    FileLock lock;
    TableState after;
    const auto abandon = [&] {
        if (lock.isLocked())
            QFile::remove(journal);
        QDir(backup).removeRecursively();
        for (const FileMove& move : ordered)
            QFile::remove(move.temporary);
    };
    try {
        for (std::size_t i = 0; i < ordered.size(); ++i) {
            if (QFileInfo::exists(ordered[i].target))
                files::copyOwnership(ordered[i].target, ordered[i].temporary);
            cutBackTo[i] = extendMemo(ordered[i]);
        }
        after = backUp(backup, folder, ordered, cutBackTo, note, early);
        const int lockedJournal = files::writeSyncedLockedNew(journal, encode(plan));
        // Only a write-back of this table that is under way now has a journal here: the
        // interrupted ones were finished before this one began.
        if (lockedJournal < 0)
            throw core::Error(
                u"Another window or run of the program is writing the table %1 back right now."_s.arg(table));
        lock.adopt(lockedJournal);
        files::syncFolder(folder);
        // Under the table's claim no run of ours changes it, but another program may have.
        if (lastCheck) {
            if (const QString refusal = lastCheck(); !refusal.isEmpty())
                throw SwapRefusal { refusal };
        }
    } catch (const core::Error& e) {
        abandon();
        core::throwLike(e, e.description() + u" The table %1 was left as it was."_s.arg(table));
    } catch (const SwapRefusal&) {
        abandon();
        throw;
    }
    noteInRegistry(journal);
    for (const FileMove& move : ordered) {
        if (isDbFile(move.target))
            TableLock::coverReplacement(move.target, move.temporary);
    }
    std::size_t done = 0;
    try {
        for (; done < ordered.size(); ++done)
            files::rename(ordered[done].temporary, ordered[done].target);
    } catch (const core::Error& e) {
        const Undone undone = undoSwap(folder, table, ordered, done, backup, journal);
        if (!undone.notBack.isEmpty())
            throw SwapNotUndone(e.description() + undone.text,
                u"The table reads as it did, but %1 could not be put back as it was; the old files are kept "
                "in %2."_s.arg(undone.notBack.join(u", "_s), QDir::toNativeSeparators(backup)));
        core::throwLike(e, e.description() + undone.text);
    }
    // The new table is in place. The journal goes only once the renames are on the disk; when
    // the folder cannot be flushed it stays, and the next start flushes it again.
    try {
        files::syncFolder(folder);
    } catch (const core::Error&) {
        return backup;
    }
    if (!afterPlacing(folder, ordered, cutBackTo))
        return backup;
    if (left)
        *left = after;
    try {
        forget(journal);
    } catch (const core::Error&) {
        // A journal whose moves are all made is only removed by the next start.
    }
    return backup;
}

} // namespace data
