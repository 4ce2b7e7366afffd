#pragma once

// The phases that a change run and its preview share, in their order: taking the selection,
// claiming the work database (and the table, which must be writable), the copy, the
// distinct values and the prompts. Both then go their own ways: the run changes and writes
// back, the preview only tells what the change would do.

#include "cleaning/change_run_view.h"
#include "cleaning/operation_catalogue.h"
#include "cleaning/run_request.h"
#include "cleaning/run_result.h"
#include "core/procedure.h"
#include "data/data_context.h"
#include "data/safety/table_lock.h"
#include "data/workdb/work_database.h"
#include "data/workdb/work_table.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <optional>

namespace cleaning {

// Thrown at a yield once the user has asked to stop the run. It is neither a core::Error nor
// a std::exception, so no step takes it for a failure to report: it unwinds the copy, the loop
// or the preview at once, up to the run, which then keeps nothing.
struct RunStopped
{
};

class ViewEvents : public core::EventPump
{
public:
    explicit ViewEvents(ChangeRunView& view)
        : m_view(view)
    { }
    void processEvents() override
    {
        m_view.processEvents();
        stopIfAsked();
    }
    void stopIfAsked() const
    {
        if (isStoppable && m_view.isStopRequested())
            throw RunStopped {};
    }
    bool isStoppable = false; // only a run that can undo its work so far takes a stop

private:
    ChangeRunView& m_view;
};

// Set while a run or a preview goes: a press during one of its yields must not start another
// over it in the same work database.
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

// The bar's text while a run goes: which stage, and how far it has got. The text changes
// about a hundred times a stage, not at every record: each change repaints the bar.
class RunProgress
{
public:
    explicit RunProgress(ChangeRunView& view)
        : m_view(view)
    { }
    void copying(std::int64_t done, std::int64_t total);
    void copied(std::int64_t total);
    void changing(const QString& verb, std::int64_t index, std::int64_t count); // the text only
    void writingBack(std::int64_t done, std::int64_t total);

private:
    static bool isDue(std::int64_t done, std::int64_t total);
    ChangeRunView& m_view;
};

class RunPhases
{
public:
    // Merges given: the run merges them instead of applying the view's operation.
    RunPhases(ChangeRunView& view, const RunPlaces& places, const char16_t* context, RecordLimit limit = {},
        QList<MergeRequest> merges = {});

protected:
    data::DataContext dataContext();
    // Each returns false when the run must go no further; the message has been shown.
    bool takeInputs();
    // The operations after the 27 ask before the copy; false when one was abandoned there.
    bool askBeforeCopy();
    // mustBeWritable: a table that could not be written back is refused before the copy.
    bool claimWorkDatabase(bool mustBeWritable);
    bool copyIn();
    void queryDistinctValues();
    void chooseAndAsk();
    // True, with the outcome Closed, once the window has been closed during a yield.
    bool isClosed();
    void resetProgress();
    // What the value becomes: nullopt when the run leaves it alone (outside the limit, or a
    // value no merge names). Counts the records the limit takes in.
    std::optional<QString> newTextOf(const data::DistinctValue& value);

    ChangeRunView& m_view;
    const RunPlaces& m_places;
    ViewEvents m_events;
    core::Procedure m_proc;
    RunProgress m_progress;
    ChangeRunResult m_result;

    // Taken once, when the run starts: a click elsewhere during a yield must not send the
    // copy, the updates and the write-back to different folders, tables or fields.
    QString m_folder;
    QString m_table;
    // The table, found once when the run claims it: the copy and the write-back take it from here.
    paradox::TablePlace m_place;
    // What the history records of the run once its write-back is done; none: not recorded.
    std::optional<data::HistoryEntry> m_history;
    QString m_field;
    QString m_operationText;

    const QString m_runId;
    std::optional<data::RunLock> m_lock;
    // The table's claim, from before the copy to after the write-back of a run.
    std::optional<data::TableLock> m_tableLock;
    std::optional<data::WorkDatabase> m_database;
    std::optional<data::WorkTable> m_work;
    int m_column = -1;
    std::int32_t m_lastIndex = 0;
    const Operation* m_operation = nullptr;
    std::optional<Parameters> m_parameters;

    const RecordLimit& limit() const { return m_limit; }
    const QList<MergeRequest>& merges() const { return m_merges; }

private:
    bool isInLimit(const data::DistinctValue& value) const;
    void prepareRequest();

    const RecordLimit m_limit;
    const QList<MergeRequest> m_merges;
    QSet<QString> m_limitTexts;
    bool m_limitTakesNull = false;
    QRegularExpression m_limitPattern;
    QHash<QString, QString> m_mergeInto;
    std::optional<QString> m_nullInto;
};

// The answers as the backup's note keeps them: as typed, in the order they were asked.
QStringList answerList(const Operation& operation, const Parameters& parameters);

} // namespace cleaning
