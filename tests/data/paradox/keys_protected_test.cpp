// A key change in a password-protected keyed table: the rebuilt .DB, .PX and secondary index
// stay scrambled with their own keys, pxlib finds every record through the new .PX, the health
// check reads every file through its key and finds the family whole, before and after, and
// the files in clear pass the tree check.

#include "data/paradox/check/table_check.h"
#include "data/paradox/format/encryption.h"
#include "data/paradox/patch/keyed_rewrite.h"
#include "tests/data/paradox/keys_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace keystest;
using paradox::FieldType;

namespace {

constexpr std::uint32_t kKey = 0x0A25E09A;

int u16At(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

bool hasExtendedPart(const QByteArray& bytes)
{
    const int type = bytes[4];
    return bytes[0x39] >= 5 && (type == 0 || type == 2 || type == 3 || type == 5 || type == 6 || type == 8);
}

std::uint32_t keyOf(const QByteArray& bytes)
{
    return qFromLittleEndian<quint32>(bytes.constData() + (hasExtendedPart(bytes) ? 0x5C : 0x25));
}

// Puts key where the file's kind keeps it and scrambles every block, or (key 0) unscrambles
// them with the key the file has and clears it.
void setKey(const QString& path, std::uint32_t key)
{
    QByteArray bytes = readFile(path);
    const std::uint32_t old = keyOf(bytes);
    const int blockSize = bytes[5] * 1024;
    for (int number = 1; number <= u16At(bytes, 0x0C); ++number) {
        auto* block
            = reinterpret_cast<unsigned char*>(bytes.data() + u16At(bytes, 2) + (number - 1) * blockSize);
        if (key != 0)
            paradox::crypt::encryptBlock(key, number, block, blockSize);
        else
            paradox::crypt::decryptBlock(old, number, block, blockSize);
    }
    if (hasExtendedPart(bytes))
        qToLittleEndian<quint32>(0xFF00FF00, bytes.data() + 0x25);
    qToLittleEndian<quint32>(key, bytes.data() + (hasExtendedPart(bytes) ? 0x5C : 0x25));
    writeFile(path, bytes);
}

TEST(ProtectedKeyedTable, KeyChangeKeepsEveryFileProtected)
{
    QTemporaryDir dir;
    KeyedTableRecipe recipe;
    recipe.folder = dir.path();
    recipe.name = u"PARTS"_s;
    recipe.fields = { { u"CODE"_s, FieldType::Long, 4 }, { u"NAME"_s, FieldType::Alpha, 20 },
        { u"QTY"_s, FieldType::Short, 2 } };
    for (int i = 1; i <= 600; ++i)
        recipe.rows.push_back({ std::int32_t { i * 10 }, u"item %1"_s.arg(i), std::int32_t { i % 7 } });
    ASSERT_EQ(writeKeyedTable(recipe), QString());
    writeEmptyIndex(recipe, { u"XG0"_s, { 2 }, "by quantity" });
    const QDir folder(dir.path());
    const QString db = folder.filePath(u"PARTS.DB"_s);
    const QString px = folder.filePath(u"PARTS.PX"_s);
    ASSERT_EQ(buildIndexes(db), QString());
    const QStringList files { u"PARTS.DB"_s, u"PARTS.PX"_s, u"PARTS.XG0"_s, u"PARTS.YG0"_s };
    for (const QString& file : files)
        setKey(folder.filePath(file), kKey);
    EXPECT_EQ(paradox::checkTable(db).summary(), u"ok"_s);

    std::vector<paradox::FieldChange> changes;
    for (std::int64_t i = 0; i < 600; i += 3)
        changes.push_back({ i, std::int32_t { 100000 - static_cast<std::int32_t>(i) } });
    paradox::KeyedRewrite rewrite;
    ASSERT_EQ(paradox::rewriteKeyedTable(db, 0, changes, &rewrite), QString());
    ASSERT_EQ(placeFiles(rewrite), QString());

    for (const QString& file : files)
        EXPECT_EQ(keyOf(readFile(folder.filePath(file))), kKey) << file.toStdString();
    EXPECT_EQ(paradox::checkTable(db).summary(), u"ok"_s);
    const IndexedRecords indexed = readThroughPrimaryIndex(db, px);
    EXPECT_EQ(indexed.error, QString());
    EXPECT_EQ(indexed.records.size(), 600u);

    for (const QString& file : files)
        setKey(folder.filePath(file), 0);
    EXPECT_TRUE(indexed.records == chainRecords(db));
    EXPECT_EQ(verifyTree(px, db), QString());
    EXPECT_EQ(verifyTree(folder.filePath(u"PARTS.YG0"_s), folder.filePath(u"PARTS.XG0"_s)), QString());
    EXPECT_TRUE(chainRecords(folder.filePath(u"PARTS.XG0"_s)) == expectedEntries(db, { { 24, 2 } }, 4));
}

} // namespace
