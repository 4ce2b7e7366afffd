#include "data/paradox/write/memo_writer.h"
#include "data/paradox/format/byte_writer.h"

#include "data/paradox/format/encryption.h"
#include "data/paradox/io/table_family.h"

#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace paradox::writer {
namespace {

using namespace memo;
constexpr std::uint64_t kBlock = kBlockUnit;

// Offsets in records are 32 bits wide.
bool fitsOffsets(std::uint64_t end, QString* error)
{
    if (end <= 0xFFFF'F000ULL)
        return true;
    *error = u"the memo file would grow past 4 GB"_s;
    return false;
}

} // namespace

MemoWriter::MemoWriter(TemporaryFile& file, std::uint64_t end, std::uint32_t encryptionKey)
    : m_file(file)
    , m_end(end)
    , m_encryptionKey(encryptionKey)
{ }

// Whole blocks (scrambled in place first when the table is password-protected).
bool MemoWriter::writeBlocks(std::uint64_t offset, char* blocks, std::size_t size, QString* error)
{
    if (m_encryptionKey != 0)
        crypt::encryptMemo(m_encryptionKey, reinterpret_cast<unsigned char*>(blocks), size);
    return m_file.writeAt(offset, blocks, size, error);
}

// The padding must be scrambled too, so the whole run is built in memory.
bool MemoWriter::writeSingleScrambled(
    std::uint64_t offset, const char* head, const QByteArray& value, std::uint64_t units, QString* error)
{
    std::vector<char> run(static_cast<std::size_t>(units * kBlock), 0);
    std::memcpy(run.data(), head, kSingleHeaderSize);
    std::memcpy(run.data() + kSingleHeaderSize, value.constData(), static_cast<std::size_t>(value.size()));
    return writeBlocks(offset, run.data(), run.size(), error);
}

std::optional<std::uint32_t> MemoWriter::store(
    const QByteArray& value, std::uint16_t modification, QString* error)
{
    const auto length = static_cast<std::uint64_t>(value.size());
    if (value.size() > kLargestSmallValue) {
        const std::uint64_t units = (kSingleHeaderSize + length + kBlock - 1) / kBlock;
        if (length > kLargestValue) {
            *error = u"a value of %1 bytes is too large for the memo file"_s.arg(value.size());
            return std::nullopt;
        }
        const std::uint64_t offset = m_end;
        if (!fitsOffsets(offset + units * kBlock, error))
            return std::nullopt;
        char head[kSingleHeaderSize] = {};
        head[0] = kSingleValueBlock;
        putU16(head + 1, static_cast<std::uint32_t>(units));
        putU32(head + kSingleLengthAt, static_cast<std::uint32_t>(length));
        putU16(head + kSingleModificationAt, modification);
        if (m_encryptionKey != 0) {
            if (!writeSingleScrambled(offset, head, value, units, error))
                return std::nullopt;
        } else if (!m_file.writeAt(offset, head, sizeof head, error)
            || !m_file.writeAt(
                offset + kSingleHeaderSize, value.constData(), static_cast<std::size_t>(length), error))
            return std::nullopt;
        // The padding up to the block end comes from resize() in finish().
        m_end += units * kBlock;
        return static_cast<std::uint32_t>(offset) | kSingleValueIndex;
    }

    const int chunks = static_cast<int>((length + kChunkSize - 1) / kChunkSize);
    if (m_smallOffset != 0 && (m_nextSlot < 0 || m_nextChunk + chunks > kChunksPerBlock)) {
        if (!writeSmallBlock(error))
            return std::nullopt;
    }
    if (m_smallOffset == 0) {
        if (!fitsOffsets(m_end + kBlock, error))
            return std::nullopt;
        m_smallOffset = m_end;
        m_end += kBlock;
        m_small.fill(0);
        m_small[0] = kSubAllocatedBlock;
        putU16(m_small.data() + 1, 1);
        m_nextSlot = kSlotCount - 1;
        m_nextChunk = kFirstChunk;
    }
    const int slot = m_nextSlot--;
    char* entry = m_small.data() + slotEntryAt(slot);
    entry[0] = static_cast<char>(m_nextChunk);
    entry[1] = static_cast<char>(chunks);
    putU16(entry + 2, modification);
    entry[4] = static_cast<char>(length - kChunkSize * static_cast<std::uint64_t>(chunks - 1));
    std::memcpy(
        m_small.data() + kChunkSize * m_nextChunk, value.constData(), static_cast<std::size_t>(length));
    m_nextChunk += chunks;
    return static_cast<std::uint32_t>(m_smallOffset) | static_cast<std::uint32_t>(slot);
}

bool MemoWriter::writeSmallBlock(QString* error)
{
    if (!writeBlocks(m_smallOffset, m_small.data(), m_small.size(), error))
        return false;
    m_smallOffset = 0;
    return true;
}

bool MemoWriter::flush(QString* error)
{
    if (m_smallOffset != 0 && !writeSmallBlock(error))
        return false;
    return m_file.resize(m_end, error);
}

bool MemoWriter::finish(QString* error)
{
    if (!flush(error))
        return false;
    std::vector<char> header(kBlock, 0);
    putU16(header.data() + 1, 1);
    putU16(header.data() + kCounterAt, modificationNumber());
    const unsigned char constant[] = { 0x82, 0x73, 0x02, 0x00, 0x29, 0x00 };
    std::memcpy(header.data() + 5, constant, sizeof constant);
    putU16(header.data() + 0x0B, 0x1000);
    putU16(header.data() + 0x0D, 0x1000);
    header[0x10] = 0x10;
    putU16(header.data() + 0x11, 0x40);
    putU16(header.data() + 0x13, 0x800);
    return writeBlocks(0, header.data(), header.size(), error);
}

} // namespace paradox::writer
