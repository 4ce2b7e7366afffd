// A data block of a .db file (little-endian header, records packed after it):
//
//   offset  size  meaning
//   0       u16   next block of the chain, 0 = last
//   2       u16   previous block, 0 = first (not needed for reading)
//   4       i16   (records - 1) * record size; negative = no records
//   6       ...   records, back to back; bytes after the last record are leftovers

#include "data/paradox/format/data_block.h"

using namespace Qt::StringLiterals;

namespace paradox {

DataBlock decodeDataBlockHeader(const ByteReader& head, int number, int recordSize, int blockSize)
{
    DataBlock result;
    result.next = head.u16(0, "data block header");
    const int lastRecordOffset = head.i16(4, "data block header");
    if (lastRecordOffset < 0)
        return result;
    if (lastRecordOffset % recordSize != 0)
        head.fail(4,
            u"data block %1 gives %2 as the offset of its last record, which is not a multiple of the record size %3"_s
                .arg(number)
                .arg(lastRecordOffset)
                .arg(recordSize));
    result.recordCount = lastRecordOffset / recordSize + 1;
    const std::int64_t used = kBlockHeaderSize + std::int64_t { result.recordCount } * recordSize;
    if (used > blockSize)
        head.fail(4,
            u"data block %1 claims %2 records of %3 bytes, more than its %4 bytes hold"_s.arg(number)
                .arg(result.recordCount)
                .arg(recordSize)
                .arg(blockSize));
    return result;
}

BlockChain::BlockChain(const QString& file, const BlockLayout& layout)
    : m_file(file)
    , m_layout(layout)
    , m_visited(static_cast<std::size_t>(layout.fileBlocks) + 1, false)
{
    moveTo(layout.firstBlock);
}

DataBlock BlockChain::enter(const ByteReader& head)
{
    m_entered = decodeDataBlockHeader(head, m_current, m_layout.recordSize, m_layout.blockSize);
    if (m_firstRecord + m_entered.recordCount > m_layout.recordCount)
        head.fail(
            0, u"the data blocks hold more records than the %1 the header gives"_s.arg(m_layout.recordCount));
    return m_entered;
}

void BlockChain::advance()
{
    if (m_current == 0)
        return;
    m_firstRecord += m_entered.recordCount;
    const int next = m_entered.next;
    m_entered = DataBlock {};
    moveTo(next);
}

void BlockChain::moveTo(int number)
{
    const int from = m_current;
    if (number == 0) {
        m_current = 0;
        if (m_firstRecord != m_layout.recordCount)
            throw FormatError { m_file, -1,
                u"the header gives %1 records, but the data blocks hold %2"_s.arg(m_layout.recordCount)
                    .arg(m_firstRecord) };
        return;
    }
    if (number > m_layout.fileBlocks) {
        const QString what = from == 0
            ? u"the first data block is %1, but the file has %2 blocks"_s.arg(number).arg(m_layout.fileBlocks)
            : u"data block %1 links to block %2, but the file has %3 blocks"_s.arg(from).arg(number).arg(
                m_layout.fileBlocks);
        throw FormatError { m_file, -1, what };
    }
    // A chain that comes back to a block it passed would never end.
    if (m_visited[static_cast<std::size_t>(number)])
        throw FormatError { m_file, -1,
            u"data block %1 links back to block %2: the chain of blocks loops"_s.arg(from).arg(number) };
    m_visited[static_cast<std::size_t>(number)] = true;
    m_current = number;
}

} // namespace paradox
