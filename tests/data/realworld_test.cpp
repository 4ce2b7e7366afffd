// Tables the Paradox engine itself wrote, read and patched. They live outside the
// repository (FW_REALWORLD_DIR names another folder); without them these tests skip.

#include "tests/data/patch_test_support.h"
#include "tests/support/pxlib_reader.h"

#include <QDirIterator>

using namespace paradox;
using namespace patchtest;

namespace {

QString realWorldFolder()
{
    const QByteArray fromEnvironment = qgetenv("FW_REALWORLD_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral(FW_REALWORLD_DIR)
                                     : QString::fromLocal8Bit(fromEnvironment);
}

#define SKIP_WITHOUT_REAL_WORLD_TABLES()                                                                     \
    if (!QFileInfo(realWorldFolder()).isDir())                                                               \
    GTEST_SKIP() << "no tables of the engine in " << realWorldFolder().toStdString()

std::vector<QString> realWorldTables()
{
    std::vector<QString> tables;
    QDirIterator it(realWorldFolder(), { u"*.db"_s }, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        tables.push_back(it.next());
    std::sort(tables.begin(), tables.end());
    return tables;
}

// A writable copy of a table's whole family in folder; the path of its .db.
QString copyFamily(const QString& dbPath, const QString& folder)
{
    const QFileInfo db(dbPath);
    const QStringList family = db.dir().entryList({ db.completeBaseName() + u".*"_s }, QDir::Files);
    for (const QString& file : family) {
        QFile::copy(db.dir().filePath(file), QDir(folder).filePath(file));
        QFile(QDir(folder).filePath(file)).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    return QDir(folder).filePath(db.fileName());
}

int u16At(const QByteArray& bytes, qsizetype at)
{
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

TEST(RealWorldTables, EveryTableReads)
{
    SKIP_WITHOUT_REAL_WORLD_TABLES();
    const std::vector<QString> tables = realWorldTables();
    EXPECT_GE(tables.size(), 30u);
    for (const QString& path : tables) {
        QString error;
        auto reader = openTable(path, &error);
        ASSERT_TRUE(reader) << error.toStdString();
        Row row;
        std::int64_t count = 0;
        while (reader->readNext(row))
            ++count;
        EXPECT_TRUE(reader->error().isEmpty()) << reader->error().toStdString();
        EXPECT_EQ(count, reader->info().recordCount) << path.toStdString();
    }
}

TEST(RealWorldTables, BcdValuesAreTheDoublesTheEngineWasGiven)
{
    SKIP_WITHOUT_REAL_WORLD_TABLES();
    const Table table = readAll(realWorldFolder() + u"/fields/bcd.db"_s);
    ASSERT_TRUE(table.error.isEmpty()) << table.error.toStdString();
    const std::optional<double> expected[3][3]
        = { { 1.23, 1, 0.123 }, { -1.23, -1, -0.123 }, { 0, std::nullopt, 0.9999 } };
    ASSERT_EQ(table.rows.size(), 3u);
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t f = 0; f < 3; ++f) {
            const Value& value = table.rows[r][f];
            if (!expected[r][f]) {
                EXPECT_TRUE(isNull(value)) << r << "," << f;
                continue;
            }
            ASSERT_TRUE(std::holds_alternative<Bcd>(value)) << r << "," << f;
            EXPECT_EQ(valueText(value).toDouble(), *expected[r][f]) << valueText(value).toStdString();
        }
    }
}

TEST(RealWorldTables, PatchWithoutChangesIsAByteForByteCopy)
{
    SKIP_WITHOUT_REAL_WORLD_TABLES();
    for (const QString& original : realWorldTables()) {
        QTemporaryDir dir;
        const QString dbPath = copyFamily(original, dir.path());
        QString error;
        auto patch = openTablePatch(dbPath, &error);
        ASSERT_TRUE(patch) << error.toStdString();
        ASSERT_TRUE(patch->write(&error)) << error.toStdString();
        EXPECT_TRUE(patch->temporaryMbPath().isEmpty());
        EXPECT_EQ(fileBytes(patch->temporaryDbPath()), fileBytes(original)) << original.toStdString();
    }
}

TEST(RealWorldTables, TextChangeTouchesOnlyItsOwnBytes)
{
    SKIP_WITHOUT_REAL_WORLD_TABLES();
    struct Case
    {
        const char* table;
        int field;
        int fieldOffset; // in the record
        int width;
    };
    // Unkeyed tables with an Alpha field, a 4.x one and a 5.x one.
    for (const Case& c : { Case { "joins/destination.db", 1, 4, 50 }, Case { "joins/case.db", 0, 0, 10 } }) {
        QTemporaryDir dir;
        const QString original = realWorldFolder() + u'/' + QString::fromUtf8(c.table);
        const QString dbPath = copyFamily(original, dir.path());
        QString error;
        auto patch = openTablePatch(dbPath, &error);
        ASSERT_TRUE(patch) << error.toStdString();
        ASSERT_TRUE(patch->change(0, c.field, u"Zürich Öst"_s, &error)) << error.toStdString();
        ASSERT_TRUE(patch->write(&error)) << error.toStdString();

        const QByteArray before = fileBytes(original);
        const QByteArray after = fileBytes(patch->temporaryDbPath());
        const int firstBlock = u16At(before, 0x0E);
        const qsizetype slot = u16At(before, 0x02)
            + (firstBlock - 1) * static_cast<unsigned char>(before[0x05]) * 1024 + 6 + c.fieldOffset;
        const auto changed = differences(before, after);
        ASSERT_FALSE(changed.empty()) << c.table;
        for (const auto& [first, last] : changed)
            EXPECT_TRUE(first >= slot && last < slot + c.width)
                << c.table << ": bytes " << first << ".." << last;

        placeCopy(*patch, QString(), dir.path(), u"NEW"_s);
        const Table ours = readAll(dir.filePath(u"NEW.DB"_s));
        ASSERT_TRUE(ours.error.isEmpty()) << ours.error.toStdString();
        EXPECT_EQ(ours.rows.at(0).at(static_cast<std::size_t>(c.field)), Value(u"Zürich Öst"_s));
        const auto pxlib = testsupport::readWithPxlib(dir.filePath(u"NEW.DB"_s));
        ASSERT_TRUE(pxlib.error.isEmpty()) << pxlib.error.toStdString();
        EXPECT_EQ(pxlib.rows.at(0).at(static_cast<std::size_t>(c.field)), Value(u"Zürich Öst"_s));
    }
}

TEST(RealWorldTables, MemoChangeKeepsTheRestOfTheMemoFile)
{
    SKIP_WITHOUT_REAL_WORLD_TABLES();
    QTemporaryDir dir;
    const QString dbPath = copyFamily(realWorldFolder() + u"/fields/memo.db"_s, dir.path());
    const QString mbPath = dir.filePath(u"memo.mb"_s);
    const Table before = readAll(dbPath);
    ASSERT_EQ(before.rows.size(), 2u) << before.error.toStdString();
    QString error;
    auto patch = openTablePatch(dbPath, &error);
    ASSERT_TRUE(patch) << error.toStdString();
    const QString text = QString(3000, u'é') + u" end"_s;
    ASSERT_TRUE(patch->change(1, 1, text, &error)) << error.toStdString();
    ASSERT_TRUE(patch->write(&error)) << error.toStdString();

    const QByteArray mbBefore = fileBytes(mbPath);
    const QByteArray mbAfter = fileBytes(patch->temporaryMbPath());
    const auto changed = differences(mbBefore, mbAfter.left(mbBefore.size()));
    ASSERT_FALSE(changed.empty());
    EXPECT_TRUE(changed.front().first >= 3 && changed.front().second <= 4) << "the counter";
    EXPECT_EQ(u16At(mbAfter, 3), u16At(mbBefore, 3) + 1);
    EXPECT_LE(changed.size(), 2u) << "the counter and the old value's block or slot";

    placeCopy(*patch, mbPath, dir.path(), u"NEW"_s);
    Table after = readAll(dir.filePath(u"NEW.DB"_s));
    ASSERT_TRUE(after.error.isEmpty()) << after.error.toStdString();
    std::vector<Row> expected = before.rows;
    expected[1][1] = text;
    EXPECT_EQ(after.rows, expected);
    const auto pxlib = testsupport::readWithPxlib(dir.filePath(u"NEW.DB"_s), dir.filePath(u"NEW.MB"_s));
    ASSERT_TRUE(pxlib.error.isEmpty()) << pxlib.error.toStdString();
    EXPECT_EQ(pxlib.rows.at(1).at(1), Value(text));
}

} // namespace
