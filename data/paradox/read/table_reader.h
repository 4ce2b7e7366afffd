#pragma once

// Reading a table's records: from its files (openTable), or from any pair of devices, which
// tests and the fuzz target hand bytes in memory.

#include "data/paradox/format/table.h"

#include <QIODevice>
#include <memory>

namespace paradox {

// Streams a table's records in data-file order. Opening reads the header only; memory
// does not grow with the number of records.
class TableReader
{
public:
    virtual ~TableReader() = default;
    virtual const TableInfo& info() const = 0;
    // Reads the next record into row (one value per field). False at the end of the table
    // or on an error; error() is empty at a clean end.
    virtual bool readNext(Row& row) = 0;
    // The same for one field (index into info().fields): the record's other fields are not
    // decoded, which makes a pass over one field's values several times cheaper.
    virtual bool readNextField(std::size_t index, Value& value) = 0;
    virtual const QString& error() const = 0;
};

// Opens FILE.db (and its .mb when the table has memo or blob fields). On failure returns
// null and sets *error to a message naming the file and what is wrong with it.
std::unique_ptr<TableReader> openTable(const QString& dbPath, QString* error);

// `db` is open for reading; `mb` is the open memo file or null when the table has none.
// dbPath is what info().path reports; errors name the files by dbName and mbName.
std::unique_ptr<TableReader> openTableFromDevices(std::unique_ptr<QIODevice> db, const QString& dbPath,
    const QString& dbName, std::unique_ptr<QIODevice> mb, const QString& mbName, QString* error);

} // namespace paradox
