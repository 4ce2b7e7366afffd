#include "data/table_copy.h"

#include "core/procedure.h"
#include "data/paradox/check/table_check.h"
#include "data/paradox_folder.h"
#include "data/safe_names.h"
#include "data/safety/table_checks.h"
#include "data/statements.h"
#include "data/workdb/work_table.h"

#include <future>
#include <optional>

using namespace Qt::StringLiterals;

namespace data {
namespace {

// The Paradox table's records with a current one, as the copy walks them.
class Records
{
public:
    explicit Records(std::unique_ptr<paradox::TableReader> reader)
        : m_reader(std::move(reader))
    {
        moveNext();
    }
    const paradox::TableInfo& info() const { return m_reader->info(); }
    bool atEnd() const { return m_isAtEnd; }
    const paradox::Row& current() const { return m_row; }
    void moveNext()
    {
        m_isAtEnd = !m_reader->readNext(m_row);
        if (m_isAtEnd && !m_reader->error().isEmpty())
            throw core::Error(m_reader->error());
    }

private:
    std::unique_ptr<paradox::TableReader> m_reader;
    paradox::Row m_row;
    bool m_isAtEnd = true;
};

class Copy
{
public:
    Copy(const QString& table, const DataContext& ctx)
        : m_table(table)
        , m_ctx(ctx)
        , m_proc(ctx.errors, u"Tidewell2021/08/31.Paradox.sendTableToAccess"_s)
    { }

    CopyResult run();

private:
    // The table, found once; throws (naming the folder's problem) when it is not there.
    const paradox::TablePlace& place() const
    {
        if (!m_place.isFound())
            throwNoSuchTable(m_ctx.folder, m_table);
        return m_place;
    }
    // The open work database; throws when it could not be opened.
    WorkDatabase& database()
    {
        if (!m_database)
            throw core::Error(u"The work database is not open."_s);
        return *m_database;
    }
    void openBoth();
    bool createWorkTable();
    void copyRecords();
    void copyRecord(std::int64_t index, bool* isInserted);

