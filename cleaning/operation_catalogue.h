#pragma once

// The 27 cleaning operations, in the order the operation list shows them. The caption is
// an operation's identity: the change run finds the operation by the list's text.

#include "cleaning/transforms.h"
#include "core/dialogs.h"
#include "core/procedure.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <span>

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
    int position; // 1 to 27
    const char16_t* caption;
    ParameterKind kind;
    const char16_t* prompt; // the one prompt of Text and Count; null otherwise
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

std::span<const Operation> operations();

// The first operation whose caption equals text exactly; null when none does.
const Operation* findOperation(const QString& text);

// The prompts the operation asks, in the order it asks them.
QStringList operationPrompts(const Operation& operation);

// Shows the operation's prompts (each one a numbered step of proc) and returns the
// answers, or nullopt when the operation is abandoned: Cancel at any prompt, an answer to
// "Enter Number:" that is not a number (after the "Must enter number" box), or a count the
// operation cannot use for any value (out of the 16-bit range, or negative where the
// transform rejects that), reported once through proc at the numeric check's step.
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

} // namespace cleaning
