// fieldwright-cli merge, and the limit options of clean and merge, end to end: a table written
// by pxlib, changed by the command line, read back by pxlib.

#include "tests/support/pxlib_reader.h"
#include "tests/support/pxlib_writer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using paradox::FieldType;
using paradox::Row;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

class MergeCli : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    QTemporaryDir dataHome;
    QTemporaryDir appFolder; // a work database of its own: tests run side by side
    QString program;

    void SetUp() override
    {
        program = appFolder.filePath(u"fieldwright-cli"_s);
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(FW_CLI_PATH), program));
        QFile work(appFolder.filePath(u"dbTemp.mdb"_s));
        ASSERT_TRUE(work.open(QIODevice::WriteOnly));
        const std::vector<Row> rows { { std::int32_t(1), u"Acme Inc."_s }, { std::int32_t(2), u"ACME inc"_s },
            { std::int32_t(3), u"Bolt, Ltd"_s }, { std::int32_t(4), u"bolt ltd"_s },
            { std::int32_t(5), u"Cog"_s }, { std::int32_t(6), u"acme inc"_s } };
        QString error;
        ASSERT_TRUE(testsupport::writeTableWithPxlib(folder.filePath(u"firms.db"_s),
            { { u"Id"_s, FieldType::Long, 4 }, { u"Name"_s, FieldType::Alpha, 20 } }, rows, 1252, &error))
            << error.toStdString();
    }

    CliRun cli(const QString& command, const QStringList& args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_DATA_HOME"_s, dataHome.path());
        process.setProcessEnvironment(env);
        process.start(program, QStringList { command, folder.path(), u"FIRMS"_s, u"Name"_s } + args);
        EXPECT_TRUE(process.waitForFinished(60000));
        return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError()) };
    }

    QStringList names()
    {
        const auto table = testsupport::readWithPxlib(folder.filePath(u"firms.db"_s), QString());
        EXPECT_TRUE(table.error.isEmpty()) << table.error.toStdString();
        QStringList result;
        for (const Row& row : table.rows)
            result << std::get<QString>(row[1]);
        return result;
    }
};

TEST_F(MergeCli, MergesValuesAndEditedClusters)
{
    CliRun run = cli(u"merge"_s,
        { u"--into"_s, u"Acme, Inc."_s, u"--value"_s, u"ACME inc"_s, u"--value"_s, u"acme inc"_s,
            u"--dry-run"_s });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
        u"\"ACME inc\",\"Acme, Inc.\",1\n\"acme inc\",\"Acme, Inc.\",1\n"
        "2 of the table's 6 records would change (2 values).\n"_s);

    // As the clusters command writes them, the first proposal edited and the second left empty.
    QFile clusters(dataHome.filePath(u"clusters.csv"_s));
    ASSERT_TRUE(clusters.open(QIODevice::WriteOnly));
    clusters.write(
        "cluster,value,records,proposed\n"
        "1,\"Acme Inc.\",1,\"Acme, Inc.\"\n1,\"ACME inc\",1,\"Acme, Inc.\"\n1,\"acme inc\",1,\"Acme, Inc.\"\n"
        "2,\"Bolt, Ltd\",1,\n2,\"bolt ltd\",1,\r\n\r\n");
    clusters.close();
    run = cli(u"merge"_s, { u"--clusters"_s, clusters.fileName() });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(u"Done.\n3 of the table's 6 records changed."_s)) << run.out.toStdString();
    EXPECT_EQ(names(),
        (QStringList {
            u"Acme, Inc."_s, u"Acme, Inc."_s, u"Bolt, Ltd"_s, u"bolt ltd"_s, u"Cog"_s, u"Acme, Inc."_s }));
}

TEST_F(MergeCli, LimitsAndWhatIsRefusedAsUsage)
{
    CliRun run
        = cli(u"clean"_s, { u"28"_s, u"--where-match"_s, u"(?i)^bolt"_s, u"--where-value"_s, u"Cog"_s });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u"The limit took in 3 of the table's 6 records."_s))
        << run.out.toStdString();
    EXPECT_EQ(names(),
        (QStringList {
            u"Acme Inc."_s, u"ACME inc"_s, u"BOLT, LTD"_s, u"BOLT LTD"_s, u"COG"_s, u"acme inc"_s }));

    const QStringList notUsable[] = {
        { u"--into"_s, u"x"_s, u"--value"_s, u"y"_s, u"--where-match"_s, u"(a"_s },
        { u"--into"_s, u"x"_s }, // no value
        { u"--clusters"_s, dataHome.filePath(u"missing.csv"_s) },
        { u"--into"_s, u"x"_s, u"--value"_s, u"y"_s, u"--clusters"_s, u"c.csv"_s },
    };
    for (const QStringList& args : notUsable) {
        run = cli(u"merge"_s, args);
        EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(u"usage: fieldwright-cli merge"_s)) << run.err.toStdString();
    }
    EXPECT_EQ(cli(u"clean"_s,
                  { u"36"_s, u"--answer"_s, u"(a"_s, u"--answer"_s, u"x"_s, u"--where-match"_s, u"[b"_s })
                  .exitCode,
        2);
}

} // namespace
