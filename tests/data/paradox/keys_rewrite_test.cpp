// Keyed tables of our own making with text keys and secondary indexes: what a change of a key
// or an indexed field writes, checked by decoding the files by hand, and what is refused.

#include "data/paradox/format/code_page.h"
#include "tests/data/paradox/keys_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace keystest;
using paradox::Field;
using paradox::FieldChange;
using paradox::FieldType;
using paradox::RebuildScope;
using paradox::Row;

namespace {

// NAME is the key; CITY and SCORE have single-field indexes. (A composite index over a text
// key may ignore case: that is refused, see kRefusals.)
const std::vector<Field> kFields {
    { u"NAME"_s, FieldType::Alpha, 12 },
    { u"CITY"_s, FieldType::Alpha, 10 },
    { u"SCORE"_s, FieldType::Long, 4 },
    { u"NOTE"_s, FieldType::Alpha, 30 },
};
const IndexRecipe kCityIndex { u"X02"_s, { 1 }, {} };
const IndexRecipe kScoreIndex { u"X03"_s, { 2 }, {} };

QByteArray latin1(const QString& text)
{
    return paradox::encodeText(text, 1252).value_or(QByteArray());
}

// Byte order of the code-page text: what the "ascii" sort order means for a key.
void sortByName(std::vector<Row>& rows)
{
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return latin1(std::get<QString>(a[0])) < latin1(std::get<QString>(b[0]));
    });
}

std::vector<Row> customers(int count)
{
    const QStringList stems { u"Adams"_s, u"adams"_s, u"Baker"_s, u"baker"_s, u"Zulu"_s, u"\u00c4rger"_s };
    const QStringList cities { u"Oslo"_s, u"oslo"_s, u"Bergen"_s, u"Troms\u00f8"_s };
    std::vector<Row> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({ u"%1 %2"_s.arg(stems[i % stems.size()]).arg(i), cities[(i * 7) % cities.size()],
            std::int32_t { (i * 37) % 101 - 50 }, u"note %1"_s.arg(i) });
    sortByName(rows);
    return rows;
}

std::vector<Row> readRows(const QString& dbPath)
{
    std::vector<Row> rows;
    QString error;
    auto reader = paradox::openTable(dbPath, &error);
    Row row;
    while (reader && reader->readNext(row))
        rows.push_back(row);
    return rows;
}

class OwnKeyedTable : public testing::Test
{
protected:
    void SetUp() override
    {
        m_recipe.folder = m_dir.path();
        m_recipe.name = u"CUSTOMER"_s;
        m_recipe.fields = kFields;
        m_recipe.rows = customers(400);
        ASSERT_EQ(writeKeyedTable(m_recipe), QString());
        writeEmptyIndex(m_recipe, kCityIndex);
        writeEmptyIndex(m_recipe, kScoreIndex);
        ASSERT_EQ(buildIndexes(path(u"DB"_s)), QString());
    }

    QString path(const QString& extension) const
    {
        return QDir(m_dir.path()).filePath(u"CUSTOMER."_s + extension);
    }

    void expectIndexesConsistent()
    {
        EXPECT_EQ(verifyTree(path(u"PX"_s), path(u"DB"_s)), QString());
        EXPECT_EQ(verifyTree(path(u"Y02"_s), path(u"X02"_s)), QString());
        EXPECT_EQ(verifyTree(path(u"Y03"_s), path(u"X03"_s)), QString());
        EXPECT_TRUE(chainRecords(path(u"X02"_s)) == expectedEntries(path(u"DB"_s), { { 12, 10 } }, 12));
        EXPECT_TRUE(chainRecords(path(u"X03"_s)) == expectedEntries(path(u"DB"_s), { { 22, 4 } }, 12));
    }

    QTemporaryDir m_dir;
    KeyedTableRecipe m_recipe;
};

