// The clustering methods on a table with variants planted in it, and the values and
// clusters commands end to end.

#include "cleaning/values/clusters.h"
#include "cleaning/values/value_counts.h"
#include "tests/cleaning/values/planted_values.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>

#include <map>
#include <set>

using namespace Qt::StringLiterals;
using namespace cleaning::values;

namespace {

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

CliRun cli(const QStringList& args)
{
    QProcess process;
    process.start(QString::fromUtf8(FW_CLI_PATH), args);
    EXPECT_TRUE(process.waitForFinished(120000));
    return { process.exitCode(), process.readAllStandardOutput(),
        QString::fromUtf8(process.readAllStandardError()) };
}

// RFC 4180 records; a field that was not quoted and is empty is a null.
std::vector<std::vector<std::optional<QString>>> parseCsv(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    std::vector<std::vector<std::optional<QString>>> records(1);
    std::optional<QString> field;
    bool isQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isQuoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                field->append(text[++i]);
            else if (c == u'"')
                isQuoted = false;
            else
                field->append(c);
        } else if (c == u'"') {
            isQuoted = true;
            field = field.value_or(QString());
        } else if (c == u',' || c == u'\n') {
            records.back().push_back(field);
            field.reset();
            if (c == u'\n')
                records.emplace_back();
        } else if (c != u'\r') {
            field = field.value_or(QString()) + c;
        }
    }
    records.pop_back(); // after the last line break
    return records;
}

class PlantedVariants : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_folder = new QTemporaryDir;
        s_field = new planted::Field(planted::plantedField(10000, 100000));
        const QString error = planted::writePlantedTable(s_folder->path(), u"NAMES"_s, *s_field);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        s_values = new std::vector<ValueCount>(*countFieldValues(s_folder->path(), u"NAMES"_s, u"Name"_s));
    }
    static void TearDownTestSuite()
    {
        delete s_values;
        delete s_field;
        delete s_folder;
    }

    static QTemporaryDir* s_folder;
    static planted::Field* s_field;
    static std::vector<ValueCount>* s_values;
};

QTemporaryDir* PlantedVariants::s_folder = nullptr;
planted::Field* PlantedVariants::s_field = nullptr;
std::vector<ValueCount>* PlantedVariants::s_values = nullptr;

TEST_F(PlantedVariants, EachMethodFindsItsGroupsWholeAndJoinsNoTwoGroups)
{
    QHash<QString, int> groupOf;
    for (std::size_t g = 0; g < s_field->groups.size(); ++g) {
        for (const QString& value : s_field->groups[g].values)
            groupOf.insert(value, static_cast<int>(g));
    }
    struct Case
    {
        const char16_t* method;
        std::set<planted::Kind> finds;
        bool isExclusive; // sound-alike keys of random names may meet: they do sound alike
    };
    using planted::Kind;
    const Case cases[] = { { u"fingerprint", { Kind::Fingerprint }, true },
        { u"ngram:2", { Kind::NGram }, true }, { u"levenshtein:1", { Kind::Typo, Kind::ShortTypo }, true },
        { u"phonetic:english", { Kind::SoundAlike }, false },
        { u"phonetic:german", { Kind::SoundAlike }, false } };
    for (const Case& test : cases) {
        SCOPED_TRACE(QString::fromUtf16(test.method).toStdString());
        QString problem;
        const auto clusters
            = findClusters(*s_values, *parseClusterMethod(QString::fromUtf16(test.method), &problem));
        ASSERT_TRUE(clusters);
        QHash<QString, std::size_t> clusterOf;
        for (std::size_t c = 0; c < clusters->size(); ++c) {
            std::set<int> groups;
            for (const ValueCount& member : clusters->at(c).members) {
                clusterOf.insert(*member.value, c);
                groups.insert(groupOf.value(*member.value, -1));
            }
            if (test.isExclusive && groups.size() > 1 && *groups.rbegin() >= 0)
                ADD_FAILURE() << "cluster of " << clusters->at(c).proposed.toStdString() << " joins groups";
        }
        int found = 0;
        for (const planted::Group& group : s_field->groups) {
            if (!test.finds.contains(group.kind))
                continue;
            ++found;
            const QString& base = group.values.front();
            ASSERT_TRUE(clusterOf.contains(base)) << base.toStdString() << " is in no cluster";
            const Cluster& cluster = clusters->at(clusterOf.value(base));
            EXPECT_EQ(cluster.proposed, base);
            for (const QString& value : group.values)
                EXPECT_EQ(clusterOf.value(value, SIZE_MAX), clusterOf.value(base)) << value.toStdString();
        }
        EXPECT_GE(found, 200);
    }
}

