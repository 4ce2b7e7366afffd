// The operations after the 27: their texts by Unicode's rules, their place in the catalogue,
// what each field type offers, and their prompts.

#include "cleaning/operation_catalogue.h"
#include "cleaning/run_request.h"
#include "cleaning/unicode_transforms.h"
#include "tests/support/scripted_view.h"

#include <gtest/gtest.h>

#include <set>

using namespace Qt::StringLiterals;
using namespace cleaning;

namespace {

const Operation& op(int position)
{
    const Operation* operation = operationAt(position);
    EXPECT_TRUE(operation) << position;
    return *operation;
}

QString apply(int position, const QString& value, const Parameters& parameters = {})
{
    return applyOperation(op(position), parameters, value);
}

TEST(UnicodeOperations, CaseAccentsAndLettersOfAnyScript)
{
    struct Case
    {
        int operation;
        QString value;
        QString expected;
    };
    // Written by hand: what each should read as, not what a library returned.
    const Case cases[] = {
        { 28, u"élan vital"_s, u"ÉLAN VITAL"_s },
        { 28, u"ǆungla"_s, u"ǄUNGLA"_s },
        { 28, u"straße"_s, u"STRASSE"_s },
        { 29, u"ÉLAN Vital"_s, u"élan vital"_s },
        { 29, u"ǄUNGLA"_s, u"ǆungla"_s },
        { 29, u"STRAßE"_s, u"straße"_s },
        { 30, u"élan vital"_s, u"Élan Vital"_s },
        { 30, u"ǆungla"_s, u"ǅungla"_s },
        { 30, u"straße"_s, u"Straße"_s },
        { 30, u"KATJA CARROW"_s, u"Katja Carrow"_s },
        { 31, u"CHLOE SMITH. SHE WROTE."_s, u"Chloe smith. She wrote."_s },
        { 32, u"Zürich, 8001!"_s, u"Zürich 8001"_s },
        { 32, u"Ελλάδα (GR)"_s, u"Ελλάδα GR"_s },
        { 32, u"東京・大阪（本社）"_s, u"東京大阪本社"_s },
        { 32, u"Acme, Inc."_s, u"Acme Inc"_s },
        { 34, u"Crème Brûlée"_s, u"Creme Brulee"_s },
        { 34, u"Straße"_s, u"Strasse"_s },
        { 34, u"Łódź Ørsted Æsir"_s, u"Lodz Orsted AEsir"_s },
        { 34, u"Ἑλλάδα Ёлка"_s, u"Ελλαδα Елка"_s },
        { 34, u"ガス 東京"_s, u"ガス 東京"_s }, // a kana's sound mark is no accent
        { 37, u"\t Ann\u00a0\u00a0Lee \r\n Jr.\u2003"_s, u"Ann Lee Jr."_s },
        { 37, u"  \n\t "_s, QString() },
    };
    for (const Case& c : cases)
        EXPECT_EQ(apply(c.operation, c.value), c.expected) << c.operation << " " << c.value.toStdString();
    // Characters beyond the 16-bit range are whole characters, not two halves.
    EXPECT_EQ(apply(32, u"𝐀1-𝟐"_s), u"𝐀1𝟐"_s);
    EXPECT_EQ(apply(33, u"a-b,c"_s, { u"_"_s, {} }), u"a_b_c"_s);
}

TEST(UnicodeOperations, ReplacingIgnoringCaseAndByPattern)
{
    EXPECT_EQ(
        apply(35, u"ACME inc, Acme Inc"_s, { u"acme inc"_s, u"Acme, Inc."_s }), u"Acme, Inc., Acme, Inc."_s);
    EXPECT_EQ(apply(35, u"Ärger ärger"_s, { u"ÄRGER"_s, u"x"_s }), u"x x"_s);
    EXPECT_EQ(apply(35, u"abc"_s, { QString(), u"x"_s }), u"abc"_s) << "an empty text to find finds nothing";
    // Capture groups, again and again in one value.
    EXPECT_EQ(apply(36, u"Smith, John; Lee, Ann"_s, { u"(\\w+), (\\w+)"_s, u"\\2 \\1"_s }),
        u"John Smith; Ann Lee"_s);
    EXPECT_EQ(apply(36, u"Zürich 8001"_s, { u"\\d+"_s, u"#"_s }), u"Zürich #"_s);
    EXPECT_EQ(apply(36, u"Straße"_s, { u"(\\w+)"_s, u"[\\1]"_s }), u"[Straße]"_s)
        << "\\w takes in letters of any script";
    EXPECT_EQ(apply(36, u"abc"_s, { QString(), u"x"_s }), u"abc"_s);
    EXPECT_THROW(apply(36, u"abc"_s, { u"(a"_s, u"x"_s }), core::Error);
    EXPECT_EQ(apply(36, u"abc"_s, { u"b"_s, u"x"_s }), u"axc"_s) << "a good pattern after a bad one";
}

TEST(UnicodeOperations, ComeAfterThe27WithStepsOfTheirOwn)
{
    ASSERT_EQ(operations().size(), 27u);
    ASSERT_EQ(moreOperations().size(), 10u);
    std::set<int> steps;
    std::set<QString> captions;
    for (int position = 1; position <= 37; ++position) {
        const Operation& operation = op(position);
        EXPECT_EQ(operation.position, position);
        EXPECT_EQ(findOperation(operation.captionText()), &operation);
        EXPECT_TRUE(captions.insert(operation.captionText()).second) << position;
        // Every step of a block, prompts included, belongs to it alone; ours lie past the run's.
        for (int step = operation.firstStep; step <= operation.loopEndStep(); ++step) {
            EXPECT_TRUE(steps.insert(step).second) << "step " << step << " of operation " << position;
            if (position > 27) {
                EXPECT_GT(step, 756);
            }
        }
    }
    EXPECT_EQ(operationAt(0), nullptr);
    EXPECT_EQ(operationAt(38), nullptr);
}

TEST(UnicodeOperations, TheFieldTypeDecidesWhatIsOffered)
{
    using T = paradox::FieldType;
    for (const T type : { T::Alpha, T::Memo, T::FormattedMemo })
        EXPECT_EQ(offeredOperations(type).size(), 37u);
    for (const T type : { T::Blob, T::Graphic, T::Ole, T::Bytes })
        EXPECT_TRUE(offeredOperations(type).empty());
    // A number, date or time has no letters to change case or lose accents, and no spaces.
    std::vector<int> onNumbers;
    for (const Operation* operation : offeredOperations(T::Number))
        onNumbers.push_back(operation->position);
    EXPECT_EQ(onNumbers, (std::vector<int> { 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 35, 36 }));
    EXPECT_EQ(offeredOperations(T::Date).size(), onNumbers.size());
}

TEST(UnicodeOperations, PromptsOfTheirOwnAndABadPatternIsRefusedWithItsReason)
{
    testsupport::ScriptedView view;
    core::Procedure proc(view, u"test"_s);
    view.answers = { u"acme"_s, u"Acme"_s };
    EXPECT_EQ(askParameters(op(35), view, proc)->first, u"acme"_s);
    view.answers = { u"(\\d+"_s, u"x"_s };
    EXPECT_FALSE(askParameters(op(36), view, proc));
    EXPECT_EQ(view.prompts,
        (QStringList { u"Find What:"_s, u"Replace With:"_s, u"Enter Pattern (Regular Expression):"_s,
            u"Replace With:"_s }));
    ASSERT_EQ(view.messages.size(), 1);
    EXPECT_EQ(view.messages[0],
        u"The pattern \"(\\d+\" is not a valid regular expression: missing closing parenthesis at character 5."_s);
    EXPECT_TRUE(view.reports.isEmpty());
}

TEST(RunRequests, MergesThatContradictEachOtherAreRefused)
{
    EXPECT_EQ(
        mergeProblem({ { { u"a"_s, u"b"_s }, u"x"_s }, { { u"c"_s, std::nullopt }, u"y"_s } }), QString());
    EXPECT_EQ(mergeProblem({ { { u"a"_s }, u"x"_s }, { { u"a"_s }, u"x"_s } }), QString());
    EXPECT_EQ(mergeProblem({ { { u"a\"b"_s }, u"x"_s }, { { u"a\"b"_s }, u"y"_s } }),
        u"The value \"a\"\"b\" cannot be merged into both \"x\" and \"y\"."_s);
    EXPECT_NE(mergeProblem({ { { std::nullopt }, u"x"_s }, { { std::nullopt }, u"y"_s } }), QString());
    EXPECT_NE(mergeProblem({ { {}, u"x"_s } }), QString());
    EXPECT_NE(mergeProblem({}), QString());
    EXPECT_NE(limitProblem({ {}, u"[a-"_s }), QString());
    EXPECT_EQ(limitProblem({ { u"[a-"_s }, {} }), QString()) << "a value is no pattern";
}

} // namespace
