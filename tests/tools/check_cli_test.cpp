// fieldwright-cli check and dump --salvage on a table that pxlib wrote and that is then cut
// short in its last block, and clean refusing a damaged table before it copies anything.

#include "tests/support/pxlib_writer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtEndian>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;
using paradox::Row;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

class CheckCli : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    QTemporaryDir dataHome;
    QTemporaryDir appFolder; // the program with a work database of its own
    QString program;
    QString dbPath;

    void SetUp() override
    {
        program = appFolder.filePath(u"fieldwright-cli"_s);
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(FW_CLI_PATH), program));
        QFile work(appFolder.filePath(u"dbTemp.mdb"_s));
        ASSERT_TRUE(work.open(QIODevice::WriteOnly));
        const std::vector<Field> fields { { u"Id"_s, FieldType::Long, 4 },
            { u"Name"_s, FieldType::Alpha, 30 } };
        std::vector<Row> rows;
        for (int i = 1; i <= 200; ++i) // 60 records in each 2 KB block: 4 blocks
            rows.push_back({ std::int32_t(i), u"name %1"_s.arg(i) });
        dbPath = folder.filePath(u"people.db"_s);
        QString error;
        ASSERT_TRUE(testsupport::writeTableWithPxlib(dbPath, fields, rows, 1252, &error))
            << error.toStdString();
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

    // The file 1,024 bytes short of the end of its last block: past its last record.
    QByteArray cutLastBlock()
    {
        QFile file(dbPath);
        EXPECT_TRUE(file.open(QIODevice::ReadWrite));
        EXPECT_TRUE(file.resize(file.size() - 1024));
        file.seek(0);
        return file.readAll();
    }
};

TEST_F(CheckCli, SaysOkOrDamagedWithThePlaceAndExitsAccordingly)
{
    CliRun run = cli({ u"check"_s, folder.path() });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"people ok\n"_s);

    cutLastBlock();
    run = cli({ u"check"_s, folder.path(), u"PEOPLE"_s });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.startsWith(u"people damaged: people.db"_s)) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(u"people.db, block 4: is cut off"_s)) << run.out.toStdString();

    EXPECT_EQ(cli({ u"check"_s, folder.filePath(u"nowhere"_s) }).exitCode, 2);
    EXPECT_EQ(cli({ u"check"_s, folder.path(), u"NOBODY"_s }).exitCode, 2);
}

TEST_F(CheckCli, SalvageDumpGivesEveryRecordAndNamesTheCutBlock)
{
    cutLastBlock();
    EXPECT_EQ(cli({ u"dump"_s, dbPath }).exitCode, 1) << "a plain dump stops at the damage";
    const CliRun run = cli({ u"dump"_s, u"--salvage"_s, dbPath });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.count(u"\n"_s), 201) << run.out.toStdString(); // the header and every record
    EXPECT_TRUE(run.out.endsWith(u"\"200\",\"name 200\"\n"_s));
    EXPECT_TRUE(run.err.contains(u"people.db, block 4: is cut off"_s)) << run.err.toStdString();
}

// A loop in the chain of blocks, which opening the table does not show.
TEST_F(CheckCli, CleanRefusesADamagedTableBeforeCopyingIt)
{
    QFile file(dbPath);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray before = file.readAll();
    const int headerSize = qFromLittleEndian<quint16>(before.constData() + 2);
    before[headerSize + 2048] = 1; // block 2 links back to block 1
    before[headerSize + 2048 + 1] = 0;
    file.seek(0);
    file.write(before);
    file.close();
    const CliRun run = cli({ u"clean"_s, folder.path(), u"PEOPLE"_s, u"Name"_s, u"5"_s });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE((run.out + run.err).contains(u"is damaged (people.db, block 2: links back to block 1"_s))
        << (run.out + run.err).toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList { u"people.db"_s });
}

} // namespace
