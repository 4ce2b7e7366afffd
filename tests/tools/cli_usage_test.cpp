// The habits scripts rely on, through the real executable: help on standard output, usage
// errors that name the fault, exit statuses, CSV with a header row and LF line ends, and
// tables of sub-folders named as `tables` prints them.

#include "tests/support/scratch_install.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

class CliUsage : public ::testing::Test
{
protected:
    testsupport::ScratchInstall install;
    QString program;

    void SetUp() override
    {
        // The program beside its own work database: tests that run at once must not share one.
        program = install.appFolder() + u"/fieldwright-cli"_s;
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(FW_CLI_PATH), program));
        install.writeTable(u"PEOPLE"_s, { testsupport::alphaField(u"Name"_s) },
            { testsupport::texts({ u" Ann " }), testsupport::texts({ u"Bob" }),
                testsupport::texts({ nullptr }) });
    }

    CliRun cli(const QStringList& args) const
    {
        QProcess process;
        process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(60000));
        return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError()) };
    }

    CliRun clean(const QStringList& rest) const
    {
        return cli(QStringList { u"clean"_s, install.paradoxFolder(), u"PEOPLE"_s, u"Name"_s } + rest);
    }
};

TEST_F(CliUsage, HelpAndVersionGoToStandardOutputAndSucceed)
{
    for (const QStringList& args : { QStringList { u"--help"_s }, { u"-h"_s }, { u"clean"_s, u"--help"_s },
             { u"operations"_s, u"-h"_s }, { u"tables"_s, u"--help"_s, u"extra"_s } }) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 0) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.out.startsWith(u"usage: fieldwright-cli "_s)) << run.out.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    }
    EXPECT_TRUE(cli({ u"clean"_s, u"-h"_s }).out.contains(u"--answer <TEXT>"_s));
    // Every command the program lists has its own help (the manual page is written from them).
    static const QRegularExpression commandLine(u"^  ([a-z]+)  "_s, QRegularExpression::MultilineOption);
    QStringList commands;
    for (auto match = commandLine.globalMatch(cli({ u"--help"_s }).out); match.hasNext();)
        commands << match.next().captured(1);
    EXPECT_EQ(commands.size(), 15) << commands.join(u' ').toStdString();
    for (const QString& command : commands) {
        const CliRun run = cli({ command, u"--help"_s });
        EXPECT_EQ(run.exitCode, 0) << command.toStdString();
        EXPECT_TRUE(run.out.startsWith(u"usage: fieldwright-cli "_s + command)) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(u"--help"_s)) << run.out.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    }
    const CliRun version = cli({ u"--version"_s });
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(u"fieldwright-cli "_s)) << version.out.toStdString();
}

// Each fault is named in the first line on standard error, the usage follows, the exit is 2,
// and nothing is written to the table.
TEST_F(CliUsage, UsageErrorsNameTheFaultThenShowTheUsage)
{
    const QString folder = install.paradoxFolder();
    const QByteArray before = install.fingerprint();
    const struct
    {
        QStringList args;
        QString named;
    } cases[] = {
        { {}, u"no command given"_s },
        { { u"frobnicate"_s }, u"unknown command \"frobnicate\""_s },
        { { u"--dryrun"_s }, u"unknown option --dryrun"_s },
        { { u"clean"_s, folder, u"PEOPLE"_s, u"Name"_s, u"1"_s, u"--dryrun"_s },
            u"unknown option --dryrun"_s },
        { { u"tables"_s }, u"missing argument FOLDER"_s },
        { { u"fields"_s, folder, u"PEOPLE"_s, u"Name"_s }, u"unexpected argument \"Name\""_s },
        { { u"clean"_s, folder, u"PEOPLE"_s, u"Name"_s, u"24"_s, u"--answer"_s, u"1"_s, u"--answer"_s,
              u"2"_s },
            u"the --answer \"2\" is one too many"_s },
        { { u"clean"_s, folder, u"PEOPLE"_s, u"Name"_s, u"1"_s, u"--answer"_s, u"x"_s }, u"asks nothing"_s },
        { { u"clean"_s, folder, u"PEOPLE"_s, u"Nope"_s, u"1"_s }, u"the table PEOPLE has no field Nope"_s },
        { { u"clean"_s, folder, u"PEOPLE"_s, u"Name"_s, u"99"_s }, u"no operation is called \"99\""_s },
        { { u"preview"_s, folder, u"MISSING"_s, u"Name"_s }, u"has no table MISSING"_s },
        { { u"fields"_s, folder, u"../paradox/PEOPLE"_s }, u"is not a table of the folder"_s },
        { { u"tables"_s, u"/no/such/folder"_s }, u"the folder /no/such/folder does not exist"_s },
        { { u"backups"_s, u"/no/such/folder"_s, u"PEOPLE"_s },
            u"the folder /no/such/folder does not exist"_s },
    };
    for (const auto& fault : cases) {
        const CliRun run = cli(fault.args);
        const QStringList lines = run.err.split(u'\n');
        EXPECT_EQ(run.exitCode, 2) << fault.args.join(u' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        EXPECT_TRUE(lines.value(0).startsWith(u"fieldwright-cli"_s) && lines.value(0).contains(fault.named))
            << run.err.toStdString();
        EXPECT_TRUE(lines.value(1).startsWith(u"usage: fieldwright-cli"_s)) << run.err.toStdString();
    }
    EXPECT_EQ(install.fingerprint(), before);
}

// A missing answer or one the operation refuses abandons before anything is copied; the dry
// run exits as the run would.
TEST_F(CliUsage, AMissingOrRefusedAnswerAbandonsWithThree)
{
    const QByteArray before = install.fingerprint();
    CliRun run = clean({ u"24"_s });
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err, u"fieldwright-cli: operation 24 asks \"Enter Number:\"; give it with --answer\n"_s);
    run = clean({ u"19"_s, u"--answer"_s, u"a"_s });
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.err.contains(u"asks \"Replace With:\"; give it with --answer"_s))
        << run.err.toStdString();
    for (const QStringList& answers : { QStringList { u"--answer"_s, u"-5"_s },
             { u"--answer=-5"_s, u"--dry-run"_s }, { u"--answer"_s, u"abc"_s } }) {
        run = clean(QStringList { u"24"_s } + answers);
        EXPECT_EQ(run.exitCode, 3) << answers.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(u"operation 24 asks \"Enter Number:\"; the answer"_s))
            << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(u"Please email"_s)) << run.err.toStdString();
        EXPECT_FALSE(run.out.contains(u"Done."_s)) << run.out.toStdString();
    }
    EXPECT_EQ(install.fingerprint(), before);
    EXPECT_EQ(clean({ u"24"_s, u"--answer"_s, u"1"_s }).exitCode, 0);
    EXPECT_EQ(install.column(u"PEOPLE"_s), (QStringList { u"Ann "_s, u"ob"_s, u"<null>"_s }));
}

