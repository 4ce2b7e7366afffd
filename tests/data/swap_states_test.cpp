// A write-back or a restore that fails (EIO, EACCES, EXDEV, ENOSPC) or dies at any one of its
// file operations, looked at before anything else touches the folder: our reader and pxlib
// read the table whole, as the old version or the new one, and a failed run's message says
// which. And the order that makes this so: each new file flushed before its rename, the .DB
// renamed last, the folder flushed before the journal goes.

#include "data/backup_restore.h"
#include "data/backups/backups.h"
#include "data/paradox/io/file_faults.h"
#include "data/paradox_folder.h"
#include "data/replace/interrupted_write_backs.h"
#include "data/replace/table_replace.h"
#include "data/table_copy.h"
#include "data/write_back.h"
#include "tests/data/paradox/keys_support.h"
#include "tests/data/workdb/work_database_fixture.h"
#include "tests/support/pxlib_reader.h"

#include <QDir>
#include <QRegularExpression>

#include <array>
#include <cerrno>
#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using paradox::FieldType;
using paradox::Row;

enum class Kind { Memo, Keyed };

struct Outcome
{
    bool isDone = false;
    QString message; // the problem and the error reports
};

class SwapStates : public datatest::DataTest, public ::testing::WithParamInterface<Kind>
{
protected:
    void SetUp() override
    {
        DataTest::SetUp();
        data::setStatementObserver({});
        const bool isMemo = GetParam() == Kind::Memo;
        m_table = isMemo ? u"STOCK"_s : u"CUSTOMER"_s;
        m_column = isMemo ? u"Note"_s : u"CITY"_s;
        m_from = isMemo ? u"note 7 "_s : u"Oslo"_s;
        m_to = isMemo ? u"a new note, long enough to need the memo file: "_s.repeated(4) : u"Lima"_s;
        writeOldTable();
        m_oldRows = readOurs();
        prepareRun();
        ASSERT_TRUE(writeBack().isDone);
        m_newRows = readOurs();
        ASSERT_NE(m_newRows, m_oldRows);
        writeOldTable();
    }
    void TearDown() override
    {
        paradox::io::planFault({});
        DataTest::TearDown();
    }

    void writeOldTable()
    {
        QDir(paradoxFolder()).removeRecursively();
        QDir().mkpath(paradoxFolder());
        if (GetParam() == Kind::Memo) {
            std::vector<Row> rows;
            for (int i = 0; i < 300; ++i)
                rows.push_back({ u"item %1"_s.arg(i), std::int32_t { i },
                    u"note %1 "_s.arg(i).repeated(i % 3 == 0 ? 40 : 1) });
            writeTable(m_table,
                { { u"Name"_s, FieldType::Alpha, 20 }, { u"Qty"_s, FieldType::Long, 4 },
                    { u"Note"_s, FieldType::Memo, 11 } },
                rows);
            return;
        }
        // NAME is the key; CITY and SCORE have indexes of their own: a change of CITY rewrites
        // the .DB, the .PX and the city index.
        keystest::KeyedTableRecipe recipe;
        recipe.folder = paradoxFolder();
        recipe.name = m_table;
        recipe.fields = { { u"NAME"_s, FieldType::Alpha, 12 }, { u"CITY"_s, FieldType::Alpha, 10 },
            { u"SCORE"_s, FieldType::Long, 4 } };
        const QStringList cities { u"Oslo"_s, u"Bergen"_s, u"Molde"_s };
        for (int i = 0; i < 120; ++i)
            recipe.rows.push_back(
                { u"N%1"_s.arg(i, 4, 10, QChar(u'0')), cities[i % 3], std::int32_t { i % 17 } });
        ASSERT_EQ(keystest::writeKeyedTable(recipe), QString());
        keystest::writeEmptyIndex(recipe, { u"X02"_s, { 1 }, {} });
        keystest::writeEmptyIndex(recipe, { u"X03"_s, { 2 }, {} });
        ASSERT_EQ(keystest::buildIndexes(dbPath()), QString());
    }

