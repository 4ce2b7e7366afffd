#pragma once

// How Paradox fields and values look to the rest of the data layer: the type numbers a
// Paradox driver reports, values as QVariant, and the texts the copy sends.

#include "data/paradox/table.h"

#include <QString>
#include <QVariant>

namespace data {

// The ADO type number a Paradox driver reports for a field of this type.
int adoTypeOf(paradox::FieldType type);

bool isBinaryType(paradox::FieldType type);

QVariant toVariant(const paradox::Value& value);

// paradox::valueText's rules for a value of the work database: integers and doubles as
// the Paradox values they came from, bytes as lower-case hex, a null as the empty text.
QString variantText(const QVariant& value);

// The text the copy puts between quotes for a value: its valueText, except that bytes are
// written "0x" + hex. The work database's numeric columns turn a text of digits into a
// number, which would lose the leading zeros of bytes such as 00 12; a text that starts
// with 0x is never taken for a number.
QString copyText(const paradox::Value& value);
// The same text, appended: a caller that keeps its string spares an allocation per value.
void appendCopyText(QString& text, const paradox::Value& value);

// The bytes of copyText's form of a binary value ("0x" optional); nullopt when the text is
// not an even number of hex digits.
std::optional<QByteArray> bytesFromCopyText(const QString& text);

} // namespace data
