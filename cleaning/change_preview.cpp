#include "cleaning/change_preview.h"

#include "cleaning/run_phases.h"

using namespace Qt::StringLiterals;

namespace cleaning {
namespace {

class ChangePreview : public RunPhases
{
public:
    ChangePreview(ChangeRunView& view, const RunPlaces& places,
        const std::function<void(const ValueChange&)>& onValue, const RecordLimit& limit,
        const QList<MergeRequest>& merges, const char16_t* context)
        : RunPhases(view, places, context, limit, merges)
        , m_onValue(onValue)
    { }

    ChangeRunResult run();

private:
    void previewEachValue();
    void previewValue(std::int64_t index);
    void dropWorkTable();

    const std::function<void(const ValueChange&)>& m_onValue;
};

// The run's update of one value, with previewUpdate in place of update: the same transform of
// the same text, the same test of what the field can hold.
void ChangePreview::previewValue(std::int64_t index)
{
    const Operation& operation = *m_operation;
    m_proc.step(operation.updateValueStep(), [&] {
        const data::DistinctValue value = m_work->distinctValue(index);
        const std::optional<QString> to = newTextOf(value);
        if (!to)
            return;
        ValueChange change { value.isNull, value.text, *to, 0, {} };
        const data::UpdateOutcome outcome = m_work->previewUpdate(index, change.newText);
        if (outcome.rowsChanged == 0 && outcome.rejected.isEmpty())
            return;
        change.records = outcome.rowsChanged > 0 ? outcome.rowsChanged : value.rows;
        change.rejected = outcome.rejected;
        if (outcome.rejected.isEmpty()) {
            ++m_result.valuesChanged;
            m_result.recordsChanged += outcome.rowsChanged;
        } else {
            ++m_result.valuesRejected;
        }
        m_onValue(change);
    });
}

void ChangePreview::previewEachValue()
{
    if (!m_operation || !m_parameters || !m_work)
        return;
    const std::int64_t count = std::int64_t { m_lastIndex } + 1;
    for (std::int64_t i = 0; i < count; ++i) {
        m_progress.changing(u"Previewing"_s, i, count);
        m_view.setProgressValue(double(i) / double(count) * 100.0);
        previewValue(i);
        m_view.processEvents();
        if (m_view.isClosing())
            return;
    }
}

// Nothing of the preview stays: the copy was only a means to the distinct values.
void ChangePreview::dropWorkTable()
{
    m_proc.step(714, [&] { m_view.setBusy(false); });
    resetProgress();
    m_proc.step(744, [&] {
        if (m_work)
            m_work->applyUpdates(); // ends the snapshot's transaction; nothing was noted
        m_work.reset();
        if (!m_database)
            m_database.emplace(m_places.applicationFolder);
        if (m_database->hasTable(m_table))
            m_database->dropTable(m_table);
        m_database.reset();
    });
}

ChangeRunResult ChangePreview::run()
{
    if (!takeInputs())
        return m_result;
    if (!askBeforeCopy()) {
        m_result.outcome = ChangeRunResult::Outcome::Previewed;
        return m_result;
    }
    if (!claimWorkDatabase(false) || !copyIn() || isClosed())
        return m_result;
    queryDistinctValues();
    chooseAndAsk();
    previewEachValue();
    if (isClosed())
        return m_result;
    dropWorkTable();
    m_result.outcome = ChangeRunResult::Outcome::Previewed;
    return m_result;
}

} // namespace

ChangeRunResult previewChange(ChangeRunView& view, const RunPlaces& places,
    const std::function<void(const ValueChange&)>& onValue, const RecordLimit& limit)
{
    return runPreview(view, places, onValue, limit, {}, kPreviewContext);
}

ChangeRunResult runPreview(ChangeRunView& view, const RunPlaces& places,
    const std::function<void(const ValueChange&)>& onValue, const RecordLimit& limit,
    const QList<MergeRequest>& merges, const char16_t* context)
{
    if (RunningFlag::isRunning()) {
        ChangeRunResult result;
        result.outcome = ChangeRunResult::Outcome::AlreadyRunning;
        return result;
    }
    const RunningFlag running;
    return ChangePreview(view, places, onValue, limit, merges, context).run();
}

} // namespace cleaning
