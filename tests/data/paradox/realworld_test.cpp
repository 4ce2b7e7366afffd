// Tables the Paradox engine itself wrote, read and patched. They live outside the
// repository (FW_REALWORLD_DIR names another folder); without them these tests skip.

#include "tests/data/paradox/patch_test_support.h"
#include "tests/support/pxlib_reader.h"

#include <QDirIterator>
#include <QtEndian>

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
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

// Every table reads to its last record, and a patch without changes copies it byte for byte.
TEST(RealWorldTables, EveryTableReadsAndCopiesByteForByte)
{
    SKIP_WITHOUT_REAL_WORLD_TABLES();
    const std::vector<QString> tables = realWorldTables();
    EXPECT_GE(tables.size(), 30u);
    for (const QString& original : tables) {
        QString error;
        auto reader = openTable(original, &error);
        ASSERT_TRUE(reader) << error.toStdString();
        Row row;
        std::int64_t count = 0;
        while (reader->readNext(row))
            ++count;
        EXPECT_TRUE(reader->error().isEmpty()) << reader->error().toStdString();
        EXPECT_EQ(count, reader->info().recordCount) << original.toStdString();

        QTemporaryDir dir;
        auto patch = openTablePatch(copyFamily(original, dir.path()), &error);
        ASSERT_TRUE(patch) << error.toStdString();
        ASSERT_TRUE(patch->write(&error)) << error.toStdString();
        EXPECT_TRUE(patch->temporaryMbPath().isEmpty());
        EXPECT_EQ(fileBytes(patch->temporaryDbPath()), fileBytes(original)) << original.toStdString();
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

// Unkeyed tables with an Alpha field (a 4.x one and a 5.x one) and a memo table: the .DB copy
// differs in the changed slot alone, the .MB copy in its counter and the old value's block or
// slot, and both readers find the new value.
TEST(RealWorldTables, ChangeTouchesOnlyItsOwnBytes)
{
    SKIP_WITHOUT_REAL_WORLD_TABLES();
    struct Case
    {
        const char* table;
        std::int64_t record;
        int field;
        QString text;
    };
    const QString memoText = QString(3000, u'é') + u" end"_s;
    for (const Case& c : { Case { "joins/destination.db", 0, 1, u"Zürich Öst"_s },
             Case { "joins/case.db", 0, 0, u"Zürich Öst"_s }, Case { "fields/memo.db", 1, 1, memoText } }) {
        QTemporaryDir dir;
        const QString original = realWorldFolder() + u'/' + QString::fromUtf8(c.table);
        const QString dbPath = copyFamily(original, dir.path());
        Table expected = readAll(dbPath);
        ASSERT_TRUE(expected.error.isEmpty()) << expected.error.toStdString();
        QString error;
        auto patch = openTablePatch(dbPath, &error);
        ASSERT_TRUE(patch) << error.toStdString();
        ASSERT_TRUE(patch->change(c.record, c.field, c.text, &error)) << error.toStdString();
        ASSERT_TRUE(patch->write(&error)) << error.toStdString();

        const QByteArray before = fileBytes(original);
        const std::vector<Field>& fields = patch->info().fields;
        const auto width = [&](int i) {
            const Field& field = fields[static_cast<std::size_t>(i)];
            return field.type == FieldType::Bcd ? 17 : field.size;
        };
        qsizetype slot = u16At(before, 0x02) + (u16At(before, 0x0E) - 1) * before[0x05] * 1024 + 6
            + c.record * u16At(before, 0x00);
        for (int i = 0; i < c.field; ++i)
            slot += width(i);
        const auto changed = differences(before, fileBytes(patch->temporaryDbPath()));
        ASSERT_FALSE(changed.empty()) << c.table;
        for (const auto& [first, last] : changed)
            EXPECT_TRUE(first >= slot && last < slot + width(c.field))
                << c.table << ": bytes " << first << ".." << last;
        const QString mbPath = patch->temporaryMbPath();
        if (!mbPath.isEmpty()) {
            const QByteArray mbBefore = fileBytes(dir.filePath(u"memo.mb"_s));
            const QByteArray mbAfter = fileBytes(mbPath);
            const auto changedMemo = differences(mbBefore, mbAfter.left(mbBefore.size()));
            ASSERT_FALSE(changedMemo.empty());
            EXPECT_TRUE(changedMemo.front().first >= 3 && changedMemo.front().second <= 4) << "the counter";
            EXPECT_EQ(u16At(mbAfter, 3), u16At(mbBefore, 3) + 1);
            EXPECT_LE(changedMemo.size(), 2u) << "the counter and the old value's block or slot";
        }

        placeCopy(*patch, dir.filePath(u"memo.mb"_s), dir.path(), u"NEW"_s);
        expected.rows.at(static_cast<std::size_t>(c.record)).at(static_cast<std::size_t>(c.field)) = c.text;
        EXPECT_EQ(readAll(dir.filePath(u"NEW.DB"_s)).rows, expected.rows) << c.table;
        const auto pxlib = testsupport::readWithPxlib(dir.filePath(u"NEW.DB"_s), dir.filePath(u"NEW.MB"_s));
        ASSERT_TRUE(pxlib.error.isEmpty()) << pxlib.error.toStdString();
        EXPECT_EQ(pxlib.rows.at(static_cast<std::size_t>(c.record)).at(static_cast<std::size_t>(c.field)),
            Value(c.text));
    }
}

} // namespace
