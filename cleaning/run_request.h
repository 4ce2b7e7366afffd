#pragma once

// What a run may be asked beyond "this operation on this field": to keep to some of the
// field's values, or to merge chosen values into one. Both are plain values the host fills
// in before the run starts; the run takes them once, with the selection.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace cleaning {

// A value of the field as the run sees it: its text, or nullopt for the null.
using FieldValue = std::optional<QString>;

// The records a run may change: those whose value is one of `values` or whose text the
// regular expression `pattern` matches somewhere (a null has no text to match). Neither
// given: every record.
struct RecordLimit
{
    QList<FieldValue> values;
    QString pattern;

    bool isSet() const { return !values.isEmpty() || !pattern.isEmpty(); }
};

// The records holding any of `from` are given `into`.
struct MergeRequest
{
    QList<FieldValue> from;
    QString into;
};

// A value as notes and messages quote it: "text" (inner quotes doubled), or (null).
QString quotedValue(const FieldValue& value);

// Why a regular expression cannot be used, for the user to read; empty when it can.
QString patternProblem(const QString& pattern);

// Why the limit cannot be used (its pattern is not valid); empty when it can.
QString limitProblem(const RecordLimit& limit);

// The limit as the backup's note keeps it, e.g. Only the values "a", (null) and those matching ^x.
QString limitNote(const RecordLimit& limit);

// Why the merges cannot be run together (none given, a merge without values, a value that
// two merges would give different texts); empty when they can.
QString mergeProblem(const QList<MergeRequest>& merges);

// The merges as the backup's note keeps them: one line per merge, its values quoted
// ("ACME inc", "Acme Inc." into "Acme, Inc."), the null as (null).
QStringList mergeNote(const QList<MergeRequest>& merges);

} // namespace cleaning
