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

TEST(CodePage, KnowsUnsupportedCodePages)
{
    EXPECT_TRUE(paradox::isSupportedCodePage(1252));
    EXPECT_FALSE(paradox::isSupportedCodePage(0));
    EXPECT_FALSE(paradox::isSupportedCodePage(99999));
    EXPECT_FALSE(paradox::decodeText("abc", 99999).has_value());
}

} // namespace
