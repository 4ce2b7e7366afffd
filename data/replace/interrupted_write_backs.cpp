#include "data/replace/interrupted_write_backs.h"

#include "data/replace/table_journal.h"

#include "core/error_report.h"
#include "data/backups/backups.h"
#include "data/paradox/io/find_table.h"
#include "data/safety/safe_files.h"
#include "data/safety/table_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace data {

using namespace journal;

namespace {

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
