#include "data/write_back.h"

#include "core/procedure.h"
#include "data/backups.h"
#include "data/paradox_folder.h"
#include "data/safe_names.h"
#include "data/statements.h"
#include "data/table_export.h"
#include "data/workdb/work_table.h"

#include <QDir>
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
        , m_backupRoot(ctx.backupRoot.isEmpty() ? defaultBackupRoot() : ctx.backupRoot)
    { }

    WriteBackResult run();

private:
    bool countRows(std::int64_t* rowCount);
    bool writeTable(std::int64_t rowCount);
    void finish(bool isWritten);

    const QString& m_table;
    const DataContext& m_ctx;
    core::Procedure m_proc;
    QString m_backupRoot;
    QString m_backupFolder; // where the old family goes when the new one takes its place
    std::optional<WorkDatabase> m_database;
    std::optional<WorkTable> m_work;
    WriteBackResult m_result;
};

// Without an exact row count the copy would write a table short of rows: then nothing is
// written back.
bool WriteBack::countRows(std::int64_t* rowCount)
{
    bool isCounted = m_proc.step(120, [&] {
        notifyWorkStatement(workReadStatement(m_table));
        if (!m_database)
            throw core::Error(u"The work database is not open."_s);
        m_work.emplace(WorkTable::open(*m_database, m_table));
        // Another run could have copied a table of the same name in the meantime.
        if (!m_ctx.runId.isEmpty() && m_database->sourceRunId(m_table) != m_ctx.runId)
            throw core::Error(u"The work table %1 was made by another run, not by this one; this run's changes "
                              "are lost, and the table is not written back."_s.arg(m_table));
    });
    std::int64_t count = 0;
    if (m_proc.test(122, [&] { return (count = m_work ? m_work->rowCount() : 0) > 0; }))
        isCounted = m_proc.step(124, [&] { *rowCount = static_cast<std::int32_t>(count); }) && isCounted;
    return isCounted;
}

bool WriteBack::writeTable(std::int64_t rowCount)
{
    return m_proc.step(128, [&] {
        // An empty folder would make the target the root folder.
        if (m_ctx.folder.isEmpty())
            throw core::Error(u"No Paradox folder is given."_s);
        const QString target = CollapseBackslashes(m_ctx.folder + QDir::separator());
        notifyWorkStatement(exportStatement(rowCount, target, m_table));
        if (m_backupFolder.isEmpty())
            throw core::Error(u"The table %1 was not found in %2, so it is not replaced."_s.arg(
                m_table, QDir::toNativeSeparators(m_ctx.folder)));
        exportToParadox(*m_database, *m_work, rowCount, target, m_table, m_backupFolder);
    });
}

WriteBackResult WriteBack::run()
{
    if (const QString problem = unsafeNameProblem(m_table); !problem.isEmpty()) {
        m_proc.report(problem, 100);
        m_result.problem = problem;
        return m_result;
    }
    m_proc.step(108, [&] { checkParadoxFolder(m_ctx.folder); });
    m_proc.step(114, [&] { m_database.emplace(m_ctx.applicationFolder); });
    // The old table leaves its folder only once the new one is completely written; here it
    // is found and given the backup folder it will move to.
    m_proc.step(116, [&] {
        paradoxTableFile(m_ctx.folder, m_table);
        m_backupFolder = newBackupFolder(m_backupRoot, m_table);
    });
    std::int64_t rowCount = 0;
    const bool isWritten = countRows(&rowCount) && writeTable(rowCount);
    finish(isWritten);
    return m_result;
}

void WriteBack::finish(bool isWritten)
{
    m_work.reset();
    // The work table is the only copy of the changes until the new table is in place.
    if (isWritten && m_proc.test(130, [&] { return m_database->hasTable(m_table); })) {
        m_proc.step(132, [&] {
            notifyWorkStatement(workDropStatement(m_table));
            m_database->dropTable(m_table);
        });
    }
    m_proc.step(134, [&] { m_database.reset(); });

    if (!m_backupFolder.isEmpty() && isCompleteBackup(m_backupFolder, m_table))
        m_result.backupFolder = m_backupFolder;
    else if (!m_backupFolder.isEmpty() && QFileInfo::exists(m_backupFolder))
        QDir(m_backupFolder).removeRecursively(); // links to files that never left the folder
    m_result.isWrittenBack = isWritten;
    if (isWritten) {
        pruneBackups(m_backupRoot);
        return;
    }
    m_result.problem = u"The table %1 was not written back, and the work table %1 is kept."_s.arg(m_table);
    if (!m_result.backupFolder.isEmpty())
        m_result.problem += u" The old table is kept in %1."_s.arg(QDir::toNativeSeparators(m_result.backupFolder));
}

} // namespace

WriteBackResult sendTableToParadox(const QString& table, const DataContext& ctx)
{
    return WriteBack(table, ctx).run();
}

} // namespace data
