#pragma once

// "Start Changing": applies one operation to one field of one table, from the copy into
// the work database to the write-back and "Done." with what changed.

#include "cleaning/change_run_view.h"
#include "cleaning/run_request.h"
#include "cleaning/run_result.h"

#include <QList>
#include <QString>

namespace cleaning {

// The error report context of the run.
inline constexpr char16_t kChangeRunContext[] = u"Tidewell2021/08/31.Form2.PushButton1_Click";

// Runs the change on the table, field and operation that the view shows when it starts,
// on the records the limit takes in.
ChangeRunResult PushButton1_Click(
    ChangeRunView& view, const RunPlaces& places, const RecordLimit& limit = {});

// The run, carrying out the merges (none: the view's operation), with the error report
// context given.
ChangeRunResult runChange(ChangeRunView& view, const RunPlaces& places, const RecordLimit& limit,
    const QList<MergeRequest>& merges, const char16_t* context);

} // namespace cleaning
