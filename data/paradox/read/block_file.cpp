// Data blocks, as in every file of the .DB format (integers little-endian):
//
// | Off | Size | Meaning                                                   |
// |-----|------|-----------------------------------------------------------|
// | 0   | u16  | next block of the chain, 0 = last                          |
// | 2   | u16  | previous block, 0 = first                                  |
// | 4   | i16  | (records - 1) x record size; -record size when empty       |
// | 6   | ...  | records back to back; the rest of the block is zeros here  |
//
// Block n starts at headerSize + (n - 1) x blockSize. Header counts a rebuild sets:
// | 06 | u32 | records | 0A | u16 | blocks in use | 0C | u16 | blocks in the file      |
// | 0E | u16 | first block (0 when empty) | 10 | u16 | last block | 3A | u16 | = blocks |
// | 4D | u16 | first free block, 0                                                     |

#include "data/paradox/read/block_file.h"

#include "data/paradox/format/byte_reader.h"
#include "data/paradox/format/byte_writer.h"
#include "data/paradox/format/data_block.h"
#include "data/paradox/format/encryption.h"
#include "data/paradox/format/header.h"

#include <cstring>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr std::size_t kBufferBytes = 1 << 20;

void readBlock(QFile& file, const QString& name, const BlockLayout& layout, int number, QByteArray& bytes)
{
    const std::int64_t offset = layout.blockOffset(number);
    bytes.resize(layout.blockSize);
    if (!file.seek(offset) || file.read(bytes.data(), layout.blockSize) != layout.blockSize)
        throw FormatError { name, offset, u"cannot read block %1 at byte %2"_s.arg(number).arg(offset) };
    if (layout.encryptionKey != 0)
        crypt::decryptBlock(
            layout.encryptionKey, number, reinterpret_cast<unsigned char*>(bytes.data()), layout.blockSize);
}

} // namespace

BlockChainReader::BlockChainReader(QFile& file, const QString& name, const BlockLayout& layout)
    : m_file(file)
    , m_name(name)
    , m_layout(layout)
    , m_chain(name, layout)
{ }

bool BlockChainReader::next()
{
    if (m_isStarted)
        m_chain.advance();
    m_isStarted = true;
    m_count = 0;
    const int number = m_chain.current();
    if (number == 0)
        return false;
    readBlock(m_file, m_name, m_layout, number, m_bytes);
    const ByteReader block(reinterpret_cast<const unsigned char*>(m_bytes.constData()), m_bytes.size(),
        m_name, m_layout.blockOffset(number));
    m_count = m_chain.enter(block).recordCount;
    return true;
}

const unsigned char* BlockChainReader::record(int index) const
{
    return reinterpret_cast<const unsigned char*>(m_bytes.constData()) + kBlockHeaderSize
        + std::int64_t { index } * m_layout.recordSize;
}

std::uint32_t BlockChainReader::recordOffset(int index) const
{
    // Block numbers are 16 bits and blocks at most 32 KB: offsets stay below 2^32.
    return static_cast<std::uint32_t>(m_layout.blockOffset(m_chain.current()) + kBlockHeaderSize
        + std::int64_t { index } * m_layout.recordSize);
}

RecordFetcher::RecordFetcher(QFile& file, const QString& name, const BlockLayout& layout)
    : m_file(file)
    , m_name(name)
    , m_layout(layout)
{ }

const unsigned char* RecordFetcher::at(std::uint32_t offset)
{
    const std::int64_t inData = std::int64_t { offset } - m_layout.headerSize;
    const std::int64_t blockStart = offset - inData % m_layout.blockSize;
    if (blockStart != m_blockStart) {
        const int number = static_cast<int>(inData / m_layout.blockSize) + 1;
        readBlock(m_file, m_name, m_layout, number, m_bytes);
        m_blockStart = blockStart;
    }
    return reinterpret_cast<const unsigned char*>(m_bytes.constData()) + (offset - blockStart);
}

