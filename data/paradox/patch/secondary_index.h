#pragma once

// Secondary indexes: an .Xnn (one field, case-sensitive, unnamed) or .XGn (several fields, or
// a named or case-insensitive index) holding an entry per record, and the .Ynn/.YGn tree over
// it. Rebuilt with the same header, so with the same name, fields and flags.

#include "data/paradox/format/index_header.h"
#include "data/paradox/patch/keyed_table.h"

namespace paradox {

struct SecondaryIndex
{
    IndexFileHeader data; // .Xnn / .XGn
    IndexFileHeader tree; // .Ynn / .YGn; its path is empty when the file is missing
    std::vector<int> indexedFields; // positions (from 0) of the table's fields, in index order
    QString problem; // why this program cannot rebuild the index; empty when it can

    bool covers(int field) const;
    int keySize() const { return data.recordSize - 2; } // all but the trailing block number
};

// Every .Xnn/.XGn of the table's family with its .Ynn/.YGn, each checked for a rebuild.
// Throws FormatError when a file cannot be read or its indexed fields cannot be told.
std::vector<SecondaryIndex> findSecondaryIndexes(const KeyedTable& table);

// The index's problem (SecondaryIndex::problem) told for `field` where the index has one
// for several of its fields: a refusal to clean a field names that field.
QString rebuildProblemFor(const SecondaryIndex& index, const KeyedTable& table, int field);

// Reads the index's entries and checks that they are in the order this program computes:
// the engine's own files confirm the collation before an index is rebuilt with it. Empty
// when they are; else why not. Throws FormatError for a damaged file.
QString checkEntryOrder(const SecondaryIndex& index);

// Writes the index anew for the records of `table` (the finished new .DB) into x and y.
// False with *error when a file cannot be written; throws FormatError when the .DB cannot
// be read.
bool rebuildSecondaryIndex(const SecondaryIndex& index, const KeyedTable& table, writer::TemporaryFile& x,
    writer::TemporaryFile& y, QString* error);

} // namespace paradox
