#include "cleaning/change_run.h"

#include "cleaning/recipes/recipe.h"
#include "cleaning/run_phases.h"
#include "data/backups/run_history.h"
#include "data/paradox_folder.h"
#include "data/preview.h"
#include "data/statements.h"
#include "data/write_back.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace cleaning {
namespace {

class QuietReports : public core::ErrorSink
{
public:
    void showErrorReport(const QString&) override { }
};

class ChangeRun : public RunPhases
{
public:
    ChangeRun(ChangeRunView& view, const RunPlaces& places, const RecordLimit& limit,
        const QList<MergeRequest>& merges, const char16_t* context)
        : RunPhases(view, places, context, limit, merges)
    { }

    ChangeRunResult runUnlessStopped();

private:
    ChangeRunResult run();
    void updateEachValue();
    void updateValue(std::int64_t index);
    void refreshPreview();
    void writeBack();
    // What the write-back records in the history once the table is written.
    void noteForHistory();
    void dropStoppedRun();
    QString failureMessage(const data::WriteBackResult& writeBack) const;
    void showTableAsItIs();
    void noteWorkFailure(const core::Error& e);
    void endAfterWorkFailure();
    void removeWorkTable(bool isMadeNow = false);

    // Why the work database failed between the copy and the write-back (empty while it has
    // not): the work table no longer says what the change made of the table, so it is not
    // written back.
    QString m_workFailure;
};

void ChangeRun::noteWorkFailure(const core::Error& e)
{
    if (m_workFailure.isEmpty())
        m_workFailure = e.description();
}

void ChangeRun::updateValue(std::int64_t index)
{
    const Operation& operation = *m_operation;
    data::DistinctValue value;
    const bool isNullValue = m_proc.test(operation.nullTestStep(), [&] {
        try {
            value = m_work->distinctValue(index);
        } catch (const core::Error& e) {
            noteWorkFailure(e);
            throw;
        }
        return value.isNull;
    });
    const int step = isNullValue ? operation.updateNullStep() : operation.updateValueStep();
    m_proc.step(step, [&] {
        const std::optional<QString> to = newTextOf(value);
        if (!to)
            return;
        const QString& newText = *to;
        if (data::isObservingRepeatedStatements())
            data::notifyWorkStatement(isNullValue
                    ? data::updateNullStatement(m_table, m_field, newText)
                    : data::updateValueStatement(m_table, m_field, newText, value.text));
        ++m_result.statementsRun;
        data::UpdateOutcome outcome;
        try {
            outcome = m_work->update(index, newText);
        } catch (const core::Error& e) {
            noteWorkFailure(e);
            throw;
        }
        if (outcome.rowsChanged > 0)
            ++m_result.valuesChanged;
        if (!outcome.rejected.isEmpty()) {
            ++m_result.valuesRejected;
            throw core::Error(outcome.rejected);
        }
    });
}

void ChangeRun::updateEachValue()
{
    if (!m_operation || !m_parameters || !m_work)
        return;
    const Operation& operation = *m_operation;
    m_proc.step(operation.loopStartStep(), [] {});
    for (std::int32_t i = 0; i <= m_lastIndex; ++i) {
        m_progress.changing(u"Changing"_s, i, std::int64_t { m_lastIndex } + 1);
        if (m_lastIndex != 0)
            m_proc.step(operation.progressStep(),
                [&] { m_view.setProgressValue(double(i) / double(m_lastIndex) * 100.0); });
        updateValue(i);
        if (i % 500 == 0) {
            m_proc.step(operation.pauseStep(), [&] { m_view.pause(0.1f); });
            m_events.stopIfAsked();
            if (m_view.isClosing())
                return;
        }
    }
    m_proc.step(operation.loopEndStep(), [&] {
        try {
            m_work->applyUpdates();
        } catch (const core::Error& e) {
            noteWorkFailure(e);
            throw;
        }
    });
}

void ChangeRun::refreshPreview()
{
    m_proc.step(714, [&] { m_view.setBusy(false); });
    resetProgress();
    // Read as the rows come: a snapshot of a million-row column only to show 101 of them
    // would cost a second and its memory.
    std::unique_ptr<core::ValueCursor> values;
    m_proc.step(720, [&] {
        data::notifyWorkStatement(data::previewQuery(m_table, m_field));
        if (!m_work || m_column < 0)
            throw core::Error(u"The work table %1 is not open."_s.arg(m_table));
        values = m_work->values(m_column);
    });
    m_proc.step(722, [&] { m_view.clearPreview(); });
    m_proc.step(724, [&] { m_view.setBusy(true); });
    if (values)
        data::readPreview(m_proc, { 730, 732, 734, 736, 738 }, *values, m_events,
            [&](const QString& text, bool) { m_view.addPreviewEntry(text); });
    values.reset();
    m_work.reset();
    m_database.reset();
}

// What the Paradox table itself holds, for the preview after a failed write-back.
void ChangeRun::showTableAsItIs()
{
    m_view.clearPreview();
    QuietReports quiet;
    core::Procedure proc(quiet, QString::fromUtf16(kChangeRunContext));
    core::NoEvents noEvents;
    try {
        const auto values = data::paradoxFieldValues(m_folder, m_table, m_field);
        data::readPreview(proc, { 730, 732, 734, 736, 738 }, *values, noEvents,
            [&](const QString& text, bool) { m_view.addPreviewEntry(text); });
    } catch (const core::Error&) {
        // The message about the failed write-back has already said what matters.
    }
}

// Said once: a problem that names the table already says that it was not written back.
QString ChangeRun::failureMessage(const data::WriteBackResult& writeBack) const
{
    const bool isWholeSentence = writeBack.problem.startsWith(u"The table "_s + m_table + u' ');
    QString message
        = isWholeSentence ? writeBack.problem : u"The table %1 was not written back."_s.arg(m_table);
    if (!isWholeSentence && !writeBack.problem.isEmpty())
        message += u' ' + writeBack.problem;
    // A refusal touched nothing and says so.
    if (writeBack.isRefused)
        return message;
    if (!writeBack.backupFolder.isEmpty() && paradox::findTableFile(m_folder, m_table).isEmpty())
        message += u"\r\nThe old table is kept in %1."_s.arg(
            QDir::toNativeSeparators(QDir::cleanPath(writeBack.backupFolder)));
    else if (!writeBack.tableState.isEmpty())
        message += u"\r\n"_s + writeBack.tableState;
    else
        message += u"\r\nThe table was left as it was."_s;
    return message;
}

void ChangeRun::writeBack()
{
    data::WriteBackResult writeBack;
    noteForHistory();
    m_proc.step(746, [&] { writeBack = data::sendTableToParadox(m_table, dataContext()); });
    m_result.backupFolder = writeBack.backupFolder;
    m_result.recordsChanged = writeBack.recordsChanged;
    m_view.setProgressValue(0);
    m_view.setProgressText(u"Progress Bar"_s);
    m_proc.step(748, [&] { m_view.setBusy(false); });
    if (writeBack.isWrittenBack) {
        m_result.outcome = ChangeRunResult::Outcome::WrittenBack;
        m_proc.step(754, [&] { m_view.messageBox(u"Done.\r\n"_s + outcomeLine(m_result)); });
        return;
    }
    // Never "Done." for a table that did not change: say what the folder holds, and show
    // the values the table really has.
    m_result.outcome = ChangeRunResult::Outcome::WriteBackFailed;
    removeWorkTable();
    // The work table is no longer kept: a problem that says it is would mislead.
    if (writeBack.problem == u"The work table %1 is kept."_s.arg(m_table))
        writeBack.problem.clear();
    m_result.problem = writeBack.problem;
    showTableAsItIs();
    const QString message = failureMessage(writeBack);
    m_proc.step(754, [&] { m_view.messageBox(message); });
}

void ChangeRun::noteForHistory()
{
    if (!m_places.keepsHistory || !m_operation || !m_parameters)
        return;
    // The step as a recipe writes it, so that a merge or a limited run comes back out of the
    // history as it was done.
    recipes::RecipeStep step;
    step.table = m_table;
    step.fields.names = QStringList { m_field };
    step.operation = merges().isEmpty() ? m_operation : nullptr;
    step.answers = answerList(*m_operation, *m_parameters);
    step.merges = merges();
    step.limit = limit();
    m_history = data::HistoryEntry { QDateTime::currentDateTime(), {}, m_table, m_field,
        m_operation->position, step.describe(), step.answers, 0, recipes::stepJson(step) };
}

// A copy whose changes the work database lost is no basis for a write-back: the table stays as
// it was, the run says so (never "Done."), and its work table goes.
void ChangeRun::endAfterWorkFailure()
{
    m_result.outcome = ChangeRunResult::Outcome::WriteBackFailed;
    m_result.problem = m_workFailure;
    m_result.recordsChanged = 0;
    m_proc.step(714, [&] { m_view.setBusy(false); });
    resetProgress();
    removeWorkTable();
    showTableAsItIs();
    const QString message
        = u"The table %1 was left as it was: the work database failed during the change, so "
          "nothing was written back.\r\n"_s.arg(m_table)
        + m_workFailure;
    m_proc.step(754, [&] { m_view.messageBox(message); });
}

// Best effort: the next copy replaces a work table that stays, and what the run says about
// the Paradox table holds either way. Another run's copy of the same name is not this run's;
// isMadeNow: the table is what this run's failed copy left (perhaps before it noted its run).
void ChangeRun::removeWorkTable(bool isMadeNow)
{
    m_work.reset();
    try {
        if (!m_database)
            m_database.emplace(m_places.applicationFolder);
        m_database->rollbackTransaction();
        if (m_database->hasTable(m_table) && (isMadeNow || m_database->sourceRunId(m_table) == m_runId))
            m_database->dropTable(m_table);
    } catch (const core::Error&) { }
    m_database.reset();
}

// Nothing of a stopped run stays: its work table goes, and with no write-back there is no
// backup. The Paradox table was only read.
void ChangeRun::dropStoppedRun()
{
    m_result.outcome = ChangeRunResult::Outcome::Stopped;
    m_view.setStoppable(false);
    // Closing the connection ends its open transaction, so the drop below is not undone.
    m_work.reset();
    m_database.reset();
    m_view.clearPreview();
    m_view.setBusy(false);
    m_view.setProgressValue(0);
    m_view.setProgressText(u"Progress Bar"_s);
    m_proc.step(744, [&] {
        data::WorkDatabase database(m_places.applicationFolder);
        if (database.hasTable(m_table))
            database.dropTable(m_table);
    });
    m_proc.step(754, [&] {
        m_view.messageBox(
            u"Stopped.\r\nNothing was written to the table %1, and no previous version was kept."_s.arg(
                m_table));
    });
}

ChangeRunResult ChangeRun::run()
{
    if (!takeInputs())
        return m_result;
    if (!askBeforeCopy()) {
        // Nothing was copied, so nothing is there to write back.
        m_result.outcome = ChangeRunResult::Outcome::WrittenBack;
        m_proc.step(754, [&] { m_view.messageBox(u"Done.\r\n"_s + outcomeLine(m_result)); });
        return m_result;
    }
    if (!claimWorkDatabase(true))
        return m_result;
    // The run holds the work database's lock, and the copy dropped any older table of the name.
    if (!copyIn()) {
        removeWorkTable(true);
        return m_result;
    }
    if (isClosed())
        return m_result;
    const int reportsBeforeValues = m_proc.reportCount();
    queryDistinctValues();
    // Without the field's values the run cannot know what the change would make of the table.
    if (m_proc.reportCount() > reportsBeforeValues)
        m_workFailure = u"The values of the field %1 could not be read from the work database (the report "
                        "before this message says why)."_s.arg(m_field);
    if (m_workFailure.isEmpty())
        chooseAndAsk();
    updateEachValue();
    if (isClosed())
        return m_result;
    if (!m_workFailure.isEmpty()) {
        endAfterWorkFailure();
        return m_result;
    }
    refreshPreview();
    if (isClosed())
        return m_result;
    // Past this point a stop could only leave the table half written.
    m_view.setStoppable(false);
    m_events.stopIfAsked();
    m_events.isStoppable = false;
    writeBack();
    return m_result;
}

ChangeRunResult ChangeRun::runUnlessStopped()
{
    m_view.setStoppable(true);
    m_events.isStoppable = true;
    try {
        run();
    } catch (const RunStopped&) {
        dropStoppedRun();
    }
    m_view.setStoppable(false);
    return m_result;
}

} // namespace

ChangeRunResult PushButton1_Click(ChangeRunView& view, const RunPlaces& places, const RecordLimit& limit)
{
    return runChange(view, places, limit, {}, kChangeRunContext);
}

ChangeRunResult runChange(ChangeRunView& view, const RunPlaces& places, const RecordLimit& limit,
    const QList<MergeRequest>& merges, const char16_t* context)
{
    // A click during one of the run's yields must not start a second run over the first.
    if (RunningFlag::isRunning()) {
        ChangeRunResult result;
        result.outcome = ChangeRunResult::Outcome::AlreadyRunning;
        return result;
    }
    const RunningFlag running;
    return ChangeRun(view, places, limit, merges, context).runUnlessStopped();
}

} // namespace cleaning