PackedBlockWriter::PackedBlockWriter(writer::TemporaryFile& file, const QString& name, QByteArray header,
    int blockSize, int recordSize, int keySize)
    : m_file(file)
    , m_name(name)
    , m_header(std::move(header))
    , m_blockSize(blockSize)
    , m_recordSize(recordSize)
    , m_perBlock((blockSize - kBlockHeaderSize) / recordSize)
    , m_encryptionKey(headerPart::encryptionKeyOf(
          ByteReader(reinterpret_cast<const unsigned char*>(m_header.constData()), m_header.size(), m_name)))
{
    m_keys.keySize = keySize;
    const std::size_t blocksPerBuffer
        = std::max<std::size_t>(1, kBufferBytes / static_cast<std::size_t>(blockSize));
    m_buffer.resize(blocksPerBuffer * static_cast<std::size_t>(blockSize));
}

bool PackedBlockWriter::append(const unsigned char* record, QString* error)
{
    if (m_blocks == 0 || m_inBlock == m_perBlock) {
        if (m_blocks == kMaxBlockNumber) {
            *error = u"%1: the records need more than %2 blocks"_s.arg(m_name).arg(kMaxBlockNumber);
            return false;
        }
        const auto bufferBlocks = static_cast<int>(m_buffer.size()) / m_blockSize;
        if (m_blocks - m_bufferFirst + 1 == bufferBlocks && !flush(false, error))
            return false;
        ++m_blocks;
        m_inBlock = 0;
        char* block = m_buffer.data() + std::int64_t { m_blocks - m_bufferFirst } * m_blockSize;
        std::memset(block, 0, static_cast<std::size_t>(m_blockSize));
        putU16(block + 2, static_cast<std::uint32_t>(m_blocks - 1));
        m_keys.keys.insert(m_keys.keys.end(), record, record + m_keys.keySize);
        m_keys.blocks.push_back(static_cast<std::uint16_t>(m_blocks));
        m_keys.counts.push_back(0);
    }
    char* block = m_buffer.data() + std::int64_t { m_blocks - m_bufferFirst } * m_blockSize;
    std::memcpy(block + kBlockHeaderSize + std::int64_t { m_inBlock } * m_recordSize, record,
        static_cast<std::size_t>(m_recordSize));
    putU16(block + 4, static_cast<std::uint32_t>(m_inBlock * m_recordSize));
    ++m_inBlock;
    ++m_keys.counts.back();
    ++m_records;
    return true;
}

bool PackedBlockWriter::flush(bool isLast, QString* error)
{
    const int count = m_blocks - m_bufferFirst + 1;
    if (m_blocks == 0 || count <= 0)
        return true;
    // Blocks are chained in the order of their numbers; only the very last one ends the chain.
    for (int i = 0; i < count; ++i) {
        const int number = m_bufferFirst + i;
        char* block = m_buffer.data() + std::int64_t { i } * m_blockSize;
        putU16(block, static_cast<std::uint32_t>(isLast && number == m_blocks ? 0 : number + 1));
        if (m_encryptionKey != 0)
            crypt::encryptBlock(
                m_encryptionKey, number, reinterpret_cast<unsigned char*>(block), m_blockSize);
    }
    const auto offset
        = static_cast<std::uint64_t>(m_header.size() + std::int64_t { m_bufferFirst - 1 } * m_blockSize);
    if (!m_file.writeAt(offset, m_buffer.data(),
            static_cast<std::size_t>(count) * static_cast<std::size_t>(m_blockSize), error))
        return false;
    m_bufferFirst = m_blocks + 1;
    return true;
}

bool PackedBlockWriter::finish(QString* error)
{
    if (!flush(true, error))
        return false;
    setBlockCounts(m_header, static_cast<std::uint32_t>(m_records), m_blocks);
    return m_file.writeAt(0, m_header.constData(), static_cast<std::size_t>(m_header.size()), error);
}

void setBlockCounts(QByteArray& header, std::uint32_t records, int blocks)
{
    using namespace dbHeader;
    char* h = header.data();
    const auto count = static_cast<std::uint32_t>(blocks);
    putU32(h + kNumRecords, records);
    putU16(h + kUsedBlocks, count);
    putU16(h + kFileBlocks, count);
    putU16(h + kFirstBlock, count == 0 ? 0 : 1);
    putU16(h + kLastBlock, count);
    putU16(h + kMaxBlocks, count);
    putU16(h + kFirstFreeBlock, 0);
}

} // namespace paradox
