// The .mb file: 4 KB-aligned blocks, each opening with u8 type and u16 size in 4 KB units.
//
//   header block (type 0), at offset 0:
//   offset  size  meaning
//   00      u8    0
//   01      u16   size in 4 KB units (1)
//
//   single-value block (type 2), one value over several 4 KB units:
//   00      u8    2
//   01      u16   size in 4 KB units
//   03      u32   length of the value
//   07      u16   modification number
//   09      ...   the value
//
//   sub-allocated block (type 3), up to 64 small values in 4096 bytes:
//   00      u8    3
//   01      u16   1
//   0C      64×5  slots; slot i at 0C + 5i: u8 data offset / 16 (0 = unused),
//                 u8 16-byte chunks, u16 modification number, u8 bytes used in the last chunk
//   150     ...   data area
//
// A record's pointer gives the block's offset with the slot in its low byte (FF for a
// single-value block) and the value's length.

#include "data/paradox/memo_file.h"

#include "data/paradox/byte_reader.h"

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr int kBlockUnit = 4096;
constexpr int kSingleHeaderSize = 9;
constexpr int kSlotTable = 0x0C;
constexpr int kSlotSize = 5;
constexpr int kSlotCount = 64;
constexpr std::uint32_t kSingleValueIndex = 0xFF;

enum BlockType : std::uint8_t {
    kHeaderBlock = 0,
    kSingleValueBlock = 2,
    kSubAllocatedBlock = 3,
    kFreeBlock = 4,
};

} // namespace

MemoFile::MemoFile(std::unique_ptr<QIODevice> device, const QString& fileName)
    : m_device(std::move(device))
    , m_fileName(fileName)
    , m_size(m_device->size())
{
    if (m_size == 0)
        return;
    QByteArray first;
    readAt(0, 1, first);
    if (static_cast<unsigned char>(first[0]) != kHeaderBlock)
        throw FormatError { m_fileName, 0, u"the file does not start with a memo file header"_s };
}

void MemoFile::readAt(std::int64_t offset, std::int64_t count, QByteArray& buffer)
{
    buffer.resize(count);
    if (!m_device->seek(offset) || m_device->read(buffer.data(), count) != count)
        throw FormatError { m_fileName, offset,
            u"cannot read %1 bytes at byte %2: %3"_s.arg(count).arg(offset).arg(m_device->errorString()) };
}

QByteArrayView MemoFile::read(const BlobPointer& pointer)
{
    const std::int64_t blockStart = pointer.offset & ~std::uint32_t { 0xFF };
    if (blockStart == 0)
        throw FormatError { m_fileName, 0, u"a record points into the memo file's header block"_s };
    if (blockStart > m_size - 3)
        throw FormatError { m_fileName, blockStart,
            u"a record points to memo data at byte %1, but the file has %2 bytes"_s.arg(blockStart)
                .arg(m_size) };
    QByteArray type;
    readAt(blockStart, 1, type);
    switch (static_cast<unsigned char>(type[0])) {
    case kSingleValueBlock:
        return readSingle(pointer, blockStart);
    case kSubAllocatedBlock:
        return readSubAllocated(pointer, blockStart);
    default:
        throw FormatError { m_fileName, blockStart,
            u"a record points to the block at byte %1, which is of type %2 and holds no memo data"_s
                .arg(blockStart)
                .arg(static_cast<unsigned char>(type[0])) };
    }
}

QByteArrayView MemoFile::readSingle(const BlobPointer& pointer, std::int64_t blockStart)
{
    if ((pointer.offset & 0xFF) != kSingleValueIndex)
        throw FormatError { m_fileName, blockStart,
            u"a record points to slot %1 of the single-value block at byte %2"_s.arg(pointer.offset & 0xFF)
                .arg(blockStart) };
    QByteArray head;
    if (m_size - blockStart < kSingleHeaderSize)
        throw FormatError { m_fileName, blockStart, u"the block at byte %1 is cut off"_s.arg(blockStart) };
    readAt(blockStart, kSingleHeaderSize, head);
    const ByteReader header(
        reinterpret_cast<const unsigned char*>(head.constData()), head.size(), m_fileName, blockStart);
    const std::uint32_t length = header.u32(3, "memo block header");
    if (length != pointer.length)
        header.fail(3,
            u"the memo block at byte %1 holds %2 bytes, but the record expects %3"_s.arg(blockStart)
                .arg(length)
                .arg(pointer.length));
    // Check the claimed length against the file before allocating for it.
    if (std::int64_t { length } > m_size - blockStart - kSingleHeaderSize)
        header.fail(3,
            u"the memo block at byte %1 claims %2 bytes, past the end of the file (%3 bytes)"_s
                .arg(blockStart)
                .arg(length)
                .arg(m_size));
    readAt(blockStart + kSingleHeaderSize, length, m_value);
    return QByteArrayView(m_value);
}

QByteArrayView MemoFile::readSubAllocated(const BlobPointer& pointer, std::int64_t blockStart)
{
    const std::uint32_t slot = pointer.offset & 0xFF;
    if (slot >= kSlotCount)
        throw FormatError { m_fileName, blockStart,
            u"a record points to slot %1 of the block at byte %2, which has 64 slots"_s.arg(slot).arg(
                blockStart) };
    if (m_subBlockStart != blockStart) {
        m_subBlockStart = -1;
        readAt(blockStart, std::min<std::int64_t>(kBlockUnit, m_size - blockStart), m_subBlock);
        m_subBlockStart = blockStart;
    }
    const ByteReader block(reinterpret_cast<const unsigned char*>(m_subBlock.constData()), m_subBlock.size(),
        m_fileName, blockStart);
    const int entry = kSlotTable + kSlotSize * static_cast<int>(slot);
    const int dataOffset = 16 * block.u8(entry, "memo slot");
    const int chunks = block.u8(entry + 1, "memo slot");
    const int lastChunkBytes = block.u8(entry + 4, "memo slot");
    if (dataOffset == 0 || chunks == 0 || lastChunkBytes == 0 || lastChunkBytes > 16)
        block.fail(entry,
            u"a record points to slot %1 of the block at byte %2, which is unused or deleted"_s.arg(slot).arg(
                blockStart));
    const std::int64_t length = std::int64_t { chunks - 1 } * 16 + lastChunkBytes;
    if (length != pointer.length)
        block.fail(entry,
            u"slot %1 of the memo block at byte %2 holds %3 bytes, but the record expects %4"_s.arg(slot)
                .arg(blockStart)
                .arg(length)
                .arg(pointer.length));
    const unsigned char* bytes = block.bytes(dataOffset, length, "memo value");
    return QByteArrayView(bytes, length);
}

} // namespace paradox
