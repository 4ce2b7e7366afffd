#include "cleaning/merge_run.h"

#include "cleaning/run_phases.h"

using namespace Qt::StringLiterals;

namespace cleaning {

const Operation& mergeOperation()
{
    static constexpr Operation merge { 0, kMergeCaption, ParameterKind::None, nullptr, 1000, nullptr };
    return merge;
}

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

QStringList mergeNote(const QList<MergeRequest>& merges)
{
    QStringList note;
    for (const MergeRequest& merge : merges) {
        QStringList from;
        for (const FieldValue& value : merge.from)
            from << quotedValue(value);
        note << from.join(u", "_s) + u" into "_s + quotedValue(merge.into);
    }
    return note;
}

} // namespace cleaning
