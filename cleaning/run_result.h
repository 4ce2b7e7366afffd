#pragma once

// What a change run is given and what it answers, shared by the run, its preview, the merges
// and the phases they share: where it finds its folder and keeps its backups, what it did, and
// what it would do to each value.

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
        Stopped, // the user stopped the run before its write-back: nothing was written or kept
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
    // Whether a run that ends "Done." goes into the user's history (a recipe's runs on its
    // private copy do not: the recipe records its steps against the real table).
    bool keepsHistory = true;
};

// One distinct value of the field and what the change would make of it.
struct ValueChange
{
    bool isNull = false;
    QString oldText; // empty for a null
    QString newText;
    std::int64_t records = 0; // records that hold the value
    QString rejected; // why the field cannot hold newText (its records would stay); empty when it can
};

} // namespace cleaning
