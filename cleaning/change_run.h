#pragma once

// "Start Changing": applies one operation to one field of one table, from the copy into
// the work database to the write-back and "Done.".

#include "cleaning/change_run_view.h"
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
    };
    Outcome outcome = Outcome::NoFields;
    bool wasAbandoned = false; // Cancel, or "Must enter number"
    std::int64_t statementsRun = 0; // update statements executed
    QString backupFolder; // where the old table's family was kept
    QString problem; // why the copy or the write-back failed
};

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

// Runs the change on the table, field and operation that the view shows when it starts.
ChangeRunResult PushButton1_Click(ChangeRunView& view, const RunPlaces& places);

} // namespace cleaning
