// What the writer stores: value encodings byte by byte, header facts, and whole tables read
// back through pxlib, an independent reader.

#include "tests/data/paradox/writer_test_support.h"
#include "tests/support/pxlib_reader.h"

#include <QFile>
#include <cmath>
#include <limits>

using namespace paradox;
using namespace writertest;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int headerU16(const QByteArray& bytes, int offset)
{
    return static_cast<unsigned char>(bytes[offset]) | static_cast<unsigned char>(bytes[offset + 1]) << 8;
}

std::uint32_t headerU32(const QByteArray& bytes, int offset)
{
    return static_cast<std::uint32_t>(headerU16(bytes, offset))
        | static_cast<std::uint32_t>(headerU16(bytes, offset + 2)) << 16;
}

// --- single values, compared with encodings worked out by hand --------------------------

struct EncodingCase
{
    const char* name;
    Field field;
    Value value;
    const char* hex; // the bytes of the field in the record
};

void PrintTo(const EncodingCase& c, std::ostream* os)
{
    *os << c.name;
}

class WriterEncoding : public testing::TestWithParam<EncodingCase>
{
};

TEST_P(WriterEncoding, StoresTheExpectedBytes)
{
    const EncodingCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_EQ(writeTable(newTable(dir.path(), u"ONE"_s, { c.field }), { { c.value } }), QString());
    const QByteArray db = fileBytes(dir.filePath(u"ONE.DB"_s));
    const int headerSize = headerU16(db, 0x02);
    const int recordSize = headerU16(db, 0x00);
    ASSERT_GE(db.size(), headerSize + 6 + recordSize);
    EXPECT_EQ(db.mid(headerSize + 6, recordSize).toHex(' '), QByteArray(c.hex));
}

const Field kShort { u"N"_s, FieldType::Short, 0 };
const Field kLong { u"N"_s, FieldType::Long, 0 };
const Field kNumber { u"N"_s, FieldType::Number, 0 };

INSTANTIATE_TEST_SUITE_P(Values, WriterEncoding,
    testing::Values(EncodingCase { "shortOne", kShort, std::int32_t { 1 }, "80 01" },
        EncodingCase { "short256", kShort, std::int32_t { 256 }, "81 00" },
        EncodingCase { "shortMinusOne", kShort, std::int32_t { -1 }, "7f ff" },
        EncodingCase { "shortNull", kShort, Null {}, "00 00" },
        EncodingCase { "longMinusOne", kLong, std::int32_t { -1 }, "7f ff ff ff" },
        EncodingCase { "longOne", kLong, std::int32_t { 1 }, "80 00 00 01" },
        EncodingCase { "numberOneAndAHalf", kNumber, 1.5, "bf f8 00 00 00 00 00 00" },
        EncodingCase { "numberMinusOneAndAHalf", kNumber, -1.5, "40 07 ff ff ff ff ff ff" },
        EncodingCase { "numberZeroIsNotBlank", kNumber, 0.0, "80 00 00 00 00 00 00 00" },
        EncodingCase { "money", Field { u"M"_s, FieldType::Money, 0 }, -2.25, "3f fd ff ff ff ff ff ff" },
        EncodingCase { "date", Field { u"D"_s, FieldType::Date, 0 }, Date { 738033 }, "80 0b 42 f1" },
        EncodingCase {
            "timeNoon", Field { u"T"_s, FieldType::Time, 0 }, TimeOfDay { 43'200'000 }, "82 93 2e 00" },
        EncodingCase {
            "midnightIsNotBlank", Field { u"T"_s, FieldType::Time, 0 }, TimeOfDay { 0 }, "80 00 00 00" },
        EncodingCase { "timestamp", Field { u"S"_s, FieldType::Timestamp, 0 },
            Timestamp { 63'766'094'400'000.0 }, "c2 cc ff 59 b3 e5 00 00" },
        EncodingCase { "logicalTrue", Field { u"L"_s, FieldType::Logical, 0 }, true, "81" },
        EncodingCase { "logicalFalse", Field { u"L"_s, FieldType::Logical, 0 }, false, "80" },
        EncodingCase { "autoincrement", Field { u"A"_s, FieldType::Autoincrement, 0 }, std::int32_t { 1 },
            "80 00 00 01" },
        EncodingCase { "bcdPositive", Field { u"B"_s, FieldType::Bcd, 2 }, Bcd { u"12.34"_s },
            "c2 00 00 00 00 00 00 00 00 00 00 00 00 00 00 12 34" },
        EncodingCase { "bcdNegative", Field { u"B"_s, FieldType::Bcd, 2 }, Bcd { u"-12.34"_s },
            "42 ff ff ff ff ff ff ff ff ff ff ff ff ff ff ed cb" },
        EncodingCase { "bcdHalfWithoutLeadingZero", Field { u"B"_s, FieldType::Bcd, 2 }, Bcd { u".5"_s },
            "c2 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 50" },
        EncodingCase { "bcdTrailingZerosBeyondDecimals", Field { u"B"_s, FieldType::Bcd, 0 },
            Bcd { u"7.000"_s }, "c0 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 07" },
        EncodingCase { "alphaPadded", Field { u"A"_s, FieldType::Alpha, 10 }, u"Hello"_s,
            "48 65 6c 6c 6f 00 00 00 00 00" },
        EncodingCase { "alphaFullHasNoTerminator", Field { u"A"_s, FieldType::Alpha, 6 }, u"M\u00fcller"_s,
            "4d fc 6c 6c 65 72" },
        EncodingCase {
            "bytesPadded", Field { u"Y"_s, FieldType::Bytes, 4 }, QByteArray("\x00\x01", 2), "00 01 00 00" },
        EncodingCase { "memoInLeader", Field { u"M"_s, FieldType::Memo, 14 }, u"abc"_s,
            "61 62 63 00 00 00 00 00 03 00 00 00 00 00" },
        EncodingCase { "memoEmptyIsBlank", Field { u"M"_s, FieldType::Memo, 14 }, u""_s,
            "00 00 00 00 00 00 00 00 00 00 00 00 00 00" }),
    [](const testing::TestParamInfo<EncodingCase>& param) { return std::string(param.param.name); });

