#pragma once

#include <QString>

namespace data {

// True when the work database of this application folder holds a table (not a view or a
// table of the database itself) whose name equals tableName after upper-casing both.
// Opens and closes its own connection; throws core::Error on failure.
bool TableExistsInWorkDb(const QString& tableName, const QString& applicationFolder);

// The work database's file: applicationFolder + "/dbTemp.mdb".
QString workDatabasePath(const QString& applicationFolder);

} // namespace data
