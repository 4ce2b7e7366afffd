#pragma once

// The Paradox folder's side of the data path: a table opened by the name the table list
// shows it by, its field list, and the values of one of its fields. Every failure throws
// core::Error with a description the user can read.

#include "core/value_cursor.h"
#include "data/paradox/io/table_place.h"
#include "data/paradox/paradox.h"

#include <QString>
#include <memory>
#include <vector>

namespace data {

// Throws when the folder text is empty or names no folder.
void checkParadoxFolder(const QString& folder);

// The table of folder, found once (ignoring the case of its name); throws when the folder text
// is empty, the folder does not exist or holds no such table.
paradox::TablePlace paradoxTablePlace(const QString& folder, const QString& table);
// Every table of folder (not of its sub-folders), each found once, by the names the table list
// gives them (upper case), sorted; throws when the folder text is empty or names no folder.
std::vector<paradox::TablePlace> paradoxTablePlaces(const QString& folder);
// Why there is no table `table` in folder: the folder's problem, else that it holds no such table.
[[noreturn]] void throwNoSuchTable(const QString& folder, const QString& table);
// The table's .db file in folder: paradoxTablePlace's.
QString paradoxTableFile(const QString& folder, const QString& table);

// The table's records, streamed in file order.
std::unique_ptr<paradox::TableReader> openParadoxTable(const QString& folder, const QString& table);
std::unique_ptr<paradox::TableReader> openTableAt(const paradox::TablePlace& place);

// The fields of the table, in the table's order: what the field list shows.
std::vector<paradox::Field> tableFields(const QString& folder, const QString& table);
std::vector<paradox::Field> fieldsAt(const paradox::TablePlace& place);

// The position of field in the table's fields (compared ignoring case); throws when none.
int fieldIndex(const paradox::TableInfo& info, const QString& table, const QString& field);

// The values of one field of the table, in file order.
std::unique_ptr<core::ValueCursor> paradoxFieldValues(
    const QString& folder, const QString& table, const QString& field);

} // namespace data