// --- values the writer must refuse ----------------------------------------------------------

struct RefusalCase
{
    const char* name;
    Field field;
    Value value;
    const char* errorPart; // a piece of the expected message
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class WriterRefusal : public testing::TestWithParam<RefusalCase>
{
};

// A refused value leaves no record behind, and the writer goes on accepting good rows.
TEST_P(WriterRefusal, RejectsTheValueAndKeepsTheRest)
{
    const RefusalCase& c = GetParam();
    QTemporaryDir dir;
    QString error;
    auto writer
        = createTable(newTable(dir.path(), u"BAD"_s, { { u"ID"_s, FieldType::Long, 0 }, c.field }), &error);
    ASSERT_TRUE(writer) << error.toStdString();
    ASSERT_TRUE(writer->append({ std::int32_t { 1 }, Null {} }, &error)) << error.toStdString();
    EXPECT_FALSE(writer->append({ std::int32_t { 2 }, c.value }, &error));
    EXPECT_TRUE(error.contains(QString::fromUtf8(c.errorPart))) << error.toStdString();
    EXPECT_TRUE(error.contains(u"record 2"_s)) << error.toStdString();
    ASSERT_TRUE(writer->append({ std::int32_t { 3 }, Null {} }, &error)) << error.toStdString();
    ASSERT_TRUE(writer->commit(QString(), &error)) << error.toStdString();

    const auto table = testsupport::readWithPxlib(dir.filePath(u"BAD.DB"_s), dir.filePath(u"BAD.MB"_s));
    ASSERT_EQ(table.error, QString());
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[1][0], Value(std::int32_t { 3 }));
}

