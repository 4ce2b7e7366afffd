// Key changes in tables whose .DB and .PX pxlib wrote, read back through the new .PX by pxlib:
// an independent reader that finds each record by walking the index, not the block chain.

#include "tests/data/keys_pxlib.h"
#include "tests/data/keys_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace keystest;
using paradox::Field;
using paradox::FieldType;
using paradox::Row;

namespace {

const std::vector<Field> kFields {
    { u"CODE"_s, FieldType::Long, 4 },
    { u"NAME"_s, FieldType::Alpha, 20 },
    { u"QTY"_s, FieldType::Short, 2 },
};

std::vector<Row> orderedRows(int count)
{
    std::vector<Row> rows;
    for (int i = 1; i <= count; ++i)
        rows.push_back({ std::int32_t { i * 10 }, u"item %1"_s.arg(i), std::int32_t { i % 7 } });
    return rows;
}

std::vector<Row> readRows(const QString& dbPath, QString* error)
{
    std::vector<Row> rows;
    auto reader = paradox::openTable(dbPath, error);
    Row row;
    while (reader && reader->readNext(row))
        rows.push_back(row);
    if (reader)
        *error = reader->error();
    return rows;
}

class PxlibKeyedTable : public testing::Test
{
protected:
    void SetUp() override
    {
        m_db = QDir(m_dir.path()).filePath(u"stock.db"_s);
        m_px = QDir(m_dir.path()).filePath(u"stock.px"_s);
        m_rows = orderedRows(300);
        QString error;
        ASSERT_TRUE(writeKeyedTableWithPxlib(m_db, m_px, kFields, 1, m_rows, &error)) << error.toStdString();
        // pxlib's own files read through its own index: the oracle works on this table.
        const IndexedRecords before = readThroughPrimaryIndex(m_db, m_px);
        ASSERT_EQ(before.error, QString());
        ASSERT_EQ(before.records, chainRecords(m_db));
    }