TEST_F(CliUsage, EveryCsvHasAHeaderRowAndLfLineEnds)
{
    const QString table = paradox::findTableFile(install.paradoxFolder(), u"PEOPLE"_s);
    const struct
    {
        QStringList args;
        QString header;
    } outputs[] = {
        { { u"operations"_s }, u"number,caption,kind,prompts\n"_s },
        { { u"preview"_s, install.paradoxFolder(), u"PEOPLE"_s, u"Name"_s },
            u"value\n\" Ann \"\n\"Bob\"\n\n"_s },
        { { u"dump"_s, table }, u"\"Name\"\n"_s },
        { { u"clean"_s, install.paradoxFolder(), u"PEOPLE"_s, u"Name"_s, u"1"_s, u"--dry-run"_s },
            u"old,new,records\n\" Ann \",\"Ann\",1\n"_s },
    };
    for (const auto& output : outputs) {
        const CliRun run = cli(output.args);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(output.header)) << run.out.toStdString();
        EXPECT_FALSE(run.out.contains(u'\r')) << output.args.first().toStdString();
    }
    const CliRun dry = cli(outputs[3].args);
    EXPECT_EQ(dry.out, outputs[3].header); // the total is said apart from the CSV
    EXPECT_EQ(dry.err, u"1 of the table's 3 records would change (1 value).\n"_s);

    const QStringList rows = cli({ u"operations"_s }).out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(rows.contains(
        u"19,Replace User-Defined Character(s) in Selected Field With...,two texts,\"[\"\"Find What:\"\",\"\"Replace With:\"\"]\""_s));
    const QJsonArray operations
        = QJsonDocument::fromJson(cli({ u"operations"_s, u"--json"_s }).out.toUtf8()).array();
    EXPECT_EQ(operations.size(), rows.size() - 1);
    EXPECT_EQ(operations.at(23).toObject().value(u"prompts"_s).toArray(), QJsonArray { u"Enter Number:"_s });

    const CliRun json = cli(outputs[3].args + QStringList { u"--json"_s });
    EXPECT_EQ(json.exitCode, 0);
    const QJsonObject document = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(document.value(u"recordsChanged"_s).toInteger(), 1);
    EXPECT_EQ(document.value(u"changes"_s).toArray().at(0).toObject().value(u"new"_s).toString(), u"Ann"_s);
}

TEST_F(CliUsage, CommandsTakeTheTablesThatTablesLists)
{
    ASSERT_TRUE(QDir(install.paradoxFolder()).mkpath(u"Sub/Deeper"_s));
    const QString people = paradox::findTableFile(install.paradoxFolder(), u"PEOPLE"_s);
    ASSERT_TRUE(QFile::copy(people, install.paradoxFolder() + u"/Sub/Deeper/inner.db"_s));

    const CliRun tables = cli({ u"tables"_s, install.paradoxFolder() });
    EXPECT_EQ(tables.exitCode, 0) << tables.err.toStdString();
    EXPECT_EQ(tables.out, u"PEOPLE\nSub/Deeper/INNER\n"_s);
    const CliRun fields = cli({ u"fields"_s, install.paradoxFolder(), u"Sub/Deeper/INNER"_s });
    EXPECT_EQ(fields.exitCode, 0) << fields.err.toStdString();
    EXPECT_EQ(fields.out, u"Name\n"_s);
    const CliRun run = cli({ u"clean"_s, install.paradoxFolder(), u"Sub/Deeper/INNER"_s, u"Name"_s, u"1"_s });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(install.column(u"PEOPLE"_s), (QStringList { u" Ann "_s, u"Bob"_s, u"<null>"_s }));
    const CliRun preview
        = cli({ u"preview"_s, install.paradoxFolder(), u"Sub/Deeper/inner.db"_s, u"Name"_s });
    EXPECT_EQ(preview.out, u"value\n\"Ann\"\n\"Bob\"\n\n"_s);
}

} // namespace