INSTANTIATE_TEST_SUITE_P(Values, WriterRefusal,
    testing::Values(
        RefusalCase { "alphaTooLong", Field { u"A"_s, FieldType::Alpha, 6 }, u"M\u00fcllers"_s, "7 bytes" },
        RefusalCase {
            "alphaNotInCodePage", Field { u"A"_s, FieldType::Alpha, 20 }, u"\u041f\u0440\u0438"_s, "U+041f" },
        RefusalCase {
            "alphaWithNul", Field { u"A"_s, FieldType::Alpha, 20 }, QString::fromUtf16(u"a\0b", 3), "NUL" },
        RefusalCase {
            "memoNotInCodePage", Field { u"M"_s, FieldType::Memo, 11 }, u"price \u20ac \u0416"_s, "U+0416" },
        RefusalCase { "shortOutOfRange", kShort, std::int32_t { 40000 }, "40000" },
        RefusalCase { "shortLowestIsBlank", kShort, std::int32_t { -32768 }, "-32768" },
        RefusalCase { "longLowestIsBlank", kLong, std::numeric_limits<std::int32_t>::min(), "-2147483648" },
        RefusalCase { "numberNotFinite", kNumber, std::nan(""), "finite" },
        RefusalCase { "timePastMidnight", Field { u"T"_s, FieldType::Time, 0 }, TimeOfDay { 86'400'000 },
            "time of day" },
        RefusalCase { "textInLong", kLong, u"12"_s, "Long" },
        RefusalCase {
            "bcdTooManyDecimals", Field { u"B"_s, FieldType::Bcd, 2 }, Bcd { u"1.234"_s }, "decimals" },
        RefusalCase {
            "bcdNotANumber", Field { u"B"_s, FieldType::Bcd, 2 }, Bcd { u"1e5"_s }, "decimal number" },
        RefusalCase { "bcdTooManyDigits", Field { u"B"_s, FieldType::Bcd, 30 }, Bcd { u"123"_s }, "digits" },
        RefusalCase { "bytesTooLong", Field { u"Y"_s, FieldType::Bytes, 2 }, QByteArray("abc"), "3 bytes" }),
    [](const testing::TestParamInfo<RefusalCase>& param) { return std::string(param.param.name); });

TEST(Writer, RejectsARowWithTheWrongNumberOfValues)
{
    QTemporaryDir dir;
    QString error;
    auto writer = createTable(newTable(dir.path(), u"T"_s, { { u"A"_s, FieldType::Alpha, 5 } }), &error);
    ASSERT_TRUE(writer);
    EXPECT_FALSE(writer->append({ u"a"_s, u"b"_s }, &error));
    EXPECT_TRUE(error.contains(u"2 values"_s)) << error.toStdString();
}

struct BadTableCase
{
    const char* name;
    std::vector<Field> fields;
    int codePage;
    int fileVersion;
    int blockSizeKb;
    const char* errorPart;
};

void PrintTo(const BadTableCase& c, std::ostream* os)
{
    *os << c.name;
}

class WriterBadTable : public testing::TestWithParam<BadTableCase>
{
};

TEST_P(WriterBadTable, IsRefusedWithoutLeavingFiles)
{
    const BadTableCase& c = GetParam();
    QTemporaryDir dir;
    NewTable table = newTable(dir.path(), u"T"_s, c.fields);
    table.codePage = c.codePage;
    table.fileVersion = c.fileVersion;
    table.blockSizeKb = c.blockSizeKb;
    QString error;
    EXPECT_FALSE(createTable(table, &error));
    EXPECT_TRUE(error.contains(QString::fromUtf8(c.errorPart))) << error.toStdString();
    EXPECT_EQ(filesIn(dir.path()), QStringList());
}

const std::vector<Field> kOneAlpha { { u"A"_s, FieldType::Alpha, 10 } };

