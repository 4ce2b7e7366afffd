#pragma once

// What a new table looks like before its first record: the fields as stored, where each lies
// in a record, the block size, and the header bytes (the counts filled in at commit).

#include "data/paradox/table.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace paradox::writer {

struct NewTableLayout
{
    std::vector<Field> fields; // sizes as stored
    std::vector<int> offsets; // of each field in the record
    int version = 0;
    int recordSize = 0;
    int blockSize = 0;
    int recordsPerBlock = 0;
    QByteArray header; // headerSize bytes; counts and autoincrement value still 0
};

// Checks the table's description and lays it out: the version raised to what its field
// types need, the usual sort order of its code page unless it names one. nullopt with
// *error ("cannot create table ORDERS: ...") when the table cannot be written.
std::optional<NewTableLayout> planNewTable(const NewTable& table, QString* error);

} // namespace paradox::writer