TEST_F(PlantedVariants, ValuesCommandCountsAsTheDumpOfTheTable)
{
    const CliRun dump = cli({ u"dump"_s, s_folder->filePath(u"NAMES.DB"_s) });
    ASSERT_EQ(dump.exitCode, 0) << dump.err.toStdString();
    std::map<QString, std::int64_t> fromDump;
    const auto rows = parseCsv(dump.out);
    for (std::size_t i = 1; i < rows.size(); ++i)
        ++fromDump[rows[i].at(1).value()];

    const CliRun values = cli({ u"values"_s, s_folder->path(), u"names"_s, u"NAME"_s });
    ASSERT_EQ(values.exitCode, 0) << values.err.toStdString();
    EXPECT_FALSE(values.out.contains('\r'));
    const auto lines = parseCsv(values.out);
    ASSERT_EQ(lines.front(), (std::vector<std::optional<QString>> { u"value"_s, u"records"_s }));
    std::map<QString, std::int64_t> fromValues;
    std::int64_t previous = INT64_MAX;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::int64_t records = lines[i].at(1)->toLongLong();
        EXPECT_LE(records, previous);
        previous = records;
        fromValues[lines[i].at(0).value()] = records;
    }
    EXPECT_EQ(fromValues, fromDump);
    std::map<QString, std::int64_t> planted;
    for (std::size_t i = 0; i < s_field->values.size(); ++i)
        planted[s_field->values[i]] = s_field->records[i];
    EXPECT_EQ(fromValues, planted);
}

class ValuesCli : public ::testing::Test
{
protected:
    QTemporaryDir folder;

    void SetUp() override
    {
        paradox::NewTable table;
        table.folder = folder.path();
        table.name = u"ODD"_s;
        table.fields
            = { { u"Text"_s, paradox::FieldType::Alpha, 30 }, { u"Number"_s, paradox::FieldType::Long, 4 } };
        QString error;
        auto writer = paradox::createTable(table, &error);
        ASSERT_TRUE(writer) << error.toStdString();
        const paradox::Value texts[] = { u"a, \"quoted\"\nline"_s, paradox::Null {}, u"Zed"_s, u"zed"_s,
            u"Zed"_s, u"a, \"quoted\"\nline"_s, u"Zed"_s, paradox::Null {} };
        std::int32_t number = 0;
        for (const paradox::Value& text : texts)
            ASSERT_TRUE(writer->append({ text, paradox::Value(++number % 2) }, &error))
                << error.toStdString();
        ASSERT_TRUE(writer->commit(QString(), &error)) << error.toStdString();
    }
};

TEST_F(ValuesCli, QuotesEveryValueSortsAndSearches)
{
    EXPECT_EQ(cli({ u"values"_s, folder.path(), u"ODD"_s, u"Text"_s }).out,
        "value,records\n\"Zed\",3\n,2\n\"a, \"\"quoted\"\"\nline\",2\n\"zed\",1\n");
    EXPECT_EQ(cli({ u"values"_s, folder.path(), u"ODD"_s, u"Text"_s, u"--sort"_s, u"value"_s }).out,
        "value,records\n,2\n\"a, \"\"quoted\"\"\nline\",2\n\"Zed\",3\n\"zed\",1\n");
    EXPECT_EQ(cli({ u"values"_s, folder.path(), u"ODD"_s, u"Text"_s, u"--match"_s, u"^[Zz]"_s }).out,
        "value,records\n\"Zed\",3\n\"zed\",1\n");
    EXPECT_EQ(
        cli({ u"values"_s, folder.path(), u"ODD"_s, u"Number"_s }).out, "value,records\n\"0\",4\n\"1\",4\n");
    EXPECT_EQ(cli({ u"clusters"_s, folder.path(), u"ODD"_s, u"Text"_s }).out,
        "cluster,value,records,proposed\n1,\"Zed\",3,\"Zed\"\n1,\"zed\",1,\"Zed\"\n");
}

TEST_F(ValuesCli, WrongNamesAndOptionsAreUsageErrorsAndABrokenTableAFailure)
{
    const QStringList wrong[]
        = { { u"values"_s, folder.path(), u"ODD"_s }, { u"values"_s, folder.path(), u"ODD"_s, u"Nope"_s },
              { u"values"_s, folder.filePath(u"none"_s), u"ODD"_s, u"Text"_s },
              { u"clusters"_s, folder.path(), u"NONE"_s, u"Text"_s },
              { u"values"_s, folder.path(), u"ODD"_s, u"Text"_s, u"--match"_s, u"(x"_s },
              { u"values"_s, folder.path(), u"ODD"_s, u"Text"_s, u"--sort"_s, u"size"_s },
              { u"clusters"_s, folder.path(), u"ODD"_s, u"Text"_s, u"--method"_s, u"levenshtein:0"_s },
              { u"clusters"_s, folder.path(), u"ODD"_s, u"Text"_s, u"--colour"_s } };
    for (const QStringList& args : wrong) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.contains(u"usage: fieldwright-cli "_s + args.first())) << run.err.toStdString();
    }
    EXPECT_TRUE(cli(wrong[1]).err.contains(u"Nope"_s));

    QFile db(folder.filePath(u"ODD.DB"_s));
    ASSERT_TRUE(db.open(QIODevice::ReadWrite));
    ASSERT_TRUE(db.resize(db.size() - 100));
    db.close();
    const CliRun broken = cli({ u"values"_s, folder.path(), u"ODD"_s, u"Text"_s });
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.err.contains(u"ODD"_s, Qt::CaseInsensitive)) << broken.err.toStdString();
}

} // namespace