    QString dbPath() const { return paradox::findTableFile(paradoxFolder(), m_table); }

    std::vector<Row> readOurs() const { return install.readTable(m_table); }

    // The folder as it is, read by both readers: the old or the new table, whole.
    void expectOldOrNew(const QString& where) const
    {
        const std::vector<Row> ours = readOurs();
        EXPECT_TRUE(ours == m_oldRows || ours == m_newRows) << where.toStdString() << ": our reader";
        const QString mb = QDir(paradoxFolder()).filePath(m_table + u".MB"_s);
        const auto pxlib = testsupport::readWithPxlib(dbPath(), QFileInfo::exists(mb) ? mb : QString());
        EXPECT_TRUE(pxlib.error.isEmpty()) << where.toStdString() << ": " << pxlib.error.toStdString();
        EXPECT_TRUE(pxlib.rows == m_oldRows || pxlib.rows == m_newRows) << where.toStdString() << ": pxlib";
    }

    // A failed run says which version the folder holds.
    void expectTheMessageToName(const Outcome& outcome, const QString& where) const
    {
        if (outcome.isDone) {
            EXPECT_EQ(readOurs(), m_newRows) << where.toStdString() << ": done, but the old table is there";
            return;
        }
        EXPECT_EQ(readOurs(), m_oldRows) << where.toStdString() << ": " << outcome.message.toStdString();
        // "The work table ... is kept": nothing was moved, and the run says the table was left as
        // it was; a failure while the files were moved says so itself.
        EXPECT_TRUE(outcome.message.contains(u"was left as it was"_s)
            || outcome.message.startsWith(u"The work table %1 is kept."_s.arg(m_table)))
            << where.toStdString() << ": " << outcome.message.toStdString();
    }

    void prepareRun()
    {
        ASSERT_TRUE(data::sendTableToAccess(m_table, context()).isComplete);
        changeWorkValue(m_table, m_column, m_from, m_to);
    }

    Outcome writeBack()
    {
        errors.reports.clear();
        const data::WriteBackResult result = data::sendTableToParadox(m_table, context());
        return { result.isWrittenBack, result.problem + errors.reports.join(u' ') };
    }

    // The newest backup put back, as a restore of the last run.
    Outcome restore()
    {
        const std::vector<data::Backup> backups = data::listBackups(backupRoot(), paradoxFolder(), m_table);
        if (backups.empty())
            return { false, u"no backup"_s };
        const data::RestoreResult result
            = data::restoreBackup(paradoxFolder(), m_table, backups.front().id, backupRoot());
        return { result.isRestored, result.problem };
    }

