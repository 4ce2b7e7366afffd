#pragma once

// What a new table looks like before its first record: the fields as stored, where each lies
// in a record, the block size, and the header bytes (the counts filled in at commit).

#include "data/paradox/format/table.h"

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
// A NewTable's blockSizeKb of 0 asks for the largest block (32 KB, version 7), with which a
// table can grow to the format's largest, 65,535 blocks of it.
std::optional<NewTableLayout> planNewTable(const NewTable& table, QString* error);

// The smallest block size (1, 2, 4, 16 or 32 KB) whose 65,535 blocks hold `records` records of
// `fields`, as the engine picks the block size from a table's maximum size; 32 when none does
// or records is 0. Sizes above 4 KB need a fileVersion of 7 (0x0C).
int chooseBlockSizeKb(const std::vector<Field>& fields, std::int64_t records);

} // namespace paradox::writer
