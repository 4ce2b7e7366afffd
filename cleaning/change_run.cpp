#include "cleaning/change_run.h"

#include "cleaning/operation_catalogue.h"
#include "core/procedure.h"
#include "data/paradox_folder.h"
#include "data/preview.h"
#include "data/statements.h"
#include "data/table_checks.h"
#include "data/table_replace.h"
#include "data/table_copy.h"
#include "data/workdb/work_table.h"
#include "data/write_back.h"

#include <QUuid>
#include <optional>

using namespace Qt::StringLiterals;

namespace cleaning {
namespace {

class ViewEvents : public core::EventPump
{
public:
    explicit ViewEvents(ChangeRunView& view)
        : m_view(view)
    { }
    void processEvents() override { m_view.processEvents(); }

private:
    ChangeRunView& m_view;
};

class QuietReports : public core::ErrorSink
{
public:
    void showErrorReport(const QString&) override { }
};

class RunningFlag
{
public:
    RunningFlag() { s_isRunning = true; }
    ~RunningFlag() { s_isRunning = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;
    static bool isRunning() { return s_isRunning; }

private:
    static inline bool s_isRunning = false;
};

class ChangeRun
{
public:
    ChangeRun(ChangeRunView& view, const RunPlaces& places)
        : m_view(view)
        , m_places(places)
        , m_events(view)
        , m_proc(view, QString::fromUtf16(kChangeRunContext))
    { }

    ChangeRunResult run();

private:
    data::DataContext dataContext()
    {
        return { m_folder, m_places.applicationFolder, m_view, m_events, m_places.backupRoot, m_runId };
    }
    bool takeInputs();
    bool claimWorkDatabase();
    bool copyIn();
    void queryDistinctValues();
    void chooseAndAsk();
    void updateEachValue();
    void updateValue(std::int64_t index);
    void refreshPreview();
    void writeBack();
    void showTableAsItIs();
    void resetProgress();

    ChangeRunView& m_view;
    const RunPlaces& m_places;
    ViewEvents m_events;
    core::Procedure m_proc;
    ChangeRunResult m_result;

    // Taken once, when the run starts: a click elsewhere during a yield must not send the
    // copy, the updates and the write-back to different folders, tables or fields.
    QString m_folder;
    QString m_table;
    QString m_field;
    QString m_operationText;

