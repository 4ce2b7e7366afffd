// fieldwright-cli clean, end to end: tables written by pxlib, cleaned by the command line,
// and read back by pxlib, so that neither side of the check is our own Paradox code.

#include "tests/support/pxlib_reader.h"
#include "tests/support/pxlib_writer.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;
using paradox::Row;
using paradox::Value;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

class CleanCli : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    QTemporaryDir dataHome;
    // The program with a work database of its own beside it: tests that run at the same
    // time must not share one.
    QTemporaryDir appFolder;
    QString program;

    void SetUp() override
    {
        program = appFolder.filePath(u"fieldwright-cli"_s);
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(FW_CLI_PATH), program));
        QFile work(appFolder.filePath(u"dbTemp.mdb"_s));
        ASSERT_TRUE(work.open(QIODevice::WriteOnly));
        const std::vector<Field> fields { { u"Id"_s, FieldType::Long, 4 },
            { u"Name"_s, FieldType::Alpha, 30 }, { u"Amount"_s, FieldType::Number, 8 },
            { u"Notes"_s, FieldType::Memo, 20 } };
        const std::vector<Row> rows {
            { std::int32_t(1), u"  Ann  Lee "_s, 1.5, u"short"_s },
            { std::int32_t(2), u"O'Neil\tx-1"_s, -2.25,
                QString(u"a memo that is longer than its leader, "_s).repeated(3) },
            { std::int32_t(3), paradox::Null {}, paradox::Null {}, paradox::Null {} },
            { std::int32_t(4), u"abc"_s, 0.0, u"x"_s },
        };
        QString error;
        ASSERT_TRUE(
            testsupport::writeTableWithPxlib(folder.filePath(u"people.db"_s), fields, rows, 1252, &error))
            << error.toStdString();
    }

    CliRun clean(const QStringList& args) { return cleanTable(u"PEOPLE"_s, args); }

    CliRun cleanTable(const QString& table, const QStringList& args)
    {
        return cli(QStringList { u"clean"_s, folder.path(), table, u"Name"_s } + args);
    }

    CliRun cli(const QStringList& args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_DATA_HOME"_s, dataHome.path());
        process.setProcessEnvironment(env);
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(60000));
        return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError()) };
    }

    // Names and contents of the table's folder.
    QByteArray fingerprint()
    {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        for (const QFileInfo& info :
            QDir(folder.path()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QFile file(info.filePath());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            hash.addData(info.fileName().toUtf8());
            hash.addData(file.readAll());
        }
        return hash.result();
    }

    QString backupRoot() const { return dataHome.filePath(u"Vantorel/Fieldwright/backups"_s); }

    testsupport::PxlibTable readBack()
    {
        const QString db = paradox::findTableFile(folder.path(), u"PEOPLE"_s);
        QString mb = db;
        mb.chop(2);
        mb += db.endsWith(u".db"_s) ? u"mb"_s : u"MB"_s;
        return testsupport::readWithPxlib(db, QFileInfo::exists(mb) ? mb : QString());
    }

    // The Name column as pxlib reads it; a null as "<null>".
    QStringList names()
    {
        const auto table = readBack();
        EXPECT_TRUE(table.error.isEmpty()) << table.error.toStdString();
        QStringList result;
        for (const Row& row : table.rows)
            result << (paradox::isNull(row[1]) ? u"<null>"_s : std::get<QString>(row[1]));
        return result;
    }

    // Every column but Name is exactly as written.
    void expectOtherColumnsKept()
    {
        const auto table = readBack();
        ASSERT_EQ(table.rows.size(), 4u);
        ASSERT_EQ(table.fields.size(), 4u);
        EXPECT_EQ(table.fields[3].type, FieldType::Memo);
        EXPECT_EQ(table.rows[0][0], Value(std::int32_t(1)));
        EXPECT_EQ(table.rows[1][2], Value(-2.25));
        EXPECT_EQ(table.rows[3][2], Value(0.0));
        EXPECT_TRUE(paradox::isNull(table.rows[2][2]));
        EXPECT_EQ(table.rows[1][3], Value(QString(u"a memo that is longer than its leader, "_s).repeated(3)));
        EXPECT_EQ(table.rows[0][3], Value(u"short"_s));
    }
};

TEST_F(CleanCli, OperationWithoutParameters)
{
    const CliRun run = clean({ u"5"_s });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList backups = QDir(backupRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(run.out,
        u"Done.\n1 of the table's 4 records changed. The previous version is kept in %1.\n"_s.arg(
            QDir(backupRoot()).filePath(backups[0])));
    EXPECT_EQ(names(), (QStringList { u"Ann Lee"_s, u"O'Neil\tx-1"_s, u"<null>"_s, u"abc"_s }));
    expectOtherColumnsKept();
}

TEST_F(CleanCli, OperationWithOneTextByCaption)
{
    const CliRun run = clean({ u"Replace Tabs in Selected Field With..."_s, u"--answer"_s, u" & "_s });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(names(), (QStringList { u"  Ann  Lee "_s, u"O'Neil & x-1"_s, u"<null>"_s, u"abc"_s }));
    expectOtherColumnsKept();
}

TEST_F(CleanCli, OperationWithTwoTexts)
{
    const CliRun run = clean({ u"19"_s, u"--answer"_s, u"'"_s, u"--answer"_s, u"''"_s });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(names(), (QStringList { u"  Ann  Lee "_s, u"O''Neil\tx-1"_s, u"<null>"_s, u"abc"_s }));
    expectOtherColumnsKept();
}

TEST_F(CleanCli, OperationWithACount)
{
    const CliRun run = clean({ u"25"_s, u"--answer"_s, u"2.5"_s });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(names(), (QStringList { u"  Ann  Le"_s, u"O'Neil\tx"_s, u"<null>"_s, u"a"_s }));
    expectOtherColumnsKept();
}

TEST_F(CleanCli, AnOperationThatMatchesNoValueWritesNothing)
{
    const QByteArray before = fingerprint();
    const CliRun run = clean({ u"18"_s, u"--answer"_s, u"#"_s }); // no value holds "#"
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"Done.\nNo record changed, so the table was not written.\n"_s);
    EXPECT_EQ(fingerprint(), before);
}

