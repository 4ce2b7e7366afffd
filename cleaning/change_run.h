#pragma once

// "Start Changing": applies one operation to one field of one table, from the copy into
// the work database to the write-back and "Done." with what changed.

#include "cleaning/change_run_view.h"
#include "cleaning/run_request.h"
#include "core/folder_box.h"

#include <QString>
#include <cstdint>

namespace cleaning {

struct ChangeRunResult
{
    enum class Outcome {
        NoFields, // the field list was empty: nothing was done
        Refused, // the work database was in use by another run, or could not be had: nothing was done
        AlreadyRunning, // a second press while a run was going: ignored
        CopyFailed, // the copy was incomplete: nothing was written back
        WrittenBack, // the table was written back ("Done.")
        WriteBackFailed, // the table was left as it was, or its backup named
        Closed, // the window was closed during the run: nothing was written back
        Previewed, // a preview of the change: told what would change, wrote nothing
    };
    Outcome outcome = Outcome::NoFields;
    bool wasAbandoned = false; // Cancel, "Must enter number", or a count no value can take
    std::int64_t statementsRun = 0; // update statements executed
    std::int64_t recordCount = 0; // the table's records, as the copy read them
    std::int64_t recordsChanged = 0; // records written back changed (or, previewed, that would change)
    std::int64_t valuesChanged = 0; // distinct values whose records changed (or would change)
    std::int64_t valuesRejected = 0; // distinct values whose new text the field cannot hold
    std::int64_t recordsInLimit = -1; // records whose value the run's limit took in; -1: no limit
    QString backupFolder; // where the old table's family was kept
    QString problem; // why the copy or the write-back failed
};

// The line that follows "Done.": how many of the table's records changed and where the
// previous version is kept, or that the table was not written and why.
QString outcomeLine(const ChangeRunResult& result);

// Where a run finds its folder (read once, when the run starts), the work database (in the
// application folder) and where it keeps backups (empty: the default place).
struct RunPlaces
{
    const core::FolderBox& folderBox;
    QString applicationFolder;
    QString backupRoot;
};

// The error report context of the run.
inline constexpr char16_t kChangeRunContext[] = u"Tidewell2021/08/31.Form2.PushButton1_Click";

// Runs the change on the table, field and operation that the view shows when it starts,
// on the records the limit takes in.
ChangeRunResult PushButton1_Click(
    ChangeRunView& view, const RunPlaces& places, const RecordLimit& limit = {});

} // namespace cleaning
