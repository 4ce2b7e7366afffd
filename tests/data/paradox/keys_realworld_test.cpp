// Keyed tables written by the Paradox engine itself: their record order, indexes and bytes are
// what a rebuild must reproduce. Skipped where the folder of the engine's tables is missing.

#include "data/paradox/patch/keyed_rewrite.h"
#include "tests/data/paradox/keys_support.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace keystest;
using paradox::RebuildScope;

namespace {

struct EngineCase
{
    const char* name; // test name
    const char* table; // below the folder of the engine's tables
    int field;
    RebuildScope scope;
    std::vector<const char*> files; // rewritten besides the .DB, as the plan lists them
    const char* refusal = nullptr; // a piece of the refusal, when the change is refused
};

void PrintTo(const EngineCase& c, std::ostream* os)
{
    *os << c.table << " field " << c.field;
}

using enum paradox::RebuildScope;

const std::vector<EngineCase> kCases = {
    { "longKey", "fields/long.db", 0, KeyedLayout, { "long.px" } },
    { "memoBesideKey", "fields/memo.db", 0, KeyedLayout, { "memo.px" } },
    { "formattedMemo", "fields/fmemo.db", 0, KeyedLayout, { "fmemo.px" } },
    { "graphic", "fields/graphic.db", 0, KeyedLayout, { "graphic.px" } },
    { "graphicInLeader", "fields/graphic240.db", 0, KeyedLayout, { "graphic240.px" } },
    { "ole", "fields/ole.db", 0, KeyedLayout, { "ole.px" } },
    { "ansiSortOrderLongKey", "joins/A.db", 0, KeyedLayout, { "A.PX" } },
    { "ansiSortOrderOtherCounters", "joins/B.db", 0, KeyedLayout, { "B.PX" } },
    { "keyWithTwoIndexes", "joins/C.DB", 0, KeyedLayout, { "C.PX", "C.X02", "C.Y02", "C.X03", "C.Y03" } },
    { "indexedField", "joins/C.DB", 2, SecondaryIndexes, { "C.X03", "C.Y03" } },
    { "compositeIndexKey", "joins/fk4.db", 0, KeyedLayout, { "fk4.px", "fk4.XG0", "fk4.YG0" } },
    { "compositeIndexField", "joins/fk4.db", 1, SecondaryIndexes, { "fk4.XG0", "fk4.YG0" } },
    { "fieldOutsideIndexes", "joins/fk4.db", 2, None, {} },
    { "emptyWithIndex", "joins/fk1.db", 0, KeyedLayout, { "fk1.px", "fk1.x02", "fk1.y02" } },
    { "emptyIndexOnThirdField", "joins/fk3.db", 2, SecondaryIndexes, { "fk3.x03", "fk3.y03" } },
    { "emptyTwoKeyFields", "joins/two.db", 1, KeyedLayout, { "two.px" } },
    { "emptyIndexOnSecondField", "joins/fk2.db", 1, SecondaryIndexes, { "fk2.x02", "fk2.y02" } },
    { "emptyMasterIndexedField", "joins/multiple.db", 3, SecondaryIndexes,
        { "multiple.X04", "multiple.Y04" } },
    { "emptyMasterOtherIndex", "joins/multiple.db", 1, SecondaryIndexes, { "multiple.X02", "multiple.Y02" } },
    { "emptyMasterKey", "joins/multiple.db", 0, KeyedLayout,
        { "multiple.PX", "multiple.X02", "multiple.Y02", "multiple.X04", "multiple.Y04" },
        "referential integrity" },
    { "emptyDetailIndex", "joins/to_multiple.db", 1, SecondaryIndexes,
        { "to_multiple.X02", "to_multiple.Y02" } },
    { "masterKey", "joins/primary.db", 0, KeyedLayout, { "primary.px" }, "referential integrity" },
    { "unkeyedCompositeIndex", "joins/indexed.db", 0, SecondaryIndexes, { "indexed.xg0", "indexed.yg0" },
        "unkeyed" },
    { "unkeyedTextIndex", "joins/case.db", 0, SecondaryIndexes, { "case.x01", "case.y01" }, "unkeyed" },
    { "unkeyedWithoutIndexes", "joins/joina.db", 0, None, {} },
};

class EngineTables : public testing::TestWithParam<EngineCase>
{
protected:
    void SetUp() override
    {
        const QString source = realworldDir();
        if (source.isEmpty())
            GTEST_SKIP() << "the engine's tables are not here (FW_REALWORLD_DIR)";
        const QFileInfo table(QDir(source).filePath(QString::fromLatin1(GetParam().table)));
        ASSERT_TRUE(table.exists()) << table.filePath().toStdString();
        m_engineFolder = table.absolutePath();
        copyFamily(m_engineFolder, table.completeBaseName(), m_dir.path());
        m_db = QDir(m_dir.path()).filePath(table.fileName());
    }

    QString m_engineFolder;
    QTemporaryDir m_dir;
    QString m_db;
};

// The engine wrote these files; a rebuild without a change must name them in its plan and write
// them again byte for byte: headers, record order, block fill and every index entry.
TEST_P(EngineTables, RebuildWithoutChangeGivesTheEngineBytes)
{
    const EngineCase& c = GetParam();
    const paradox::RebuildPlan plan = paradox::planFieldChange(m_db, c.field);
    EXPECT_EQ(plan.scope, c.scope);
    paradox::KeyedRewrite rewrite;
    const QString error = paradox::rewriteKeyedTable(m_db, c.field, {}, &rewrite);
    if (c.refusal) {
        EXPECT_TRUE(plan.refusal.contains(QLatin1StringView(c.refusal))) << plan.refusal.toStdString();
        EXPECT_TRUE(error.contains(QLatin1StringView(c.refusal))) << error.toStdString();
        EXPECT_TRUE(rewrite.files.empty());
        return;
    }
    EXPECT_EQ(plan.refusal, QString()) << plan.refusal.toStdString();
    QStringList expected;
    if (c.scope != RebuildScope::None)
        expected << QFileInfo(m_db).fileName();
    for (const char* file : c.files)
        expected << QString::fromLatin1(file);
    QStringList planned;
    for (const QString& path : plan.files)
        planned << QFileInfo(path).fileName();
    EXPECT_EQ(planned, expected);

    ASSERT_EQ(error, QString());
    EXPECT_EQ(rewrite.scope, c.scope);
    ASSERT_EQ(rewrite.files.size(), c.files.size() + 1);
    for (const paradox::RewrittenFile& file : rewrite.files) {
        const QString name = QFileInfo(file.target).fileName();
        const QByteArray engine = readFile(QDir(m_engineFolder).filePath(name));
        ASSERT_FALSE(engine.isEmpty()) << name.toStdString();
        EXPECT_EQ(readFile(file.file->path()), engine) << name.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Engine, EngineTables, testing::ValuesIn(kCases),
    [](const testing::TestParamInfo<EngineCase>& param) { return std::string(param.param.name); });

} // namespace
