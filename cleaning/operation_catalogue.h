#pragma once

// The cleaning operations, in the order the operation list shows them: the 27 first, then
// ours from 28 on. The caption is an operation's identity: the change run finds the
// operation by the list's text.

#include "cleaning/transforms.h"
#include "core/dialogs.h"
#include "core/procedure.h"
#include "data/paradox/paradox.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <span>
#include <vector>

namespace cleaning {

enum class ParameterKind { None, Text, TwoTexts, Count };

// The answers to an operation's prompts, exactly as typed. Text: `first` is the
// replacement or the chars. Two texts: `first` the chars ("Find What:"), `second` the
// replacement. Count: `first` is the answer text, converted at every apply (askParameters has
// checked that the operation accepts it).
struct Parameters
{
    QString first;
    QString second;
};

using Transform = QString (*)(const QString& value, const Parameters& parameters);

struct Operation
{
    int position; // 1 to 27, then 28 on
    const char16_t* caption;
    ParameterKind kind;
    // The one prompt of Text and Count; of two texts, the first ("Find What:" when null).
    const char16_t* prompt;
    int firstStep; // the first step number of the operation's block in the change run
    Transform transform;

    QString captionText() const { return QString::fromUtf16(caption); }
    // Step numbers of the block, which the change run's error reports show.
    int loopStartStep() const;
    int progressStep() const { return loopStartStep() + 2; }
    int nullTestStep() const { return loopStartStep() + 4; }
    int updateNullStep() const { return loopStartStep() + 6; }
    int updateValueStep() const { return loopStartStep() + 8; }
    int pauseStep() const { return loopStartStep() + 10; }
    int nextRowStep() const { return loopStartStep() + 12; }
    int loopEndStep() const { return loopStartStep() + 14; }
};

// The 27, exactly as they have always been.
std::span<const Operation> operations();
// The operations of our own, numbered 28 onward, which the list shows after the 27.
std::span<const Operation> moreOperations();
// The operation numbered position (1 onward); null when there is none.
const Operation* operationAt(int position);
// Every operation that a field of this type offers, in list order: all of them on Alpha and
// memo fields; on other types only those whose result such a field can hold (the run still
// rejects, value by value, a new text the field cannot hold).
std::vector<const Operation*> offeredOperations(paradox::FieldType type);
bool isOffered(const Operation& operation, paradox::FieldType type);

// The first operation whose caption equals text exactly; null when none does.
const Operation* findOperation(const QString& text);

// The prompts the operation asks, in the order it asks them.
QStringList operationPrompts(const Operation& operation);

// Shows the operation's prompts (each one a numbered step of proc) and returns the
// answers, or nullopt when the operation is abandoned: Cancel at any prompt, an answer to
// "Enter Number:" that is not a number (after the "Must enter number" box), a count the
// operation cannot use for any value (out of the 16-bit range, or negative where the
// transform rejects that), reported once through proc at the numeric check's step, or a
// pattern that is not a valid regular expression (after a box that says why).
std::optional<Parameters> askParameters(
    const Operation& operation, core::Dialogs& dialogs, core::Procedure& proc);

// An optionally signed decimal number with blanks around it.
bool isNumericAnswer(const QString& answer);

// The count of a numeric answer: the nearest 16-bit integer, halves to the even
// neighbour. Throws Overflow when it lies outside -32768..32767.
CharCount countFromAnswer(const QString& answer);

// The operation's transform of value. A count is converted from its answer here, at
// every call, so a count out of range fails for every value.
QString applyOperation(const Operation& operation, const Parameters& parameters, const QString& value);

// Those after the 27 ask their prompts before the copy, so that a mistyped pattern is said at
// once instead of after the wait for the copy; the 27 ask after it.
bool asksBeforeCopy(const Operation& operation);

// What the backup's note calls a merge.
inline constexpr char16_t kMergeCaption[] = u"Merge Values";

// A merge as the run sees it: no prompts, and a block of step numbers of its own, past every
// operation's. Its transform is not used (the merges give the new texts).
const Operation& mergeOperation();

} // namespace cleaning
