#pragma once

// Putting a written-back table in place. The new files are finished temporary files in the
// table's folder; the files they replace are first copied into a backup, then each new file
// is renamed over its old one, the .DB last, and the folder is flushed. A journal beside the
// table lists the renames before the first one, so a write-back cut short by a kill or a power
// cut is finished by the next run or the next start: the folder then holds the whole new
// table, while the backup holds the whole old one.
//
// Every state in between is a table the readers accept, with the old .DB or the new one: a new
// .MB still holds every value the old .DB reads (old values are freed only once the new .DB is
// in place), and a rename that fails is undone before the write-back returns.

#include "data/backups/backups.h"
#include "data/replace/file_move.h"

#include "core/error_report.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace data {

// The last check before the first rename found that the table must not be replaced after all:
// nothing was changed, and reason says why.
struct SwapRefusal
{
    QString reason;
};

// A rename failed, and not every file it had already replaced could be put back: the table
// keeps its old .DB, so it reads as it did, beside new files; the description says which, and
// that their old versions are in the backup. Only a disk that refuses file operations gets
// here, so it is said plainly.
class SwapNotUndone : public core::EnvironmentError
{
public:
    SwapNotUndone(const QString& description, QString folderState)
        : EnvironmentError(description)
        , state(std::move(folderState))
    { }
    QString state; // one sentence for a summary: what the folder holds now
};

// Backs the targets up into a new folder under backupRoot with note, then makes the moves.
// lastCheck, when given, runs immediately before the first rename; a reason it returns throws
// SwapRefusal with everything as it was. Returns the backup folder, and sets *left (when given)
// to the digests of the table's data files as it left them, once it knows them all finished.
// early, when given, holds the backup's copies begun before the new files were written, and
// names the backup folder.
// Throws core::Error; the table's folder then holds the old table again (the temporary files
// are removed), or, when even that failed, SwapNotUndone.
QString replaceTableFiles(const QString& folder, const QString& table, const std::vector<FileMove>& moves,
    const QString& backupRoot, const BackupNote& note, const std::function<QString()>& lastCheck = {},
    TableState* left = nullptr, BackupCopies* early = nullptr);

} // namespace data