INSTANTIATE_TEST_SUITE_P(Tables, WriterBadTable,
    testing::Values(BadTableCase { "noFields", {}, 1252, 0x0B, 4, "1 to 255 fields" },
        BadTableCase {
            "alphaOfSizeZero", { { u"A"_s, FieldType::Alpha, 0 } }, 1252, 0x0B, 4, "1 to 255 bytes" },
        BadTableCase { "memoWithoutLeader", { { u"M"_s, FieldType::Memo, 10 } }, 1252, 0x0B, 4, "11 to 250" },
        BadTableCase {
            "longOfWrongWidth", { { u"L"_s, FieldType::Long, 8 } }, 1252, 0x0B, 4, "4 bytes wide" },
        BadTableCase { "sameNameTwice", { { u"A"_s, FieldType::Alpha, 1 }, { u"a"_s, FieldType::Short, 0 } },
            1252, 0x0B, 4, "two fields" },
        BadTableCase { "unknownCodePage", kOneAlpha, 12345, 0x0B, 4, "code page 12345" },
        BadTableCase { "fieldNameNotInCodePage", { { u"\u0416"_s, FieldType::Alpha, 1 } }, 1252, 0x0B, 4,
            "code page 1252" },
        BadTableCase { "version3", kOneAlpha, 1252, 3, 4, "file version 3" },
        BadTableCase { "largeBlockBefore7", kOneAlpha, 1252, 0x0B, 16, "16 KB" },
        BadTableCase { "recordLargerThanBlock",
            { { u"A"_s, FieldType::Alpha, 255 }, { u"B"_s, FieldType::Alpha, 255 },
                { u"C"_s, FieldType::Alpha, 255 }, { u"D"_s, FieldType::Alpha, 255 },
                { u"E"_s, FieldType::Alpha, 255 } },
            1252, 0x0B, 1, "does not fit" }),
    [](const testing::TestParamInfo<BadTableCase>& param) { return std::string(param.param.name); });

// --- whole tables through pxlib ---------------------------------------------------------------

const std::vector<Field> kEveryType {
    { u"Name"_s, FieldType::Alpha, 12 },
    { u"Small"_s, FieldType::Short, 0 },
    { u"Count"_s, FieldType::Long, 0 },
    { u"Price"_s, FieldType::Number, 0 },
    { u"Cost"_s, FieldType::Money, 0 },
    { u"Born"_s, FieldType::Date, 0 },
    { u"At"_s, FieldType::Time, 0 },
    { u"Stamp"_s, FieldType::Timestamp, 0 },
    { u"Done"_s, FieldType::Logical, 0 },
    { u"Serial"_s, FieldType::Autoincrement, 0 },
    { u"Exact"_s, FieldType::Bcd, 2 },
    { u"Raw"_s, FieldType::Bytes, 3 },
    { u"Notes"_s, FieldType::Memo, 15 },
    { u"Picture"_s, FieldType::Blob, 10 },
};

TEST(Writer, EveryFieldTypeReadsBackThroughPxlib)
{
    QTemporaryDir dir;
    const std::vector<Row> rows {
        { u"M\u00fcller"_s, std::int32_t { 32767 }, std::int32_t { 2147483647 }, 100.5, 12.25,
            Date { 728783 }, TimeOfDay { 1000 }, Timestamp { 62'135'683'200'000.0 }, true, std::int32_t { 7 },
            Bcd { u"12.34"_s }, QByteArray("\x01\x02\x03"), u"short"_s, QByteArray(3000, 'x') },
        { Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {},
            Null {}, Null {}, Null {} },
        { u"x"_s, std::int32_t { -32767 }, std::int32_t { -2147483647 }, -0.5, 0.0, Date { 1 },
            TimeOfDay { 0 }, Timestamp { 86'400'000.0 }, false, std::int32_t { 9 }, Bcd { u"-0.05"_s },
            QByteArray("\x00\x07\x08", 3), u"longer than the leader of fifteen"_s,
            QByteArray("\x00\x01\x02", 3) },
    };
    ASSERT_EQ(writeTable(newTable(dir.path(), u"ALL"_s, kEveryType), rows), QString());

    const auto table = testsupport::readWithPxlib(dir.filePath(u"ALL.DB"_s), dir.filePath(u"ALL.MB"_s));
    ASSERT_EQ(table.error, QString());
    ASSERT_EQ(table.fields.size(), kEveryType.size());
    for (std::size_t i = 0; i < kEveryType.size(); ++i) {
        EXPECT_EQ(table.fields[i].name, kEveryType[i].name);
        EXPECT_EQ(table.fields[i].type, kEveryType[i].type);
    }
    ASSERT_EQ(table.rows.size(), rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t f = 0; f < kEveryType.size(); ++f) {
            if (kEveryType[f].type == FieldType::Bcd)
                continue; // pxlib spells BCD values its own way, see below
            EXPECT_EQ(table.rows[r][f], rows[r][f]) << "row " << r << ", field " << f;
        }
    }
    EXPECT_EQ(std::get<Bcd>(table.rows[0][10]).decimal.toDouble(), 12.34);
    EXPECT_EQ(std::get<Bcd>(table.rows[2][10]).decimal.toDouble(), -0.05);
    EXPECT_TRUE(isNull(table.rows[1][10]));
}

