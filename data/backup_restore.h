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
// listBackups) was made. A backup holds only the files its write-back replaced; the other
// files of the table are taken as they were then: from the oldest later backup that holds
// them, or as they are now. Nothing is changed when the backup is not found, when
// writeBackRefusal forbids writing the table now, or when a copy fails before the files
// are replaced. backupRoot empty: defaultBackupRoot().
RestoreResult restoreBackup(
    const QString& folder, const QString& table, const QString& id, const QString& backupRoot = {});

} // namespace data
