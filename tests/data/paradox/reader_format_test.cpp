// The reader against files built byte by byte: every field type, every file version and
// block size, memo files, code pages.

#include "tests/data/paradox/reader_builder.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;
using readertest::blobField;
using readertest::hexBytes;
using readertest::MemoBuilder;
using readertest::readBytes;
using readertest::TestTable;

namespace {

QByteArray longBytes(std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value) ^ 0x80000000u;
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>(bits >> (24 - 8 * i));
    return bytes;
}

QByteArray alphaBytes(const QByteArray& text, int size)
{
    return text + QByteArray(size - text.size(), '\0');
}

struct ValueCase
{
    const char* name;
    FieldType type;
    int size;
    const char* hex;
    const char* text;
    bool isNull = false;
};

TEST(ReaderValues, DecodesEachTypeFromItsStoredBytes)
{
    const ValueCase cases[] = {
        { "alphaPadded", FieldType::Alpha, 10, "48656C6C6F0000000000", "Hello" },
        { "alphaFillsField", FieldType::Alpha, 3, "414243", "ABC" },
        { "alphaTrailingSpaceKept", FieldType::Alpha, 4, "41422000", "AB " },
        { "alphaCodePage1252", FieldType::Alpha, 4, "4DFC6C80", "Mül€" },
        { "alphaByteUndefinedIn1252Kept", FieldType::Alpha, 2, "4181", "A\u0081" },
        { "alphaBlank", FieldType::Alpha, 3, "000000", "", true },
        { "shortOne", FieldType::Short, 2, "8001", "1" },
        { "shortMinusOne", FieldType::Short, 2, "7FFF", "-1" },
        { "shortLargest", FieldType::Short, 2, "FFFF", "32767" },
        { "shortBlank", FieldType::Short, 2, "0000", "", true },
        { "longOne", FieldType::Long, 4, "80000001", "1" },
        { "longMinusOne", FieldType::Long, 4, "7FFFFFFF", "-1" },
        { "longSmallest", FieldType::Long, 4, "00000001", "-2147483647" },
        { "numberOneAndHalf", FieldType::Number, 8, "BFF8000000000000", "1.5" },
        { "numberMinusOneAndHalf", FieldType::Number, 8, "4007FFFFFFFFFFFF", "-1.5" },
        { "numberZeroIsNotBlank", FieldType::Number, 8, "8000000000000000", "0" },
        { "numberOneTenth", FieldType::Number, 8, "BFB999999999999A", "0.1" },
        { "numberMillionNotScientific", FieldType::Number, 8, "C12E848000000000", "1000000" },
        { "numberBlank", FieldType::Number, 8, "0000000000000000", "", true },
        { "moneyMinus225", FieldType::Money, 8, "3FFDFFFFFFFFFFFF", "-2.25" },
        { "date20210831", FieldType::Date, 4, "800B42F1", "2021-08-31" },
        { "dateFirstDay", FieldType::Date, 4, "80000001", "0001-01-01" },
        { "dateBlank", FieldType::Date, 4, "00000000", "", true },
        { "timeNoon", FieldType::Time, 4, "82932E00", "12:00:00" },
        { "timeMidnightIsNotBlank", FieldType::Time, 4, "80000000", "00:00:00" },
        { "timeWithMilliseconds", FieldType::Time, 4, "82932FF4", "12:00:00.500" },
        { "timestamp20210831Noon", FieldType::Timestamp, 8, "C2CCFF59B3E50000", "2021-08-31 12:00:00" },
        { "timestamp1970", FieldType::Timestamp, 8, "C2CC418BA99A0000", "1970-01-01 00:00:00" },
        { "logicalTrue", FieldType::Logical, 1, "81", "true" },
        { "logicalFalse", FieldType::Logical, 1, "80", "false" },
        { "logicalBlank", FieldType::Logical, 1, "00", "", true },
        { "bytes", FieldType::Bytes, 4, "01020304", "01020304" },
        { "bytesLeadingZeroIsNotBlank", FieldType::Bytes, 4, "00000A00", "00000a00" },
        { "bytesBlank", FieldType::Bytes, 2, "0000", "", true },
        { "bcdPositive", FieldType::Bcd, 2, "C200000000000000000000000000001234", "12.34" },
        { "bcdNegative", FieldType::Bcd, 2, "42FFFFFFFFFFFFFFFFFFFFFFFFFFFFEDCB", "-12.34" },
        { "bcdKeepsScale", FieldType::Bcd, 2, "C200000000000000000000000000000050", "0.50" },
        { "bcdNoDecimals", FieldType::Bcd, 0, "C000000000000000000000000000000123", "123" },
        { "bcdAllDecimals", FieldType::Bcd, 32, "E010000000000000000000000000000000",
            "0.10000000000000000000000000000000" },
        { "bcdNegativeZero", FieldType::Bcd, 1, "41FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", "0.0" },
        { "bcdBlank", FieldType::Bcd, 2, "0000000000000000000000000000000000", "", true },
        // The engine stores a double's digits and leaves nibbles above 9 behind them.
        { "bcdEngineTail", FieldType::Bcd, 32, "E01229999999999999980B00E00000BF4A",
            "0.12299999999999999800000000000000" },
        { "bcdEngineTailNegative", FieldType::Bcd, 32, "60EDD666666666666667F4FF1FFFFF40B5",
            "-0.12299999999999999800000000000000" },
        { "bcdTailInTheIntegerPart", FieldType::Bcd, 2,
            "C200000000000000000000000000"
            "1A0000",
            "1000.00" },
    };
    for (const ValueCase& c : cases) {
        TestTable table;
        table.fields = { Field { u"F"_s, c.type, c.size } };
        table.records = { hexBytes(c.hex) };
        ASSERT_EQ(table.records[0].size(), table.recordSize()) << c.name;
        const auto result = readBytes(table.build());
        ASSERT_TRUE(result.error.isEmpty()) << c.name << ": " << result.error.toStdString();
        ASSERT_EQ(result.rows.size(), 1u) << c.name;
        EXPECT_EQ(result.rows[0][0], QString::fromUtf8(c.text)) << c.name;
        EXPECT_EQ(paradox::isNull(result.values[0][0]), c.isNull) << c.name;
    }
}

