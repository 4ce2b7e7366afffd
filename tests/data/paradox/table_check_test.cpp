// The health check and the salvage reader on tables damaged on purpose, on the engine's own
// tables, and the block size that lets a new table reach the format's largest.

#include "data/paradox/check/table_check.h"
#include "data/paradox/patch/keyed_rewrite.h"
#include "data/paradox/read/table_salvage.h"
#include "data/paradox/write/new_table_layout.h"
#include "tests/data/paradox/keys_support.h"
#include "tests/fuzz/check_fuzz_input.h"
#include "tests/support/pxlib_reader.h"
#include "tests/support/pxlib_writer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace keystest;
using paradox::Field;
using paradox::FieldType;
using paradox::Row;
using paradox::TableCheck;

namespace {

std::string describe(const TableCheck& check)
{
    QStringList lines;
    for (const auto& problem : check.problems)
        lines << problem.text();
    return (check.table + u": "_s + lines.join(u" | "_s)).toStdString();
}

// Whether some problem names `file` and, in its place and text, the parts given.
bool hasProblem(const TableCheck& check, const QString& file, const QString& where, const QString& what)
{
    return std::any_of(check.problems.begin(), check.problems.end(), [&](const paradox::TableProblem& p) {
        return p.file.compare(file, Qt::CaseInsensitive) == 0 && p.where.contains(where)
            && p.what.contains(what);
    });
}

void put16(QByteArray& bytes, qsizetype at, int value)
{
    qToLittleEndian<quint16>(static_cast<quint16>(value), bytes.data() + at);
}

int u16(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

TEST(TableCheck, EveryEngineTableIsWhole)
{
    const QString folder = realworldDir();
    if (!QFileInfo(folder).isDir())
        GTEST_SKIP() << "no tables of the engine";
    int tables = 0;
    QDirIterator dirs(folder, QDir::Dirs | QDir::NoDotAndDotDot);
    while (dirs.hasNext()) {
        for (const TableCheck& check : paradox::checkFolder(dirs.next())) {
            ++tables;
            EXPECT_TRUE(check.isWhole()) << describe(check);
        }
    }
    EXPECT_GE(tables, 30);
}

// pxlib writes a primary index whose entries hold a block number and a count but no key: the
// engine cannot find a record through it, and the check says so rather than blaming the size.
TEST(TableCheck, APrimaryIndexWithoutKeysIsNamedForWhatItIs)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"T.db"_s);
    testsupport::PxlibTableOptions options;
    options.keyFields = 1;
    std::vector<Row> rows;
    for (int i = 0; i < 300; ++i)
        rows.push_back({ std::int32_t { i }, u"name %1"_s.arg(i) });
    QString error;
    ASSERT_TRUE(testsupport::writeTableWithPxlib(path,
        { { u"Id"_s, FieldType::Long, 4 }, { u"Name"_s, FieldType::Alpha, 20 } }, rows, 1252, &error,
        options))
        << error.toStdString();
    const TableCheck result = paradox::checkTable(path);
    EXPECT_FALSE(result.isWhole());
    EXPECT_TRUE(hasProblem(result, u"T.px"_s, u"header"_s, u"hold no key"_s)) << describe(result);
}

// Of the fixed-size types only a BCD value can contradict its field (by its decimals); the
// check decodes those, and passes over the others, whose bytes are always some value.
TEST(TableCheck, ABcdValueWithOtherDecimalsThanItsFieldIsNamed)
{
    QTemporaryDir dir;
    KeyedTableRecipe recipe;
    recipe.folder = dir.path();
    recipe.name = u"PRICES"_s;
    recipe.fields = { { u"ID"_s, FieldType::Long, 4 }, { u"AMOUNT"_s, FieldType::Bcd, 2 } };
    for (int i = 1; i <= 3; ++i)
        recipe.rows.push_back({ std::int32_t { i }, paradox::Bcd { u"12.50"_s } });
    ASSERT_EQ(writeKeyedTable(recipe), QString());
    const QString db = QDir(dir.path()).filePath(u"PRICES.DB"_s);
    ASSERT_EQ(buildIndexes(db), QString());
    ASSERT_TRUE(paradox::checkTable(db).isWhole()) << describe(paradox::checkTable(db));
    QByteArray bytes = readFile(db);
    const qsizetype amount = u16(bytes, 0x02) + 6 + 21 + 4; // record 2, after its ID
    bytes[amount] = static_cast<char>(bytes[amount] + 1); // one decimal more than the field's 2
    writeFile(db, bytes);
    const TableCheck result = paradox::checkTable(db);
    EXPECT_TRUE(hasProblem(result, u"PRICES.DB"_s, u"record 2 (block 1)"_s, u"AMOUNT"_s)) << describe(result);
}