TEST_F(OwnKeyedTable, KeyChangeLaysRecordsOutInByteOrder)
{
    const QByteArray oldHeader = readFile(path(u"DB"_s)).left(0x800);
    std::vector<FieldChange> changes;
    std::vector<Row> expected = m_recipe.rows;
    for (std::size_t i = 0; i < expected.size(); i += 9) {
        // Upper case sorts before lower case, and a letter past 'z' in the code page after both.
        const QString name = std::get<QString>(expected[i][0]);
        const QString changed = i % 2 == 0 ? name.toUpper() : u"\u00e5"_s + name;
        changes.push_back({ static_cast<std::int64_t>(i), changed });
        expected[i][0] = changed;
    }
    sortByName(expected);

    paradox::KeyedRewrite rewrite;
    ASSERT_EQ(paradox::rewriteKeyedTable(path(u"DB"_s), 0, changes, &rewrite), QString());
    ASSERT_EQ(rewrite.files.size(), 6U); // .DB, .PX and both indexes
    ASSERT_EQ(placeFiles(rewrite), QString());

    EXPECT_TRUE(readRows(path(u"DB"_s)) == expected);
    expectIndexesConsistent();
    const IndexedRecords indexed = readThroughPrimaryIndex(path(u"DB"_s), path(u"PX"_s));
    EXPECT_EQ(indexed.error, QString());
    EXPECT_TRUE(indexed.records == chainRecords(path(u"DB"_s)));
    // The header keeps every byte but the block counts.
    EXPECT_EQ(withoutCounts(readFile(path(u"DB"_s)).left(0x800)), withoutCounts(oldHeader));
}

TEST_F(OwnKeyedTable, IndexedFieldChangeKeepsRecordsInPlace)
{
    const QByteArray oldDb = readFile(path(u"DB"_s));
    const QByteArray oldPx = readFile(path(u"PX"_s));
    const QByteArray oldScore = readFile(path(u"X03"_s));
    const paradox::RebuildPlan plan = paradox::planFieldChange(path(u"DB"_s), 1);
    EXPECT_EQ(plan.scope, RebuildScope::SecondaryIndexes);
    EXPECT_EQ(plan.files, (std::vector<QString> { path(u"DB"_s), path(u"X02"_s), path(u"Y02"_s) }));
    // NOTE is in no index: its change touches none.
    const paradox::RebuildPlan unindexed = paradox::planFieldChange(path(u"DB"_s), 3);
    EXPECT_EQ(unindexed.scope, RebuildScope::None);
    EXPECT_TRUE(unindexed.files.empty() && unindexed.refusal.isEmpty());

    paradox::KeyedRewrite rewrite;
    ASSERT_EQ(
        paradox::rewriteKeyedTable(path(u"DB"_s), 1, { { 3, u"Aalborg"_s }, { 250, u"zz"_s } }, &rewrite),
        QString());
    ASSERT_EQ(placeFiles(rewrite), QString());

    std::vector<Row> expected = m_recipe.rows;
    expected[3][1] = u"Aalborg"_s;
    expected[250][1] = u"zz"_s;
    EXPECT_TRUE(readRows(path(u"DB"_s)) == expected);
    // Only the two values differ: same blocks, same places, same header.
    const QByteArray newDb = readFile(path(u"DB"_s));
    ASSERT_EQ(newDb.size(), oldDb.size());
    int differing = 0;
    for (qsizetype i = 0; i < newDb.size(); ++i)
        differing += newDb[i] != oldDb[i] ? 1 : 0;
    EXPECT_GT(differing, 0);
    EXPECT_LE(differing, 20);
    EXPECT_EQ(readFile(path(u"PX"_s)), oldPx);
    EXPECT_EQ(readFile(path(u"X03"_s)), oldScore);
    expectIndexesConsistent();
}

// Long keys in small blocks need a tree of several levels, each keeping its keys in order and
// naming the right children.
TEST(OwnKeyedTableLevels, DeepTreeLeadsToEveryBlock)
{
    QTemporaryDir dir;
    KeyedTableRecipe recipe;
    recipe.folder = dir.path();
    recipe.name = u"DEEP"_s;
    recipe.fields = { { u"CODE"_s, FieldType::Alpha, 100 }, { u"FILL"_s, FieldType::Alpha, 150 } };
    for (int i = 0; i < 3000; ++i)
        recipe.rows.push_back({ u"code %1"_s.arg(i, 5, 10, QChar(u'0')), u"x"_s });
    ASSERT_EQ(writeKeyedTable(recipe), QString());
    const QString db = QDir(dir.path()).filePath(u"DEEP.DB"_s);
    const QString px = QDir(dir.path()).filePath(u"DEEP.PX"_s);
    std::vector<FieldChange> changes;
    for (std::int64_t i = 0; i < 3000; i += 4)
        changes.push_back({ i, u"moved %1"_s.arg(3000 - i) });
    paradox::KeyedRewrite rewrite;
    ASSERT_EQ(paradox::rewriteKeyedTable(db, 0, changes, &rewrite), QString());
    ASSERT_EQ(placeFiles(rewrite), QString());
    // 4 records a block, 9 entries a tree block: 750 blocks need four levels.
    EXPECT_EQ(static_cast<unsigned char>(readFile(px)[0x20]), 4);
    EXPECT_EQ(verifyTree(px, db), QString());
    EXPECT_EQ(readRows(db).size(), 3000U);
}

