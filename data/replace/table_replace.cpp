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

// Once the new .DB is in place: the old memo values freed, a memo file put back cut to its
// own length. A failure here costs no value, and is not one of the write-back; but until it is
// done the files are not as the backup's note says the write-back left them, so the journal
// stays for the next start to do it again (the writes and the cut can be repeated). Returns
// whether all was done.
bool afterPlacing(
    const QString& folder, const std::vector<FileMove>& ordered, const std::vector<std::int64_t>& cutBackTo)
{
    const QDir dir(folder);
    bool isDone = true;
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        try {
            if (!ordered[i].laterWrites.empty())
                files::writeInPlace(dir.filePath(ordered[i].target), ordered[i].laterWrites);
            if (cutBackTo[i] >= 0)
                files::truncate(dir.filePath(ordered[i].target), cutBackTo[i]);
        } catch (const core::Error&) {
            isDone = false;
        }
    }
    return isDone;
}

bool hasWorkAfterPlacing(const Journal& journal)
{
    return std::ranges::any_of(journal.moves, [](const FileMove& move) { return !move.laterWrites.empty(); })
        || std::ranges::any_of(journal.cutBackTo, [](std::int64_t length) { return length >= 0; });
}

// Whether the .DB in folder is the one the journal brings in: a journal cut short while its
// swap was undone leaves the old one, which may still read what the later writes free. Told
// by the digest the backup noted of the new .DB.
bool isNewDbInPlace(const QString& folder, const Journal& journal)
{
    const auto db
        = std::ranges::find_if(journal.moves, [](const FileMove& move) { return isDbFile(move.target); });
    if (db == journal.moves.end())
        return false;
    try {
        const QByteArray expected = readBackupNote(journal.backup).after().value(u"db"_s);
        return !expected.isEmpty() && fileDigest(QDir(folder).filePath(db->target)).toLatin1() == expected;
    } catch (const core::Error&) {
        return false;
    }
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

QStringList finishInterruptedWriteBacks(const QString& folder, std::chrono::milliseconds patience)
{
    QStringList notices;
    const QDir dir(folder);
    // The temporary files that journals name, including the journals another process is
    // carrying out right now: they are the new table, never leftovers.
    QSet<QString> named;
    for (const QString& name : dir.entryList({ u".*.fieldwright-journal"_s }, QDir::Files | QDir::Hidden)) {
        const QString path = dir.absoluteFilePath(name);
        FileLock lock(path);
        // Locked: another process is putting that table in place, which takes a moment, or
        // has stopped; its moves are left to it.
        lock.waitFor(patience);
        const std::optional<Journal> journal = decode(path);
        if (!journal)
            continue;
        for (const FileMove& move : journal->moves)
            named.insert(move.temporary);
        if (!lock.isLocked())
            continue;
        carryOut(folder, journal->moves);
        if (hasWorkAfterPlacing(*journal) && isNewDbInPlace(folder, *journal)
            && !afterPlacing(folder, journal->moves, journal->cutBackTo))
            continue;
        forget(path);
        notices << u"The write-back of the table %1 in %2 was interrupted; it has now been finished (the old "
                   "table is kept in %3)."_s.arg(journal->table, QDir::toNativeSeparators(folder),
                       QDir::toNativeSeparators(journal->backup));
    }
    // Temporary files of a write-back that never reached its journal (the table is as it was),
    // and journals cut short while they were written. A writer holds a lock on its files until
    // they are in place.
    static const QRegularExpression temporary(
        u"^\\.(.+)\\.[0-9a-f]{8}\\.[^.]+\\.tmp$|^\\..+\\.fieldwright-journal\\.[0-9a-f]{8}\\.part$"_s);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch match = temporary.match(name);
        if (!match.hasMatch() || named.contains(name))
            continue;
        // A file is created a moment before its writer locks it: while a run or restore holds
        // its table, that moment must not be taken for a leftover.
        if (const QString table = match.captured(1);
            !table.isEmpty() && TableLock::isClaimed(paradox::findTableFile(folder, table)))
            continue;
        const FileLock inUse(dir.absoluteFilePath(name));
        if (inUse.isLocked())
            files::remove(dir.absoluteFilePath(name));
    }
    return notices;
}

QStringList finishAllInterruptedWriteBacks()
{
    QStringList notices;
    QDir registry;
    try {
        registry.setPath(registryFolder());
    } catch (const core::Error&) {
        return notices;
    }
    for (const QString& entry : registry.entryList(QDir::Files)) {
        QFile file(registry.filePath(entry));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString journal = QFile::decodeName(file.readAll());
        file.close();
        try {
            if (QFileInfo::exists(journal))
                notices << finishInterruptedWriteBacks(QFileInfo(journal).absolutePath());
            else
                files::remove(registry.filePath(entry));
        } catch (const core::Error& e) {
            notices << e.description();
        }
    }
    return notices;
}

} // namespace data
