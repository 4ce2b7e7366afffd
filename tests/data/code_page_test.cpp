#include "data/paradox/code_page.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(CodePage, RoundTripsAccentedTextPerCodePage)
{
    struct Case
    {
        int codePage;
        QString text;
    };
    const Case cases[] = {
        { 1252, u"Müller Café €"_s },
        { 850, u"Müller Café"_s },
        { 437, u"Müller ñ"_s },
        { 852, u"Łódź Žižkov"_s },
        { 865, u"Bjørn Ærø"_s },
        { 866, u"Москва"_s },
        { 1250, u"Łódź"_s },
        { 1251, u"Москва"_s },
        // iconv holds a Hebrew letter back in case a point follows; the last one must not be lost.
        { 1255, u"שלום"_s },
    };
    for (const Case& c : cases) {
        const auto bytes = paradox::encodeText(c.text, c.codePage);
        ASSERT_TRUE(bytes.has_value()) << c.codePage;
        EXPECT_EQ(bytes->size(), c.text.size()) << "one byte per character in " << c.codePage;
        EXPECT_EQ(paradox::decodeText(*bytes, c.codePage), c.text) << c.codePage;
    }
}

TEST(CodePage, RefusesTextTheCodePageCannotHold)
{
    QChar bad;
    EXPECT_FALSE(paradox::encodeText(u"abc Москва"_s, 1252, &bad).has_value());
    EXPECT_EQ(bad, u'М');
    EXPECT_FALSE(paradox::encodeText(u"€"_s, 437).has_value());
    EXPECT_EQ(paradox::encodeText(u"plain"_s, 1252), QByteArray("plain"));
}

TEST(CodePage, EveryByteOfASingleByteCodePageComesBackAsItself)
{
    // 0x81 in 1252 or 0xDB in 1255 mean nothing, yet a table may hold them.
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
}

TEST(CodePage, DoubleByteCodePagesKeepTheirCharacters)
{
    struct Case
    {
        int codePage;
        QString text;
        QByteArray bytes;
    };
    const Case cases[] = {
        { 932, u"ア"_s, QByteArray("\x83\x41") },
        { 932, u"東京 ｱ A"_s, QByteArray("\x93\x8C\x8B\x9E \xB1 A") },
        { 936, u"中文"_s, QByteArray("\xD6\xD0\xCE\xC4") },
        { 949, u"한국어"_s, QByteArray("\xC7\xD1\xB1\xB9\xBE\xEE") },
        { 950, u"中文"_s, QByteArray("\xA4\xA4\xA4\xE5") },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(paradox::decodeText(c.bytes, c.codePage), c.text) << c.codePage;
        EXPECT_EQ(paradox::encodeText(c.text, c.codePage), c.bytes) << c.codePage;
    }
    // A lead byte without its second byte and a byte that starts nothing survive too.
    for (const QByteArray& bytes : { QByteArray("A\x83"), QByteArray("\x80\xA0x\xFD") }) {
        const auto text = paradox::decodeText(bytes, 932);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(paradox::encodeText(*text, 932), bytes) << bytes.toHex().toStdString();
    }
    QChar bad;
    EXPECT_FALSE(paradox::encodeText(u"ア Ж ש"_s, 932, &bad).has_value());
    EXPECT_EQ(bad, u'ש');
}

TEST(CodePage, KnowsUnsupportedCodePages)
{
    EXPECT_TRUE(paradox::isSupportedCodePage(1252));
    EXPECT_FALSE(paradox::isSupportedCodePage(0));
    EXPECT_FALSE(paradox::isSupportedCodePage(99999));
    EXPECT_FALSE(paradox::decodeText("abc", 99999).has_value());
}

} // namespace
