#pragma once

// How Paradox values live in work tables. The copy stores each value as the text it would
// put between quotes in its INSERT statement, bound with the column's affinity exactly as
// SQLite would store that literal; reading gives the text again, which
// paradox::valueFromText turns back into a value of the field.

#include "data/paradox/paradox.h"
#include "data/workdb/sqlite.h"

#include <QString>
#include <optional>

struct sqlite3_value;

namespace data {

// The text the copy puts between quotes for a value: paradox::valueText, except that bytes
// are written "0x" + hex (a numeric column would turn a text of digits into a number and
// lose the leading zeros of bytes such as 00 12; a text that starts with 0x never is one).
void appendCopyText(QString& text, const paradox::Value& value);
QString copyText(const paradox::Value& value);

// Binds a value's copy text as SQLite would store the quoted literal in a column of this
// affinity; an empty text is a NULL. Texts made here live in scratch until the statement ran.
void bindCopyValue(sqlite::Statement& statement, int parameter, const paradox::Value& value,
    sqlite::Affinity affinity, QString& scratch);
// The same for a text given as it is, e.g. an update's new text.
void bindCopyText(sqlite::Statement& statement, int parameter, QStringView text, sqlite::Affinity affinity);

// A stored value as the program shows it (paradox::valueText's rules for the numbers and
// bytes it holds); the empty text for a NULL.
QString storedText(sqlite3_value* value);

} // namespace data
