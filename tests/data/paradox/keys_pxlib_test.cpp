// A key change in a table with an autoincrement key, big enough for a two-level .PX, read back by
// pxlib through the new .PX: an independent reader that finds each record by walking the index,
// not the block chain.

#include "tests/data/paradox/keys_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace keystest;
using paradox::FieldType;

namespace {

int autoIncrement(const QString& dbPath)
{
    return qFromLittleEndian<qint32>(readFile(dbPath).constData() + 0x49);
}

// Version 7 and a sort order other than "ascii" (pxlib's defaults): a numeric key sorts by its
// bytes under any sort order. The named composite index over QTY must follow the moved records,
// and the table's counter the largest key, lest the engine hand out a value that is taken.
TEST(PxlibReadsTwoLevels, EveryRecordIsFoundAfterKeysMove)
{
    QTemporaryDir dir;
    KeyedTableRecipe recipe;
    recipe.folder = dir.path();
    recipe.name = u"PARTS"_s;
    recipe.fields = { { u"CODE"_s, FieldType::Autoincrement, 4 }, { u"NAME"_s, FieldType::Alpha, 20 },
        { u"QTY"_s, FieldType::Short, 2 } };
    recipe.sortOrderCode = 0x62;
    recipe.sortOrderName = "ANSIINTL";
    recipe.fileVersion = 0x0C;
    // 26-byte records, 39 a block: 231 blocks, 101 entries a .PX block.
    for (int i = 1; i <= 9000; ++i)
        recipe.rows.push_back({ std::int32_t { i * 10 }, u"item %1"_s.arg(i), std::int32_t { i % 7 } });
    ASSERT_EQ(writeKeyedTable(recipe), QString());
    writeEmptyIndex(recipe, { u"XG0"_s, { 2 }, "by quantity" });
    const QDir folder(dir.path());
    const QString db = folder.filePath(u"PARTS.DB"_s);
    const QString px = folder.filePath(u"PARTS.PX"_s);
    ASSERT_EQ(buildIndexes(db), QString());
    const QByteArray indexHeader = readFile(folder.filePath(u"PARTS.XG0"_s)).left(0x800);
    ASSERT_EQ(autoIncrement(db), 90000);

    // Every other record gets a key from the other end of the range, so records cross blocks.
    std::vector<paradox::FieldChange> changes;
    for (std::int64_t i = 0; i < 9000; i += 2)
        changes.push_back({ i, std::int32_t { 200000 - static_cast<std::int32_t>(i) } });
    paradox::KeyedRewrite rewrite;
    ASSERT_EQ(paradox::rewriteKeyedTable(db, 0, changes, &rewrite), QString());
    EXPECT_EQ(rewrite.scope, paradox::RebuildScope::KeyedLayout);
    ASSERT_EQ(placeFiles(rewrite), QString());
    EXPECT_EQ(autoIncrement(db), 200000);

    EXPECT_EQ(static_cast<unsigned char>(readFile(px)[0x20]), 2); // levels
    EXPECT_EQ(verifyTree(px, db), QString());
    const IndexedRecords indexed = readThroughPrimaryIndex(db, px);
    EXPECT_EQ(indexed.error, QString());
    const std::vector<QByteArray> chain = chainRecords(db);
    EXPECT_TRUE(indexed.records == chain);
    // The chain holds the new keys in numeric order (stored big-endian, top bit flipped).
    std::vector<std::int32_t> keys;
    for (const QByteArray& record : chain)
        keys.push_back(static_cast<std::int32_t>(qFromBigEndian<quint32>(record.constData()) ^ 0x80000000U));
    std::vector<std::int32_t> expected;
    for (std::int32_t i = 0; i < 9000; ++i)
        expected.push_back(i % 2 == 0 ? 200000 - i : (i + 1) * 10);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(keys, expected);

    // The index: QTY, CODE, block; sorted by QTY, then CODE. Its header (name, flags) stays.
    EXPECT_EQ(verifyTree(folder.filePath(u"PARTS.YG0"_s), folder.filePath(u"PARTS.XG0"_s)), QString());
    EXPECT_TRUE(chainRecords(folder.filePath(u"PARTS.XG0"_s)) == expectedEntries(db, { { 24, 2 } }, 4));
    EXPECT_EQ(
        withoutCounts(readFile(folder.filePath(u"PARTS.XG0"_s)).left(0x800)), withoutCounts(indexHeader));

    // A key below the counter leaves it as it is.
    paradox::KeyedRewrite lower;
    ASSERT_EQ(paradox::rewriteKeyedTable(db, 0, { { 0, std::int32_t { 5 } } }, &lower), QString());
    ASSERT_EQ(placeFiles(lower), QString());
    EXPECT_EQ(autoIncrement(db), 200000);
}

} // namespace
