// A data block of a .db file (little-endian header, records packed after it):
//
//   offset  size  meaning
//   0       u16   next block of the chain, 0 = last
//   2       u16   previous block, 0 = first (not needed for reading)
//   4       i16   (records - 1) * record size; negative = no records
//   6       ...   records, back to back; bytes after the last record are leftovers

#include "data/paradox/data_block.h"

using namespace Qt::StringLiterals;

namespace paradox {

DataBlock decodeDataBlock(const ByteReader& block, int number, int recordSize)
{
    return decodeDataBlockHeader(block, number, recordSize, static_cast<int>(block.size()));
}

DataBlock decodeDataBlockHeader(const ByteReader& block, int number, int recordSize, int blockSize)
{
    constexpr int kHeaderBytes = 6;
    DataBlock result;
    result.next = block.u16(0, "data block header");
    const int lastRecordOffset = block.i16(4, "data block header");
    if (lastRecordOffset < 0)
        return result;
    if (lastRecordOffset % recordSize != 0)
        block.fail(4,
            u"data block %1 gives %2 as the offset of its last record, which is not a multiple of the record size %3"_s
                .arg(number)
                .arg(lastRecordOffset)
                .arg(recordSize));
    result.recordCount = lastRecordOffset / recordSize + 1;
    const std::int64_t used = kHeaderBytes + std::int64_t { result.recordCount } * recordSize;
    if (used > blockSize)
        block.fail(4,
            u"data block %1 claims %2 records of %3 bytes, more than its %4 bytes hold"_s.arg(number)
                .arg(result.recordCount)
                .arg(recordSize)
                .arg(blockSize));
    return result;
}

BlockChain::BlockChain(const QString& file, int firstBlock, int fileBlocks)
    : m_file(&file)
    , m_fileBlocks(fileBlocks)
    , m_visited(static_cast<std::size_t>(fileBlocks) + 1, false)
{
    enter(firstBlock, 0);
}

void BlockChain::follow(int next)
{
    enter(next, m_current);
}

void BlockChain::enter(int number, int from)
{
    if (number == 0) {
        m_current = 0;
        return;
    }
    if (number > m_fileBlocks) {
        const QString what = from == 0
            ? u"the first data block is %1, but the file has %2 blocks"_s.arg(number).arg(m_fileBlocks)
            : u"data block %1 links to block %2, but the file has %3 blocks"_s.arg(from).arg(number).arg(
                m_fileBlocks);
        throw FormatError { *m_file, -1, what };
    }
    // A chain that comes back to a block it passed would never end.
    if (m_visited[static_cast<std::size_t>(number)])
        throw FormatError { *m_file, -1,
            u"data block %1 links back to block %2: the chain of blocks loops"_s.arg(from).arg(number) };
    m_visited[static_cast<std::size_t>(number)] = true;
    m_current = number;
}

} // namespace paradox