// Inputs that once troubled the reader, checked as tables: the check ends on each.
TEST(TableCheck, EndsOnEveryFuzzRegression)
{
    QDirIterator files(QString::fromUtf8(FW_FUZZ_REGRESSIONS), QDir::Files);
    while (files.hasNext()) {
        const QByteArray input = readFile(files.next());
        (void)fuzzing::checkFuzzInput(
            reinterpret_cast<const std::uint8_t*>(input.constData()), static_cast<std::size_t>(input.size()));
    }
}

// A keyed table over several 1 KB blocks with a memo field and a secondary index, written by
// our own writer and indexed by our own rebuild.
class DamagedTable : public testing::Test
{
protected:
    void SetUp() override
    {
        KeyedTableRecipe recipe;
        recipe.folder = m_dir.path();
        recipe.name = u"CUSTOMER"_s;
        recipe.fields = { { u"ID"_s, FieldType::Long, 4 }, { u"CITY"_s, FieldType::Alpha, 10 },
            { u"NOTE"_s, FieldType::Memo, 11 } };
        for (int i = 1; i <= 300; ++i)
            recipe.rows.push_back({ std::int32_t { i }, u"City %1"_s.arg(i % 7),
                u"a note longer than its leader, %1"_s.arg(i) });
        ASSERT_EQ(writeKeyedTable(recipe), QString());
        writeEmptyIndex(recipe, { u"X02"_s, { 1 }, {} });
        ASSERT_EQ(buildIndexes(path(u"DB"_s)), QString());
    }

    QString path(const QString& extension) const
    {
        return QDir(m_dir.path()).filePath(u"CUSTOMER."_s + extension);
    }

    void patch(const QString& extension, const std::function<void(QByteArray&)>& change)
    {
        QByteArray bytes = readFile(path(extension));
        change(bytes);
        writeFile(path(extension), bytes);
    }

    TableCheck check() const { return paradox::checkTable(path(u"DB"_s)); }

    QTemporaryDir m_dir;
};

TEST_F(DamagedTable, IsWholeAsWritten)
{
    EXPECT_TRUE(check().isWhole()) << describe(check());
}

TEST_F(DamagedTable, TruncatedAtEveryBlockIsDamagedInThatBlock)
{
    const QByteArray whole = readFile(path(u"DB"_s));
    const int headerSize = u16(whole, 0x02);
    const int blocks = u16(whole, 0x0C);
    ASSERT_GT(blocks, 5);
    for (int block = 1; block <= blocks; ++block) {
        for (const int into : { 0, 3, 700 }) {
            writeFile(path(u"DB"_s), whole.left(headerSize + (block - 1) * 1024 + into));
            const TableCheck result = check();
            EXPECT_TRUE(hasProblem(result, u"CUSTOMER.DB"_s, QString(), u"ends inside block %1"_s.arg(block)))
                << describe(result);
            EXPECT_TRUE(hasProblem(result, u"CUSTOMER.DB"_s, u"block %1"_s.arg(block), u""_s))
                << describe(result);
        }
    }
}

struct PlantedFault
{
    const char* name;
    const char* extension;
    std::function<void(QByteArray&)> change;
    QString file;
    QString where;
    QString what;
};

