#include "cleaning/values/cluster_keys.h"
#include "cleaning/values/phonetic_keys.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace Qt::StringLiterals;
using namespace cleaning::values;

namespace {

struct KeyCase
{
    const char* name;
    QString value;
    QString key;
};

void PrintTo(const KeyCase& keyCase, std::ostream* os)
{
    *os << keyCase.name;
}

std::string caseName(const ::testing::TestParamInfo<KeyCase>& info)
{
    return info.param.name;
}

class Fingerprint : public ::testing::TestWithParam<KeyCase>
{
};

TEST_P(Fingerprint, KeyIsAsWrittenByHand)
{
    EXPECT_EQ(fingerprintKey(GetParam().value), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(Keys, Fingerprint,
    ::testing::Values(KeyCase { "caseAndSpaces", u"  Acme \t INC\r\n"_s, u"acme inc"_s },
        KeyCase { "commaAndFullStop", u"Acme, Inc."_s, u"acme inc"_s },
        KeyCase { "wordsSortedOnce", u"inc Acme acme INC"_s, u"acme inc"_s },
        KeyCase { "hyphenSeparatesWords", u"Wiley-Sons"_s, u"sons wiley"_s },
        KeyCase { "slashAndBracketsSeparate", u"red/green(blue)"_s, u"blue green red"_s },
        KeyCase { "apostropheElides", u"O\u2019Neil"_s, u"oneil"_s },
        KeyCase { "fullStopsElide", u"U.S.A."_s, u"usa"_s },
        KeyCase { "accentsFolded", u"Crème Brûlée"_s, u"brulee creme"_s },
        KeyCase { "lettersThatDoNotDecompose", u"Straße Æbleskiver Łódź"_s, u"aebleskiver lodz strasse"_s },
        KeyCase { "ligatureAndFullWidth", u"ﬁne ＡＢＣ"_s, u"abc fine"_s },
        KeyCase { "nonLatinKept", u"Ελλάδα 東京"_s, u"ελλαδα 東京"_s },
        KeyCase { "controlsAndNoBreakSpace",
            u"a\x01"
            u"b\u00A0c\u200Bd"_s,
            u"ab cd"_s },
        KeyCase { "onlyPunctuation", u" -,.!? "_s, QString() }),
    caseName);

TEST(NgramKey, InnerSpacingAndCaseMeet)
{
    EXPECT_EQ(ngramKey(u"Mac Donald"_s, 2), ngramKey(u"MACDONALD"_s, 2));
    EXPECT_EQ(ngramKey(u"abab"_s, 2), u"abba"_s); // "ab", "ba": sorted, each once
    EXPECT_EQ(ngramKey(u"Zürich"_s, 3), u"ichricurizur"_s);
    EXPECT_NE(ngramKey(u"abc"_s, 2), ngramKey(u"acb"_s, 2));
    // Shorter than n after the clean-up: no key, so such values never cluster.
    EXPECT_EQ(ngramKey(u"a-b"_s, 3), QString());
    EXPECT_EQ(ngramKey(u"a"_s, 2), QString());
}

TEST(PhoneticKeys, SoundAlikesMeetAndOthersDoNot)
{
    const QStringList english[] = { { u"Smith"_s, u"Smyth"_s, u"SMITH"_s }, { u"Knight"_s, u"Night"_s },
        { u"Catherine"_s, u"Kathryn"_s }, { u"Philips"_s, u"Fillips"_s },
        { u"John Smith"_s, u"Jon Smyth"_s } };
    for (const QStringList& alike : english) {
        for (const QString& value : alike)
            EXPECT_EQ(metaphoneKey(value), metaphoneKey(alike.first())) << value.toStdString();
    }
    EXPECT_NE(metaphoneKey(u"Smith"_s), metaphoneKey(u"Smithers"_s));
    EXPECT_NE(metaphoneKey(u"Apt 4"_s), metaphoneKey(u"Apt 5"_s));
    EXPECT_EQ(metaphoneKey(u"Apt 4"_s), u"APT 4"_s);
    EXPECT_EQ(metaphoneKey(u"-- !"_s), QString());

    // Cologne phonetics, with the published examples.
    EXPECT_EQ(colognePhonetics(u"Wikipedia"_s), u"3412"_s);
    EXPECT_EQ(colognePhonetics(u"Breschnew"_s), u"17863"_s);
    EXPECT_EQ(colognePhonetics(u"Müller-Lüdenscheidt"_s), u"657 52682"_s);
    for (const QString& name : { u"Meier"_s, u"Mayer"_s, u"Maier"_s, u"Meyer"_s })
        EXPECT_EQ(colognePhonetics(name), u"67"_s) << name.toStdString();
    // A vowel between two equal codes lets the second be written.
    EXPECT_EQ(colognePhonetics(u"Hoffmann"_s), u"0366"_s);
    EXPECT_EQ(colognePhonetics(u"Xaver"_s), u"4837"_s);
}

} // namespace
