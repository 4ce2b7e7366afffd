#pragma once

// The preview of a change: what "Start Changing" would do to the table, value by value,
// found the way the run finds it, without writing anything.

#include "cleaning/change_run_view.h"
#include "cleaning/run_request.h"
#include "cleaning/run_result.h"

#include <QList>
#include <QString>
#include <functional>

namespace cleaning {

// The error report context of the preview.
inline constexpr char16_t kPreviewContext[] = u"Tidewell2021/08/31.Form2.PreviewChange";

// Copies the table the view shows into the work database (the distinct values are found
// there), asks the operation's prompts as the run does, and hands each distinct value that
// would change, or whose new text the field could not hold, to onValue, in the order the run
// would change them. The work table is then dropped: the Paradox folder is never written and
// nothing is kept. The outcome is Previewed unless the run would have stopped before its
// change (no fields, refused, failed copy, window closed); the counts are those the run
// would give. Messages and error reports go to the view as the run's do; "Done." is not shown.
// Values outside the limit are passed over, as the run passes them over.
ChangeRunResult previewChange(ChangeRunView& view, const RunPlaces& places,
    const std::function<void(const ValueChange&)>& onValue, const RecordLimit& limit = {});

// The preview of the run that runChange (change_run.h) carries out.
ChangeRunResult runPreview(ChangeRunView& view, const RunPlaces& places,
    const std::function<void(const ValueChange&)>& onValue, const RecordLimit& limit,
    const QList<MergeRequest>& merges, const char16_t* context);

} // namespace cleaning
