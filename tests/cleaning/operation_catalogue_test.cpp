#include "cleaning/operation_catalogue.h"
#include "tests/support/scripted_view.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace Qt::StringLiterals;
using namespace cleaning;

namespace {

using ScriptedDialogs = testsupport::ScriptedView;

const Operation& op(int position)
{
    return operations()[static_cast<std::size_t>(position - 1)];
}

TEST(Catalogue, HasTheCaptionsInOrderAndFindsByExactCaption)
{
    ASSERT_EQ(operations().size(), 27u);
    for (int i = 1; i <= 27; ++i)
        EXPECT_EQ(op(i).position, i);
    EXPECT_EQ(op(1).captionText(), u"Remove All Spaces in Selected Field"_s);
    EXPECT_EQ(op(27).captionText(), u"Remove All Text Before x Position in Field"_s);
    EXPECT_EQ(findOperation(u"Remove Tabs in Selected Field"_s), &op(8));
    EXPECT_EQ(findOperation(u"remove tabs in selected field"_s), nullptr);
    EXPECT_EQ(findOperation(u"Remove Tabs in Selected Field "_s), nullptr);
    EXPECT_EQ(findOperation(QString()), nullptr);
}

TEST(Catalogue, ReportsShowTheStepNumbersUsersKnow)
{
    EXPECT_EQ(op(1).updateValueStep(), 136);
    EXPECT_EQ(op(2).updateNullStep(), 156);
    EXPECT_EQ(op(19).updateValueStep(), 500);
    EXPECT_EQ(op(24).updateValueStep(), 622);
    EXPECT_EQ(op(27).loopEndStep(), 712);
}

TEST(AskParameters, TwoTextsShowsBothPromptsEvenAfterCancel)
{
    ScriptedDialogs dialogs;
    core::Procedure proc(dialogs, u"T.Form2.PushButton1_Click"_s);
    dialogs.answers = { QString(), u"x"_s };
    EXPECT_FALSE(askParameters(op(19), dialogs, proc).has_value());
    EXPECT_EQ(dialogs.prompts, (QStringList { u"Find What:"_s, u"Replace With:"_s }));

    dialogs.prompts.clear();
    dialogs.answers = { u"a"_s, QString() };
    EXPECT_FALSE(askParameters(op(21), dialogs, proc).has_value());
    EXPECT_EQ(dialogs.prompts.size(), 2);

    dialogs.answers = { u" a"_s, u""_s };
    const auto answers = askParameters(op(23), dialogs, proc);
    ASSERT_TRUE(answers.has_value());
    EXPECT_EQ(answers->first, u" a"_s) << "answers are not trimmed";
    EXPECT_EQ(answers->second, QString());
}

TEST(AskParameters, EmptyAnswerIsNotCancel)
{
    ScriptedDialogs dialogs;
    core::Procedure proc(dialogs, u"X.Y.Z"_s);
    dialogs.answers = { u""_s };
    const auto answers = askParameters(op(2), dialogs, proc);
    ASSERT_TRUE(answers.has_value());
    EXPECT_EQ(dialogs.prompts, QStringList { u"Replace With:"_s });
    EXPECT_EQ(applyOperation(op(2), *answers, u"a b c"_s), u"abc"_s);

    dialogs.answers = { QString() };
    EXPECT_FALSE(askParameters(op(18), dialogs, proc).has_value());
    EXPECT_EQ(dialogs.prompts.last(), u"Enter User-Defined Character(s):"_s);
    EXPECT_TRUE(askParameters(op(1), dialogs, proc).has_value()) << "no prompt, nothing to cancel";
}

TEST(AskParameters, CountMustBeANumber)
{
    for (const QString& bad : { u""_s, u"abc"_s, u"1x"_s, u"1e3"_s, u"1,5"_s, u"--1"_s }) {
        ScriptedDialogs dialogs;
        core::Procedure proc(dialogs, u"X.Y.Z"_s);
        dialogs.answers = { bad };
        EXPECT_FALSE(askParameters(op(24), dialogs, proc).has_value()) << bad.toStdString();
        EXPECT_EQ(dialogs.messages, QStringList { u"Must enter number"_s }) << bad.toStdString();
    }
    ScriptedDialogs dialogs;
    core::Procedure proc(dialogs, u"X.Y.Z"_s);
    dialogs.answers = { QString() };
    EXPECT_FALSE(askParameters(op(25), dialogs, proc).has_value());
    EXPECT_TRUE(dialogs.messages.isEmpty()) << "Cancel shows no message";
}

TEST(AskParameters, ACountNoValueCanTakeIsReportedOnceAndAbandonsTheOperation)
{
    struct Case
    {
        int operation;
        QString answer;
        bool isUsable;
    };
    for (const Case& c : { Case { 24, u"-3"_s, false }, Case { 26, u"-1"_s, false },
             Case { 27, u"-0.6"_s, false }, Case { 24, u"32767"_s, false }, Case { 25, u"40000"_s, false },
             Case { 25, u"-3"_s, true }, Case { 24, u"-0.5"_s, true }, Case { 26, u"32767"_s, true } }) {
        SCOPED_TRACE(u"%1 with %2"_s.arg(c.operation).arg(c.answer).toStdString());
        ScriptedDialogs dialogs;
        core::Procedure proc(dialogs, u"X.Y.Z"_s);
        dialogs.answers = { c.answer };
        EXPECT_EQ(askParameters(op(c.operation), dialogs, proc).has_value(), c.isUsable);
        EXPECT_TRUE(dialogs.messages.isEmpty());
        if (c.isUsable) {
            EXPECT_TRUE(dialogs.reports.isEmpty());
            continue;
        }
        ASSERT_EQ(dialogs.reports.size(), 1);
        EXPECT_TRUE(
            dialogs.reports[0].contains(u"in X.Y.Z at line %1\r"_s.arg(op(c.operation).firstStep + 6)))
            << dialogs.reports[0].toStdString();
    }
}

TEST(Count, RoundsHalvesToEvenAndAcceptsBlanks)
{
    struct Case
    {
        QString answer;
        int count;
    };
    for (const Case& c :
        { Case { u"2.5"_s, 2 }, Case { u"3.5"_s, 4 }, Case { u" 7 "_s, 7 }, Case { u"-1"_s, -1 },
            Case { u"+3"_s, 3 }, Case { u"2.51"_s, 3 }, Case { u".5"_s, 0 }, Case { u"-0.5"_s, 0 },
            Case { u"32767"_s, 32767 }, Case { u"-32768"_s, -32768 }, Case { u"\t4\t"_s, 4 } }) {
        EXPECT_TRUE(isNumericAnswer(c.answer)) << c.answer.toStdString();
        EXPECT_EQ(countFromAnswer(c.answer), c.count) << c.answer.toStdString();
    }
}

TEST(Count, OutOfRangeFailsAtApplyForEveryValueIncludingEmpty)
{
    const Parameters tooBig { u"32768"_s, {} };
    EXPECT_TRUE(isNumericAnswer(tooBig.first));
    EXPECT_THROW(applyOperation(op(24), tooBig, u"abc"_s), Overflow);
    EXPECT_THROW(applyOperation(op(25), tooBig, QString()), Overflow);
    EXPECT_THROW(applyOperation(op(26), Parameters { u"-32768.6"_s, {} }, u"a"_s), Overflow);
    EXPECT_EQ(applyOperation(op(26), Parameters { u"-32768.5"_s, {} }, QString()), QString())
        << "-32768.5 rounds to even -32768";
    EXPECT_EQ(applyOperation(op(26), Parameters { u"-32767.5"_s, {} }, QString()), QString())
        << "rounds to -32768";
}

TEST(Apply, UsesTheAnswersInTheirRoles)
{
    EXPECT_EQ(applyOperation(op(24), Parameters { u"2.5"_s, {} }, u"abcdef"_s), u"cdef"_s);
    EXPECT_EQ(applyOperation(op(24), Parameters { u"3.5"_s, {} }, u"abcdef"_s), u"ef"_s);
    EXPECT_EQ(applyOperation(op(19), Parameters { u"ab"_s, u"-"_s }, u"abcab"_s), u"-c-"_s);
    EXPECT_EQ(applyOperation(op(21), Parameters { u":"_s, u"!"_s }, u"a:b"_s), u"a:!"_s);
    EXPECT_EQ(applyOperation(op(7), Parameters { u"/"_s, {} }, u"a\r\nb"_s), u"a//b"_s);
    EXPECT_EQ(applyOperation(op(17), Parameters { u"."_s, {} }, u"O'Neil Jr"_s), u"O.Neil Jr"_s);
}

} // namespace
