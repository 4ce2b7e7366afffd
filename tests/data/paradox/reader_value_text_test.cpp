#include "data/paradox/paradox.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(ValueText, FormatsEachKindOfValue)
{
    struct Case
    {
        const char* name;
        paradox::Value value;
        QString text;
    };
    const Case cases[] = {
        { "null", paradox::Null {}, QString() },
        { "shortestDouble", 0.1 + 0.2, u"0.30000000000000004"_s },
        { "wholeDouble", 123456789012.0, u"123456789012"_s },
        { "negativeZero", -0.0, u"-0"_s },
        { "smallPlain", 1e-7, u"0.0000001"_s },
        { "tinyScientific", 5e-8, u"5e-08"_s },
        { "hugeScientific", 1e21, u"1e+21"_s },
        { "largestPlain", 1e20, u"100000000000000000000"_s },
        { "bytesLowerHex", QByteArray("\x00\xAB\x10", 3), u"00ab10"_s },
        { "dateLeapDay", paradox::Date { 730'179 }, u"2000-02-29"_s },
        { "dateBeforeYearOne", paradox::Date { 0 }, u"0000-12-31"_s },
        { "dateFarPast", paradox::Date { -366 }, u"-0001-12-31"_s },
        { "timeMilliseconds", paradox::TimeOfDay { 3'723'004 }, u"01:02:03.004"_s },
        { "timeLastMillisecond", paradox::TimeOfDay { 86'399'999 }, u"23:59:59.999"_s },
        { "timestampFirst", paradox::Timestamp { 86'400'000.0 }, u"0001-01-01 00:00:00"_s },
        { "timestampMilliseconds", paradox::Timestamp { 63'766'094'400'123.0 },
            u"2021-08-31 12:00:00.123"_s },
        { "timestampRoundsToMillisecond", paradox::Timestamp { 86'400'000.9996 },
            u"0001-01-01 00:00:00.001"_s },
        { "timestampNotFinite", paradox::Timestamp { 1e300 }, u"1e+300"_s },
    };
    for (const Case& c : cases)
        EXPECT_EQ(paradox::valueText(c.value), c.text) << c.name;
}

} // namespace
