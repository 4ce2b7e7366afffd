// Keyed tables of our own making with text keys and secondary indexes: what a change of a key
// or an indexed field writes, checked by decoding the files by hand, and what is refused.

#include "data/paradox/code_page.h"
#include "tests/data/keys_pxlib.h"
#include "tests/data/keys_support.h"

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

// Long keys in small blocks need a tree of several levels; a search from its root still finds
// every record.
TEST(OwnKeyedTableLevels, DeepTreeFindsEveryRecord)
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

// Damaged index files and chains end in a message, never in a crash or a half-written folder.
TEST_F(OwnKeyedTable, DamagedFilesAreRefused)
{
    using Damage = std::function<void(QByteArray&)>;
    const auto truncate
        = [](qsizetype size) { return Damage([size](QByteArray& bytes) { bytes.truncate(size); }); };
    const auto set = [](qsizetype offset, char value) {
        return Damage([offset, value](QByteArray& bytes) { bytes[offset] = value; });
    };
    const std::vector<std::pair<const char*, Damage>> damages {
        { "PX", truncate(0) }, { "PX", truncate(0x40) }, { "PX", truncate(0x7FF) }, { "X02", truncate(0x57) },
        { "X02", truncate(0x100) }, { "X02", truncate(0x900) }, { "Y02", truncate(0x30) },
        { "X02", set(0x21, 100) }, // more fields than the header holds names for
        { "X02", set(0x00, 9) }, // record size
        { "X02", set(0x05, 0) }, // block size
        { "X02", set(0x0E, 60) }, // first block past the end
        { "X02", set(0x800, 1) }, // block 1 of the index links back to itself
        { "X02", set(0x08, 1) }, // more entries than the blocks hold
        { "DB", set(0x1001, 1) }, // a data block links back to block 1
        { "DB", set(0x0C, 90) }, // more blocks than the file has
        { "Y02", set(0x21, 0) }, // a tree without key fields
    };
    int number = 0;
    for (const auto& [extension, damage] : damages) {
        ++number;
        const QString file = path(QString::fromLatin1(extension));
        const QByteArray original = readFile(file);
        QByteArray damaged = original;
        damage(damaged);
        writeFile(file, damaged);
        const auto before = snapshot(m_dir.path());
        paradox::KeyedRewrite rewrite;
        const QString error = paradox::rewriteKeyedTable(path(u"DB"_s), 0, { { 1, u"changed"_s } }, &rewrite);
        EXPECT_FALSE(error.isEmpty()) << "damage " << number;
        EXPECT_TRUE(rewrite.files.empty());
        EXPECT_TRUE(snapshot(m_dir.path()) == before) << "damage " << number;
        writeFile(file, original);
    }
}

// An autoincrement key moved past the table's counter raises the counter: the engine must not
// later hand out a value that is taken.
TEST(OwnKeyedTableCounter, AutoincrementKeyRaisesTheCounter)
{
    QTemporaryDir dir;
    KeyedTableRecipe recipe;
    recipe.folder = dir.path();
    recipe.name = u"TICKETS"_s;
    recipe.fields = { { u"ID"_s, FieldType::Autoincrement, 4 }, { u"TITLE"_s, FieldType::Alpha, 10 } };
    for (int i = 1; i <= 50; ++i)
        recipe.rows.push_back({ std::int32_t { i }, u"t%1"_s.arg(i) });
    ASSERT_EQ(writeKeyedTable(recipe), QString());
    const QString db = QDir(dir.path()).filePath(u"TICKETS.DB"_s);
    ASSERT_EQ(buildIndexes(db), QString());
    const auto counter = [&] {
        const QByteArray header = readFile(db);
        return static_cast<unsigned char>(header[0x49]) | (static_cast<unsigned char>(header[0x4A]) << 8);
    };
    ASSERT_EQ(counter(), 50);

    paradox::KeyedRewrite raise;
    ASSERT_EQ(paradox::rewriteKeyedTable(db, 0, { { 2, std::int32_t { 500 } } }, &raise), QString());
    ASSERT_EQ(placeFiles(raise), QString());
    EXPECT_EQ(counter(), 500);
    // Below the counter: it stays.
    paradox::KeyedRewrite lower;
    ASSERT_EQ(paradox::rewriteKeyedTable(db, 0, { { 2, std::int32_t { 100 } } }, &lower), QString());
    ASSERT_EQ(placeFiles(lower), QString());
    EXPECT_EQ(counter(), 500);
    EXPECT_EQ(std::get<std::int32_t>(readRows(db).back()[0]), 500);
}

struct Refusal
{
    const char* name;
    std::function<void(KeyedTableRecipe&)> prepareRecipe; // before the files are written
    std::function<void(const QString& folder)> prepareFiles; // after, e.g. damage
    int field;
    std::vector<FieldChange> changes;
    const char* message; // a piece of the refusal
    bool isSeenByPlan; // headers tell; else only the records do
};

void PrintTo(const Refusal& refusal, std::ostream* os)
{
    *os << refusal.name;
}

void patchFile(const QString& path, int offset, char value)
{
    QByteArray bytes = readFile(path);
    bytes[offset] = value;
    writeFile(path, bytes);
}

void swapFirstEntries(const QString& path)
{
    QByteArray bytes = readFile(path);
    const int size = bytes[0] | (bytes[1] << 8);
    const QByteArray first = bytes.mid(0x806, size);
    bytes.replace(0x806, size, bytes.mid(0x806 + size, size));
    bytes.replace(0x806 + size, size, first);
    writeFile(path, bytes);
}

