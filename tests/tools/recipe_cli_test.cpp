// fieldwright-cli apply and history, end to end on copies of the sample database: a recipe
// over several tables, its dry run, a second application, restores, a table that fails, and
// a recipe taken out of the history.

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Trailing and leading spaces off every Alpha field of every table, then one step each on
// three tables of the sample database.
const QByteArray kRecipe = R"({
  "recipe": 1,
  "steps": [
    { "table": "*", "field": "*alpha", "operation": { "number": 4 } },
    { "table": "*", "field": "*alpha", "operation": { "number": 3,
      "caption": "Remove Extra Spaces at Beginning of Selected Field" } },
    { "table": "CUSTOMER", "field": "Name", "operation": { "number": 5 } },
    { "table": "PRODUCTS", "field": ["Category"], "operation": { "number": 1 }, "limit": { "match": "^To" } },
    { "table": "ORDERS", "field": "ShipVia", "merge": [ { "into": "Van", "values": ["VAN"] } ] },
    { "table": "ORDERS", "field": "ShipVia", "operation": { "number": 2 }, "answers": ["_"] }
  ]
})";

class RecipeCli : public ::testing::Test
{
protected:
    QTemporaryDir scratch;
    QTemporaryDir dataHome;
    QTemporaryDir appFolder; // a work database of the test's own
    QString program;

    void SetUp() override
    {
        program = appFolder.filePath(u"fieldwright-cli"_s);
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(FW_CLI_PATH), program));
        QFile work(appFolder.filePath(u"dbTemp.mdb"_s));
        ASSERT_TRUE(work.open(QIODevice::WriteOnly));
    }

    QString sampleCopy(const QString& name)
    {
        const QString folder = scratch.filePath(name);
        EXPECT_TRUE(QDir().mkpath(folder));
        const QDir samples(QString::fromUtf8(FW_SAMPLES_DIR));
        for (const QString& file : samples.entryList(QDir::Files))
            EXPECT_TRUE(QFile::copy(samples.filePath(file), folder + u'/' + file));
        return folder;
    }

    QString writeRecipe(const QString& name, const QByteArray& json)
    {
        QFile file(scratch.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(json);
        return file.fileName();
    }

    CliRun cli(const QStringList& args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_DATA_HOME"_s, dataHome.path());
        process.setProcessEnvironment(env);
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(120000));
        return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError()) };
    }

    // Names and contents of the files of a folder whose name starts with prefix (all: empty).
    static QByteArray fingerprint(const QString& folder, const QString& prefix = {})
    {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
            if (!info.fileName().startsWith(prefix, Qt::CaseInsensitive))
                continue;
            QFile file(info.filePath());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            hash.addData(info.fileName().toUtf8());
            hash.addData(file.readAll());
        }
        return hash.result();
    }

    QString dumpAll(const QString& folder)
    {
        QString text;
        for (const QString& table : { u"CUSTOMER"_s, u"ORDERS"_s, u"PRODUCTS"_s })
            text += cli({ u"dump"_s, folder + u'/' + table + u".DB"_s }).out;
        return text;
    }

    // The records column of apply's CSV, summed.
    static qint64 recordsChanged(const QString& csv)
    {
        qint64 total = 0;
        for (const QString& line : csv.split(u'\n', Qt::SkipEmptyParts).mid(1))
            total += line.section(u',', -1).toLongLong();
        return total;
    }
};

TEST_F(RecipeCli, AppliedTwiceChangesNothingTheSecondTimeAndRestoresBringEveryFileBack)
{
    const QString folder = sampleCopy(u"db"_s);
    const QByteArray before = fingerprint(folder);
    const QString recipe = writeRecipe(u"recipe.json"_s, kRecipe);

    const CliRun dry = cli({ u"apply"_s, recipe, folder, u"--dry-run"_s });
    ASSERT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(fingerprint(folder), before);
    EXPECT_FALSE(QDir(dataHome.filePath(u"Vantorel/Fieldwright/backups"_s)).exists());

    const CliRun real = cli({ u"apply"_s, recipe, folder });
    ASSERT_EQ(real.exitCode, 0) << real.err.toStdString();
    EXPECT_EQ(real.out, dry.out) << "the dry run must list what the run then changes, per step and table";
    EXPECT_GT(recordsChanged(real.out), 0);
    for (const QString& table : { u"CUSTOMER"_s, u"ORDERS"_s, u"PRODUCTS"_s })
        EXPECT_TRUE(real.err.contains(table + u": written"_s)) << real.err.toStdString();
    const QByteArray cleaned = fingerprint(folder);
    EXPECT_NE(cleaned, before);

    const CliRun again = cli({ u"apply"_s, recipe, folder });
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(recordsChanged(again.out), 0) << again.out.toStdString();
    EXPECT_EQ(fingerprint(folder), cleaned);

    // One backup per table for the whole recipe: one restore each takes it all back.
    for (const QString& table : { u"CUSTOMER"_s, u"ORDERS"_s, u"PRODUCTS"_s }) {
        const CliRun restored = cli({ u"restore"_s, folder, table });
        EXPECT_EQ(restored.exitCode, 0) << restored.err.toStdString();
    }
    EXPECT_EQ(fingerprint(folder), before);
}

