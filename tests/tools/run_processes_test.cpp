// Whole runs of fieldwright-cli in processes of their own: killed at any file operation or
// any write, or run two at once on tables of the same name. Afterwards each table is whole
// (old or cleaned), nothing of ours is left lying about, and the next run works.

#include "data/paradox/paradox.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <set>
#include <sys/stat.h>

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
        EXPECT_TRUE(isKilled) << "the run at " << point
                              << " failed without a kill: " << lastOutput.toStdString();
        if (!isKilled)
            return false;
        EXPECT_EQ(run(folder(u"t"_s)), 0)
            << "the run after a kill at " << point << ": " << lastOutput.toStdString();
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
        const QStringList prefix { strace, u"-f"_s, u"-qq"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s,
            u"inject=write,pwrite64,fsync,fdatasync,rename,unlink:signal=KILL:when=%1"_s.arg(point) };
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

// Separate installations (each its own program folder and work database) on one table at once.
// Run i cleans field i of four, so each run's change can be told apart in the table.
class SeparateInstallations : public RunProcesses
{
protected:
    static inline const QStringList kFields { u"Name"_s, u"City"_s, u"Code"_s, u"Note"_s };

    QString installation(int n)
    {
        const QString app = root.filePath(u"app%1"_s.arg(n));
        if (!QFileInfo::exists(app)) {
            QDir().mkpath(app);
            EXPECT_TRUE(QFile::copy(QString::fromUtf8(FW_CLI_PATH), app + u"/fieldwright-cli"_s));
            QFile work(app + u"/dbTemp.mdb"_s);
            EXPECT_TRUE(work.open(QIODevice::WriteOnly));
        }
        return app + u"/fieldwright-cli"_s;
    }

    // The rows with the fields in `cleaned` (indexes into kFields) without their spaces.
    static std::vector<paradox::Row> rows(const std::set<int>& cleaned)
    {
        std::vector<paradox::Row> result;
        for (int i = 0; i < 200; ++i) {
            paradox::Row row;
            for (int f = 0; f < 4; ++f) {
                const QString text = f == 3 ? u"a memo long enough for the memo file, number %1"_s.arg(i)
                                            : u"%1 %2"_s.arg(kFields[f].left(1)).arg(i);
                row.push_back(cleaned.contains(f) ? QString(text).remove(u' ') : text);
            }
            result.push_back(row);
        }
        return result;
    }

    void writeTable() const
    {
        const QString where = folder(u"t"_s);
        QDir(where).removeRecursively();
        QDir().mkpath(where);
        paradox::NewTable table;
        table.folder = where;
        table.name = u"CUSTOMER"_s;
        table.fields = { { u"Name"_s, FieldType::Alpha, 20 }, { u"City"_s, FieldType::Alpha, 20 },
            { u"Code"_s, FieldType::Alpha, 20 }, { u"Note"_s, FieldType::Memo, 11 } };
        QString error;
        auto writer = paradox::createTable(table, &error);
        ASSERT_TRUE(writer) << error.toStdString();
        for (const paradox::Row& row : rows({}))
            ASSERT_TRUE(writer->append(row, &error));
        ASSERT_TRUE(writer->commit(QString(), &error)) << error.toStdString();
    }

    QProcess* startCommand(int n, bool isOwnDataFolder, const QStringList& args)
    {
        auto* process = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_DATA_HOME"_s, root.filePath(isOwnDataFolder ? u"data%1"_s.arg(n) : u"data"_s));
        process->setProcessEnvironment(env);
        process->start(installation(n), args);
        return process;
    }

    static QString outputOf(QProcess& process)
    {
        EXPECT_TRUE(process.waitForFinished(120000));
        return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    }

    static bool isRefusal(const QString& output)
    {
        return output.contains(u"is writing the table CUSTOMER right now"_s);
    }

    // `count` runs at once, round after round: a run that says "Done." has its field cleaned
    // in the table, a run that does not was refused and its field is as it was.
    void cleanAtOnce(int count, int rounds)
    {
        int refusals = 0;
        for (int round = 0; round < rounds; ++round) {
            writeTable();
            std::vector<std::unique_ptr<QProcess>> runs;
            for (int n = 0; n < count; ++n)
                runs.emplace_back(startCommand(
                    n, round % 2 == 1, { u"clean"_s, folder(u"t"_s), u"CUSTOMER"_s, kFields[n], u"1"_s }));
            std::set<int> done;
            for (int n = 0; n < count; ++n) {
                const QString output = outputOf(*runs[static_cast<std::size_t>(n)]);
                if (runs[static_cast<std::size_t>(n)]->exitCode() == 0) {
                    EXPECT_TRUE(output.contains(u"Done."_s)) << output.toStdString();
                    done.insert(n);
                } else {
                    EXPECT_TRUE(isRefusal(output)) << "round " << round << ": " << output.toStdString();
                    ++refusals;
                }
            }
            EXPECT_FALSE(done.empty()) << "round " << round;
            EXPECT_TRUE(readTable(folder(u"t"_s)) == rows(done)) << "round " << round << ": a change is lost";
        }
        RecordProperty("refusals", refusals);
    }
};