    const QString m_runId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::optional<data::RunLock> m_lock;
    std::optional<data::WorkDatabase> m_database;
    std::optional<data::WorkTable> m_work;
    int m_column = -1;
    std::int32_t m_lastIndex = 0;
    const Operation* m_operation = nullptr;
    std::optional<Parameters> m_parameters;
};

bool ChangeRun::takeInputs()
{
    m_proc.step(100, [&] {
        m_folder = m_places.folderBox.text();
        m_table = m_view.selectedTable();
        m_field = m_view.selectedField();
        m_operationText = m_view.operationText();
    });
    if (m_proc.test(104, [&] { return m_view.fieldListCount() == 0; })) {
        m_proc.step(756, [&] { m_view.messageBox(u"Please select a field."_s); });
        m_result.outcome = ChangeRunResult::Outcome::NoFields;
        return false;
    }
    return true;
}

// Another run of the program (another window, the command line) may be between its copy and
// its write-back: its work tables are not this run's to replace.
bool ChangeRun::claimWorkDatabase()
{
    QString refusal;
    try {
        // The lock first: only the run that holds it may judge (and set aside) the database.
        m_lock.emplace(m_places.applicationFolder);
        refusal = m_lock->problem();
        if (refusal.isEmpty()) {
            if (const QString notice = data::checkWorkDatabase(m_places.applicationFolder); !notice.isEmpty())
                m_view.messageBox(notice);
            // A write-back that a kill or a power cut interrupted is finished before anything else.
            for (const QString& notice :
                data::finishAllInterruptedWriteBacks() + data::finishInterruptedWriteBacks(m_folder))
                m_view.messageBox(notice);
        }
        // A table that could not be written back is said so now, not after the copy and the
        // change. (A table that cannot be found is left to the copy to report.)
        const QString file = paradox::findTableFile(m_folder, m_table);
        if (refusal.isEmpty() && !file.isEmpty())
            refusal = data::writeBackRefusal(file);
    } catch (const core::Error& e) {
        refusal = e.description();
    }
    if (refusal.isEmpty()) {
        m_proc.step(106, [&] { m_view.setBusy(true); });
        return true;
    }
    m_result.outcome = ChangeRunResult::Outcome::Refused;
    m_result.problem = refusal;
    m_proc.step(756, [&] { m_view.messageBox(refusal); });
    return false;
}

// Writing back after an incomplete copy would replace the user's table with part of it.
bool ChangeRun::copyIn()
{
    data::CopyResult copy;
    m_proc.step(108, [&] { copy = data::sendTableToAccess(m_table, dataContext()); });
    if (copy.isComplete)
        return true;
    m_result.outcome = ChangeRunResult::Outcome::CopyFailed;
    m_result.problem = copy.problem;
    m_proc.step(714, [&] { m_view.setBusy(false); });
    resetProgress();
    m_proc.step(756, [&] {
        m_view.messageBox(u"The table "_s + m_table
            + u" was left unchanged: it could not be copied completely into the work database."_s
            + (copy.problem.isEmpty() ? QString() : u"\r\n"_s + copy.problem));
    });
    return false;
}

void ChangeRun::queryDistinctValues()
{
    m_proc.step(112, [&] { m_database.emplace(m_places.applicationFolder); });
    std::int64_t count = 0;
    m_proc.step(114, [&] {
        data::notifyWorkStatement(data::distinctQuery(m_table, m_field));
        if (!m_database)
            throw core::Error(u"The work database is not open."_s);
        m_work.emplace(data::WorkTable::open(*m_database, m_table));
        m_column = m_work->columnIndex(m_field);
        if (m_column < 0)
            throw core::Error(m_database->failure(u"the table %1 has no field %2."_s.arg(m_table, m_field)));
        count = m_work->snapshotDistinctValues(m_column);
    });
    m_proc.step(122, [&] { m_lastIndex = static_cast<std::int32_t>(count - 1); });
    // No values at all: nothing to ask, nothing to change.
    if (!m_proc.test(124, [&] { return count == 0; }))
        m_operation = findOperation(m_operationText);
}

void ChangeRun::chooseAndAsk()
{
    if (!m_operation)
        return;
    m_proc.step(m_operation->firstStep, [] {});
    m_parameters = askParameters(*m_operation, m_view, m_proc);
    m_result.wasAbandoned = !m_parameters.has_value();
}

void ChangeRun::updateValue(std::int64_t index)
{
    const Operation& operation = *m_operation;
    data::DistinctValue value;
    const bool isNullValue = m_proc.test(operation.nullTestStep(), [&] {
        value = m_work->distinctValue(index);
        return value.isNull;
    });
    const int step = isNullValue ? operation.updateNullStep() : operation.updateValueStep();
    m_proc.step(step, [&] {
        const QString newText = applyOperation(operation, *m_parameters, value.text);
        data::notifyWorkStatement(isNullValue ? data::updateNullStatement(m_table, m_field, newText)
                                              : data::updateValueStatement(m_table, m_field, newText, value.text));
        ++m_result.statementsRun;
        const data::UpdateOutcome outcome = m_work->update(index, newText);
        if (!outcome.rejected.isEmpty())
            throw core::Error(outcome.rejected);
    });
}

void ChangeRun::updateEachValue()
{
    if (!m_operation || !m_parameters || !m_work)
        return;
    const Operation& operation = *m_operation;
    m_proc.step(operation.loopStartStep(), [] {});
    for (std::int32_t i = 0; i <= m_lastIndex; ++i) {
        if (m_lastIndex != 0)
            m_proc.step(operation.progressStep(), [&] { m_view.setProgressValue(double(i) / double(m_lastIndex) * 100.0); });
        updateValue(i);
        if (i % 500 == 0) {
            m_proc.step(operation.pauseStep(), [&] { m_view.pause(0.1f); });
            if (m_view.isClosing())
                return;
        }
    }
    m_proc.step(operation.loopEndStep(), [&] { m_work->applyUpdates(); });
}

void ChangeRun::resetProgress()
{
    m_proc.step(716, [&] {
        m_view.setProgressValue(0);
        m_view.setProgressText(u"Progress Bar"_s);
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

void ChangeRun::writeBack()
{
    data::WriteBackResult writeBack;
    m_proc.step(746, [&] { writeBack = data::sendTableToParadox(m_table, dataContext()); });
    m_result.backupFolder = writeBack.backupFolder;
    m_proc.step(748, [&] { m_view.setBusy(false); });
    if (writeBack.isWrittenBack) {
        m_result.outcome = ChangeRunResult::Outcome::WrittenBack;
        m_proc.step(754, [&] { m_view.messageBox(u"Done."_s); });
        return;
    }
    // Never "Done." for a table that did not change: say what the folder holds, and show
    // the values the table really has.
    m_result.outcome = ChangeRunResult::Outcome::WriteBackFailed;
    m_result.problem = writeBack.problem;
    showTableAsItIs();
    QString message = u"The table "_s + m_table + u" was not written back"_s
        + (writeBack.problem.isEmpty() ? QString() : u": "_s + writeBack.problem);
    if (!writeBack.backupFolder.isEmpty() && paradox::findTableFile(m_folder, m_table).isEmpty())
        message += u"\r\nThe old table is kept in "_s + writeBack.backupFolder + u'.';
    else
        message += u"\r\nThe table was left as it was."_s;
    m_proc.step(754, [&] { m_view.messageBox(message); });
}

ChangeRunResult ChangeRun::run()
{
    if (!takeInputs() || !claimWorkDatabase() || !copyIn())
        return m_result;
    // Closed during a yield: the program is ending. The work table is left for the next
    // copy to drop; the Paradox table keeps its old content.
    const auto isClosed = [&] {
        if (m_view.isClosing())
            m_result.outcome = ChangeRunResult::Outcome::Closed;
        return m_view.isClosing();
    };
    if (isClosed())
        return m_result;
    queryDistinctValues();
    chooseAndAsk();
    updateEachValue();
    if (isClosed())
        return m_result;
    refreshPreview();
    if (isClosed())
        return m_result;
    writeBack();
    return m_result;
}

} // namespace

ChangeRunResult PushButton1_Click(ChangeRunView& view, const RunPlaces& places)
{
    // A click during one of the run's yields must not start a second run over the first.
    if (RunningFlag::isRunning()) {
        ChangeRunResult result;
        result.outcome = ChangeRunResult::Outcome::AlreadyRunning;
        return result;
    }
    const RunningFlag running;
    return ChangeRun(view, places).run();
}

} // namespace cleaning