TEST_F(CleanCli, ACountNoValueCanTakeAbandonsBeforeTheCopy)
{
    const QByteArray before = fingerprint();
    const CliRun run = clean({ u"24"_s, u"--answer"_s, u"-1"_s });
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_EQ(run.err,
        u"fieldwright-cli: operation 24 asks \"Enter Number:\"; the answer \"-1\" is refused (Invalid "
        u"argument: "
        u"the number of characters must not be negative): give another with --answer\n"_s);
    EXPECT_EQ(fingerprint(), before);
}

TEST_F(CleanCli, DryRunPrintsEachChangeAndTheTotalAndTouchesNoFile)
{
    const QByteArray before = fingerprint();
    const CliRun dry
        = clean({ u"Replace All Spaces in Selected Field With..."_s, u"--answer"_s, u"."_s, u"--dry-run"_s });
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(dry.out, u"old,new,records\n\"  Ann  Lee \",\"..Ann..Lee.\",1\n"_s);
    EXPECT_EQ(dry.err, u"1 of the table's 4 records would change (1 value).\n"_s);
    EXPECT_EQ(fingerprint(), before);
    EXPECT_FALSE(QFileInfo::exists(backupRoot()));

    const CliRun run = clean({ u"2"_s, u"--answer"_s, u"."_s });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(u"Done.\n1 of the table's 4 records changed."_s)) << run.out.toStdString();
    EXPECT_EQ(names(), (QStringList { u"..Ann..Lee."_s, u"O'Neil\tx-1"_s, u"<null>"_s, u"abc"_s }));
}

TEST_F(CleanCli, BackupsAreListedNewestFirstAndRestoreBringsBackTheSameBytes)
{
    const QByteArray original = fingerprint();
    ASSERT_EQ(clean({ u"1"_s }).exitCode, 0);
    const QByteArray afterFirst = fingerprint();
    ASSERT_EQ(clean({ u"24"_s, u"--answer"_s, u"2"_s }).exitCode, 0);

    CliRun run = cli({ u"backups"_s, folder.path(), u"people.db"_s });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_FALSE(run.out.contains(u'\r'));
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << run.out.toStdString();
    EXPECT_EQ(lines[0], u"id,time,field,operation,records,answers,moved_from"_s);
    EXPECT_TRUE(
        lines[1].endsWith(u",Name,Remove First x Character(s) in Selected Field,3,\"[\"\"2\"\"]\","_s))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith(u",Name,Remove All Spaces in Selected Field,1,[],"_s))
        << lines[2].toStdString();
    run = cli({ u"backups"_s, folder.filePath(u"gone"_s), u"PEOPLE"_s });
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.startsWith(
        u"fieldwright-cli backups: the folder %1 does not exist\n"_s.arg(folder.filePath(u"gone"_s))))
        << run.err.toStdString();

    run = cli({ u"restore"_s, folder.path(), u"PEOPLE"_s }); // the newest
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(fingerprint(), afterFirst);
    const QString oldest = lines[2].section(u',', 0, 0);
    run = cli({ u"restore"_s, folder.path(), u"PEOPLE"_s, oldest });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(u"The table PEOPLE is back as it was before %1.\n"_s.arg(oldest)));
    EXPECT_EQ(fingerprint(), original);

    run = cli({ u"restore"_s, folder.path(), u"PEOPLE"_s, u"no-such-backup"_s });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(fingerprint(), original);
}

TEST_F(CleanCli, ATableIsNamedWithOrWithoutItsExtensionAndAnUnreadableOneFailsTheRun)
{
    CliRun run = cleanTable(u"people.DB"_s, { u"1"_s });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(names(), (QStringList { u"AnnLee"_s, u"O'Neil\tx-1"_s, u"<null>"_s, u"abc"_s }));
    EXPECT_EQ(QDir(folder.path()).entryList({ u"*.db"_s }, QDir::Files), QStringList { u"people.db"_s });

    run = cleanTable(u"MISSING"_s, { u"1"_s });
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(u"has no table MISSING"_s)) << run.err.toStdString();
    EXPECT_FALSE(run.out.contains(u"Please select a field."_s));

    QFile memo(folder.filePath(u"people.mb"_s));
    ASSERT_TRUE(memo.remove());
    run = clean({ u"1"_s });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u"people.mb"_s, Qt::CaseInsensitive)) << run.err.toStdString();
}

TEST_F(CleanCli, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(clean({}).exitCode, 2);
    EXPECT_EQ(clean({ u"38"_s }).exitCode, 2); // the first number past the last operation
    EXPECT_EQ(clean({ u"1"_s, u"--answer"_s }).exitCode, 2);
    EXPECT_EQ(clean({ u"remove all spaces in selected field"_s }).exitCode, 2);
}

} // namespace