TEST_F(DamagedTable, PlantedFaultsAreFoundWhereTheyAre)
{
    const std::vector<PlantedFault> faults {
        { "chainLoop", "DB",
            [](QByteArray& db) { put16(db, u16(db, 0x02) + 2 * 1024, 2); }, // block 3 links back to 2
            u"CUSTOMER.DB"_s, u"block 3"_s, u"loops"_s },
        { "freeListThroughAChainBlock", "DB", [](QByteArray& db) { put16(db, 0x4D, 2); }, u"CUSTOMER.DB"_s,
            u"header"_s, u"names block 2 as free"_s },
        { "memoPointerOutOfRange", "DB",
            [](QByteArray& db) {
                // Record 5's memo: the pointer after the 1-byte leader, at offset 4 + 10 + 1.
                qToLittleEndian<quint32>(0x7fff0000u, db.data() + u16(db, 0x02) + 6 + 4 * 25 + 15);
            },
            u"CUSTOMER.MB"_s, u"record 5 (block 1)"_s, u"NOTE"_s },
        { "indexEntryAtTheWrongBlock", "PX",
            [](QByteArray& px) {
                // The second entry of the lowest level: key 4 bytes, then its block number.
                const qsizetype child = u16(px, 0x02) + 6 + 10 + 4;
                px[child + 1] = static_cast<char>(px[child + 1] + 1);
            },
            u"CUSTOMER.PX"_s, u"entry 2 (block 1)"_s, u"points at block 3"_s },
        { "secondaryEntryOutOfOrder", "X02", [](QByteArray& x) { x[u16(x, 0x02) + 6] = 'Z'; },
            u"CUSTOMER.X02"_s, u"entry 2 (block 1)"_s, u"is not above"_s },
        { "secondaryEntryAtAnotherBlock", "X02",
            [](QByteArray& x) { x[u16(x, 0x02) + 6 + 15] = static_cast<char>(x[u16(x, 0x02) + 6 + 15] + 1); },
            u"CUSTOMER.X02"_s, QString(), u"entries differ"_s },
        { "recordOutOfKeyOrder", "DB", [](QByteArray& db) { db[u16(db, 0x02) + 6 + 25 * 2 + 3] = 0x7f; },
            u"CUSTOMER.DB"_s, u"record 4 (block 1)"_s, u"key"_s },
    };
    const QString folder = m_dir.path();
    std::map<QString, QByteArray> pristine = snapshot(folder);
    for (const PlantedFault& fault : faults) {
        for (const auto& [name, bytes] : pristine)
            writeFile(QDir(folder).filePath(name), bytes);
        patch(QString::fromUtf8(fault.extension), fault.change);
        const TableCheck result = check();
        EXPECT_TRUE(hasProblem(result, fault.file, fault.where, fault.what))
            << fault.name << ": " << describe(result);
    }
}

TEST_F(DamagedTable, MissingFilesAreNamed)
{
    QFile::remove(path(u"MB"_s));
    EXPECT_TRUE(hasProblem(check(), u"CUSTOMER.MB"_s, QString(), u"missing"_s)) << describe(check());
    QFile::remove(path(u"DB"_s));
    const std::vector<TableCheck> folder = paradox::checkFolder(m_dir.path());
    ASSERT_EQ(folder.size(), 3u); // .PX, .X02, .Y02 without their table
    for (const TableCheck& orphan : folder)
        EXPECT_TRUE(hasProblem(orphan, orphan.table, QString(), u"CUSTOMER, whose .db file is missing"_s));
}

// A table whose last block the file cuts off, and a table without its memo file: every record
// that is there whole comes back, and the cut is named.
TEST(SalvageReader, ReadsEveryWholeRecordAndNamesTheCut)
{
    QTemporaryDir dir;
    paradox::NewTable table;
    table.folder = dir.path();
    table.name = u"CUT"_s;
    table.fields = { { u"N"_s, FieldType::Long, 0 }, { u"A"_s, FieldType::Alpha, 10 },
        { u"M"_s, FieldType::Memo, 11 } };
    table.blockSizeKb = 1;
    QString error;
    auto writer = paradox::createTable(table, &error);
    ASSERT_TRUE(writer) << error.toStdString();
    const int count = 100; // 40 records of 25 bytes per block: the last block, 3, holds 20
    for (int i = 1; i <= count; ++i)
        ASSERT_TRUE(
            writer->append({ std::int32_t { i }, u"a%1"_s.arg(i), u"memo number %1"_s.arg(i) }, &error));
    ASSERT_TRUE(writer->commit(QString(), &error)) << error.toStdString();
    const QString dbPath = dir.filePath(u"CUT.DB"_s);
    const QByteArray whole = readFile(dbPath);

    struct Cut
    {
        qsizetype bytesShort;
        int recordsRead;
        bool withMemoFile;
    };
    // 500 short: the cut falls past the last record of block 3 (as in the engine's corpus
    // table); 600 short: 16 of its 20 records are whole.
    for (const Cut cut : { Cut { 500, count, true }, Cut { 600, 96, true }, Cut { 0, count, false } }) {
        writeFile(dbPath, whole.left(whole.size() - cut.bytesShort));
        if (!cut.withMemoFile)
            QFile::remove(dir.filePath(u"CUT.MB"_s));
        auto reader = paradox::openTableForSalvage(dbPath, &error);
        ASSERT_TRUE(reader) << error.toStdString();
        Row row;
        std::vector<bool> isMissing;
        int read = 0;
        while (reader->readNext(row, isMissing)) {
            ++read;
            ASSERT_EQ(row[0], paradox::Value(std::int32_t { read }));
            EXPECT_EQ(row[1], paradox::Value(u"a%1"_s.arg(read)));
            EXPECT_EQ(isMissing[2], !cut.withMemoFile);
            if (cut.withMemoFile) {
                EXPECT_EQ(row[2], paradox::Value(u"memo number %1"_s.arg(read)));
            }
        }
        EXPECT_EQ(read, cut.recordsRead);
        const auto problems = reader->takeProblems();
        ASSERT_FALSE(problems.empty());
        const paradox::TableProblem& first = problems.front();
        EXPECT_EQ(cut.withMemoFile ? first.where : first.file, cut.withMemoFile ? u"block 3"_s : u"CUT.mb"_s)
            << first.text().toStdString();
    }
}

