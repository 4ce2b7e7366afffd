#pragma once

// "Start Changing": applies one operation to one field of one table, from the copy into
// the work database to the write-back and "Done.".

#include "cleaning/change_run_view.h"
#include "data/data_context.h"

#include <QString>
#include <cstdint>

namespace cleaning {

struct ChangeRunResult
{
    enum class Outcome {
        NoFields, // the field list was empty: nothing was done
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

// The error report context of the run.
inline constexpr char16_t kChangeRunContext[] = u"Tidewell2021/08/31.Form2.PushButton1_Click";

// Runs the change on the table, field and operation that the view shows when it starts.
// ctx gives the folder box, the application folder and where errors and yields go.
ChangeRunResult PushButton1_Click(ChangeRunView& view, const data::DataContext& ctx);

// The update statements' rendering of a table or field name: bare when it is a plain
// identifier, in backquotes when the work database needs delimiters to read it.
QString nameForUpdate(const QString& name);

// The statements, exactly as the run sends them (apostrophes doubled).
QString distinctQuery(const QString& table, const QString& field);
QString previewQuery(const QString& table, const QString& field);
QString updateValueStatement(
    const QString& table, const QString& field, const QString& newText, const QString& oldText);
QString updateNullStatement(const QString& table, const QString& field, const QString& newText);

} // namespace cleaning