TEST(ReaderValues, DecodesTextInTheTablesCodePage)
{
    struct Case
    {
        int version;
        int codePage;
        const char* hex;
        QString text;
    };
    const Case cases[] = {
        { 0x0C, 866, "8C8E918A8280", u"МОСКВА"_s },
        { 0x0C, 850, "4D816C6C6572", u"Müller"_s },
        { 0x0C, 1251, "CCEEF1EAE2E0", u"Москва"_s },
        { 0x0C, 852, "9D6F64BE0000", u"Łodż"_s },
        { 0x0C, 865, "426A9B726E00", u"Bjørn"_s },
        { 0x0C, 1250, "A3F3647A0000", u"Łódz"_s },
        // 3.x tables carry no code page: the DOS one.
        { 0x03, 0, "4D816C6C6572", u"Müller"_s },
        // Double-byte code pages: a character may take two bytes, the second below 0x80.
        { 0x0C, 932, "8341B1000000", u"アｱ"_s },
        { 0x0C, 936, "C4E3BAC30000", u"你好"_s },
        { 0x0C, 949, "C7D1B1B90000", u"한국"_s },
        { 0x0C, 950, "A4A4A4E50000", u"中文"_s },
        // A lead byte cut off by the end of the field reads as its own code point.
        { 0x0C, 932, "414283418300", u"ABア\u0083"_s },
    };
    for (const Case& c : cases) {
        TestTable table;
        table.version = c.version;
        table.codePage = c.codePage;
        table.fields = { Field { u"NAME"_s, FieldType::Alpha, 6 } };
        table.records = { hexBytes(c.hex) };
        const auto result = readBytes(table.build());
        ASSERT_TRUE(result.error.isEmpty()) << c.codePage << ": " << result.error.toStdString();
        EXPECT_EQ(result.rows.at(0).at(0), c.text) << c.codePage;
    }
}

