#include "cleaning/operation_catalogue.h"

#include "cleaning/run_request.h"
#include "cleaning/unicode_transforms.h"

#include <QRegularExpression>
#include <cmath>

using namespace Qt::StringLiterals;

namespace cleaning {
namespace {

constexpr char16_t kReplaceWith[] = u"Replace With:";
constexpr char16_t kEnterChars[] = u"Enter User-Defined Character(s):";
constexpr char16_t kEnterNumber[] = u"Enter Number:";
constexpr char16_t kFindWhat[] = u"Find What:";
constexpr char16_t kEnterPattern[] = u"Enter Pattern (Regular Expression):";

template <QString (*F)(const QString&)> QString none(const QString& value, const Parameters&)
{
    return F(value);
}

template <QString (*F)(const QString&, const QString&)>
QString oneText(const QString& value, const Parameters& p)
{
    return F(value, p.first);
}

template <QString (*F)(const QString&, const QString&, const QString&)>
QString twoTexts(const QString& value, const Parameters& p)
{
    return F(value, p.first, p.second);
}

template <QString (*F)(const QString&, CharCount)> QString count(const QString& value, const Parameters& p)
{
    return F(value, countFromAnswer(p.first));
}

using K = ParameterKind;

// clang-format off
constexpr std::array<Operation, 27> kOperations { {
    { 1, u"Remove All Spaces in Selected Field", K::None, nullptr, 126, none<RemoveAllSpaces> },
    { 2, u"Replace All Spaces in Selected Field With...", K::Text, kReplaceWith, 144, oneText<ReplaceAllSpaces> },
    { 3, u"Remove Extra Spaces at Beginning of Selected Field", K::None, nullptr, 166, none<TrimLeadingSpaces> },
    { 4, u"Remove Extra Spaces at End of Selected Field", K::None, nullptr, 184, none<TrimTrailingSpaces> },
    { 5, u"Remove All Spaces Except for Single Spaces Between Words in Selected Field", K::None, nullptr, 202, none<CollapseSpaces> },
    { 6, u"Remove Enters (Carriage Returns) in Selected Field", K::None, nullptr, 220, none<RemoveLineBreaks> },
    { 7, u"Replace Enters (Carriage Returns) in Selected Field With...", K::Text, kReplaceWith, 238, oneText<ReplaceLineBreaks> },
    { 8, u"Remove Tabs in Selected Field", K::None, nullptr, 260, none<RemoveTabs> },
    { 9, u"Replace Tabs in Selected Field With...", K::Text, kReplaceWith, 278, oneText<ReplaceTabs> },
    { 10, u"Remove Alphabet Character(s) in Selected Field", K::None, nullptr, 300, none<RemoveLetters> },
    { 11, u"Replace Alphabet Character(s) in Selected Field With...", K::Text, kReplaceWith, 318, oneText<ReplaceLetters> },
    { 12, u"Remove Numeric Character(s) in Selected Field", K::None, nullptr, 340, none<RemoveDigits> },
    { 13, u"Replace Numeric Character(s) in Selected Field With...", K::Text, kReplaceWith, 358, oneText<ReplaceDigits> },
    { 14, u"Remove Alphanumeric Character(s) in Selected Field", K::None, nullptr, 380, none<RemoveAlphanumerics> },
    { 15, u"Replace Alphanumeric Character(s) in Selected Field With...", K::Text, kReplaceWith, 398, oneText<ReplaceAlphanumerics> },
    { 16, u"Remove Non-Alphanumeric Character(s) in Selected Field", K::None, nullptr, 420, none<RemoveNonAlphanumerics> },
    { 17, u"Replace Non-Alphanumeric Character(s) in Selected Field With...", K::Text, kReplaceWith, 438, oneText<ReplaceNonAlphanumerics> },
    { 18, u"Remove User-Defined Character(s) in Selected Field", K::Text, kEnterChars, 460, oneText<RemoveUserChars> },
    { 19, u"Replace User-Defined Character(s) in Selected Field With...", K::TwoTexts, nullptr, 482, twoTexts<ReplaceUserChars> },
    { 20, u"Remove All Text After User-Defined Character(s) in Selected Field", K::Text, kEnterChars, 508, oneText<RemoveTextAfter> },
    { 21, u"Replace All Text After User-Defined Character(s) in Selected Field With...", K::TwoTexts, nullptr, 530, twoTexts<ReplaceTextAfter> },
    { 22, u"Remove All Text Before User-Defined Character(s) in Selected Field", K::Text, kEnterChars, 556, oneText<RemoveTextBefore> },
    { 23, u"Replace All Text Before User-Defined Character(s) in Selected Field With...", K::TwoTexts, nullptr, 578, twoTexts<ReplaceTextBefore> },
    { 24, u"Remove First x Character(s) in Selected Field", K::Count, kEnterNumber, 604, count<RemoveFirstChars> },
    { 25, u"Remove Last x Character(s) in Selected Field", K::Count, kEnterNumber, 632, count<RemoveLastChars> },
    { 26, u"Remove All Text After x Position in Field", K::Count, kEnterNumber, 660, count<RemoveTextAfterPosition> },
    { 27, u"Remove All Text Before x Position in Field", K::Count, kEnterNumber, 688, count<RemoveTextBeforePosition> },
} };

// Operations of our own: step numbers in blocks of the 27's sizes, from 800 on, past every
// step of the run.
constexpr std::array<Operation, 10> kMoreOperations { {
    { 28, u"Change Selected Field to UPPER CASE", K::None, nullptr, 800, none<ToUpperCase> },
    { 29, u"Change Selected Field to lower case", K::None, nullptr, 818, none<ToLowerCase> },
    { 30, u"Change Selected Field to Title Case", K::None, nullptr, 836, none<ToTitleCase> },
    { 31, u"Change Selected Field to Sentence case", K::None, nullptr, 854, none<ToSentenceCase> },
    { 32, u"Remove Non-Alphanumeric Character(s) of Any Language, Except Spaces, in Selected Field", K::None, nullptr, 872, none<RemoveNonAlphanumericsAnyScript> },
    { 33, u"Replace Non-Alphanumeric Character(s) of Any Language, Except Spaces, in Selected Field With...", K::Text, kReplaceWith, 890, oneText<ReplaceNonAlphanumericsAnyScript> },
    { 34, u"Remove Accents in Selected Field", K::None, nullptr, 912, none<RemoveAccents> },
    { 35, u"Replace User-Defined Character(s) Ignoring Case in Selected Field With...", K::TwoTexts, nullptr, 930, twoTexts<ReplaceIgnoringCase> },
    { 36, u"Replace Pattern (Regular Expression) in Selected Field With...", K::TwoTexts, kEnterPattern, 956, twoTexts<ReplacePattern> },
    { 37, u"Remove All Extra White Space (Tabs, Enters, Non-Breaking Spaces) in Selected Field", K::None, nullptr, 982, none<TrimAndCollapseWhiteSpace> },
} };
// clang-format on

// The operations that only change letters or white space: a number, date or time has
// nothing they could change.
bool isTextOnly(const Operation& operation)
{
    const int p = operation.position;
    return p <= 17 || (p >= 28 && p <= 34) || p == 37;
}

bool isTextType(paradox::FieldType type)
{
    using T = paradox::FieldType;
    return type == T::Alpha || type == T::Memo || type == T::FormattedMemo;
}

// Bytes, pictures and objects are no text at all: no operation's result could stand for one.
bool isBinaryType(paradox::FieldType type)
{
    using T = paradox::FieldType;
    return type == T::Blob || type == T::Ole || type == T::Graphic || type == T::Bytes;
}

// Asks one prompt as a numbered step; a failing box counts as Cancel.
std::optional<QString> ask(core::Dialogs& dialogs, core::Procedure& proc, int line, const char16_t* prompt)
{
    std::optional<QString> answer;
    proc.step(line, [&] { answer = dialogs.inputBox(QString::fromUtf16(prompt)); });
    return answer;
}

} // namespace

int Operation::loopStartStep() const
{
    switch (kind) {
    case ParameterKind::None:
        return firstStep + 2;
    case ParameterKind::Text:
        return firstStep + 6;
    case ParameterKind::TwoTexts:
    case ParameterKind::Count:
        return firstStep + 10;
    }
    return firstStep;
}

std::span<const Operation> operations()
{
    return kOperations;
}

std::span<const Operation> moreOperations()
{
    return kMoreOperations;
}

const Operation* operationAt(int position)
{
    if (position >= 1 && position <= static_cast<int>(kOperations.size()))
        return &kOperations[static_cast<std::size_t>(position - 1)];
    const int more = position - static_cast<int>(kOperations.size());
    if (more >= 1 && more <= static_cast<int>(kMoreOperations.size()))
        return &kMoreOperations[static_cast<std::size_t>(more - 1)];
    return nullptr;
}

const Operation* findOperation(const QString& text)
{
    for (const Operation& operation : kOperations) {
        if (text == QStringView(operation.caption))
            return &operation;
    }
    for (const Operation& operation : kMoreOperations) {
        if (text == QStringView(operation.caption))
            return &operation;
    }
    return nullptr;
}

QStringList operationPrompts(const Operation& operation)
{
    switch (operation.kind) {
    case ParameterKind::None:
        return {};
    case ParameterKind::TwoTexts:
        return { QString::fromUtf16(operation.prompt ? operation.prompt : kFindWhat),
            QString::fromUtf16(kReplaceWith) };
    case ParameterKind::Text:
    case ParameterKind::Count:
        return { QString::fromUtf16(operation.prompt) };
    }
    return {};
}

bool isOffered(const Operation& operation, paradox::FieldType type)
{
    if (isTextType(type))
        return true;
    return !isBinaryType(type) && !isTextOnly(operation);
}

std::vector<const Operation*> offeredOperations(paradox::FieldType type)
{
    std::vector<const Operation*> offered;
    for (const auto& list : { operations(), moreOperations() }) {
        for (const Operation& operation : list) {
            if (isOffered(operation, type))
                offered.push_back(&operation);
        }
    }
    return offered;
}

bool asksBeforeCopy(const Operation& operation)
{
    return operation.position > static_cast<int>(kOperations.size());
}

std::optional<Parameters> askParameters(
    const Operation& operation, core::Dialogs& dialogs, core::Procedure& proc)
{
    const int first = operation.firstStep;
    switch (operation.kind) {
    case ParameterKind::None:
        return Parameters {};
    case ParameterKind::Text: {
        const auto answer = ask(dialogs, proc, first + 2, operation.prompt);
        if (!answer)
            return std::nullopt;
        return Parameters { *answer, {} };
    }
    case ParameterKind::TwoTexts: {
        // The second prompt is shown even when the first was cancelled.
        const auto chars = ask(dialogs, proc, first + 2, operation.prompt ? operation.prompt : kFindWhat);
        const auto replacement = ask(dialogs, proc, first + 4, kReplaceWith);
        if (!chars || !replacement)
            return std::nullopt;
        if (operation.prompt == kEnterPattern) {
            if (const QString problem = patternProblem(*chars); !problem.isEmpty()) {
                proc.step(first + 6, [&] { dialogs.messageBox(problem); });
                return std::nullopt;
            }
        }
        return Parameters { *chars, *replacement };
    }
    case ParameterKind::Count: {
        const auto answer = ask(dialogs, proc, first + 2, operation.prompt);
        if (!answer)
            return std::nullopt;
        if (!isNumericAnswer(*answer)) {
            proc.step(first + 26, [&] { dialogs.messageBox(u"Must enter number"_s); });
            return std::nullopt;
        }
        // A count that the conversion or the transform rejects fails alike for every value: it
        // is reported once, here, instead of once per value of the field.
        const Parameters parameters { *answer, {} };
        if (!proc.step(first + 6, [&] { applyOperation(operation, parameters, u"x"_s); }))
            return std::nullopt;
        return parameters;
    }
    }
    return std::nullopt;
}

bool isNumericAnswer(const QString& answer)
{
    static const QRegularExpression number(u"^[ \\t]*[+-]?[ \\t]*([0-9]+\\.?[0-9]*|\\.[0-9]+)[ \\t]*$"_s);
    return number.match(answer).hasMatch();
}

CharCount countFromAnswer(const QString& answer)
{
    QString digits = answer.trimmed();
    digits.remove(u' ');
    digits.remove(u'\t');
    bool ok = false;
    const double number = digits.toDouble(&ok);
    // nearbyint rounds halves to the even neighbour in the default rounding mode.
    const double rounded = ok ? std::nearbyint(number) : NAN;
    if (!ok || !(rounded >= INT16_MIN && rounded <= INT16_MAX))
        throw Overflow(u"Overflow: "_s + answer + u" is not a number from -32768 to 32767"_s);
    return static_cast<CharCount>(rounded);
}

QString applyOperation(const Operation& operation, const Parameters& parameters, const QString& value)
{
    return operation.transform(value, parameters);
}

const Operation& mergeOperation()
{
    static constexpr Operation merge { 0, kMergeCaption, ParameterKind::None, nullptr, 1000, nullptr };
    return merge;
}

} // namespace cleaning
