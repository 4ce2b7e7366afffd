// Texts of the work database back into values of their field, and the checks that tell a
// run whether a field can hold a text.

#include "tests/data/paradox/writer_test_support.h"

using namespace paradox;

namespace {

struct TextCase
{
    const char* name;
    Field field;
    QString text;
    std::optional<Value> value; // nullopt: refused
    const char* problemPart = ""; // part of the refusal's text
    int codePage = 1252;
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << c.name;
}

class ValueFromText : public testing::TestWithParam<TextCase>
{
};

TEST_P(ValueFromText, GivesTheValueOrSaysWhyNot)
{
    const TextCase& c = GetParam();
    QString problem;
    const auto value = valueFromText(c.field, c.text, c.codePage, &problem);
    if (c.value) {
        ASSERT_TRUE(value.has_value()) << problem.toStdString();
        EXPECT_EQ(*value, *c.value);
        EXPECT_TRUE(valueFits(c.field, *value, c.codePage, &problem)) << problem.toStdString();
    } else {
        EXPECT_FALSE(value.has_value());
        EXPECT_TRUE(problem.contains(QString::fromUtf8(c.problemPart))) << problem.toStdString();
    }
}

const Field kAlpha { u"A"_s, FieldType::Alpha, 4 };
const Field kShort { u"S"_s, FieldType::Short, 2 };
const Field kLong { u"L"_s, FieldType::Long, 4 };
const Field kNumber { u"N"_s, FieldType::Number, 8 };
const Field kDate { u"D"_s, FieldType::Date, 4 };
const Field kTime { u"T"_s, FieldType::Time, 4 };
const Field kStamp { u"@"_s, FieldType::Timestamp, 8 };
const Field kLogical { u"B"_s, FieldType::Logical, 1 };
const Field kBcd { u"#"_s, FieldType::Bcd, 2 };
const Field kBytes { u"Y"_s, FieldType::Bytes, 2 };
const Field kMemo { u"M"_s, FieldType::Memo, 15 };
const Field kBlob { u"G"_s, FieldType::Graphic, 10 };

INSTANTIATE_TEST_SUITE_P(Texts, ValueFromText,
    testing::Values(TextCase { "alphaInCodePage", kAlpha, u"Café"_s, Value(u"Café"_s) },
        TextCase { "alphaLongerInBytes", kAlpha, u"アイウ"_s, std::nullopt,
            "the text is 6 bytes long in code page 932; the field holds 4", 932 },
        TextCase { "alphaDoubleByteFits", kAlpha, u"アイ"_s, Value(u"アイ"_s), "", 932 },
        TextCase {
            "alphaCharacterMissing", kAlpha, u"Жук"_s, std::nullopt, "has no place in code page 1252" },
        TextCase { "alphaNul", kAlpha, QStringView(u"a\0b", 3).toString(), std::nullopt, "NUL" },
        TextCase { "alphaUndefinedByte", kAlpha, u"a\u0081"_s, Value(u"a\u0081"_s) },
        TextCase { "shortLargest", kShort, u"-32767"_s, Value(std::int32_t { -32767 }) },
        TextCase { "shortBlankBytes", kShort, u"-32768"_s, std::nullopt, "outside the range" },
        TextCase { "longTooLarge", kLong, u"2147483648"_s, std::nullopt, "outside the range" },
        TextCase { "longNotANumber", kLong, u"12a"_s, std::nullopt, "\"12a\" is not a whole number" },
        TextCase { "longFraction", kLong, u"1.5"_s, std::nullopt, "not a whole number" },
        TextCase { "numberSmall", kNumber, u"1e-07"_s, Value(1e-7) },
        TextCase { "numberPlus", kNumber, u"+2.5"_s, Value(2.5) },
        TextCase { "numberComma", kNumber, u"1,5"_s, std::nullopt, "\"1,5\" is not a number" },
        TextCase { "numberInfinite", kNumber, u"inf"_s, std::nullopt, "not a number" },
        TextCase { "dateLeapDay", kDate, u"2020-02-29"_s, Value(Date { 737'484 }) },
        TextCase { "dateNoLeapDay", kDate, u"2021-02-29"_s, std::nullopt, "not a date" },
        TextCase { "dateFirstDay", kDate, u"0001-01-01"_s, Value(Date { 1 }) },
        TextCase { "dateShortYear", kDate, u"21-08-31"_s, std::nullopt, "not a date" },
        TextCase { "timeMilliseconds", kTime, u"12:00:00.5"_s, Value(TimeOfDay { 43'200'500 }) },
        TextCase { "timeTooLate", kTime, u"24:00:00"_s, std::nullopt, "not a time of day" },
        TextCase { "timestamp", kStamp, u"2021-08-31 12:00:00"_s, Value(Timestamp { 63'766'094'400'000.0 }) },
        TextCase { "timestampNoTime", kStamp, u"2021-08-31"_s, std::nullopt, "not a date and time" },
        TextCase { "logicalAnyCase", kLogical, u"TRUE"_s, Value(true) },
        TextCase { "logicalYes", kLogical, u"yes"_s, std::nullopt, "not true or false" },
        TextCase { "bcdCanonical", kBcd, u"-12.3"_s, Value(Bcd { u"-12.30"_s }) },
        TextCase { "bcdTrailingZeros", kBcd, u"12.3400"_s, Value(Bcd { u"12.34"_s }) },
        TextCase { "bcdTooManyDecimals", kBcd, u"12.345"_s, std::nullopt, "more than 2 decimals" },
        TextCase { "bcdTooManyDigits", kBcd, QString(31, u'9'), std::nullopt, "more than 30 digits" },
        TextCase { "bcdLetters", kBcd, u"12x"_s, std::nullopt, "not a decimal number" },
        TextCase { "bytesHex", kBytes, u"0aFF"_s, Value(QByteArray("\x0A\xFF", 2)) },
        TextCase { "bytesPrefixed", kBytes, u"0x00"_s, Value(QByteArray(1, '\0')) },
        TextCase { "bytesTooLong", kBytes, u"010203"_s, std::nullopt, "3 bytes long; the field holds 2" },
        TextCase { "bytesOddDigits", kBytes, u"abc"_s, std::nullopt, "not binary data in hex digits" },
        TextCase { "memoCharacterMissing", kMemo, u"Жук"_s, std::nullopt, "no place in code page 1252" }),
    [](const testing::TestParamInfo<TextCase>& param) { return std::string(param.param.name); });

// And the empty text is a blank of every type.
TEST(ValueFromTextAllTypes, ReadsBackWhatValueTextWrites)
{
    const std::pair<Field, Value> cases[] = {
        { kAlpha, u"x y "_s },
        { kShort, std::int32_t { -5 } },
        { kLong, std::int32_t { 2'147'483'647 } },
        { kNumber, 0.1 },
        { kNumber, -1.5e300 },
        { kNumber, 123456789.125 },
        { { u"$"_s, FieldType::Money, 8 }, -2.25 },
        { kDate, Date { 738'033 } },
        { kDate, Date { -5 } },
        { kTime, TimeOfDay { 86'399'999 } },
        { kTime, TimeOfDay { 0 } },
        { kStamp, Timestamp { 63'766'094'400'123.0 } },
        { kStamp, Timestamp { 1e300 } },
        { kLogical, false },
        { kBcd, Bcd { u"-0.05"_s } },
        { { u"#"_s, FieldType::Bcd, 32 }, Bcd { u"0.12299999999999999800000000000000"_s } },
        { { u"+"_s, FieldType::Autoincrement, 4 }, std::int32_t { 7 } },
        { kBytes, QByteArray("\x00\x01", 2) },
        { kMemo, u"a memo longer than its leader"_s },
        { { u"F"_s, FieldType::FormattedMemo, 11 }, u"rich"_s },
        { kBlob, QByteArray("\x89PNG") },
        { { u"O"_s, FieldType::Ole, 10 }, QByteArray(3000, '\x7F') },
    };
    for (const auto& [field, value] : cases) {
        const QString text = valueText(value);
        QString problem;
        const auto back = valueFromText(field, text, 1252, &problem);
        ASSERT_TRUE(back.has_value()) << text.toStdString() << ": " << problem.toStdString();
        EXPECT_EQ(*back, value) << text.toStdString();
        EXPECT_EQ(valueFromText(field, u"", 1252, &problem), Value(Null {})) << field.name.toStdString();
    }
}

} // namespace
