#pragma once

// A private copy of one table's files, to change step after step with ordinary runs; at the
// end its changes replace the table in one write-back (one backup, one restore takes them
// all back), or the copy is thrown away and the table was never touched. This is how several
// changes to one table are made all or nothing.

#include "data/backups/backups.h"
#include "data/backups/run_history.h"
#include "data/paradox/io/table_place.h"
#include "data/safety/table_lock.h"

#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace data {

class ScratchCopy
{
public:
    // Claims and copies the family of the table at place. Throws core::Error when the table
    // cannot be read, is claimed by another run or restore, or may not be written back now.
    explicit ScratchCopy(const paradox::TablePlace& place);
    QString folder() const; // where the copy is: a table of the same bare name
    QString table() const { return m_place.name; } // the copy's name in folder()
    QString backupRoot() const; // where the copy's own runs keep their (thrown away) backups
    // Puts every file of the copy that differs from the table's in place of it, through the
    // write-back every change of a table takes (table_write.h), the replaced files kept in a
    // backup under backupRoot (empty: the default) and the history given recorded. Refused,
    // with the table untouched, when the table changed since the copy was made or may not be
    // written now. Returns the backup folder, or the empty text when the copy equals the table
    // (nothing written). Throws core::Error.
    QString writeBack(const QString& backupRoot, BackupNote note, std::vector<HistoryEntry> history = {});

private:
    QTemporaryDir m_dir;
    paradox::TablePlace m_place; // where the table's files really are
    QJsonObject m_snapshot;
    // Held from before the copy to after the write-back: no other run or restore writes the
    // table meanwhile.
    std::unique_ptr<TableLock> m_claim;
};

} // namespace data
