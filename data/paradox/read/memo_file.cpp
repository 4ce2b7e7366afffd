// Reading values from the .mb file (its layout: memo_layout.h).

#include "data/paradox/read/memo_file.h"

#include "data/paradox/format/byte_reader.h"
#include "data/paradox/format/encryption.h"
#include "data/paradox/format/memo_layout.h"

using namespace Qt::StringLiterals;

namespace paradox {

using namespace memo;

MemoFile::MemoFile(std::unique_ptr<QIODevice> device, const QString& fileName, std::uint32_t encryptionKey)
    : m_device(std::move(device))
    , m_fileName(fileName)
    , m_encryptionKey(encryptionKey)
    , m_size(m_device->size())
{
    if (m_size == 0)
        return;
    if (m_encryptionKey != 0 && m_size >= crypt::kChunkSize) {
        QByteArray chunk(crypt::kChunkSize, Qt::Uninitialized);
        if (m_device->seek(0) && m_device->read(chunk.data(), chunk.size()) == chunk.size()
            && crypt::isMemoFileInClear(
                m_encryptionKey, reinterpret_cast<const unsigned char*>(chunk.constData())))
            m_encryptionKey = 0;
    }
    QByteArray first;
    readAt(0, 1, first);
    if (static_cast<unsigned char>(first[0]) != kHeaderBlock)
        throw FormatError { m_fileName, 0, u"the file does not start with a memo file header"_s };
}

void MemoFile::readAt(std::int64_t offset, std::int64_t count, QByteArray& buffer)
{
    if (m_encryptionKey != 0)
        return readScrambled(offset, count, buffer);
    buffer.resize(count);
    if (!m_device->seek(offset) || m_device->read(buffer.data(), count) != count)
        throw FormatError { m_fileName, offset,
            u"cannot read %1 bytes at byte %2: %3"_s.arg(count).arg(offset).arg(m_device->errorString()) };
}

// The whole chunks around the bytes wanted are read and unscrambled. A file that ends inside
// a chunk (the engine's files never do) cannot be read there.
void MemoFile::readScrambled(std::int64_t offset, std::int64_t count, QByteArray& buffer)
{
    const std::int64_t first = offset / crypt::kChunkSize * crypt::kChunkSize;
    const std::int64_t end = (offset + count + crypt::kChunkSize - 1) / crypt::kChunkSize * crypt::kChunkSize;
    buffer.resize(end - first);
    if (!m_device->seek(first) || m_device->read(buffer.data(), end - first) != end - first)
        throw FormatError { m_fileName, offset,
            u"cannot read %1 bytes at byte %2: %3"_s.arg(count).arg(offset).arg(
                m_device->atEnd() ? u"the file ends inside a scrambled chunk"_s : m_device->errorString()) };
    crypt::decryptMemo(m_encryptionKey, reinterpret_cast<unsigned char*>(buffer.data()),
        static_cast<std::size_t>(buffer.size()));
    buffer.remove(0, offset - first);
    buffer.truncate(count);
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
    const std::uint32_t length = header.u32(kSingleLengthAt, "memo block header");
    if (length != pointer.length)
        header.fail(kSingleLengthAt,
            u"the memo block at byte %1 holds %2 bytes, but the record expects %3"_s.arg(blockStart)
                .arg(length)
                .arg(pointer.length));
    // Check the claimed length against the file before allocating for it.
    if (std::int64_t { length } > m_size - blockStart - kSingleHeaderSize)
        header.fail(kSingleLengthAt,
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
    const int entry = slotEntryAt(static_cast<int>(slot));
    const unsigned char* slotBytes = block.bytes(entry, kSlotSize, "memo slot");
    const std::optional<std::int64_t> storedLength = slotLength(slotBytes);
    if (!storedLength)
        block.fail(entry,
            u"a record points to slot %1 of the block at byte %2, which is unused or deleted"_s.arg(slot).arg(
                blockStart));
    const std::int64_t dataOffset = std::int64_t { kChunkSize } * slotBytes[0];
    const std::int64_t length = *storedLength;
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