    const QString& m_table;
    const DataContext& m_ctx;
    core::Procedure m_proc;
    CopyResult m_result;
    std::optional<WorkDatabase> m_database;
    std::optional<Records> m_records;
    std::optional<WorkTable> m_work;
    paradox::TablePlace m_place;
    QJsonObject m_snapshot; // the table's files as the copy found them
    std::future<QJsonObject> m_snapshotDigests; // its digests, worked out while the copy reads
};

void Copy::openBoth()
{
    m_proc.step(108, [&] { checkParadoxFolder(m_ctx.folder); });
    m_proc.step(114, [&] { m_database.emplace(m_ctx.applicationFolder); });
    if (m_proc.test(116, [&] { return database().hasTable(m_table); })) {
        m_proc.step(118, [&] {
            notifyWorkStatement(copyDropStatement(m_table));
            database().dropTable(m_table);
        });
    }
    m_proc.step(120, [&] {
        LaterDigestedSnapshot snapshot = takeSnapshotDigestedLater(place().dbPath);
        m_snapshot = snapshot.now;
        m_snapshotDigests = std::move(snapshot.whole);
        m_records.emplace(openTableAt(place()));
    });
}

// The create statement, and the work table it stands for.
bool Copy::createWorkTable()
{
    std::vector<paradox::Field> fields;
    if (m_records)
        fields = m_records->info().fields;
    std::vector<WorkColumn> columns;
    for (const paradox::Field& field : fields) {
        m_proc.step(126, [&] { m_ctx.events.processEvents(); });
        m_proc.step(128, [&] { refuseUnsafeName(field.name); });
        columns.push_back({ field.name, columnTypeOf(field) });
    }
    const int reportsBefore = m_proc.reportCount();
    const bool isCreated = m_proc.step(182, [&] {
        notifyWorkStatement(copyCreateStatement(m_table, fields));
        if (!m_database || !m_records)
            throw core::Error(
                u"The table %1 cannot be created: the work database or the table is not open."_s.arg(
                    m_table));
        m_work.emplace(WorkTable::create(*m_database, m_table, std::move(columns)));
        // The write-back gives the table back its own field types, sizes and code page.
        m_database->rememberSource(m_table, m_records->info(), m_ctx.runId, m_snapshot);
    });
    // Without the work table every record would fail and be reported one by one.
    return isCreated && reportsBefore == 0;
}

void Copy::copyRecords()
{
    std::int64_t lastIndex = -1;
    m_proc.step(184, [&] { lastIndex = m_records->info().recordCount - 1; });
    m_result.recordsExpected = lastIndex + 1;
    m_proc.step(186, [&] { database().beginTransaction(); });
    for (std::int64_t index = 0; index <= lastIndex; ++index) {
        if (m_ctx.progress)
            m_ctx.progress(DataContext::Stage::Copying, index, m_result.recordsExpected);
        bool isInserted = false;
        copyRecord(index, &isInserted);
        if (!isInserted)
            break;
    }
}

void Copy::copyRecord(std::int64_t index, bool* isInserted)
{
    m_proc.step(188, [&] { m_ctx.events.processEvents(); });
    if (!m_proc.step(188, [&] {
            if (m_records->atEnd())
                throw core::Error(u"The table %1 ends after %2 of the %3 records it announces."_s.arg(m_table)
                                      .arg(index)
                                      .arg(m_result.recordsExpected));
        }))
        return;
    for (std::size_t i = 0; i < m_records->current().size(); ++i)
        m_proc.step(194, [&] { m_ctx.events.processEvents(); });
    *isInserted = m_proc.step(216, [&] {
        if (isObservingRepeatedStatements())
            notifyWorkStatement(copyInsertStatement(m_table, m_records->current()));
        m_work->insert(m_records->current());
    });
    if (*isInserted)
        ++m_result.recordsCopied;
    if (!m_proc.step(218, [&] { m_records->moveNext(); }))
        *isInserted = false;
}

QString damageRefusal(const paradox::TablePlace& place, const QString& table)
{
    if (!place.isFound())
        return {}; // the copy says that it is missing
    const paradox::TableCheck check = paradox::checkTable(place.dbPath);
    if (check.problems.empty())
        return {};
    return u"The table %1 is damaged (%2); it was not changed. fieldwright-cli check tells every problem."_s
        .arg(table, check.problems.front().text());
}

CopyResult Copy::run()
{
    if (const QString problem = tableNameProblem(m_table); !problem.isEmpty()) {
        m_proc.report(problem, 100);
        m_result.problem = problem;
        return m_result;
    }
    // A damaged table is not cleaned at all: a run would copy and write back only part of it.
    m_place = m_ctx.place ? *m_ctx.place : paradox::findTablePlace(m_ctx.folder, m_table);
    if (const QString damage = damageRefusal(m_place, m_table); !damage.isEmpty()) {
        m_proc.report(damage, 101);
        m_result.problem = damage;
        return m_result;
    }
    openBoth();
    if (createWorkTable())
        copyRecords();
    m_proc.step(222, [&] {
        m_records.reset();
        // Another program writing to the table while it was read would leave a copy of
        // neither its old nor its new content.
        if (const QString changed = snapshotDifference(m_snapshot, place().dbPath, false);
            !m_snapshot.isEmpty() && !changed.isEmpty())
            throw core::Error(changed);
        if (m_snapshotDigests.valid() && m_database && m_work)
            m_database->rememberSnapshot(m_table, m_snapshotDigests.get());
    });
    m_proc.step(224, [&] {
        if (m_work)
            m_work->flush();
        m_work.reset();
        if (m_database)
            m_database->commitTransaction();
    });
    m_proc.step(226, [&] { m_database.reset(); });

    m_result.isComplete = m_proc.reportCount() == 0 && m_result.recordsCopied == m_result.recordsExpected;
    if (!m_result.isComplete)
        m_result.problem = m_proc.reportCount() == 0
            ? u"Only %1 of the %2 records of %3 were copied."_s.arg(m_result.recordsCopied)
                  .arg(m_result.recordsExpected)
                  .arg(m_table)
            : u"The copy of %1 failed (%2 errors were reported); the work table is not complete."_s
                  .arg(m_table)
                  .arg(m_proc.reportCount());
    return m_result;
}

} // namespace

CopyResult sendTableToAccess(const QString& table, const DataContext& ctx)
{
    return Copy(table, ctx).run();
}

} // namespace data
