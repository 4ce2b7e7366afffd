#include "data/write_back.h"

#include "core/procedure.h"
#include "data/ado.h"
#include "data/backups.h"
#include "data/connection.h"
#include "data/connection_strings.h"
#include "data/deferred_drops.h"
#include "data/paradox/table.h"
#include "data/recordset.h"
#include "data/safe_names.h"
#include "data/work_database.h"

#include <QDir>
#include <memory>

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

WriteBackResult sendTableToParadox(const QString& table, const DataContext& ctx)
{
    core::Procedure proc(ctx.errors, u"Tidewell2021/08/31.Paradox.sendTableToParadox"_s);
    WriteBackResult result;
    if (const QString problem = unsafeNameProblem(table); !problem.isEmpty()) {
        proc.report(problem, 100);
        result.problem = problem;
        return result;
    }
    // The drop of step 116 waits here until the copy of step 128 has written the new table
    // completely; only then does the old family leave the folder, for this backup folder.
    DeferredDrops drops(ctx.backupRoot.isEmpty() ? defaultBackupRoot() : ctx.backupRoot);

    std::unique_ptr<Connection> work;
    std::unique_ptr<Connection> paradoxFolder;
    std::unique_ptr<Recordset> records;
    proc.step(100, [&] { work = std::make_unique<Connection>(); });
    proc.step(102, [&] { paradoxFolder = std::make_unique<Connection>(); });
    proc.step(104, [&] { records = std::make_unique<Recordset>(); });
    proc.step(106, [&] {
        paradoxFolder->setCursorLocation(ado::kUseClient);
        paradoxFolder->setDeferredDrops(&drops);
    });
    proc.step(108, [&] { paradoxFolder->open(paradoxConnectionString(ctx.folderBox.text())); });
    proc.step(110, [&] { work->setCursorLocation(ado::kUseServer); });
    proc.step(112, [&] {
        work->setMode(ado::kModeReadWrite);
        work->setDeferredDrops(&drops);
    });
    proc.step(114, [&] { work->open(workDatabaseConnectionString(ctx.applicationFolder)); });
    proc.step(116, [&] { paradoxFolder->execute(u"DROP TABLE `"_s + table + u'`'); });
    proc.step(118, [&] { records->setCursorLocation(ado::kUseClient); });
    // Without an exact row count the copy would write a table short of rows (top 0 when
    // the count is missing): then nothing is written back.
    bool isCounted = proc.step(120, [&] {
        records->open(u"select * from ["_s + table + u']', *work, ado::kOpenStatic, ado::kLockReadOnly);
    });
    std::int32_t rowCount = 0;
    if (proc.test(122, [&] { return !records->isEof(); }))
        isCounted = proc.step(124, [&] { rowCount = static_cast<std::int32_t>(records->recordCount()); })
            && isCounted;
    if (proc.test(126, [&] { return records->state() != ado::kStateClosed; }))
        proc.step(126, [&] { records->close(); });
    bool isCopied = false;
    if (isCounted) {
        isCopied = proc.step(128, [&] {
            const QString folder = ctx.folderBox.text();
            // An empty folder would make the target the root folder.
            if (folder.isEmpty())
                throw core::Error(u"No Paradox folder is given."_s);
            const QString target = CollapseBackslashes(folder + QDir::separator());
            work->execute(u"select top "_s + QString::number(rowCount) + u" * into [Paradox 5.x;Database="_s
                + target + u"].["_s + table + u".db] from ["_s + table + u']');
        });
    }
    // The work table is the only copy of the changes until the new table is in place.
    if (isCopied && proc.test(130, [&] { return TableExistsInWorkDb(table, ctx.applicationFolder); }))
        proc.step(132, [&] { work->execute(u"DROP TABLE ["_s + table + u']'); });
    proc.step(134, [&] { work->close(); });
    proc.step(136, [&] { paradoxFolder->close(); });

    const HeldDrop* held = drops.drops().empty() ? nullptr : &drops.drops().front();
    if (held && isCompleteBackup(held->backupFolder, table))
        result.backupFolder = held->backupFolder;
    else if (held && QFileInfo::exists(held->backupFolder))
        QDir(held->backupFolder).removeRecursively(); // links to files that never left the folder
    result.isWrittenBack = isCopied;
    if (isCopied) {
        pruneBackups(drops.backupRoot());
    } else {
        result.problem = u"The table %1 was not written back, and the work table %1 is kept."_s.arg(table);
        if (!result.backupFolder.isEmpty())
            result.problem
                += u" The old table is kept in %1."_s.arg(QDir::toNativeSeparators(result.backupFolder));
    }
    return result;
}

} // namespace data
