#pragma once

// The reader behind openTable, over any pair of devices: tests and the fuzz target hand
// it bytes in memory.

#include "data/paradox/table.h"

#include <QIODevice>
#include <memory>

namespace paradox {

// `db` is open for reading; `mb` is the open memo file or null when the table has none.
// dbPath is what info().path reports; errors name the files by dbName and mbName.
std::unique_ptr<TableReader> openTableFromDevices(std::unique_ptr<QIODevice> db, const QString& dbPath,
    const QString& dbName, std::unique_ptr<QIODevice> mb, const QString& mbName, QString* error);

} // namespace paradox
