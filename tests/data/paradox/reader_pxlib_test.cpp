// Tables written by pxlib, an independent implementation, read back through our reader.

#include "tests/support/pxlib_writer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;
using paradox::Row;
using paradox::Value;

namespace {

std::vector<Row> readAll(const QString& path, QString* error)
{
    std::vector<Row> rows;
    auto reader = paradox::openTable(path, error);
    if (!reader)
        return rows;
    Row row;
    while (reader->readNext(row))
        rows.push_back(row);
    *error = reader->error();
    return rows;
}

std::string describe(const Row& row)
{
    std::string text;
    for (const Value& value : row)
        text += "[" + paradox::valueText(value).toStdString() + "]";
    return text;
}

TEST(ReaderAgainstPxlib, ReadsEveryTypePxlibWrites)
{
    QTemporaryDir dir;
    const std::vector<Field> fields = {
        { u"NAME"_s, FieldType::Alpha, 20 },
        { u"SMALL"_s, FieldType::Short, 2 },
        { u"COUNT"_s, FieldType::Long, 4 },
        { u"SERIAL"_s, FieldType::Autoincrement, 4 },
        { u"AMOUNT"_s, FieldType::Number, 8 },
        { u"PRICE"_s, FieldType::Money, 8 },
        { u"BORN"_s, FieldType::Date, 4 },
        { u"AT"_s, FieldType::Time, 4 },
        { u"STAMP"_s, FieldType::Timestamp, 8 },
        { u"DONE"_s, FieldType::Logical, 1 },
        { u"EXACT"_s, FieldType::Bcd, 2 },
        { u"RAW"_s, FieldType::Bytes, 4 },
        { u"NOTES"_s, FieldType::Memo, 15 },
        { u"IMAGE"_s, FieldType::Blob, 12 },
    };
    const QString longText = QString(5000, u'z') + u"end"_s;
    const QByteArray bigBlob(3000, '\x7F');
    const std::vector<Row> rows = {
        { u"Müller & Söhne"_s, std::int32_t { -2 }, std::int32_t { 2'000'000'000 }, std::int32_t { 1 }, 1.5,
            -2.25, paradox::Date { 738'033 }, paradox::TimeOfDay { 43'200'500 },
            paradox::Timestamp { 63'766'094'400'000.0 }, true, paradox::Bcd { u"12.34"_s },
            QByteArray("\x01\x02\x03\x04", 4), u"short"_s, QByteArray("\x00\x01", 2) },
        { u"€ sign"_s, std::int32_t { 32767 }, std::int32_t { -1 }, std::int32_t { 2 }, 0.0, 1e15,
            paradox::Date { 1 }, paradox::TimeOfDay { 0 }, paradox::Timestamp { 86'400'000.0 }, false,
            paradox::Bcd { u"-0.50"_s }, QByteArray("\x00\x00\x0A\x00", 4),
            u"a memo that is longer than its leader"_s, bigBlob },
        { u"x"_s, std::int32_t { 1 }, std::int32_t { 1 }, std::int32_t { 3 }, 0.1, 0.01,
            paradox::Date { 728'783 }, paradox::TimeOfDay { 86'399'999 },
            paradox::Timestamp { 62'135'683'200'000.0 }, true, paradox::Bcd { u"99999.99"_s },
            QByteArray("\xFF\xFF\xFF\xFF", 4), longText, paradox::Null {} },
        Row(fields.size(), paradox::Null {}),
    };
    const QString path = dir.filePath(u"every.db"_s);
    QString error;
    ASSERT_TRUE(testsupport::writeTableWithPxlib(path, fields, rows, 1252, &error)) << error.toStdString();

    const std::vector<Row> read = readAll(path, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(read.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(read[i], rows[i]) << "row " << i << "\n read " << describe(read[i]) << "\n want "
                                    << describe(rows[i]);

    auto reader = paradox::openTable(path, &error);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->info().fileVersion, 0x0C);
    EXPECT_EQ(reader->info().codePage, 1252);
    EXPECT_EQ(reader->info().recordCount, 4);
    ASSERT_EQ(reader->info().fields.size(), fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(reader->info().fields[i].name, fields[i].name);
        EXPECT_EQ(reader->info().fields[i].type, fields[i].type);
        EXPECT_EQ(reader->info().fields[i].size, fields[i].size);
    }
}

TEST(ReaderAgainstPxlib, DecodesEachCodePage)
{
    struct Case
    {
        int codePage;
        QString text;
    };
    const Case cases[] = {
        { 437, u"Müller ñ £"_s },
        { 850, u"Müller Café Ø"_s },
        { 852, u"Łódź Žižkov"_s },
        { 865, u"Bjørn Ærø"_s },
        { 866, u"Москва Ёж"_s },
        { 1250, u"Łódź Šťastný"_s },
        { 1251, u"Москва Її"_s },
        { 1252, u"Müller Café €"_s },
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        const std::vector<Field> fields
            = { { u"TEXT"_s, FieldType::Alpha, 30 }, { u"NOTE"_s, FieldType::Memo, 11 } };
        const std::vector<Row> rows = { { c.text, c.text + c.text } };
        const QString path = dir.filePath(u"cp%1.db"_s.arg(c.codePage));
        QString error;
        ASSERT_TRUE(testsupport::writeTableWithPxlib(path, fields, rows, c.codePage, &error))
            << error.toStdString();
        const std::vector<Row> read = readAll(path, &error);
        ASSERT_TRUE(error.isEmpty()) << c.codePage << ": " << error.toStdString();
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0], rows[0]) << c.codePage << ": " << describe(read[0]);
    }
}

TEST(ReaderAgainstPxlib, ReadsManyBlocksInOrder)
{
    QTemporaryDir dir;
    // Records of 140 bytes or more make pxlib choose 16 KB blocks.
    const std::vector<Field> fields
        = { { u"ID"_s, FieldType::Long, 4 }, { u"NAME"_s, FieldType::Alpha, 150 } };
    std::vector<Row> rows;
    for (int i = 0; i < 400; ++i)
        rows.push_back({ std::int32_t { i + 1 }, u"name %1"_s.arg(i + 1) });
    const QString path = dir.filePath(u"many.db"_s);
    QString error;
    ASSERT_TRUE(testsupport::writeTableWithPxlib(path, fields, rows, 1252, &error)) << error.toStdString();
    EXPECT_EQ(readAll(path, &error), rows);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(paradox::openTable(path, &error)->info().blockSizeKb, 16);
}

TEST(ReaderFiles, FindsTablesAndMemoFilesIgnoringCase)
{
    QTemporaryDir dir;
    const std::vector<Field> fields = { { u"NOTE"_s, FieldType::Memo, 11 } };
    const std::vector<Row> rows = { { u"a memo stored in the memo file"_s } };
    QString error;
    ASSERT_TRUE(testsupport::writeTableWithPxlib(dir.filePath(u"orders.db"_s), fields, rows, 1252, &error));
    ASSERT_TRUE(QFile::rename(dir.filePath(u"orders.db"_s), dir.filePath(u"Orders.DB"_s)));
    ASSERT_TRUE(QFile::rename(dir.filePath(u"orders.mb"_s), dir.filePath(u"ORDERS.MB"_s)));
    QFile(dir.filePath(u"ORDERS2.DB"_s)).open(QIODevice::WriteOnly);

    const QString path = paradox::findTableFile(dir.path(), u"ORDERS"_s);
    EXPECT_EQ(path, dir.filePath(u"Orders.DB"_s));
    EXPECT_EQ(paradox::findTableFile(dir.path(), u"orders.db"_s), path);
    EXPECT_TRUE(paradox::findTableFile(dir.path(), u"ORDER"_s).isEmpty());
    EXPECT_TRUE(paradox::findTableFile(dir.path(), u"../ORDERS"_s).isEmpty());
    EXPECT_EQ(readAll(path, &error), rows);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();

    ASSERT_TRUE(QFile::remove(dir.filePath(u"ORDERS.MB"_s)));
    EXPECT_FALSE(paradox::openTable(path, &error));
    EXPECT_EQ(
        error, u"Orders.DB: the table has memo or blob fields, but its memo file Orders.mb is missing"_s);

    EXPECT_FALSE(paradox::openTable(dir.filePath(u"NOSUCH.DB"_s), &error));
    EXPECT_TRUE(error.startsWith(u"NOSUCH.DB: cannot open the file"_s)) << error.toStdString();
}

} // namespace
