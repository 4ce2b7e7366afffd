#pragma once

// Taking a write-back back: the table is put back as it was before the write-back (or the
// restore) that made one of its backups, through the same safe replacement a write-back
// uses, so the version it replaces becomes a backup in its turn.

#include <QString>

namespace data {

// The operation a restore's own backup names; its answer is the id of the backup put back.
inline constexpr char16_t kRestoreOperation[] = u"Restore";

struct RestoreResult
{
    bool isRestored = false;
    QString backupFolder; // where the version that was replaced is kept
    QString problem; // why nothing was restored; empty when the table was
};

// Puts back table `table` of folder as it was before backup `id` (a Backup::id of
// listBackups) was made: the files that backup holds, each checked against the digest noted
// when it was kept, and the table's other data files as they were then (as they are now, or
// from a later backup, whichever has the noted digest); data files the table did not have
// then are taken away into the restore's own backup. Nothing is changed when the folder,
// the table name or the backup is not to be had, when the backup is damaged (a copy not as
// kept, a link or other non-regular file), when the table was changed since this program
// last wrote it, when writeBackRefusal forbids writing the table now, or when a copy fails
// before the files are replaced. Backups of older versions of the program, without digests,
// are put back as before. backupRoot empty: defaultBackupRoot().
RestoreResult restoreBackup(
    const QString& folder, const QString& table, const QString& id, const QString& backupRoot = {});

} // namespace data