    // The operation count of the work undisturbed, then every point of it with a failure and
    // with a kill.
    void sweep(const std::function<void()>& before, const std::function<Outcome()>& work, const char* what)
    {
        before();
        paradox::io::planFault({});
        ASSERT_TRUE(work().isDone);
        const std::int64_t points = paradox::io::operationsSeen();
        ASSERT_GT(points, 5);
        int finishedByALook = 0;
        for (std::int64_t point = 1; point <= points; ++point) {
            // Every kind of failure and a kill at every point; under the sanitizers, which look
            // for faults of memory rather than of order, one kind per point in turn.
            constexpr std::array kinds { EIO, EACCES, EXDEV, ENOSPC, 0 };
            const bool isSampled = qEnvironmentVariableIsSet("FW_SWEEP_SAMPLE");
            for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
                if (isSampled && kind != static_cast<std::size_t>(point) % kinds.size())
                    continue;
                const int error = kinds[kind];
                const QString where
                    = u"%1, operation %2, %3"_s.arg(QString::fromLatin1(what))
                          .arg(point)
                          .arg(error == 0 ? u"killed"_s : QString::fromLocal8Bit(std::strerror(error)));
                before();
                if (error != 0) {
                    paradox::io::planFault({ point, false, false, error });
                    const Outcome outcome = work();
                    paradox::io::planFault({});
                    expectOldOrNew(where);
                    expectTheMessageToName(outcome, where);
                    // A disk that fails is the machine's fault: said plainly, never as ours.
                    if (error != EXDEV) {
                        EXPECT_FALSE(outcome.message.contains(u"Please email"_s))
                            << where.toStdString() << ": " << outcome.message.toStdString();
                    }
                } else {
                    const pid_t child = ::fork();
                    if (child == 0) {
                        paradox::io::planFault({ point, true });
                        work();
                        ::_exit(0);
                    }
                    int status = 0;
                    ::waitpid(child, &status, 0);
                    EXPECT_TRUE(WIFSIGNALED(status)) << where.toStdString() << ": no kill";
                    expectOldOrNew(where);
                    // A read-only look at the table finishes what the kill interrupted first.
                    const QString journal
                        = QDir(paradoxFolder()).filePath(u".%1.fieldwright-journal"_s.arg(m_table));
                    if (QFileInfo::exists(journal)) {
                        ++finishedByALook;
                        data::tableFields(paradoxFolder(), m_table);
                        EXPECT_FALSE(QFileInfo::exists(journal)) << where.toStdString();
                        EXPECT_EQ(readOurs(), m_newRows) << where.toStdString();
                    }
                }
                data::finishInterruptedWriteBacks(paradoxFolder());
                // Once finished, the table is as the newest backup's note says this program
                // left it, its freed memo values and cut-back memo file included.
                if (readOurs() == m_newRows) {
                    const Outcome again = restore();
                    EXPECT_TRUE(again.isDone) << where.toStdString() << ": " << again.message.toStdString();
                }
                if (HasFailure())
                    return;
            }
        }
        EXPECT_GT(finishedByALook, 0) << "no kill fell between the journal and its end";
    }

    QString m_table;
    QString m_column;
    QString m_from;
    QString m_to;
    std::vector<Row> m_oldRows;
    std::vector<Row> m_newRows;
};

TEST_P(SwapStates, AWriteBackCutShortLeavesAWholeTableAndSaysWhichOne)
{
    sweep(
        [this] {
            writeOldTable();
            prepareRun();
        },
        [this] { return writeBack(); }, "write-back");
}

TEST_P(SwapStates, ARestoreCutShortLeavesAWholeTableAndSaysWhichOne)
{
    // Restoring the version before a run: "old" is the run's table, "new" the one restored.
    std::swap(m_oldRows, m_newRows);
    sweep(
        [this] {
            writeOldTable();
            prepareRun();
            ASSERT_TRUE(writeBack().isDone);
        },
        [this] { return restore(); }, "restore");
}

// A disk that breaks at any file operation of a write-back and stays broken, so that putting
// back what was already moved fails too: the folder still reads as one version, "left as it
// was" is said only when every byte is, and otherwise the result says what the folder holds.
TEST_P(SwapStates, ADiskThatStaysBrokenIsToldTruly)
{
    writeOldTable();
    const QByteArray original = install.fingerprint();
    prepareRun();
    paradox::io::planFault({});
    ASSERT_TRUE(writeBack().isDone);
    const std::int64_t points = paradox::io::operationsSeen();
    int notPutBack = 0;
    for (std::int64_t point = 1; point <= points; ++point) {
        const std::string where = "broken from operation " + std::to_string(point);
        writeOldTable();
        prepareRun();
        errors.reports.clear();
        paradox::io::planFault({ point, false, false, EIO, true });
        const data::WriteBackResult result = data::sendTableToParadox(m_table, context());
        paradox::io::planFault({});
        expectOldOrNew(QString::fromStdString(where));
        if (result.isWrittenBack)
            continue;
        const QString said = result.problem + errors.reports.join(u' ');
        EXPECT_FALSE(said.contains(u"Please email"_s)) << where << ": " << said.toStdString();
        if (result.tableState.isEmpty()) {
            EXPECT_EQ(install.fingerprint(), original) << where << ": " << said.toStdString();
        } else {
            ++notPutBack;
            EXPECT_EQ(readOurs(), m_oldRows) << where;
            EXPECT_FALSE(said.contains(u"was left as it was"_s)) << where << ": " << said.toStdString();
            EXPECT_TRUE(result.tableState.contains(u"could not be put back"_s))
                << result.tableState.toStdString();
        }
        if (HasFailure())
            return;
        // What the broken disk left for a later start (a registry entry), cleared so that the
        // next point counts the operations as the undisturbed write-back did.
        data::finishAllInterruptedWriteBacks();
    }
    EXPECT_GT(notPutBack, 0) << "no failure fell after a rename";
}

