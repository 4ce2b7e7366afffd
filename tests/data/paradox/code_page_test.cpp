#include "data/paradox/format/code_page.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The bytes come from the code pages' published tables, not from this program.
TEST(CodePage, TextHasTheBytesOfItsCodePageBothWays)
{
    struct Case
    {
        int codePage;
        QString text;
        const char* hex;
    };
    const Case cases[] = {
        { 1252, u"üé€"_s, "FC E9 80" },
        { 850, u"üé"_s, "81 82" },
        { 437, u"üñ"_s, "81 A4" },
        { 852, u"ŁóŽ"_s, "9D A2 A6" },
        { 865, u"øÆ"_s, "9B 92" },
        { 866, u"Мос"_s, "8C AE E1" },
        { 1250, u"Łź"_s, "A3 9F" },
        { 1251, u"Мос"_s, "CC EE F1" },
        // iconv holds a Hebrew letter back in case a point follows; the last one must not be lost.
        { 1255, u"שלום"_s, "F9 EC E5 ED" },
        { 932, u"東京 ｱ A"_s, "93 8C 8B 9E 20 B1 20 41" },
        { 936, u"中文"_s, "D6 D0 CE C4" },
        { 949, u"한국어"_s, "C7 D1 B1 B9 BE EE" },
        { 950, u"中文"_s, "A4 A4 A4 E5" },
    };
    for (const Case& c : cases) {
        const QByteArray bytes = QByteArray::fromHex(c.hex);
        EXPECT_EQ(paradox::encodeText(c.text, c.codePage), bytes) << c.codePage;
        EXPECT_EQ(paradox::decodeText(bytes, c.codePage), c.text) << c.codePage;
    }
}

TEST(CodePage, RefusesWhatItCannotConvert)
{
    QChar bad;
    EXPECT_FALSE(paradox::encodeText(u"abc Москва"_s, 1252, &bad).has_value());
    EXPECT_EQ(bad, u'М');
    EXPECT_FALSE(paradox::encodeText(u"ア Ж ש"_s, 932, &bad).has_value());
    EXPECT_EQ(bad, u'ש');
    EXPECT_FALSE(paradox::encodeText(u"€"_s, 437).has_value());
    for (const int codePage : { 0, 99999 }) {
        EXPECT_FALSE(paradox::isSupportedCodePage(codePage));
        EXPECT_FALSE(paradox::decodeText("abc", codePage).has_value());
    }
}

// A table may hold bytes its code page leaves undefined (0x81 in 1252, 0xDB in 1255, a lead
// byte cut off by the end of a field in 932): a value read and written back keeps them.
TEST(CodePage, EveryByteComesBackAsItself)
{
    const int codePages[] = { 437, 737, 775, 850, 852, 855, 857, 860, 861, 862, 863, 864, 865, 866, 869, 874,
        1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258 };
    for (int codePage : codePages) {
        ASSERT_TRUE(paradox::isSupportedCodePage(codePage)) << codePage;
        for (int byte = 1; byte < 256; ++byte) {
            const QByteArray bytes(1, static_cast<char>(byte));
            const auto text = paradox::decodeText(bytes, codePage);
            ASSERT_TRUE(text.has_value()) << codePage;
            EXPECT_EQ(text->size(), 1) << codePage << " byte " << byte;
            EXPECT_EQ(paradox::encodeText(*text, codePage), bytes) << codePage << " byte " << byte;
        }
    }
    // Undefined bytes read as their own code points, so 0x81 in 1252 is U+0081.
    EXPECT_EQ(paradox::decodeText("a\x81\x80", 1252), u"a\u0081€"_s);
    for (const QByteArray& bytes : { QByteArray("A\x83"), QByteArray("\x80\xA0x\xFD") }) {
        const auto text = paradox::decodeText(bytes, 932);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(paradox::encodeText(*text, 932), bytes) << bytes.toHex().toStdString();
    }
}

} // namespace