std::vector<Row> readWithOurReader(const QString& dbPath, TableInfo* info = nullptr)
{
    QString error;
    auto reader = openTable(dbPath, &error);
    EXPECT_TRUE(reader) << error.toStdString();
    std::vector<Row> rows;
    if (!reader)
        return rows;
    Row row;
    while (reader->readNext(row))
        rows.push_back(row);
    EXPECT_EQ(reader->error(), QString());
    if (info)
        *info = reader->info();
    return rows;
}

// What the rest of the program relies on: a table read back is the table written,
// header facts included.
TEST(Writer, EveryFieldTypeRoundTripsThroughOurReader)
{
    QTemporaryDir dir;
    NewTable table = newTable(dir.path(), u"ALL"_s, kEveryType);
    table.codePage = 437;
    table.sortOrderCode = 0xB7;
    table.sortOrderName = "intl";
    table.blockSizeKb = 2;
    table.autoIncrementNext = 12;
    const std::vector<Row> rows {
        { u"\u00e7a \u2554"_s, std::int32_t { -2 }, std::int32_t { 65536 }, 1e300, -0.01, Date { 738033 },
            TimeOfDay { 86'399'999 }, Timestamp { 63'766'094'400'123.0 }, false, std::int32_t { 12 },
            Bcd { u"-12.30"_s }, QByteArray("abc"), QString(5000, QChar(u'\u00e9')),
            QByteArray(100, '\xff') },
        { Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {},
            Null {}, Null {}, Null {} },
    };
    ASSERT_EQ(writeTable(table, rows), QString());
    TableInfo info;
    EXPECT_EQ(readWithOurReader(dir.filePath(u"ALL.DB"_s), &info), rows);
    EXPECT_EQ(info.fileVersion, 0x0B);
    EXPECT_EQ(info.codePage, 437);
    EXPECT_EQ(info.sortOrderCode, 0xB7);
    EXPECT_EQ(info.sortOrderName, QByteArray("intl"));
    EXPECT_EQ(info.blockSizeKb, 2);
    EXPECT_EQ(info.autoIncrementNext, 12);
    EXPECT_EQ(info.recordCount, 2);
    EXPECT_FALSE(info.isKeyed);
    ASSERT_EQ(info.fields.size(), kEveryType.size());
    EXPECT_EQ(info.fields[0].size, 12);
    EXPECT_EQ(info.fields[2].size, 4);
    EXPECT_EQ(info.fields[10].size, 2);
}

TEST(Writer, HeaderKeepsCodePageSortOrderAndAutoincrement)
{
    QTemporaryDir dir;
    NewTable table = newTable(dir.path(), u"H"_s, { { u"Id"_s, FieldType::Autoincrement, 0 } });
    table.codePage = 850;
    table.sortOrderCode = 0x54;
    table.sortOrderName = "intl850";
    table.autoIncrementNext = 41;
    ASSERT_EQ(writeTable(table, { { std::int32_t { 5 } }, { std::int32_t { 3 } } }), QString());
    const QByteArray header = fileBytes(dir.filePath(u"H.DB"_s));
    EXPECT_EQ(header[0x39], 0x0B);
    EXPECT_EQ(headerU16(header, 0x58), 0x010B);
    EXPECT_EQ(headerU16(header, 0x6A), 850);
    EXPECT_EQ(static_cast<unsigned char>(header[0x29]), 0x54);
    EXPECT_TRUE(header.contains(QByteArray("intl850\0", 8)));
    EXPECT_EQ(headerU32(header, 0x49), 41u);
    EXPECT_EQ(headerU32(header, 0x25), 0xFF00FF00u);

    const auto read = testsupport::readWithPxlib(dir.filePath(u"H.DB"_s));
    ASSERT_EQ(read.error, QString());
    EXPECT_EQ(read.fileVersion, 50);
    EXPECT_EQ(read.codePage, 850);
    EXPECT_EQ(read.autoIncrement, 41);
}