const auto kNoRecipe = [](KeyedTableRecipe&) {};
const auto kNoFiles = [](const QString&) {};
QString fileIn(const QString& folder, const char* name)
{
    return QDir(folder).filePath(QString::fromLatin1(name));
}

const std::vector<Refusal> kRefusals = {
    { "textKeyUnderAnotherSortOrder",
        [](KeyedTableRecipe& recipe) {
            recipe.sortOrderCode = 0x62;
            recipe.sortOrderName = "ANSIINTL";
        },
        kNoFiles, 0, { { 0, u"x"_s } }, "sort order \"ANSIINTL\" (code 0x62)", true },
    { "descendingIndex", kNoRecipe,
        [](const QString& folder) {
            KeyedTableRecipe recipe;
            recipe.folder = folder;
            recipe.name = u"CUSTOMER"_s;
            recipe.fields = kFields;
            writeEmptyIndex(recipe, { u"XG0"_s, { 2 }, "down", true });
        },
        2, { { 0, std::int32_t { 7 } } }, "descending", true },
    { "compositeIndexOverText", kNoRecipe,
        [](const QString& folder) {
            KeyedTableRecipe recipe;
            recipe.folder = folder;
            recipe.name = u"CUSTOMER"_s;
            recipe.fields = kFields;
            writeEmptyIndex(recipe, { u"XG1"_s, { 2 }, "by score" });
        },
        0, { { 0, u"x"_s } }, "holds the text field \"NAME\" and may ignore case", true },
    { "writeProtected", kNoRecipe,
        [](const QString& folder) { patchFile(fileIn(folder, "CUSTOMER.DB"), 0x38, 1); }, 0,
        { { 0, u"x"_s } }, "write-protected", true },
    { "rebuildRequired", kNoRecipe,
        [](const QString& folder) { patchFile(fileIn(folder, "CUSTOMER.DB"), 0x4F, 1); }, 1,
        { { 0, u"x"_s } }, "needing a rebuild", true },
    { "masterOfReferentialIntegrity", kNoRecipe,
        [](const QString& folder) { patchFile(fileIn(folder, "CUSTOMER.DB"), 0x55, 2); }, 0,
        { { 0, u"x"_s } }, "referential integrity", true },
    { "missingPrimaryIndex", kNoRecipe,
        [](const QString& folder) { QFile::remove(fileIn(folder, "CUSTOMER.PX")); }, 0, { { 0, u"x"_s } },
        "primary index (.PX) is missing", true },
    { "indexWithoutTree", kNoRecipe,
        [](const QString& folder) { QFile::remove(fileIn(folder, "CUSTOMER.Y02")); }, 1, { { 0, u"x"_s } },
        "no tree file", true },
    { "bcdKey",
        [](KeyedTableRecipe& recipe) {
            recipe.fields[0] = { u"NAME"_s, FieldType::Bcd, 2 };
        },
        kNoFiles, 0, {}, "cannot be checked", true },
    { "recordsOutOfOrder", [](KeyedTableRecipe& recipe) { std::swap(recipe.rows[10], recipe.rows[11]); },
        kNoFiles, 0, {}, "record 12 does not follow record 11", false },
    { "indexEntriesOutOfOrder", kNoRecipe,
        [](const QString& folder) { swapFirstEntries(fileIn(folder, "CUSTOMER.X02")); }, 1, { { 0, u"x"_s } },
        "entries of index CUSTOMER.X02 are not in the order", false },
    { "valueTooLong", kNoRecipe, kNoFiles, 0, { { 5, u"thirteen byte"_s } },
        "the field holds 12", false },
    { "recordOutOfRange", kNoRecipe, kNoFiles, 0, { { 400, u"x"_s } }, "there is no record 401", false },
};

class OwnKeyedTableRefusal : public testing::TestWithParam<Refusal>
{
};

TEST_P(OwnKeyedTableRefusal, NothingIsWritten)
{
    const Refusal& refusal = GetParam();
    QTemporaryDir dir;
    KeyedTableRecipe recipe;
    recipe.folder = dir.path();
    recipe.name = u"CUSTOMER"_s;
    recipe.fields = kFields;
    recipe.rows = customers(40);
    refusal.prepareRecipe(recipe);
    if (recipe.fields[0].type == FieldType::Bcd) {
        for (Row& row : recipe.rows)
            row[0] = paradox::Bcd { QString::number(&row - recipe.rows.data()) };
    }
    ASSERT_EQ(writeKeyedTable(recipe), QString());
    writeEmptyIndex(recipe, kCityIndex);
    buildIndexes(
        QDir(dir.path()).filePath(u"CUSTOMER.DB"_s)); // may itself be refused: then the files stay empty
    refusal.prepareFiles(dir.path());
    const QString db = QDir(dir.path()).filePath(u"CUSTOMER.DB"_s);
    const auto before = snapshot(dir.path());

    const paradox::RebuildPlan plan = paradox::planFieldChange(db, refusal.field);
    if (refusal.isSeenByPlan)
        EXPECT_TRUE(plan.refusal.contains(QLatin1StringView(refusal.message))) << plan.refusal.toStdString();
    else
        EXPECT_EQ(plan.refusal, QString());
    paradox::KeyedRewrite rewrite;
    const QString error = paradox::rewriteKeyedTable(db, refusal.field, refusal.changes, &rewrite);
    EXPECT_TRUE(error.contains(QLatin1StringView(refusal.message))) << error.toStdString();
    EXPECT_TRUE(rewrite.files.empty());
    EXPECT_EQ(snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Keys, OwnKeyedTableRefusal, testing::ValuesIn(kRefusals),
    [](const testing::TestParamInfo<Refusal>& param) { return std::string(param.param.name); });

} // namespace