// What a change would need refused, and damaged files and chains: a message, never a crash or
// a half-written folder.
struct Refusal
{
    const char* name;
    std::function<void(const QString& folder)> prepare; // changes the table's files
    int field;
    std::vector<FieldChange> changes;
    const char* message; // a piece of the refusal; empty for damage, where any message will do
    bool isSeenByPlan = true; // headers tell; else only the records do
};

using Prepare = std::function<void(const QString& folder)>;

QString fileIn(const QString& folder, const char* extension)
{
    return QDir(folder).filePath(u"CUSTOMER."_s + QLatin1StringView(extension));
}

Prepare truncated(const char* extension, qsizetype size)
{
    return [=](const QString& folder) {
        writeFile(fileIn(folder, extension), readFile(fileIn(folder, extension)).left(size));
    };
}

Prepare patched(const char* extension, qsizetype offset, char value)
{
    return [=](const QString& folder) {
        QByteArray bytes = readFile(fileIn(folder, extension));
        bytes[offset] = value;
        writeFile(fileIn(folder, extension), bytes);
    };
}

Prepare removed(const char* extension)
{
    return [=](const QString& folder) { QFile::remove(fileIn(folder, extension)); };
}

// An index the others were built without, so that only the check of the change meets it.
Prepare added(const IndexRecipe& index)
{
    return [=](const QString& folder) {
        KeyedTableRecipe recipe;
        recipe.folder = folder;
        recipe.name = u"CUSTOMER"_s;
        recipe.fields = kFields;
        writeEmptyIndex(recipe, index);
    };
}

// The first two records (or index entries) trade places.
Prepare swapped(const char* extension)
{
    return [=](const QString& folder) {
        QByteArray bytes = readFile(fileIn(folder, extension));
        const int size = bytes[0] | (bytes[1] << 8);
        const QByteArray first = bytes.mid(0x806, size);
        bytes.replace(0x806, size, bytes.mid(0x806 + size, size));
        bytes.replace(0x806 + size, size, first);
        writeFile(fileIn(folder, extension), bytes);
    };
}

const FieldChange kAnyName { 1, u"changed"_s };

const std::vector<Refusal> kRefusals = {
    { "descendingIndex", added({ u"XG0"_s, { 2 }, "down", true }), 2, { { 0, std::int32_t { 7 } } },
        "descending" },
    { "compositeIndexOverText", added({ u"XG1"_s, { 2 }, "by score" }), 0, { kAnyName },
        "holds the text field \"NAME\" and may ignore case" },
    { "writeProtected", patched("DB", 0x38, 1), 0, { kAnyName }, "write-protected" },
    { "rebuildRequired", patched("DB", 0x4F, 1), 1, { kAnyName }, "needing a rebuild" },
    { "masterOfReferentialIntegrity", patched("DB", 0x55, 2), 0, { kAnyName }, "referential integrity" },
    { "missingPrimaryIndex", removed("PX"), 0, { kAnyName }, "primary index (.PX) is missing" },
    { "indexWithoutTree", removed("Y02"), 1, { kAnyName }, "no tree file" },
    { "recordsOutOfOrder", swapped("DB"), 0, { kAnyName }, "record 2 does not follow record 1", false },
    { "indexEntriesOutOfOrder", swapped("X02"), 1, { kAnyName },
        "entries of index CUSTOMER.X02 are not in the order", false },
    // "zy" is the first key two records would share; two more share "zz".
    { "duplicateKeys", {}, 0, { { 0, u"zz"_s }, { 2, u"zz"_s }, { 5, u"zy"_s }, { 7, u"zy"_s } },
        "after the change 2 records would have the key \"zy\", and 4 records in all would share a key with "
        "another. A key must be unique: nothing was written",
        false },
    { "valueTooLong", {}, 0, { { 5, u"thirteen byte"_s } }, "the field holds 12", false },
    { "recordOutOfRange", {}, 0, { { 400, u"x"_s } }, "there is no record 401", false },
    { "primaryIndexInItsFixedPart", truncated("PX", 0x40), 0, { kAnyName }, "" },
    { "primaryIndexInItsHeader", truncated("PX", 0x7FF), 0, { kAnyName }, "" },
    { "indexInItsFieldNames", truncated("X02", 0x100), 0, { kAnyName }, "" },
    { "indexInItsFirstBlock", truncated("X02", 0x900), 0, { kAnyName }, "" },
    { "treeInItsHeader", truncated("Y02", 0x30), 0, { kAnyName }, "" },
    { "indexWithMoreFieldsThanNames", patched("X02", 0x21, 100), 0, { kAnyName }, "" },
    { "indexRecordSize", patched("X02", 0x00, 9), 0, { kAnyName }, "" },
    { "indexBlockSize", patched("X02", 0x05, 0), 0, { kAnyName }, "" },
    { "indexFirstBlockPastTheEnd", patched("X02", 0x0E, 60), 0, { kAnyName }, "" },
    { "indexBlockLinksToItself", patched("X02", 0x800, 1), 0, { kAnyName }, "" },
    { "indexCountsMoreEntriesThanItHolds", patched("X02", 0x08, 1), 0, { kAnyName }, "" },
    { "dataBlockLinksBackToTheFirst", patched("DB", 0x1000, 1), 0, { kAnyName }, "" },
    { "moreBlocksThanTheFileHas", patched("DB", 0x0C, 90), 0, { kAnyName }, "" },
    { "treeWithoutKeyFields", patched("Y02", 0x21, 0), 0, { kAnyName }, "" },
};

