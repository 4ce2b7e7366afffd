#pragma once

// Merging values: the records holding any of a merge's values are given its one value. A merge
// is a change run like the operations' (the same copy, one update per value, per-value
// rejection, the write-back of changed records only, a backup, restore); only where the new
// texts come from differs, so the view's operation list is not read and nothing is asked.

#include "cleaning/change_preview.h"
#include "cleaning/change_run.h"
#include "cleaning/operation_catalogue.h"
#include "cleaning/run_request.h"

#include <QList>
#include <functional>

namespace cleaning {

// The error report contexts of the merge and its preview.
inline constexpr char16_t kMergeContext[] = u"Fieldwright.MergeValues";
inline constexpr char16_t kMergePreviewContext[] = u"Fieldwright.PreviewMerge";

// Merges on the table and field that the view shows when it starts, on the records the limit
// takes in. Merges that mergeProblem refuses are refused (outcome Refused) before the copy.
ChangeRunResult mergeValues(ChangeRunView& view, const RunPlaces& places, const QList<MergeRequest>& merges,
    const RecordLimit& limit = {});

// What mergeValues would do, told value by value as previewChange tells it.
ChangeRunResult previewMerge(ChangeRunView& view, const RunPlaces& places, const QList<MergeRequest>& merges,
    const std::function<void(const ValueChange&)>& onValue, const RecordLimit& limit = {});

} // namespace cleaning