// The benchmark's table at 8,000,000 records needs 32 KB blocks; a table asking for no block
// size gets them, and pxlib reads it.
TEST(NewTableBlockSize, GrowsToTheFormatsLargestTable)
{
    const std::vector<Field> fields { { u"Id"_s, FieldType::Long, 4 }, { u"Name"_s, FieldType::Alpha, 30 },
        { u"Remark"_s, FieldType::Alpha, 115 } }; // 149 bytes, as the benchmark's record
    EXPECT_EQ(paradox::writer::chooseBlockSizeKb(fields, 100), 1);
    EXPECT_EQ(paradox::writer::chooseBlockSizeKb(fields, 1'000'000), 4);
    EXPECT_EQ(paradox::writer::chooseBlockSizeKb(fields, 1'800'000), 16);
    EXPECT_EQ(paradox::writer::chooseBlockSizeKb(fields, 8'000'000), 32);

    QTemporaryDir dir;
    paradox::NewTable table;
    table.folder = dir.path();
    table.name = u"BIG"_s;
    table.fields = fields;
    table.blockSizeKb = 0;
    QString error;
    auto writer = paradox::createTable(table, &error);
    ASSERT_TRUE(writer) << error.toStdString();
    for (int i = 1; i <= 500; ++i)
        ASSERT_TRUE(writer->append({ std::int32_t { i }, u"name %1"_s.arg(i), u"remark"_s }, &error));
    ASSERT_TRUE(writer->commit(QString(), &error)) << error.toStdString();
    const QByteArray db = readFile(dir.filePath(u"BIG.DB"_s));
    EXPECT_EQ(db[0x05], 32);
    EXPECT_EQ(db[0x39], 0x0C);
    const auto read = testsupport::readWithPxlib(dir.filePath(u"BIG.DB"_s));
    EXPECT_EQ(read.error, QString());
    ASSERT_EQ(read.rows.size(), 500u);
    EXPECT_EQ(read.rows[499][1], paradox::Value(u"name 500"_s));
}

// An index over two text fields refuses a change of either: the refusal names the field the
// change is for, not the index's first field.
TEST(IndexRefusal, NamesTheFieldThatChanges)
{
    QTemporaryDir dir;
    KeyedTableRecipe recipe;
    recipe.folder = dir.path();
    recipe.name = u"T"_s;
    recipe.fields = { { u"ID"_s, FieldType::Long, 4 }, { u"FIRST"_s, FieldType::Alpha, 10 },
        { u"LAST"_s, FieldType::Alpha, 10 } };
    recipe.rows = { { std::int32_t { 1 }, u"Ann"_s, u"Lee"_s } };
    ASSERT_EQ(writeKeyedTable(recipe), QString());
    writeEmptyIndex(recipe, { u"XG0"_s, { 1, 2 }, "names" });
    const QString db = QDir(dir.path()).filePath(u"T.DB"_s);
    EXPECT_TRUE(paradox::planFieldChange(db, 1).refusal.contains(u"\"FIRST\""_s));
    const QString refusal = paradox::planFieldChange(db, 2).refusal;
    EXPECT_TRUE(refusal.contains(u"\"LAST\""_s)) << refusal.toStdString();
}

} // namespace