// Three fields, `count` records: NAME "row<i>", ID i, AMOUNT i + 0.25.
TestTable numberedTable(int version, int blockSizeKb, int count)
{
    TestTable table;
    table.version = version;
    table.blockSizeKb = blockSizeKb;
    table.fields = { Field { u"NAME"_s, FieldType::Alpha, 12 }, Field { u"ID"_s, FieldType::Long, 4 },
        Field { u"AMOUNT"_s, FieldType::Number, 8 } };
    for (int i = 1; i <= count; ++i) {
        QByteArray amount(8, '\0');
        const double value = i + 0.25;
        std::uint64_t bits;
        std::memcpy(&bits, &value, 8);
        bits |= std::uint64_t { 1 } << 63;
        for (int b = 0; b < 8; ++b)
            amount[b] = static_cast<char>(bits >> (56 - 8 * b));
        table.records.push_back(alphaBytes("row" + QByteArray::number(i), 12) + longBytes(i) + amount);
    }
    return table;
}

void expectNumberedRows(const readertest::ReadResult& result, int count, const std::string& label)
{
    ASSERT_TRUE(result.error.isEmpty()) << label << ": " << result.error.toStdString();
    ASSERT_EQ(result.rows.size(), static_cast<std::size_t>(count)) << label;
    for (int i = 1; i <= count; ++i) {
        const auto& row = result.rows[static_cast<std::size_t>(i - 1)];
        ASSERT_EQ(row[0], u"row"_s + QString::number(i)) << label;
        ASSERT_EQ(row[1], QString::number(i)) << label;
        ASSERT_EQ(row[2], QString::number(i) + u".25"_s) << label;
    }
}

TEST(ReaderLayout, ReadsEveryVersionAndBlockSize)
{
    const int versions[] = { 3, 4, 5, 9, 0x0A, 0x0B, 0x0C };
    const int blockSizes[] = { 1, 2, 3, 4, 16, 32 };
    for (int version : versions) {
        for (int blockSizeKb : blockSizes) {
            const std::string label
                = "version " + std::to_string(version) + ", " + std::to_string(blockSizeKb) + " KB";
            const TestTable table = numberedTable(version, blockSizeKb, 3000);
            const auto result = readBytes(table.build());
            expectNumberedRows(result, 3000, label);
            EXPECT_EQ(result.info.fileVersion, version) << label;
            EXPECT_EQ(result.info.blockSizeKb, blockSizeKb) << label;
            EXPECT_EQ(result.info.codePage, version >= 5 ? 1252 : 437) << label;
            EXPECT_EQ(result.info.recordCount, 3000) << label;
            ASSERT_EQ(result.info.fields.size(), 3u) << label;
            EXPECT_EQ(result.info.fields[2].name, u"AMOUNT"_s) << label;
            EXPECT_EQ(result.info.fields[2].type, FieldType::Number) << label;
        }
    }
}

TEST(ReaderLayout, FollowsTheChainNotThePhysicalOrder)
{
    TestTable table = numberedTable(0x0C, 1, 200);
    table.reverseBlocks = true;
    table.recordsPerBlock = 7; // partly filled blocks, leftovers after the last record
    expectNumberedRows(readBytes(table.build()), 200, "reversed");

    table.isKeyed = true;
    const auto keyed = readBytes(table.build());
    expectNumberedRows(keyed, 200, "keyed");
    EXPECT_TRUE(keyed.info.isKeyed);
}

TEST(ReaderLayout, ReadsAnEmptyTable)
{
    const auto result = readBytes(numberedTable(0x0C, 2, 0).build());
    EXPECT_TRUE(result.isOpen);
    EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    EXPECT_TRUE(result.rows.empty());
    EXPECT_EQ(result.info.fields.size(), 3u);
}