TEST_F(SeparateInstallations, TwoRunsOnOneTableNeverLoseAChange)
{
    cleanAtOnce(2, 20);
}

TEST_F(SeparateInstallations, FourRunsOnOneTableNeverLoseAChange)
{
    cleanAtOnce(4, 20);
}

// A clean and a restore at once: the table ends as one of them left it, or as both did one
// after the other; one that was refused says so.
TEST_F(SeparateInstallations, ACleanAndARestoreAtOnceEndAsOneOfThem)
{
    for (int round = 0; round < 20; ++round) {
        writeTable();
        std::unique_ptr<QProcess> first(
            startCommand(0, false, { u"clean"_s, folder(u"t"_s), u"CUSTOMER"_s, u"Name"_s, u"1"_s }));
        const QString firstOutput = outputOf(*first);
        ASSERT_EQ(first->exitCode(), 0) << firstOutput.toStdString();
        std::unique_ptr<QProcess> clean(
            startCommand(0, false, { u"clean"_s, folder(u"t"_s), u"CUSTOMER"_s, u"City"_s, u"1"_s }));
        std::unique_ptr<QProcess> restore(
            startCommand(1, false, { u"restore"_s, folder(u"t"_s), u"CUSTOMER"_s }));
        const QString cleanOutput = outputOf(*clean);
        const QString restoreOutput = outputOf(*restore);
        const bool isCleaned = clean->exitCode() == 0;
        const bool isRestored = restore->exitCode() == 0;
        if (!isCleaned) {
            EXPECT_TRUE(isRefusal(cleanOutput)) << cleanOutput.toStdString();
        }
        if (!isRestored) {
            EXPECT_TRUE(isRefusal(restoreOutput)) << restoreOutput.toStdString();
        }
        const auto table = readTable(folder(u"t"_s));
        if (isCleaned && isRestored) { // one after the other, either way round
            EXPECT_TRUE(table == rows({ 1 }) || table == rows({ 0 }) || table == rows({}))
                << "round " << round;
        } else if (isCleaned) {
            EXPECT_TRUE(table == rows({ 0, 1 })) << "round " << round;
        } else if (isRestored) {
            EXPECT_TRUE(table == rows({})) << "round " << round;
        } else {
            ADD_FAILURE() << "round " << round << ": both refused";
        }
    }
}

// A FIFO named like a table or its memo file would hang a program that opens it for reading:
// each command refuses it at once, with a message, instead.
TEST_F(RunProcesses, AFifoNamedLikeATableFileIsRefusedAtOnce)
{
    writeTable(folder(u"t"_s), rowsWith(u"a b"_s));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder(u"t/fifo.DB"_s)).constData(), 0644), 0);
    const QString mb = folder(u"m/CUSTOMER.MB"_s);
    writeTable(folder(u"m"_s), rowsWith(u"a b"_s));
    ASSERT_TRUE(QFile::remove(mb));
    ASSERT_EQ(::mkfifo(QFile::encodeName(mb).constData(), 0644), 0);
    const QStringList commands[] = {
        { u"clean"_s, folder(u"t"_s), u"fifo"_s, u"Name"_s, u"1"_s },
        { u"schema"_s, folder(u"t/fifo.DB"_s) },
        { u"dump"_s, folder(u"t/fifo.DB"_s) },
        { u"clean"_s, folder(u"m"_s), u"CUSTOMER"_s, u"Name"_s, u"1"_s },
        { u"dump"_s, folder(u"m/CUSTOMER.DB"_s) },
    };
    for (const QStringList& args : commands) {
        QProcess process;
        process.start(program, args);
        // A second is what the refusal takes; the rest is room for a loaded machine.
        const bool isFinished = process.waitForFinished(5000);
        if (!isFinished)
            process.kill();
        ASSERT_TRUE(isFinished) << args.join(u' ').toStdString() << " hangs";
        const QString output
            = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        EXPECT_TRUE(process.exitCode() == 1 || process.exitCode() == 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(output.contains(u"is a FIFO"_s))
            << args.join(u' ').toStdString() << ": " << output.toStdString();
    }
    EXPECT_TRUE(readTable(folder(u"m"_s)).empty()) << "the memo file is still a FIFO";
}

} // namespace