// An autoincrement counter below the values present would make the engine hand out duplicates.
TEST(Writer, AutoincrementCounterCoversTheValuesWritten)
{
    QTemporaryDir dir;
    NewTable table = newTable(dir.path(), u"H"_s, { { u"Id"_s, FieldType::Autoincrement, 0 } });
    table.autoIncrementNext = 2;
    ASSERT_EQ(writeTable(table, { { std::int32_t { 50 } }, { std::int32_t { 7 } } }), QString());
    EXPECT_EQ(headerU32(fileBytes(dir.filePath(u"H.DB"_s)), 0x49), 50u);
}

TEST(Writer, FileVersionRisesToTheLevelOfTheFieldTypes)
{
    QTemporaryDir dir;
    NewTable plain = newTable(dir.path(), u"OLD"_s, kOneAlpha);
    plain.fileVersion = 0x09;
    ASSERT_EQ(writeTable(plain, {}), QString());
    EXPECT_EQ(fileBytes(dir.filePath(u"OLD.DB"_s))[0x39], 0x09);

    NewTable withLong = newTable(dir.path(), u"NEW"_s, { { u"L"_s, FieldType::Long, 0 } });
    withLong.fileVersion = 0x09;
    ASSERT_EQ(writeTable(withLong, {}), QString());
    EXPECT_EQ(fileBytes(dir.filePath(u"NEW.DB"_s))[0x39], 0x0B);
    // pxlib's reading of the version byte, as a second opinion on which byte means which level.
    EXPECT_EQ(testsupport::readWithPxlib(dir.filePath(u"OLD.DB"_s)).fileVersion, 40);
    EXPECT_EQ(testsupport::readWithPxlib(dir.filePath(u"NEW.DB"_s)).fileVersion, 50);
}

struct CodePageCase
{
    const char* name;
    int codePage;
    QString text;
};

void PrintTo(const CodePageCase& c, std::ostream* os)
{
    *os << c.name;
}

class WriterCodePage : public testing::TestWithParam<CodePageCase>
{
};

TEST_P(WriterCodePage, TextReadsBackThroughPxlib)
{
    const CodePageCase& c = GetParam();
    QTemporaryDir dir;
    NewTable table = newTable(
        dir.path(), u"CP"_s, { { u"A"_s, FieldType::Alpha, 40 }, { u"M"_s, FieldType::Memo, 11 } });
    table.codePage = c.codePage;
    ASSERT_EQ(writeTable(table, { { c.text, c.text } }), QString());
    const auto read = testsupport::readWithPxlib(dir.filePath(u"CP.DB"_s), dir.filePath(u"CP.MB"_s));
    ASSERT_EQ(read.error, QString());
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0][0], Value(c.text));
    EXPECT_EQ(read.rows[0][1], Value(c.text));
}

INSTANTIATE_TEST_SUITE_P(CodePages, WriterCodePage,
    testing::Values(CodePageCase { "windowsWestern", 1252, u"caf\u00e9 \u20ac5 \u00c6\u00d8"_s },
        CodePageCase { "dosLatin1", 850, u"M\u00fcller \u00c6\u00d8\u00c5 \u00bd"_s },
        CodePageCase { "dosUs", 437, u"\u2554\u2550\u2557 \u00e7a"_s },
        CodePageCase { "dosCyrillic", 866, u"\u041f\u0440\u0438\u0432\u0435\u0442"_s },
        CodePageCase { "windowsCyrillic", 1251, u"\u0416\u0443\u043a"_s },
        CodePageCase { "windowsCentral", 1250, u"\u0141\u00f3d\u017a"_s }),
    [](const testing::TestParamInfo<CodePageCase>& param) { return std::string(param.param.name); });

TEST(Writer, EmptyTableReadsBackWithNoRecords)
{
    QTemporaryDir dir;
    ASSERT_EQ(writeTable(newTable(dir.path(), u"EMPTY"_s, kEveryType), {}), QString());
    const QByteArray db = fileBytes(dir.filePath(u"EMPTY.DB"_s));
    EXPECT_EQ(db.size(), headerU16(db, 0x02));
    EXPECT_EQ(headerU16(db, 0x0E), 0); // no first block
    const auto read = testsupport::readWithPxlib(dir.filePath(u"EMPTY.DB"_s), dir.filePath(u"EMPTY.MB"_s));
    ASSERT_EQ(read.error, QString());
    EXPECT_EQ(read.recordCount, 0);
    EXPECT_EQ(read.fields.size(), kEveryType.size());
}

