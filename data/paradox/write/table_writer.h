#pragma once

// Writing a new table: its records packed into full blocks, its memo values into a new .MB,
// the files put in place only once they are whole.

#include "data/paradox/format/table.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace paradox {

// Writes a new unkeyed table. The whole family (.db, .mb) goes to temporary files in the
// target folder; commit() moves it into place only when everything is written and flushed.
// Dropping the writer without commit() removes the temporary files.
class TableWriter
{
public:
    virtual ~TableWriter() = default;
    // Appends one record. False (with *error) when a value cannot be stored, e.g. text the
    // code page cannot hold or that is longer than its Alpha field; nothing is appended then.
    virtual bool append(const Row& row, QString* error) = 0;
    // Finishes and flushes the files and moves them into place. When a table of the same
    // name exists, its whole family is first moved into backupFolder (created if needed);
    // with an empty backupFolder an existing table makes commit fail and changes nothing.
    virtual bool commit(const QString& backupFolder, QString* error) = 0;
};

std::unique_ptr<TableWriter> createTable(const NewTable& table, QString* error);

} // namespace paradox
