// A write-back cut short at any of its file operations, by a failure (a full disk, a broken
// one) or by a kill: afterwards, and once the next start has finished what it finds, the
// folder holds the old table or the new one, whole, nothing of ours is left lying about,
// and the next run works.

#include "data/paradox/file_faults.h"
#include "data/table_copy.h"
#include "data/table_replace.h"
#include "data/write_back.h"
#include "tests/data/work_database_fixture.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using paradox::FieldType;

std::vector<paradox::Row> stockRows(const QString& changedNote)
{
    std::vector<paradox::Row> rows;
    for (int i = 0; i < 400; ++i)
        rows.push_back({ u"item %1"_s.arg(i), std::int32_t { i },
            i == 7 ? paradox::Value(changedNote) : paradox::Value(u"note %1 "_s.arg(i).repeated(i % 3 == 0 ? 40 : 1)) });
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
            { { u"Name"_s, FieldType::Alpha, 20 }, { u"Qty"_s, FieldType::Long, 4 }, { u"Note"_s, FieldType::Memo, 11 } },
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

    void writeBack() { data::sendTableToParadox(u"STOCK"_s, context()); }

    // After the next start: the old or the new table, whole, and nothing of ours left over.
    void expectOldOrNewAndNoLeftovers(std::int64_t point)
    {
        data::finishInterruptedWriteBacks(paradoxFolder());
        const std::vector<paradox::Row> rows = install.readTable(u"STOCK"_s);
        EXPECT_TRUE(rows == m_oldRows || rows == m_newRows) << "at operation " << point;
        const QStringList hidden = QDir(paradoxFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        EXPECT_TRUE(hidden.filter(QRegularExpression(u"^\\\\.|\\\\.part$"_s)).isEmpty())
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
            { { u"Name"_s, FieldType::Alpha, 20 }, { u"Qty"_s, FieldType::Long, 4 }, { u"Note"_s, FieldType::Memo, 11 } },
            m_oldRows);
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
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            paradox::io::planFault({ point, true });
            writeBack();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "no kill at operation " << point;
        expectOldOrNewAndNoLeftovers(point);
        restoreOldTable();
    }
    expectTheNextRunWorks();
}

// Another window or run of the program finishing interrupted write-backs of the folder, at
// any instant of this one: it takes nothing of the write-back for a leftover, and does not
// carry out its moves beside it.
TEST_F(WriteBackFaults, AnotherProcessCleaningUpAtAnyOperationLeavesTheWriteBackAlone)
{
    const std::int64_t points = operationsOfAWriteBack();
    for (std::int64_t point = 1; point <= points; ++point) {
        prepareRun();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            paradox::io::planFault({ point, false, true });
            ::_exit(data::sendTableToParadox(u"STOCK"_s, context()).isWrittenBack ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, WUNTRACED);
        ASSERT_TRUE(WIFSTOPPED(status)) << "no stop at operation " << point;
        data::finishInterruptedWriteBacks(paradoxFolder());
        ::kill(child, SIGCONT);
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "at operation " << point;
        EXPECT_EQ(install.readTable(u"STOCK"_s), m_newRows) << "at operation " << point;
        restoreOldTable();
    }
}

} // namespace
