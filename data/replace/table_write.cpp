#include "data/replace/table_write.h"

#include "core/error_report.h"
#include "data/paradox/io/find_table.h"
#include "data/replace/table_replace.h"
#include "data/safety/safe_files.h"
#include "data/safety/table_checks.h"
#include "data/safety/table_lock.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace data {
namespace {

// Right before the first rename, under the claim: another program may have written the table
// since the writer read it, and its change must not be overwritten.
QString changedSinceRead(const TableWrite& write)
{
    const paradox::TablePlace& place = write.place;
    if (!write.snapshot.isEmpty())
        return snapshotDifference(write.snapshot, place.dbPath);
    if (paradox::findTableFile(place.folder, place.name).isEmpty())
        return {};
    return u"The table %1 was put back in its folder by another program meanwhile; it was not "
           "changed."_s.arg(place.name);
}

} // namespace

WrittenTable writeTable(const TableWrite& write)
{
    const paradox::TablePlace& place = write.place;
    if (!write.claim.problem().isEmpty())
        throw SwapRefusal { write.claim.problem() };
    if (place.isFound()) {
        if (const QString refusal = writeBackRefusal(place.dbPath); !refusal.isEmpty())
            throw SwapRefusal { refusal };
    }
    BackupNote note = write.note;
    if (note.table.isEmpty())
        note.table = place.name;
    note.folder = place.folder;
    note.removes = write.removes;
    const QString root = write.backupRoot.isEmpty() ? defaultBackupRoot() : write.backupRoot;
    const QString folder = place.realFolder();
    WrittenTable written;
    written.backupFolder = replaceTableFiles(
        folder, note.table, write.moves, root, note, [&] { return changedSinceRead(write); }, &written.left,
        write.early);
    // The new .DB is in place, so the files it drops are no part of any table now; their copies
    // are in the backup.
    for (const QString& name : write.removes)
        files::remove(QDir(folder).filePath(name));
    if (!write.removes.isEmpty())
        files::syncFolder(folder);
    try {
        pruneBackups(
            root, place.folder, note.table, kBackupsKept, written.left.isEmpty() ? nullptr : &written.left);
    } catch (const core::Error&) {
        // The table is written; an old backup left over costs nothing but room.
    }
    for (HistoryEntry entry : write.history) {
        entry.folder = place.folder;
        if (entry.table.isEmpty())
            entry.table = note.table;
        recordHistory(entry);
    }
    return written;
}

} // namespace data
