// A write-back cut short at any of its file operations, by a failure (a full disk, a broken
// one) or by a kill: afterwards, and once the next start has finished what it finds, the
// folder holds the old table or the new one, whole, nothing of ours is left lying about,
// and the next run works.

#include "data/backup_restore.h"
#include "data/backups/backups.h"
#include "data/paradox/io/file_faults.h"
#include "data/replace/interrupted_write_backs.h"
#include "data/replace/table_replace.h"
#include "data/safety/table_lock.h"
#include "data/table_copy.h"
#include "data/write_back.h"
#include "tests/data/workdb/work_database_fixture.h"

#include <csignal>
#include <functional>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using paradox::FieldType;

std::vector<paradox::Row> stockRows(const QString& changedNote)
{
    std::vector<paradox::Row> rows;
    for (int i = 0; i < 400; ++i)
        rows.push_back({ u"item %1"_s.arg(i), std::int32_t { i },
            i == 7 ? paradox::Value(changedNote)
                   : paradox::Value(u"note %1 "_s.arg(i).repeated(i % 3 == 0 ? 40 : 1)) });
    return rows;
}

class WriteBackFaults : public datatest::DataTest
{
protected:
    void SetUp() override
    {
        DataTest::SetUp();
        data::setStatementObserver({});
        m_oldRows = stockRows(u"note 7 "_s);
        m_newRows = stockRows(u"a new note, long enough to need the memo file: "_s.repeated(4));
        writeTable(u"STOCK"_s,
            { { u"Name"_s, FieldType::Alpha, 20 }, { u"Qty"_s, FieldType::Long, 4 },
                { u"Note"_s, FieldType::Memo, 11 } },
            m_oldRows);
    }
    void TearDown() override
    {
        paradox::io::planFault({});
        DataTest::TearDown();
    }

    // Copies the table in and changes the one note, as a run does before its write-back.
    void prepareRun()
    {
        ASSERT_TRUE(data::sendTableToAccess(u"STOCK"_s, context()).isComplete);
        changeWorkValue(u"STOCK"_s, u"Note"_s, u"note 7 "_s, std::get<QString>(m_newRows[7][2]));
    }

    bool writeBack() { return data::sendTableToParadox(u"STOCK"_s, context()).isWrittenBack; }