    QTemporaryDir m_dir;
    QString m_db;
    QString m_px;
    std::vector<Row> m_rows;
};

TEST_F(PxlibKeyedTable, MovedRecordsAreFoundThroughTheNewIndex)
{
    // Every third record gets a key from the other end of the range, so records cross blocks.
    std::vector<paradox::FieldChange> changes;
    std::vector<Row> expected = m_rows;
    for (std::size_t i = 0; i < m_rows.size(); i += 3) {
        const std::int32_t key = 5 + 10 * static_cast<std::int32_t>(m_rows.size() - i);
        changes.push_back({ static_cast<std::int64_t>(i), key });
        expected[i][0] = key;
    }
    std::sort(expected.begin(), expected.end(), [](const Row& a, const Row& b) {
        return std::get<std::int32_t>(a[0]) < std::get<std::int32_t>(b[0]);
    });

    paradox::KeyedRewrite rewrite;
    ASSERT_EQ(paradox::rewriteKeyedTable(m_db, 0, changes, &rewrite), QString());
    EXPECT_EQ(rewrite.scope, paradox::RebuildScope::KeyedLayout);
    ASSERT_EQ(placeFiles(rewrite), QString());

    QString error;
    EXPECT_EQ(readRows(m_db, &error), expected);
    EXPECT_EQ(error, QString());
    const IndexedRecords indexed = readThroughPrimaryIndex(m_db, m_px);
    EXPECT_EQ(indexed.error, QString());
    EXPECT_EQ(indexed.records, chainRecords(m_db));
    EXPECT_EQ(verifyTree(m_px, m_db), QString());
}

TEST_F(PxlibKeyedTable, KeyCollisionIsRefusedAndTheFolderIsUntouched)
{
    const auto before = snapshot(m_dir.path());
    // Records 3 and 5 both become key 50 (record 5's own); 8 and 9 share 2005.
    const std::vector<paradox::FieldChange> changes {
        { 2, std::int32_t { 50 } },
        { 7, std::int32_t { 2005 } },
        { 8, std::int32_t { 2005 } },
    };
    paradox::KeyedRewrite rewrite;
    const QString error = paradox::rewriteKeyedTable(m_db, 0, changes, &rewrite);
    EXPECT_EQ(error,
        u"stock.db: after the change 2 records would have the key 50, and 4 records in all would share a key "
        u"with "
        "another. A key must be unique: nothing was written"_s);
    EXPECT_TRUE(rewrite.files.empty());
    EXPECT_EQ(snapshot(m_dir.path()), before);
}

// A named index over a number, beside pxlib's table: rebuilt with the records' new keys and
// blocks, and with its own header (name, flags) unchanged.
TEST_F(PxlibKeyedTable, NamedIndexFollowsTheMovedRecords)
{
    KeyedTableRecipe recipe;
    recipe.folder = m_dir.path();
    recipe.name = u"stock"_s;
    recipe.fields = kFields;
    recipe.sortOrderCode = 0x62; // pxlib's tables: version 7, "ANSIINTL", 2 KB blocks
    recipe.sortOrderName = "ANSIINTL";
    recipe.fileVersion = 0x0C;
    recipe.blockSizeKb = 2;
    writeEmptyIndex(recipe, { u"XG0"_s, { 2 }, "by quantity" });
    const QString x = QDir(m_dir.path()).filePath(u"stock.XG0"_s);
    const QString y = QDir(m_dir.path()).filePath(u"stock.YG0"_s);
    const QByteArray oldHeader = readFile(x).left(0x800);

    std::vector<paradox::FieldChange> changes;
    for (std::int64_t i = 0; i < 300; i += 5)
        changes.push_back({ i, std::int32_t { 100000 - static_cast<std::int32_t>(i) } });
    paradox::KeyedRewrite rewrite;
    ASSERT_EQ(paradox::rewriteKeyedTable(m_db, 0, changes, &rewrite), QString());
    ASSERT_EQ(placeFiles(rewrite), QString());

    EXPECT_EQ(verifyTree(y, x), QString());
    // Entries by hand: QTY, CODE, block; sorted by QTY, then CODE.
    std::vector<QByteArray> expected;
    for (const ChainRecord& record : chainRecordsWithBlocks(m_db)) {
        const int block = record.block ^ 0x8000;
        expected.push_back(record.bytes.mid(24, 2) + record.bytes.left(4) + static_cast<char>(block >> 8)
            + static_cast<char>(block & 0xFF));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(chainRecords(x) == expected);
    EXPECT_EQ(withoutCounts(readFile(x).left(0x800)), withoutCounts(oldHeader)); // its name is in there
}

TEST_F(PxlibKeyedTable, ChangingANonKeyFieldTouchesNoIndex)
{
    const paradox::RebuildPlan plan = paradox::planFieldChange(m_db, 1);
    EXPECT_EQ(plan.scope, paradox::RebuildScope::None);
    EXPECT_EQ(plan.refusal, QString());
    EXPECT_TRUE(plan.files.empty());
}

// A table of our own writer, big enough for a two-level .PX (the most pxlib reads).
TEST(PxlibReadsTwoLevels, EveryRecordIsFoundAfterKeysMove)
{
    QTemporaryDir dir;
    KeyedTableRecipe recipe;
    recipe.folder = dir.path();
    recipe.name = u"PARTS"_s;
    recipe.fields = kFields;
    recipe.rows = orderedRows(9000); // 26-byte records, 39 a block: 231 blocks, 101 entries a .PX block
    ASSERT_EQ(writeKeyedTable(recipe), QString());
    const QString db = QDir(dir.path()).filePath(u"PARTS.DB"_s);
    const QString px = QDir(dir.path()).filePath(u"PARTS.PX"_s);
    ASSERT_EQ(buildIndexes(db), QString());

    std::vector<paradox::FieldChange> changes;
    for (std::int64_t i = 0; i < 9000; i += 2)
        changes.push_back({ i, std::int32_t { 200000 - static_cast<std::int32_t>(i) } });
    paradox::KeyedRewrite rewrite;
    ASSERT_EQ(paradox::rewriteKeyedTable(db, 0, changes, &rewrite), QString());
    ASSERT_EQ(placeFiles(rewrite), QString());

    EXPECT_EQ(static_cast<unsigned char>(readFile(px)[0x20]), 2); // levels
    EXPECT_EQ(verifyTree(px, db), QString());
    const IndexedRecords indexed = readThroughPrimaryIndex(db, px);
    EXPECT_EQ(indexed.error, QString());
    const std::vector<QByteArray> chain = chainRecords(db);
    ASSERT_EQ(indexed.records.size(), chain.size());
    EXPECT_TRUE(indexed.records == chain);
    // The chain is in key order: keys are Long values, compared here as numbers.
    QString error;
    const std::vector<Row> rows = readRows(db, &error);
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::get<std::int32_t>(a[0]) < std::get<std::int32_t>(b[0]);
    }));
}

} // namespace