TEST_F(RecipeCli, AFailingTableIsLeftByteForByteAndTheOthersAreCleaned)
{
    const QString folder = sampleCopy(u"db"_s);
    // Another Paradox program holds ORDERS.
    QFile lock(folder + u"/ORDERS.LCK"_s);
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    const QByteArray orders = fingerprint(folder, u"ORDERS"_s);
    const QByteArray customers = fingerprint(folder, u"CUSTOMER"_s);

    const CliRun run = cli({ u"apply"_s, writeRecipe(u"recipe.json"_s, kRecipe), folder });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(fingerprint(folder, u"ORDERS"_s), orders);
    EXPECT_NE(fingerprint(folder, u"CUSTOMER"_s), customers);
    EXPECT_TRUE(run.err.contains(u"ORDERS: left as it was: before step 1"_s)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u"CUSTOMER: written"_s)) << run.err.toStdString();
}

TEST_F(RecipeCli, RecipesThatDoNotSayExactlyWhatToDoAreRefusedBeforeAnythingIsCopied)
{
    const QString folder = sampleCopy(u"db"_s);
    const QByteArray before = fingerprint(folder);
    const struct
    {
        const char* json;
        const char* says;
    } cases[] = {
        { R"({"recipe": 2, "steps": [{"table": "*", "field": "*", "operation": {"number": 1}}]})",
            "version 2" },
        { R"({"recipe": 1, "steps": [{"table": "*", "field": "*", "operation": {"number": 99}}]})",
            "number 99" },
        { R"({"recipe": 1, "steps": [{"table": "*", "field": "*", "operation": {"number": 1,
             "caption": "Remove Tabs in Selected Field"}}]})",
            "step 1: operation 1 is" },
        { R"({"recipe": 1, "steps": [{"table": "*", "field": "Name", "operation": {"number": 24}}]})",
            "\"Enter Number:\"" },
        { R"({"recipe": 1, "steps": [{"table": "*", "field": "Name", "operation": {"number": 1}, "limits": 3}]})",
            "\"limits\"" },
        { R"({"recipe": 1, "steps": [{"table": "*", "field": "Name", "operation": {"number": 1},
             "limit": {"match": "(x"}}]})",
            "not a valid regular expression" },
        { R"({"recipe": 1, "steps": [{"table": "*", "field": "Name", "merge": [{"into": "a"}]}]})",
            "a merge is" },
    };
    for (const auto& c : cases) {
        const CliRun run = cli({ u"apply"_s, writeRecipe(u"bad.json"_s, c.json), folder });
        EXPECT_EQ(run.exitCode, 2) << c.json;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.says))) << run.err.toStdString();
    }
    EXPECT_EQ(fingerprint(folder), before);
    EXPECT_FALSE(QDir(dataHome.filePath(u"Vantorel/Fieldwright/backups"_s)).exists());
}

TEST_F(RecipeCli, ARecipeTakenOutOfTheHistoryDoesWhatTheOriginalDid)
{
    const QString first = sampleCopy(u"first"_s);
    const QString second = sampleCopy(u"second"_s);
    ASSERT_EQ(cli({ u"apply"_s, writeRecipe(u"recipe.json"_s, kRecipe), first }).exitCode, 0);
    // A merge and a limited clean of their own come back out of the history as they were done.
    ASSERT_EQ(cli({ u"merge"_s, first, u"ORDERS"_s, u"ShipCity"_s, u"--into"_s, u"LYON"_s, u"--value"_s,
                      u"Lyon"_s })
                  .exitCode,
        0);
    ASSERT_EQ(
        cli({ u"clean"_s, first, u"CUSTOMER"_s, u"City"_s, u"28"_s, u"--where-match"_s, u"^M"_s }).exitCode,
        0);

    const CliRun history = cli({ u"history"_s, first, u"--json"_s });
    ASSERT_EQ(history.exitCode, 0) << history.err.toStdString();
    const CliRun replay = cli({ u"apply"_s, writeRecipe(u"saved.json"_s, history.out.toUtf8()), second });
    ASSERT_EQ(replay.exitCode, 0) << replay.err.toStdString();
    EXPECT_EQ(dumpAll(second), dumpAll(first));

    const CliRun listed = cli({ u"history"_s, first, u"ORDERS"_s });
    EXPECT_TRUE(listed.out.startsWith(u"time,table,field,number,operation,answers,records\n"_s));
    EXPECT_TRUE(listed.out.contains(u",ORDERS,ShipVia,2,"_s)) << listed.out.toStdString();
    EXPECT_FALSE(listed.out.contains(u"CUSTOMER"_s));
}

} // namespace
