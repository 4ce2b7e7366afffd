// fieldwright-cli schema and dump on a table written by pxlib.

#include "tests/support/pxlib_writer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;
using paradox::Row;

namespace {

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

CliRun runCli(const QStringList& args)
{
    QProcess process;
    process.start(QString::fromUtf8(FW_CLI_PATH), args);
    EXPECT_TRUE(process.waitForFinished(60000));
    return { process.exitCode(), process.readAllStandardOutput(),
        QString::fromUtf8(process.readAllStandardError()) };
}

class SchemaDumpCli : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    QString path;

    void SetUp() override
    {
        const std::vector<Field> fields = { { u"Id"_s, FieldType::Long, 4 },
            { u"Name \"quoted\""_s, FieldType::Alpha, 20 }, { u"Amount"_s, FieldType::Money, 8 },
            { u"Born"_s, FieldType::Date, 4 }, { u"At"_s, FieldType::Time, 4 },
            { u"Stamp"_s, FieldType::Timestamp, 8 }, { u"Done"_s, FieldType::Logical, 1 },
            { u"Exact"_s, FieldType::Bcd, 2 }, { u"Raw"_s, FieldType::Bytes, 2 },
            { u"Notes"_s, FieldType::Memo, 11 }, { u"Data"_s, FieldType::Blob, 10 } };
        const std::vector<Row> rows = {
            { std::int32_t { 1 }, u"Müller, \"Sr.\""_s, 1000000.5, paradox::Date { 738'033 },
                paradox::TimeOfDay { 43'200'500 }, paradox::Timestamp { 63'766'094'400'000.0 }, true,
                paradox::Bcd { u"-12.30"_s }, QByteArray("\xAB\x01", 2), u"line one\r\nline \"two\""_s,
                QByteArray("\x00\xFF", 2) },
            { std::int32_t { -7 }, paradox::Null {}, 0.1, paradox::Null {}, paradox::TimeOfDay { 0 },
                paradox::Null {}, false, paradox::Null {}, paradox::Null {}, paradox::Null {},
                paradox::Null {} },
        };
        path = folder.filePath(u"people.db"_s);
        QString error;
        ASSERT_TRUE(testsupport::writeTableWithPxlib(path, fields, rows, 1252, &error))
            << error.toStdString();
    }
};

TEST_F(SchemaDumpCli, SchemaListsHeaderFactsAndFields)
{
    const CliRun run = runCli({ u"schema"_s, path });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(run.out),
        u"file version\t7.x\ncode page\t1252\ncode page from\tthe header\npassword-protected\tno\nrecord "
        u"count\t2\n"
        "Id\tLong\t4\nName "
        "\"quoted\"\tAlpha\t20\nAmount\tMoney\t8\nBorn\tDate\t4\nAt\tTime\t4\nStamp\tTimestamp\t8\n"
        "Done\tLogical\t1\nExact\tBCD\t2\nRaw\tBytes\t2\nNotes\tMemo\t11\nData\tBlob\t10\n"_s);
}

TEST_F(SchemaDumpCli, DumpWritesQuotedCsvWithEmptyNulls)
{
    const CliRun run = runCli({ u"dump"_s, path });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(run.out),
        u"\"Id\",\"Name "
        u"\"\"quoted\"\"\",\"Amount\",\"Born\",\"At\",\"Stamp\",\"Done\",\"Exact\",\"Raw\",\"Notes\","
        u"\"Data\"\n"
        "\"1\",\"Müller, \"\"Sr.\"\"\",\"1000000.5\",\"2021-08-31\",\"12:00:00.500\",\"2021-08-31 "
        "12:00:00\",\"true\","
        "\"-12.30\",\"ab01\",\"line one\r\nline \"\"two\"\"\",\"00ff\"\n"
        "\"-7\",,\"0.1\",,\"00:00:00\",,\"false\",,,,\n"_s);
}

TEST_F(SchemaDumpCli, ReportsUnreadableTablesOnStandardError)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.resize(1000);
    file.close();
    for (const QString& command : { u"schema"_s, u"dump"_s }) {
        const CliRun run = runCli({ command, path });
        EXPECT_EQ(run.exitCode, 1) << command.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << command.toStdString();
        EXPECT_TRUE(run.err.startsWith(u"fieldwright-cli: people.db: "_s)) << run.err.toStdString();
    }
    EXPECT_EQ(runCli({ u"dump"_s }).exitCode, 2);
}

} // namespace
