// Whole runs of fieldwright-cli in processes of their own: killed at any file operation or
// any write, or run two at once on tables of the same name. Afterwards each table is whole
// (old or cleaned), nothing of ours is left lying about, and the next run works.

#include "data/paradox/table.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>

using namespace Qt::StringLiterals;
using paradox::FieldType;

namespace {

std::vector<paradox::Row> rowsWith(const QString& spaced)
{
    std::vector<paradox::Row> rows;
    for (int i = 0; i < 300; ++i)
        rows.push_back({ i % 7 == 0 ? spaced + QString::number(i) : u"plain%1"_s.arg(i),
            u"a memo long enough for the memo file, number %1"_s.arg(i) });
    return rows;
}

class RunProcesses : public ::testing::Test
{
protected:
    QTemporaryDir root;
    QString program;

    void SetUp() override
    {
        QDir().mkpath(root.filePath(u"app"_s));
        program = root.filePath(u"app/fieldwright-cli"_s);
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(FW_CLI_PATH), program));
        QFile work(root.filePath(u"app/dbTemp.mdb"_s));
        ASSERT_TRUE(work.open(QIODevice::WriteOnly));
    }

    QString folder(const QString& name) const { return root.filePath(name); }

    void writeTable(const QString& where, const std::vector<paradox::Row>& rows) const
    {
        QDir(where).removeRecursively();
        QDir().mkpath(where);
        paradox::NewTable table;
        table.folder = where;
        table.name = u"CUSTOMER"_s;
        table.fields = { { u"Name"_s, FieldType::Alpha, 20 }, { u"Note"_s, FieldType::Memo, 11 } };
        QString error;
        auto writer = paradox::createTable(table, &error);
        ASSERT_TRUE(writer) << error.toStdString();
        for (const paradox::Row& row : rows)
            ASSERT_TRUE(writer->append(row, &error));
        ASSERT_TRUE(writer->commit(QString(), &error)) << error.toStdString();
    }

    static std::vector<paradox::Row> readTable(const QString& where)
    {
        QString error;
        auto reader = paradox::openTable(paradox::findTableFile(where, u"CUSTOMER"_s), &error);
        std::vector<paradox::Row> rows;
        paradox::Row row;
        while (reader && reader->readNext(row))
            rows.push_back(row);
        return rows;
    }

    QProcess* start(const QString& where, const QStringList& prefix = {}, const QString& killAt = {})
    {
        auto* process = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_DATA_HOME"_s, root.filePath(u"data"_s));
        if (!killAt.isEmpty())
            env.insert(u"FW_KILL_AT"_s, killAt);
        // The leak check of a sanitized build cannot run under strace, and fails the run.
        if (!prefix.isEmpty())
            env.insert(u"ASAN_OPTIONS"_s, env.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
        process->setProcessEnvironment(env);
        const QStringList args { u"clean"_s, where, u"CUSTOMER"_s, u"Name"_s, u"1"_s };
        if (prefix.isEmpty())
            process->start(program, args);
        else
            process->start(prefix.first(), prefix.mid(1) + QStringList { program } + args);
        return process;
    }

    int run(const QString& where, const QStringList& prefix = {}, const QString& killAt = {})
    {
        std::unique_ptr<QProcess> process(start(where, prefix, killAt));
        EXPECT_TRUE(process->waitForFinished(120000));
        lastOutput = QString::fromUtf8(process->readAllStandardOutput() + process->readAllStandardError());
        return process->exitStatus() == QProcess::CrashExit ? -1 : process->exitCode();
    }
    QString lastOutput;

    // Killed at `point`, then run again: the table ends cleaned and nothing of ours stays.
    // Returns false once the run ends before it reaches the point.
    bool killedRunThenNextRun(const QStringList& prefix, const QString& killAt, int point)
    {
        writeTable(folder(u"t"_s), rowsWith(u"a b"_s));
        const int status = run(folder(u"t"_s), prefix, killAt);
        if (status == 0)
            return false;
        // strace passes the kill on to itself; anything else is a run that failed by itself,
        // and going on to the next point would never end.
        const bool isKilled = status == -1 || status == 128 + SIGKILL;
        EXPECT_TRUE(isKilled) << "the run at " << point << " failed without a kill: " << lastOutput.toStdString();
        if (!isKilled)
            return false;
        EXPECT_EQ(run(folder(u"t"_s)), 0) << "the run after a kill at " << point << ": " << lastOutput.toStdString();
        EXPECT_TRUE(readTable(folder(u"t"_s)) == rowsWith(u"ab"_s)) << "kill at " << point;
        const QStringList ours = QDir(folder(u"t"_s)).entryList(QDir::Files | QDir::Hidden | QDir::System);
        EXPECT_EQ(ours.filter(QRegularExpression(u"^\\.|\\.part$"_s)), QStringList()) << "kill at " << point;
        return true;
    }
};

TEST_F(RunProcesses, AKillAtAnyFileOperationOfTheTableIsFinishedByTheNextRun)
{
    int point = 1;
    while (killedRunThenNextRun({}, QString::number(point), point))
        ++point;
    EXPECT_GT(point, 10);
    RecordProperty("points", point - 1);
}

TEST_F(RunProcesses, AKillAtAnyWriteOfTheProgramIsSurvivedByTheNextRun)
{
    const QString strace = QStandardPaths::findExecutable(u"strace"_s);
    if (strace.isEmpty())
        GTEST_SKIP() << "strace is not installed";
    // Every write and flush system call of the whole run, the work database's
    // included: a kill anywhere in the copy, the changes and the write-back.
    int point = 1;
    int tried = 0;
    for (;; ++point, ++tried) {
        const QStringList prefix { strace, u"-f"_s, u"-qq"_s, u"-o"_s, u"/dev/null"_s,
            u"-e"_s, u"inject=write,pwrite64,fsync,fdatasync,rename,unlink:signal=KILL:when=%1"_s.arg(point) };
        if (!killedRunThenNextRun(prefix, {}, point))
            break;
    }
    EXPECT_GT(tried, 5);
    RecordProperty("points", tried);
}

TEST_F(RunProcesses, TwoRunsAtOnceOnTablesOfTheSameName)
{
    for (int round = 0; round < 8; ++round) {
        writeTable(folder(u"x"_s), rowsWith(u"a b"_s));
        writeTable(folder(u"y"_s), rowsWith(u"c d"_s));
        std::unique_ptr<QProcess> first(start(folder(u"x"_s)));
        std::unique_ptr<QProcess> second(start(folder(u"y"_s)));
        ASSERT_TRUE(first->waitForFinished(120000));
        ASSERT_TRUE(second->waitForFinished(120000));
        const std::pair<QProcess*, std::pair<QString, QString>> runs[]
            = { { first.get(), { u"x"_s, u"a b"_s } }, { second.get(), { u"y"_s, u"c d"_s } } };
        for (const auto& [process, table] : runs) {
            const QString out = QString::fromUtf8(process->readAllStandardOutput());
            const auto rows = readTable(folder(table.first));
            if (process->exitCode() == 0) {
                EXPECT_TRUE(rows == rowsWith(QString(table.second).remove(u' '))) << out.toStdString();
            } else {
                EXPECT_TRUE(out.contains(u"Another Fieldwright run"_s)) << out.toStdString();
                EXPECT_TRUE(rows == rowsWith(table.second));
            }
        }
    }
}

} // namespace
