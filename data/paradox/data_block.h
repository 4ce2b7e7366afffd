#pragma once

// Data blocks of a .db file and the chain that links them.

#include "data/paradox/byte_reader.h"

#include <cstdint>
#include <vector>

namespace paradox {

struct DataBlock
{
    int next = 0; // next block of the chain, 0 = last
    int recordCount = 0; // records stored from byte 6 on
};

// Decodes one block's header and checks it against the table's record size.
// `block` covers exactly the block's bytes; `number` is its block number (from 1).
DataBlock decodeDataBlock(const ByteReader& block, int number, int recordSize);
// The same from the block's first 6 bytes alone, for a walk that never reads records.
DataBlock decodeDataBlockHeader(const ByteReader& header, int number, int recordSize, int blockSize);

// File offset of data block `number` (from 1).
inline std::int64_t blockOffset(int headerSize, int blockSize, int number)
{
    return headerSize + std::int64_t { number - 1 } * blockSize;
}

// Walks the chain of blocks: every link must name an existing block, and no block may be
// visited twice, so a corrupt chain ends in an error, never in a loop.
class BlockChain
{
public:
    BlockChain(const QString& file, int firstBlock, int fileBlocks);

    // The block to read next; 0 when the chain has ended.
    int current() const { return m_current; }
    // Moves on to `next`, the link read from the current block. Throws FormatError.
    void follow(int next);

private:
    void enter(int number, int from);

    const QString* m_file;
    int m_fileBlocks;
    int m_current = 0;
    std::vector<bool> m_visited;
};

} // namespace paradox
