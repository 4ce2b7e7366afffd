#include "cleaning/transforms.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;
using namespace cleaning;

namespace {

struct Case
{
    const char* name;
    std::function<QString()> run;
    QString expected;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class TransformCase : public ::testing::TestWithParam<Case>
{
};

TEST_P(TransformCase, GivesTheExpectedText)
{
    EXPECT_EQ(GetParam().run(), GetParam().expected);
}

std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

const QString kTab = u"\t"_s;
const QString kCrLf = u"\r\n"_s;

// Expected texts are written by hand, never computed with the code under test.
INSTANTIATE_TEST_SUITE_P(Spaces, TransformCase,
    ::testing::Values(Case { "removeAllSpacesLeavesTabsAndBreaks",
                          [] { return RemoveAllSpaces(u" a b\t c\r\n "_s); }, u"ab\tc\r\n"_s },
        Case {
            "replaceAllSpacesWithEmpty", [] { return ReplaceAllSpaces(u"a b  c"_s, QString()); }, u"abc"_s },
        Case { "replaceAllSpacesWithText", [] { return ReplaceAllSpaces(u" a b"_s, u"_-"_s); }, u"_-a_-b"_s },
        Case { "trimLeadingOnlySpaces", [] { return TrimLeadingSpaces(u"   "_s); }, QString() },
        Case { "trimTrailingOnlySpaces", [] { return TrimTrailingSpaces(u"   "_s); }, QString() },
        Case { "trimLeadingKeepsTab", [] { return TrimLeadingSpaces(u"  \ta "_s); }, u"\ta "_s },
        Case { "trimTrailingKeepsInnerSpaces", [] { return TrimTrailingSpaces(u" a  b  "_s); }, u" a  b"_s },
        Case { "collapseRunsAndEnds", [] { return CollapseSpaces(u"  a   b  "_s); }, u"a b"_s },
        Case { "collapseLeavesTabs", [] { return CollapseSpaces(u"a\t\tb"_s); }, u"a\t\tb"_s },
        Case { "collapseOddRun", [] { return CollapseSpaces(u"a     b"_s); }, u"a b"_s },
        Case { "collapseOnlySpaces", [] { return CollapseSpaces(u"    "_s); }, QString() }),
    caseName);

INSTANTIATE_TEST_SUITE_P(LineBreaksAndTabs, TransformCase,
    ::testing::Values(
        Case { "crLfBecomesTwoSpaces", [] { return RemoveLineBreaks(u"a\r\nb"_s); }, u"a  b"_s },
        Case { "loneCrAndLoneLf", [] { return RemoveLineBreaks(u"a\rb\nc"_s); }, u"a b c"_s },
        Case { "crLfReplacedTwice", [] { return ReplaceLineBreaks(u"a\r\nb"_s, u"|"_s); }, u"a||b"_s },
        // LF is replaced first; a CR that the replacement brings in is then replaced too.
        Case { "crInReplacementIsReplacedToo", [] { return ReplaceLineBreaks(u"a\nb"_s, u"<\r>"_s); },
            u"a<<\r>>b"_s },
        Case { "removeTabs", [] { return RemoveTabs(u"\ta\t\tb "_s); }, u"ab "_s },
        Case { "replaceTabs", [] { return ReplaceTabs(u"a\tb"_s, u"    "_s); }, u"a    b"_s }),
    caseName);

INSTANTIATE_TEST_SUITE_P(CharacterSets, TransformCase,
    ::testing::Values(
        Case { "accentedLettersAreNotLetters", [] { return RemoveLetters(u"Été 2021"_s); }, u"Éé 2021"_s },
        Case { "replaceLetters", [] { return ReplaceLetters(u"ab1"_s, u"*"_s); }, u"**1"_s },
        Case { "removeDigits", [] { return RemoveDigits(u"R2-D2 ½"_s); }, u"R-D ½"_s },
        Case { "replaceDigitsWithEmpty", [] { return ReplaceDigits(u"a1b22"_s, QString()); }, u"ab"_s },
        Case { "replaceDigitsOnePerCharacter", [] { return ReplaceDigits(u"a1b22"_s, u"#"_s); }, u"a#b##"_s },
        Case { "removeAlphanumerics", [] { return RemoveAlphanumerics(u"a1 -ü"_s); }, u" -ü"_s },
        Case { "replaceAlphanumerics", [] { return ReplaceAlphanumerics(u"a1 b"_s, u"x"_s); }, u"xx x"_s },
        Case { "removeNonAlphanumericsDropsSpaces", [] { return RemoveNonAlphanumerics(u"a b-c"_s); },
            u"abc"_s },
        Case { "replaceNonAlphanumericsKeepsSpaces",
            [] { return ReplaceNonAlphanumerics(u"a b-c"_s, u"_"_s); }, u"a b_c"_s },
        Case { "replaceNonAlphanumericsTabAndAccent",
            [] { return ReplaceNonAlphanumerics(u"é\t1"_s, u"?"_s); }, u"??1"_s },
        Case { "setComplementKeepsOnlyMembers", [] { return RemoveCharsInSet(u"abc123"_s, u"1b"_s, true); },
            u"b1"_s }),
    caseName);

INSTANTIATE_TEST_SUITE_P(UserCharsAndDelimiters, TransformCase,
    ::testing::Values(Case { "userCharsMatchedAsWholeAndCaseSensitive",
                          [] { return RemoveUserChars(u"Abcabc"_s, u"abc"_s); }, u"Abc"_s },
        Case { "userCharsLoneLettersStay", [] { return RemoveUserChars(u"a b ab ba"_s, u"ab"_s); },
            u"a b  ba"_s },
        Case {
            "userCharsNonOverlapping", [] { return ReplaceUserChars(u"aaa"_s, u"aa"_s, u"b"_s); }, u"ba"_s },
        Case { "userCharsEmptyMatchesNothing", [] { return ReplaceUserChars(u"abc"_s, QString(), u"X"_s); },
            u"abc"_s },
        Case { "removeTextAfter", [] { return RemoveTextAfter(u"a-b-c"_s, u"-"_s); }, u"a-"_s },
        Case { "removeTextBefore", [] { return RemoveTextBefore(u"a-b-c"_s, u"-"_s); }, u"-b-c"_s },
        Case { "replaceTextAfter", [] { return ReplaceTextAfter(u"a-b-c"_s, u"-"_s, u"X"_s); }, u"a-X"_s },
        Case {
            "replaceTextBefore", [] { return ReplaceTextBefore(u"a-b-c"_s, u"-"_s, u"X"_s); }, u"X-b-c"_s },
        Case { "missingDelimiterAfterUnchanged", [] { return ReplaceTextAfter(u"abc"_s, u"-"_s, u"X"_s); },
            u"abc"_s },
        Case { "missingDelimiterBeforeUnchanged", [] { return ReplaceTextBefore(u"abc"_s, u"-"_s, u"X"_s); },
            u"abc"_s },
        Case { "emptyDelimiterRemoveBefore", [] { return RemoveTextBefore(u"abc"_s, QString()); }, u"abc"_s },
        Case { "emptyDelimiterReplaceBefore", [] { return ReplaceTextBefore(u"abc"_s, QString(), u"X"_s); },
            u"Xabc"_s },
        Case { "emptyDelimiterRemoveAfter", [] { return RemoveTextAfter(u"abc"_s, QString()); }, QString() },
        Case { "emptyDelimiterReplaceAfter", [] { return ReplaceTextAfter(u"abc"_s, QString(), u"X"_s); },
            u"X"_s },
        Case { "multiCharDelimiterKept", [] { return RemoveTextAfter(u"key::value::x"_s, u"::"_s); },
            u"key::"_s }),
    caseName);

INSTANTIATE_TEST_SUITE_P(Counts, TransformCase,
    ::testing::Values(Case { "firstTwo", [] { return RemoveFirstChars(u"abcdef"_s, 2); }, u"cdef"_s },
        Case { "beforePositionTwo", [] { return RemoveTextBeforePosition(u"abcdef"_s, 2); }, u"cdef"_s },
        Case { "afterPositionTwo", [] { return RemoveTextAfterPosition(u"abcdef"_s, 2); }, u"ab"_s },
        Case { "lastTwo", [] { return RemoveLastChars(u"abcdef"_s, 2); }, u"abcd"_s },
        Case { "firstZero", [] { return RemoveFirstChars(u"abcdef"_s, 0); }, u"abcdef"_s },
        Case { "lastZero", [] { return RemoveLastChars(u"abc"_s, 0); }, u"abc"_s },
        Case { "afterPositionZero", [] { return RemoveTextAfterPosition(u"abc"_s, 0); }, QString() },
        Case { "firstAtLength", [] { return RemoveFirstChars(u"abc"_s, 3); }, QString() },
        Case { "firstBeyondLength", [] { return RemoveFirstChars(u"abc"_s, 9); }, QString() },
        Case { "lastAtLength", [] { return RemoveLastChars(u"abc"_s, 3); }, QString() },
        Case { "lastBeyondLength", [] { return RemoveLastChars(u"abcdef"_s, 9); }, QString() },
        Case { "afterPositionBeyondLength", [] { return RemoveTextAfterPosition(u"abcdef"_s, 9); },
            u"abcdef"_s },
        Case { "lastNegativeKeepsAll", [] { return RemoveLastChars(u"abc"_s, -1); }, u"abc"_s },
        Case { "lastMostNegativeKeepsAll", [] { return RemoveLastChars(u"abc"_s, -32768); }, u"abc"_s },
        Case { "afterPositionMax", [] { return RemoveTextAfterPosition(u"abc"_s, 32767); }, u"abc"_s },
        Case { "lastMax", [] { return RemoveLastChars(u"abc"_s, 32767); }, QString() },
        // Positions count UTF-16 units: an emoji outside the BMP is two of them.
        Case { "utf16Units", [] { return RemoveFirstChars(u"😀x"_s, 2); }, u"x"_s }),
    caseName);

TEST(Transforms, EveryTransformGivesEmptyForEmptyWithoutLookingAtParameters)
{
    const QString e;
    const QString x = u"X"_s;
    EXPECT_EQ(RemoveFirstChars(e, -1), e);
    EXPECT_EQ(RemoveFirstChars(e, 32767), e);
    EXPECT_EQ(RemoveTextBeforePosition(e, -1), e);
    EXPECT_EQ(RemoveTextAfterPosition(e, -1), e);
    EXPECT_EQ(RemoveLastChars(e, 32767), e);
    EXPECT_EQ(ReplaceTextBefore(e, x, x), e);
    EXPECT_EQ(ReplaceTextBefore(e, QString(), x), e);
    EXPECT_EQ(ReplaceTextAfter(e, QString(), x), e);
    EXPECT_EQ(ReplaceAllSpaces(e, x), e);
    EXPECT_EQ(ReplaceLineBreaks(e, x), e);
    EXPECT_EQ(ReplaceTabs(e, x), e);
    EXPECT_EQ(ReplaceNonAlphanumerics(e, x), e);
    EXPECT_EQ(ReplaceUserChars(e, x, x), e);
    EXPECT_EQ(CollapseSpaces(e), e);
}

TEST(Transforms, CountErrorsCarryADescription)
{
    EXPECT_THROW(RemoveFirstChars(u"abc"_s, -1), InvalidArgument);
    EXPECT_THROW(RemoveTextBeforePosition(u"abc"_s, -32768), InvalidArgument);
    EXPECT_THROW(RemoveTextAfterPosition(u"abc"_s, -1), InvalidArgument);
    EXPECT_THROW(RemoveFirstChars(u"abc"_s, 32767), Overflow);
    EXPECT_THROW(RemoveTextBeforePosition(u"abc"_s, 32767), Overflow);
    try {
        RemoveFirstChars(u"abc"_s, -1);
    } catch (const core::Error& e) {
        EXPECT_FALSE(e.description().isEmpty());
    }
}

} // namespace