// Block boundaries and buffer flushes are where a chain goes wrong: use small blocks, a
// record count that leaves the last block part full, and more blocks than one buffer holds.
TEST(Writer, ManyRowsOverManyBlocksReadBackInOrder)
{
    QTemporaryDir dir;
    NewTable table = newTable(
        dir.path(), u"BIG"_s, { { u"N"_s, FieldType::Long, 0 }, { u"T"_s, FieldType::Alpha, 30 } });
    table.blockSizeKb = 1;
    const int count = 40'001; // 29 records per 1 KB block: 1380 blocks, the last one part full
    QString error;
    auto writer = createTable(table, &error);
    ASSERT_TRUE(writer);
    for (int i = 1; i <= count; ++i)
        ASSERT_TRUE(writer->append({ std::int32_t { i }, u"row %1"_s.arg(i) }, &error))
            << error.toStdString();
    ASSERT_TRUE(writer->commit(QString(), &error)) << error.toStdString();

    const QByteArray db = fileBytes(dir.filePath(u"BIG.DB"_s));
    const int blocks = (count + 28) / 29;
    EXPECT_EQ(headerU32(db, 0x06), static_cast<std::uint32_t>(count));
    EXPECT_EQ(headerU16(db, 0x0C), blocks);
    EXPECT_EQ(headerU16(db, 0x10), blocks);
    EXPECT_EQ(db.size(), headerU16(db, 0x02) + blocks * 1024);

    const auto read = testsupport::readWithPxlib(dir.filePath(u"BIG.DB"_s));
    ASSERT_EQ(read.error, QString());
    ASSERT_EQ(read.rows.size(), static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) {
        ASSERT_EQ(read.rows[static_cast<std::size_t>(i - 1)][0], Value(std::int32_t { i }));
        ASSERT_EQ(read.rows[static_cast<std::size_t>(i - 1)][1], Value(u"row %1"_s.arg(i)));
    }
}

// Memo values at every layout boundary: in the leader only, sub-allocated (up to 2048
// bytes, 64 slots and 235 chunks per block), and in blocks of their own.
TEST(Writer, MemosInAndOutsideTheRecordReadBackThroughPxlib)
{
    QTemporaryDir dir;
    const std::vector<Field> fields { { u"N"_s, FieldType::Long, 0 }, { u"M"_s, FieldType::Memo, 20 },
        { u"B"_s, FieldType::Blob, 10 } };
    std::vector<Row> rows;
    const std::vector<int> sizes { 0, 1, 10, 11, 16, 17, 2047, 2048, 2049, 4087, 4088, 100'000 };
    for (int size : sizes) {
        QString text;
        for (int i = 0; i < size; ++i)
            text.append(QChar(u'a' + (i * 7 + size) % 26));
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 13 + size) & 0xFF);
        rows.push_back({ std::int32_t { size }, text.isEmpty() ? Value(Null {}) : Value(text),
            bytes.isEmpty() ? Value(Null {}) : Value(bytes) });
    }
    // Enough small values to fill several sub-allocated blocks by slots and by chunks.
    for (int i = 0; i < 200; ++i)
        rows.push_back({ std::int32_t { i }, Value(QString(21 + i % 5, QChar(u'k'))),
            Value(QByteArray(300 + i, static_cast<char>(i))) });
    ASSERT_EQ(writeTable(newTable(dir.path(), u"MEMO"_s, fields), rows), QString());

    EXPECT_EQ(readWithOurReader(dir.filePath(u"MEMO.DB"_s)), rows);
    const QString mb = dir.filePath(u"MEMO.MB"_s);
    EXPECT_EQ(QFileInfo(mb).size() % 4096, 0);
    const auto read = testsupport::readWithPxlib(dir.filePath(u"MEMO.DB"_s), mb);
    ASSERT_EQ(read.error, QString());
    ASSERT_EQ(read.rows.size(), rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r)
        EXPECT_EQ(read.rows[r], rows[r]) << "row " << r;
}

} // namespace