void expectRefused(const QString& folder, const Refusal& refusal)
{
    const QString db = fileIn(folder, "DB");
    const auto before = snapshot(folder);
    const QLatin1StringView message(refusal.message);
    const paradox::RebuildPlan plan = paradox::planFieldChange(db, refusal.field);
    // Damage may show in the headers or only in the records: the plan may or may not see it.
    if (!message.isEmpty()) {
        EXPECT_TRUE(refusal.isSeenByPlan ? plan.refusal.contains(message) : plan.refusal.isEmpty())
            << refusal.name << ": " << plan.refusal.toStdString();
    }
    paradox::KeyedRewrite rewrite;
    const QString error = paradox::rewriteKeyedTable(db, refusal.field, refusal.changes, &rewrite);
    EXPECT_FALSE(error.isEmpty()) << refusal.name;
    EXPECT_TRUE(error.contains(message)) << refusal.name << ": " << error.toStdString();
    EXPECT_TRUE(rewrite.files.empty()) << refusal.name;
    EXPECT_TRUE(snapshot(folder) == before) << refusal.name;
}

TEST_F(OwnKeyedTable, RefusalsLeaveTheFolderAsItWas)
{
    const auto pristine = snapshot(m_dir.path());
    for (const Refusal& refusal : kRefusals) {
        if (refusal.prepare)
            refusal.prepare(m_dir.path());
        expectRefused(m_dir.path(), refusal);
        for (const auto& [name, bytes] : snapshot(m_dir.path()))
            QFile::remove(QDir(m_dir.path()).filePath(name));
        for (const auto& [name, bytes] : pristine)
            writeFile(QDir(m_dir.path()).filePath(name), bytes);
    }
}

// Keys whose order the engine may give differently: text under another sort order, BCD.
TEST(OwnKeyedTableKinds, KeysOfUncheckedOrderAreRefused)
{
    const std::vector<std::pair<Refusal, std::function<void(KeyedTableRecipe&)>>> kinds {
        { { "textKeyUnderAnotherSortOrder", {}, 0, { { 0, u"x"_s } }, "sort order \"ANSIINTL\" (code 0x62)" },
            [](KeyedTableRecipe& recipe) {
                recipe.sortOrderCode = 0x62;
                recipe.sortOrderName = "ANSIINTL";
            } },
        { { "bcdKey", {}, 0, {}, "cannot be checked" },
            [](KeyedTableRecipe& recipe) {
                recipe.fields[0] = { u"NAME"_s, FieldType::Bcd, 2 };
                for (std::size_t i = 0; i < recipe.rows.size(); ++i)
                    recipe.rows[i][0] = paradox::Bcd { QString::number(i) };
            } },
    };
    for (const auto& [refusal, prepare] : kinds) {
        QTemporaryDir dir;
        KeyedTableRecipe recipe;
        recipe.folder = dir.path();
        recipe.name = u"CUSTOMER"_s;
        recipe.fields = kFields;
        recipe.rows = customers(40);
        prepare(recipe);
        ASSERT_EQ(writeKeyedTable(recipe), QString());
        expectRefused(dir.path(), refusal);
    }
}

} // namespace
