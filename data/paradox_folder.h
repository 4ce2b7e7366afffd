#pragma once

// The Paradox folder's side of the data path: a table opened by the name the table list
// shows it by, its field list, and the values of one of its fields. Every failure throws
// core::Error with a description the user can read.

#include "core/value_cursor.h"
#include "data/paradox/paradox.h"

#include <QString>
#include <memory>
#include <vector>

namespace data {

// Throws when the folder text is empty or names no folder.
void checkParadoxFolder(const QString& folder);

// The table's .db file in folder (found ignoring case); throws when the folder text is
// empty, the folder does not exist or holds no such table.
QString paradoxTableFile(const QString& folder, const QString& table);

// The table's records, streamed in file order.
std::unique_ptr<paradox::TableReader> openParadoxTable(const QString& folder, const QString& table);

// The fields of the table, in the table's order: what the field list shows.
std::vector<paradox::Field> tableFields(const QString& folder, const QString& table);

// The position of field in the table's fields (compared ignoring case); throws when none.
int fieldIndex(const paradox::TableInfo& info, const QString& table, const QString& field);

// The values of one field of the table, in file order.
std::unique_ptr<core::ValueCursor> paradoxFieldValues(
    const QString& folder, const QString& table, const QString& field);

} // namespace data