    // After the next start: the old or the new table, whole, and nothing of ours left over.
    void expectOldOrNewAndNoLeftovers(std::int64_t point)
    {
        data::finishInterruptedWriteBacks(paradoxFolder());
        const std::vector<paradox::Row> rows = install.readTable(u"STOCK"_s);
        EXPECT_TRUE(rows == m_oldRows || rows == m_newRows) << "at operation " << point;
        const QStringList hidden = QDir(paradoxFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        EXPECT_TRUE(hidden.filter(QRegularExpression(u"^\\.|\\.part$"_s)).isEmpty())
            << "at operation " << point << ": " << hidden.join(u' ').toStdString();
    }

    void expectTheNextRunWorks()
    {
        errors.reports.clear();
        prepareRun();
        const data::WriteBackResult result = data::sendTableToParadox(u"STOCK"_s, context());
        EXPECT_TRUE(result.isWrittenBack) << result.problem.toStdString();
        EXPECT_EQ(install.readTable(u"STOCK"_s), m_newRows);
    }

    std::int64_t operationsOfAWriteBack()
    {
        prepareRun();
        const QByteArray before = install.fingerprint();
        paradox::io::planFault({});
        writeBack();
        const std::int64_t count = paradox::io::operationsSeen();
        EXPECT_NE(install.fingerprint(), before);
        restoreOldTable();
        return count;
    }

    void restoreOldTable()
    {
        QDir(paradoxFolder()).removeRecursively();
        QDir().mkpath(paradoxFolder());
        writeTable(u"STOCK"_s,
            { { u"Name"_s, FieldType::Alpha, 20 }, { u"Qty"_s, FieldType::Long, 4 },
                { u"Note"_s, FieldType::Memo, 11 } },
            m_oldRows);
    }

    // work() in a child process that follows plan; the child once it ended or stopped.
    pid_t childUnder(paradox::io::FaultPlan plan, const std::function<bool()>& work, int* status)
    {
        const pid_t child = ::fork();
        if (child == 0) {
            paradox::io::planFault(plan);
            ::_exit(work() ? 0 : 1);
        }
        EXPECT_GE(child, 0);
        ::waitpid(child, status, WUNTRACED);
        return child;
    }

    // The start-up clean-up of another process, run while the child is stopped in the middle of
    // putting a table in place; the child goes on a moment later. When it had published its
    // journal, the clean-up waits for it, and the table is then the child's, whole.
    void cleanUpBesideStoppedChild(
        pid_t child, const std::vector<paradox::Row>& childsTable, std::int64_t point)
    {
        const bool hasJournal
            = QFileInfo::exists(QDir(paradoxFolder()).filePath(u".STOCK.fieldwright-journal"_s));
        std::thread resume([child] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ::kill(child, SIGCONT);
        });
        data::finishInterruptedWriteBacks(paradoxFolder());
        resume.join();
        if (hasJournal) {
            EXPECT_EQ(install.readTable(u"STOCK"_s), childsTable) << "read beside operation " << point;
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "at operation " << point;
        EXPECT_EQ(install.readTable(u"STOCK"_s), childsTable) << "at operation " << point;
    }

    std::vector<paradox::Row> m_oldRows;
    std::vector<paradox::Row> m_newRows;
};

TEST_F(WriteBackFaults, AFailureAtAnyFileOperationLeavesTheOldOrTheNewTable)
{
    const std::int64_t points = operationsOfAWriteBack();
    ASSERT_GT(points, 10);
    for (std::int64_t point = 1; point <= points; ++point) {
        prepareRun();
        paradox::io::planFault({ point, false });
        writeBack();
        paradox::io::planFault({});
        expectOldOrNewAndNoLeftovers(point);
        // Unlike a kill, a failure leaves no backup begun and not finished.
        const QStringList begun
            = QDir(backupRoot()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
        EXPECT_TRUE(begun.filter(QRegularExpression(u"^\\."_s)).isEmpty())
            << "at operation " << point << ": " << begun.join(u' ').toStdString();
        restoreOldTable();
    }
    expectTheNextRunWorks();
    RecordProperty("points", static_cast<int>(points));
}

TEST_F(WriteBackFaults, AKillAtAnyFileOperationLeavesTheOldOrTheNewTable)
{
    const std::int64_t points = operationsOfAWriteBack();
    for (std::int64_t point = 1; point <= points; ++point) {
        prepareRun();
        int status = 0;
        childUnder(
            { point, true }, [&] { return writeBack(); }, &status);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "no kill at operation " << point;
        expectOldOrNewAndNoLeftovers(point);
        restoreOldTable();
    }
    expectTheNextRunWorks();
}

// Another window or run of the program finishing interrupted write-backs of the folder, at
// any instant of this one: it takes nothing of the write-back for a leftover, does not carry
// out its moves beside it, and once the journal is out, waits until the table is whole.
TEST_F(WriteBackFaults, AnotherProcessCleaningUpAtAnyOperationLeavesTheWriteBackAlone)
{
    const std::int64_t points = operationsOfAWriteBack();
    for (std::int64_t point = 1; point <= points; ++point) {
        prepareRun();
        int status = 0;
        const pid_t child = childUnder(
            { point, false, true }, [&] { return writeBack(); }, &status);
        ASSERT_TRUE(WIFSTOPPED(status)) << "no stop at operation " << point;
        cleanUpBesideStoppedChild(child, m_newRows, point);
        restoreOldTable();
    }
}

// A new temporary file is created a moment before its writer locks it. While a run or restore
// holds the table, a clean-up must not take such a file for a leftover; once nobody holds the
// table, an unlocked one is a leftover and goes.
TEST_F(WriteBackFaults, ACleanUpLeavesTheTemporaryFilesOfAClaimedTable)
{
    const QString temporary = QDir(paradoxFolder()).filePath(u".STOCK.0123abcd.DB.tmp"_s);
    QFile file(temporary);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    {
        const data::TableLock claim(paradox::findTablePlace(paradoxFolder(), u"STOCK"_s));
        ASSERT_TRUE(claim.problem().isEmpty()) << claim.problem().toStdString();
        data::finishInterruptedWriteBacks(paradoxFolder());
        EXPECT_TRUE(QFileInfo::exists(temporary)) << "taken for a leftover while its table is held";
    }
    data::finishInterruptedWriteBacks(paradoxFolder());
    EXPECT_FALSE(QFileInfo::exists(temporary));
}

// A write-back of the same table under way in another process (its journal locked): this one
// is refused with the table as it was, and takes nothing of the other's.
TEST_F(WriteBackFaults, AWriteBackOfATableAnotherProcessIsWritingBackIsRefused)
{
    prepareRun();
    const QString journal = QDir(paradoxFolder()).filePath(u".STOCK.fieldwright-journal"_s);
    QFile other(journal);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write(R"({"table": "STOCK", "backup": "", "moves": []})");
    other.flush();
    ASSERT_EQ(::flock(other.handle(), LOCK_EX | LOCK_NB), 0);
    const QByteArray before = install.fingerprint();
    const data::WriteBackResult result = data::sendTableToParadox(u"STOCK"_s, context());
    EXPECT_FALSE(result.isWrittenBack);
    EXPECT_TRUE(errors.reports.join(u' ').contains(
        u"Another window or run of the program is writing the table STOCK"_s))
        << errors.reports.join(u' ').toStdString();
    EXPECT_EQ(install.fingerprint(), before);
    EXPECT_EQ(
        QDir(paradoxFolder()).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression(u"^\\."_s)),
        QStringList { u".STOCK.fieldwright-journal"_s });
}

// Restoring the old table after a write-back, failed, killed or met by another process's
// clean-up at each of its file operations: the table is then the new one or the restored old
// one, whole, with nothing of ours left over, and a restore met by a clean-up succeeds.
TEST_F(WriteBackFaults, ARestoreCutShortOrDisturbedAtAnyOperationLeavesOneWholeTable)
{
    prepareRun();
    ASSERT_TRUE(writeBack());
    const auto restore = [&] {
        const std::vector<data::Backup> backups
            = data::listBackups(backupRoot(), paradoxFolder(), u"STOCK"_s);
        return !backups.empty()
            && data::restoreBackup(paradoxFolder(), u"STOCK"_s, backups.front().id, backupRoot()).isRestored;
    };
    paradox::io::planFault({});
    ASSERT_TRUE(restore());
    const std::int64_t points = paradox::io::operationsSeen();
    ASSERT_GT(points, 10);
    for (std::int64_t point = 1; point <= points; ++point) {
        for (const paradox::io::FaultPlan plan :
            { paradox::io::FaultPlan { point, false, false }, paradox::io::FaultPlan { point, true, false },
                paradox::io::FaultPlan { point, false, true } }) {
            prepareRun();
            ASSERT_TRUE(writeBack());
            ASSERT_EQ(install.readTable(u"STOCK"_s), m_newRows);
            int status = 0;
            const pid_t child = childUnder(plan, restore, &status);
            if (plan.pauses) {
                ASSERT_TRUE(WIFSTOPPED(status)) << "no stop at operation " << point;
                cleanUpBesideStoppedChild(child, m_oldRows, point);
            }
            expectOldOrNewAndNoLeftovers(point);
            restoreOldTable();
        }
    }
}

} // namespace
