#include "cleaning/merge_run.h"

#include "cleaning/run_phases.h"

using namespace Qt::StringLiterals;

namespace cleaning {

ChangeRunResult mergeValues(
    ChangeRunView& view, const RunPlaces& places, const QList<MergeRequest>& merges, const RecordLimit& limit)
{
    return runChange(view, places, limit, merges, kMergeContext);
}

ChangeRunResult previewMerge(ChangeRunView& view, const RunPlaces& places, const QList<MergeRequest>& merges,
    const std::function<void(const ValueChange&)>& onValue, const RecordLimit& limit)
{
    return runPreview(view, places, onValue, limit, merges, kMergePreviewContext);
}

} // namespace cleaning
