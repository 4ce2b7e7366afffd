#pragma once

// Texts back into values: what a text typed or computed for a field stands for, and whether
// the field can hold it.

#include "data/paradox/format/table.h"

#include <QString>
#include <QStringView>
#include <optional>

namespace paradox {

// The value a text stands for in `field`, the inverse of valueText: an empty text is a null
// for every type; bytes may also be written in upper case or after "0x". The value is also
// checked against the field (valueFits). nullopt with *problem, a text a user can read
// ("\"abc\" is not a number"), when the text is no value of the field.
std::optional<Value> valueFromText(const Field& field, QStringView text, int codePage, QString* problem);
// Why a change that empties a value of `field` is no value of it ("\"\" is not a number"), or
// the empty text for a field that an empty text fits (text, binary).
QString emptyTextProblem(const Field& field);

// Whether `field` of a table in codePage can hold value: every character exists in the code
// page and an Alpha text's bytes fit the field, a number lies in the field's range, a BCD
// value has no more decimals than the field, the value is of the field's kind. False with
// *problem ("the text is 31 bytes long in code page 1252; the field holds 30") when not.
bool valueFits(const Field& field, const Value& value, int codePage, QString* problem);

} // namespace paradox