// The record of the file operations: each new file flushed before it is renamed, the .DB
// renamed last, the folder flushed after the renames and before the journal is removed, and
// the old memo values freed (written in place) only once the new .DB is there.
TEST_P(SwapStates, TheFilesGoInPlaceInAnOrderThatKeepsTheTableWhole)
{
    const auto check = [&](const QStringList& log, const char* what) {
        SCOPED_TRACE(what);
        const QRegularExpression tableFile(
            u"^%1\\.[A-Za-z0-9]+$"_s.arg(m_table), QRegularExpression::CaseInsensitiveOption);
        qsizetype lastRename = -1;
        qsizetype dbRename = -1;
        for (qsizetype i = 0; i < log.size(); ++i) {
            const QStringList parts = log[i].split(u' ');
            if (parts.size() != 3 || parts[0] != u"rename"_s || !tableFile.match(parts[2]).hasMatch())
                continue;
            EXPECT_GE(log.mid(0, i).lastIndexOf(u"flush "_s + parts[1]), 0)
                << parts[1].toStdString() << " unflushed";
            lastRename = i;
            if (parts[2].endsWith(u".DB"_s, Qt::CaseInsensitive))
                dbRename = i;
        }
        ASSERT_GE(dbRename, 0) << log.join(u'\n').toStdString();
        EXPECT_EQ(dbRename, lastRename) << "the .DB goes in last";
        const qsizetype journalGone = log.indexOf(u"remove .%1.fieldwright-journal"_s.arg(m_table));
        ASSERT_GT(journalGone, lastRename);
        bool isFlushed = false;
        for (qsizetype i = lastRename + 1; i < journalGone; ++i)
            isFlushed = isFlushed || log[i].startsWith(u"flush-folder "_s);
        EXPECT_TRUE(isFlushed) << "the folder is flushed before the journal goes";
        const QRegularExpression inPlace(u"^(write|truncate) %1\\.[A-Za-z0-9]+$"_s.arg(m_table));
        for (qsizetype i = 0; i < dbRename; ++i) {
            EXPECT_FALSE(inPlace.match(log[i]).hasMatch())
                << "a table file is changed in place before its .DB is there: " << log[i].toStdString();
        }
    };
    const QByteArray original = install.fingerprint();
    QStringList log;
    prepareRun();
    paradox::io::recordOperations(&log);
    EXPECT_TRUE(writeBack().isDone);
    paradox::io::recordOperations(nullptr);
    check(log, "write-back");
    if (GetParam() == Kind::Memo) {
        EXPECT_GE(log.indexOf(u"write STOCK.MB"_s), 0) << "the old memo values are freed";
    }
    log.clear();
    paradox::io::recordOperations(&log);
    EXPECT_TRUE(restore().isDone);
    paradox::io::recordOperations(nullptr);
    check(log, "restore");
    EXPECT_EQ(install.fingerprint(), original) << "the restore puts back every byte, the memo file's too";
}

INSTANTIATE_TEST_SUITE_P(
    Tables, SwapStates, ::testing::Values(Kind::Memo, Kind::Keyed), [](const auto& kind) {
        return kind.param == Kind::Memo ? std::string("UnkeyedMemo") : std::string("KeyedWithIndexes");
    });

} // namespace
