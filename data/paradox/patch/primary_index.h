#pragma once

// The tree files: a .PX over the blocks of its .DB, a .Ynn/.YGn over the blocks of its
// .Xnn/.XGn. Both have the same layout, so one writer builds both.

#include "data/paradox/format/index_header.h"
#include "data/paradox/io/table_family.h"
#include "data/paradox/read/block_file.h"

namespace paradox {

// Writes a tree over the blocks described by `lowest` (first key, block number and record
// count of each block of the indexed file) into `file`, with the header of `original` and
// only its counts, root and number of levels changed.
bool writeIndexTree(
    writer::TemporaryFile& file, const IndexFileHeader& original, const BlockKeys& lowest, QString* error);

// A block number or count as a tree entry stores it: 16 bits, big-endian, top bit flipped.
void putTreeNumber(char* out, std::uint32_t value);
std::uint32_t treeNumber(const unsigned char* in);

} // namespace paradox
