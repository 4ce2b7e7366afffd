#include "data/write_back.h"

#include "core/procedure.h"
#include "data/backups/backup_copies.h"
#include "data/backups/backups.h"
#include "data/paradox_folder.h"
#include "data/replace/interrupted_write_backs.h"
#include "data/replace/table_replace.h"
#include "data/replace/table_write.h"
#include "data/safe_names.h"
#include "data/safety/table_checks.h"
#include "data/safety/table_lock.h"
#include "data/statements.h"
#include "data/table_rewrite.h"
#include "data/workdb/work_table.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

using namespace Qt::StringLiterals;

namespace data {

QString CollapseBackslashes(const QString& path)
{
    const QChar separator = QDir::separator();
    const QString pair(2, separator);
    if (!path.startsWith(separator))
        return QString(path).replace(pair, QString(separator));
    qsizetype first = 1;
    while (first < path.size() && path[first] == separator)
        ++first;
    return pair + path.mid(first).replace(pair, QString(separator));
}

namespace {

class WriteBack
{
public:
    WriteBack(const QString& table, const DataContext& ctx)
        : m_table(table)
        , m_ctx(ctx)
        , m_proc(ctx.errors, u"Tidewell2021/08/31.Paradox.sendTableToParadox"_s)
    { }

    WriteBackResult run();

private:
    WorkDatabase& database()
    {
        if (!m_database)
            throw core::Error(u"The work database is not open."_s);
        return *m_database;
    }
    void openWorkTable();
    bool countRows(std::int64_t* rowCount);
    bool writeTable(std::int64_t rowCount);
    void replaceFiles(TableRewrite& rewrite, int column, const QString& backupRoot, BackupCopies* early);
    bool refuse();
    void finish(bool isWritten);
    // The write-back's stages: checks, the new files written, the files put in place.
    void stagesDone(int done)
    {
        if (m_ctx.progress)
            m_ctx.progress(DataContext::Stage::WritingBack, done, 3);
    }