TEST(ReaderMemo, ReadsValuesFromLeaderSlotsAndSingleBlocks)
{
    MemoBuilder memo;
    const QByteArray inlineText = "abc";
    const QByteArray slotText = "sixteen bytes!!!and some more";
    QByteArray longText;
    for (int i = 0; i < 700; ++i)
        longText += "line " + QByteArray::number(i) + "\r\n";
    const QByteArray smallBlob = hexBytes("00FF10");
    const auto slotOffset = memo.addSmall(slotText);
    const auto longOffset = memo.addSingle(longText);
    const auto blobOffset = memo.addSmall(smallBlob);
    const QByteArray accented = "M\xFCller \x80"; // cp1252
    const auto accentedOffset = memo.addSmall(accented);

    TestTable table;
    table.fields = { Field { u"ID"_s, FieldType::Long, 4 }, Field { u"NOTES"_s, FieldType::Memo, 15 },
        Field { u"DATA"_s, FieldType::Blob, 10 } };
    table.records = {
        longBytes(1) + blobField(5, inlineText, 0) + blobField(0, {}, 0),
        longBytes(2) + blobField(5, slotText, slotOffset) + blobField(0, smallBlob, blobOffset),
        longBytes(3) + blobField(5, longText, longOffset) + blobField(0, {}, 0),
        longBytes(4) + blobField(5, accented, accentedOffset) + blobField(0, {}, 0),
    };
    const QByteArray mb = memo.bytes();
    const auto result = readBytes(table.build(), &mb);
    ASSERT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    ASSERT_EQ(result.rows.size(), 4u);
    EXPECT_EQ(result.rows[0][1], u"abc"_s);
    EXPECT_TRUE(paradox::isNull(result.values[0][2]));
    EXPECT_EQ(result.rows[1][1], QString::fromLatin1(slotText));
    EXPECT_EQ(result.rows[1][2], u"00ff10"_s);
    EXPECT_EQ(result.rows[2][1], QString::fromLatin1(longText));
    EXPECT_EQ(result.rows[3][1], u"Müller €"_s);
}

TEST(ReaderMemo, ReadsFormattedMemoAsTextAndOleAndGraphicAsBytes)
{
    MemoBuilder memo;
    const QByteArray formatted = "{\\rtf1 formatted text that is stored in the memo file}";
    const QByteArray graphic = hexBytes("0102030405060708424D");
    const auto formattedOffset = memo.addSmall(formatted);
    const auto graphicOffset = memo.addSmall(graphic);
    TestTable table;
    table.fields = { Field { u"F"_s, FieldType::FormattedMemo, 11 }, Field { u"O"_s, FieldType::Ole, 12 },
        Field { u"G"_s, FieldType::Graphic, 10 } };
    table.records = { blobField(1, formatted, formattedOffset) + blobField(2, "\xC0", 0)
        + blobField(0, graphic, graphicOffset) };
    const QByteArray mb = memo.bytes();
    const auto result = readBytes(table.build(), &mb);
    ASSERT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    EXPECT_EQ(result.values.at(0).at(0), paradox::Value(QString::fromLatin1(formatted)));
    EXPECT_EQ(result.rows.at(0).at(1), u"c0"_s);
    // Graphic data keeps the bytes the file stores before the picture.
    EXPECT_EQ(result.rows.at(0).at(2), u"0102030405060708424d"_s);
}

TEST(ReaderMemo, ReportsAMissingMemoFile)
{
    TestTable table;
    table.fields = { Field { u"NOTES"_s, FieldType::Memo, 11 } };
    table.records = { blobField(1, "x", 0) };
    const auto result = readBytes(table.build());
    EXPECT_FALSE(result.isOpen);
    EXPECT_TRUE(result.error.startsWith(u"test.db: "_s)) << result.error.toStdString();
    EXPECT_TRUE(result.error.contains(u"test.mb is missing"_s)) << result.error.toStdString();
}

} // namespace
