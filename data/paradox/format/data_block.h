#pragma once

// Data blocks of a .db file (and of .PX, .Xnn, .Ynn, which share the layout) and the chain
// that links them.

#include "data/paradox/format/byte_reader.h"

#include <cstdint>
#include <vector>

namespace paradox {

constexpr int kBlockHeaderSize = 6;
constexpr int kMaxBlockNumber = 0xFFFF; // block numbers are 16 bits

// Where a file's blocks lie and what its header claims about them.
struct BlockLayout
{
    int headerSize = 0;
    int blockSize = 0;
    int recordSize = 0;
    int firstBlock = 0;
    int fileBlocks = 0;
    std::int64_t recordCount = 0; // as the header gives it
    std::uint32_t encryptionKey = 0; // 0: the blocks are in clear (encryption.h)

    int recordsPerBlock() const { return (blockSize - kBlockHeaderSize) / recordSize; }
    // File offset of block `number` (from 1).
    std::int64_t blockOffset(int number) const
    {
        return headerSize + std::int64_t { number - 1 } * blockSize;
    }
};

struct DataBlock
{
    int next = 0; // next block of the chain, 0 = last
    int recordCount = 0; // records stored from byte 6 on
};

// Decodes a block's header from its first bytes (`head` holds at least 6) and checks it
// against the record and block size. `number` is the block's number (from 1).
DataBlock decodeDataBlockHeader(const ByteReader& head, int number, int recordSize, int blockSize);

// Walks the chain of blocks: every link must name an existing block, no block may be visited
// twice, and the blocks must hold exactly the records the header counts, so a corrupt chain
// ends in an error, never in a loop or a short table.
class BlockChain
{
public:
    // Throws FormatError when the first block does not exist.
    BlockChain(const QString& file, const BlockLayout& layout);

    // The block to read next; 0 when the chain has ended.
    int current() const { return m_current; }
    // Position in the chain (from 0) of the current block's first record.
    std::int64_t firstRecord() const { return m_firstRecord; }

    // Decodes the current block's header (`head`: its first bytes or the whole block) and
    // checks its records against the header's count. Throws FormatError.
    DataBlock enter(const ByteReader& head);
    // Moves on to the block the entered one links to. Throws FormatError for a bad link, and
    // at the end of the chain when the blocks held fewer records than the header gives.
    void advance();

private:
    void moveTo(int number);

    QString m_file;
    BlockLayout m_layout;
    std::vector<bool> m_visited;
    int m_current = 0;
    DataBlock m_entered;
    std::int64_t m_firstRecord = 0;
};

} // namespace paradox