    const QString& m_table;
    const DataContext& m_ctx;
    core::Procedure m_proc;
    paradox::TablePlace m_place; // the table, found once (by the run, or here)
    QString m_tableFile; // its .DB
    std::optional<TableLock> m_claim; // when the run did not claim the table already
    std::optional<WorkDatabase> m_database;
    std::optional<WorkTable> m_work;
    std::optional<paradox::TableInfo> m_source;
    QJsonObject m_snapshot; // the table's files as the copy read them
    WriteBackResult m_result;
};

void WriteBack::openWorkTable()
{
    notifyWorkStatement(workReadStatement(m_table));
    m_work.emplace(WorkTable::open(database(), m_table));
    // Another run could have copied a table of the same name in the meantime.
    if (!m_ctx.runId.isEmpty() && database().sourceRunId(m_table) != m_ctx.runId)
        throw core::Error(
            u"The work table %1 was made by another run, not by this one; this run's changes are "
            "lost, and the table is not written back."_s.arg(m_table));
    m_source = database().source(m_table);
    if (!m_source
        || QFileInfo(m_source->path).absoluteFilePath() != QFileInfo(m_tableFile).absoluteFilePath())
        throw core::Error(u"The work table %1 is no copy of %2; the table is not written back."_s.arg(
            m_table, QDir::toNativeSeparators(m_tableFile)));
}

// The work table must hold every record of the table it replaces values of.
bool WriteBack::countRows(std::int64_t* rowCount)
{
    bool isCounted = m_proc.step(120, [&] { openWorkTable(); });
    std::int64_t count = 0;
    if (m_proc.test(122, [&] { return (count = m_work ? m_work->rowCount() : 0) > 0; }))
        isCounted = m_proc.step(124, [&] { *rowCount = static_cast<std::int32_t>(count); }) && isCounted;
    if (isCounted && m_source && count != m_source->recordCount)
        isCounted = m_proc.step(124, [&] {
            throw core::Error(
                u"The work table %1 holds %2 rows, but the table had %3 records; it is not written "
                "back."_s.arg(m_table)
                    .arg(count)
                    .arg(m_source->recordCount));
        });
    return isCounted;
}

void WriteBack::replaceFiles(
    TableRewrite& rewrite, int column, const QString& backupRoot, BackupCopies* early)
{
    const BackupNote note { m_table, m_place.folder,
        m_work->columns().at(static_cast<std::size_t>(column)).name, m_ctx.operation, m_ctx.answers,
        rewrite.recordsChanged(), QDateTime::currentDateTime() };
    std::vector<HistoryEntry> history;
    if (m_ctx.history) {
        history.push_back(*m_ctx.history);
        history.back().recordsChanged = rewrite.recordsChanged();
    }
    try {
        m_result.backupFolder
            = data::writeTable({ m_place, m_ctx.claim ? *m_ctx.claim : *m_claim, m_snapshot, rewrite.moves(),
                                   note, backupRoot, std::move(history), early })
                  .backupFolder;
    } catch (const core::Error& e) {
        if (const auto* notUndone = dynamic_cast<const SwapNotUndone*>(&e))
            m_result.tableState = notUndone->state;
        rewrite.release(); // a journal may still need the files; the replacement removed the rest
        throw;
    }
    rewrite.release();
}

bool WriteBack::writeTable(std::int64_t rowCount)
{
    bool isRefused = false;
    const bool isWritten = m_proc.step(128, [&] {
        // An empty folder would make the target the root folder.
        if (m_ctx.folder.isEmpty())
            throw core::Error(u"No Paradox folder is given."_s);
        notifyWorkStatement(
            exportStatement(rowCount, CollapseBackslashes(m_ctx.folder + QDir::separator()), m_table));
        const std::vector<int> columns = m_work->changedColumns();
        if (columns.size() > 1)
            throw core::Error(
                u"More than one field of %1 was changed; the table is not written back."_s.arg(m_table));
        if (columns.empty())
            return; // nothing changed: no file is touched, no backup kept
        const int column = columns.front();
        const int field
            = fieldIndex(*m_source, m_table, m_work->columns().at(static_cast<std::size_t>(column)).name);
        try {
            const QString backupRoot = m_ctx.backupRoot.isEmpty() ? defaultBackupRoot() : m_ctx.backupRoot;
            // The backup's copies of the old files are made while the new ones are written.
            std::optional<BackupCopies> early;
            const auto startBackup = [&] {
                early.emplace(
                    newBackupFolder(backupRoot, m_table), m_place.realFolder(), m_table, m_snapshot);
            };
            // A table whose files are symbolic links is written where the links point; the links stay.
            stagesDone(1);
            TableRewrite rewrite(
                QFileInfo(m_tableFile).canonicalFilePath(), *m_source, field, *m_work, column, startBackup);
            m_result.recordsChanged = rewrite.recordsChanged();
            stagesDone(2);
            if (m_result.recordsChanged > 0)
                replaceFiles(rewrite, column, backupRoot, early ? &*early : nullptr);
        } catch (const RewriteRefusal& refusal) {
            // Said once, by the run's message; not a failure to report. Nothing was moved.
            m_result.problem = refusal.reason + u" The table %1 was left as it was."_s.arg(m_table);
            m_result.isRefused = isRefused = true;
        } catch (const SwapRefusal& refusal) {
            m_result.problem = refusal.reason;
            m_result.isRefused = isRefused = true;
        }
    });
    return isWritten && !isRefused;
}

WriteBackResult WriteBack::run()
{
    if (const QString problem = unsafeNameProblem(m_table); !problem.isEmpty()) {
        m_proc.report(problem, 100);
        m_result.problem = problem;
        return m_result;
    }
    stagesDone(0);
    m_proc.step(108, [&] { checkParadoxFolder(m_ctx.folder); });
    m_proc.step(114, [&] { m_database.emplace(m_ctx.applicationFolder); });
    // The table that the new files replace; a write-back of this folder cut short earlier is
    // finished first, so the table is whole before it is looked at.
    const bool isFound = m_proc.step(116, [&] {
        m_place = m_ctx.place ? *m_ctx.place : paradox::findTablePlace(m_ctx.folder, m_table);
        m_result.notices = finishInterruptedWriteBacks(m_place.folder);
        // The run found it when it began; another program may have taken it away since.
        if (!m_place.isFound() || !QFileInfo::exists(m_place.dbPath))
            throwNoSuchTable(m_ctx.folder, m_table);
        m_tableFile = m_place.dbPath;
        if (!m_ctx.claim)
            m_claim.emplace(m_place);
    });
    if (isFound && m_database && !refuse())
        return m_result;
    std::int64_t rowCount = 0;
    const bool isWritten = isFound && countRows(&rowCount) && writeTable(rowCount);
    finish(isWritten);
    return m_result;
}

// Nothing is written when another program holds the table or changed it since the copy
// read it, or when its files cannot be written: one message says why, the table is as it was.
bool WriteBack::refuse()
{
    // Another run could have copied a table of the same name in the meantime: its copy is
    // not this run's to write back (and its snapshot is of another table).
    QString refusal = !m_ctx.runId.isEmpty() && m_database->sourceRunId(m_table) != m_ctx.runId
        ? u"The work table %1 was made by another run, not by this one, so this run's changes are lost; the "
          "table was not changed. Start the run again."_s.arg(m_table)
        : writeBackRefusal(m_tableFile);
    if (refusal.isEmpty() && m_claim)
        refusal = m_claim->problem();
    if (refusal.isEmpty()) {
        m_snapshot = m_database->sourceSnapshot(m_table);
        // A copy that kept no snapshot: the table as it is now is what no other program may
        // change before the first rename.
        if (m_snapshot.isEmpty())
            m_snapshot = takeSnapshot(m_tableFile);
        // Identities, sizes and times tell an edit at once, without reading the table; the
        // contents are compared by the last check, right before the first rename.
        if (!m_snapshot.isEmpty())
            refusal = snapshotDifference(m_snapshot, m_tableFile, false);
    }
    if (refusal.isEmpty())
        return true;
    m_result.problem = refusal;
    m_result.isRefused = true;
    m_database.reset();
    return false;
}

void WriteBack::finish(bool isWritten)
{
    m_work.reset();
    // The work table is the only copy of the changes until the table holds them.
    if (isWritten && m_proc.test(130, [&] { return database().hasTable(m_table); })) {
        m_proc.step(132, [&] {
            notifyWorkStatement(workDropStatement(m_table));
            database().dropTable(m_table);
        });
    }
    m_proc.step(134, [&] { m_database.reset(); });
    stagesDone(3);
    m_result.isWrittenBack = isWritten;
    if (!isWritten && m_result.problem.isEmpty())
        m_result.problem = u"The work table %1 is kept."_s.arg(m_table);
}

} // namespace

WriteBackResult sendTableToParadox(const QString& table, const DataContext& ctx)
{
    return WriteBack(table, ctx).run();
}

} // namespace data
