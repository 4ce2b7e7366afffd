#include "data/paradox/patch/memo_patch.h"

#include "data/paradox/format/byte_reader.h"
#include "data/paradox/format/byte_writer.h"
#include "data/paradox/format/encryption.h"
#include "data/paradox/format/memo_layout.h"
#include "data/paradox/io/format_error.h"

#include <QFileInfo>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace paradox {

using namespace memo;

namespace {

constexpr std::int64_t kHeaderBytes = 5; // type, units, modification counter

} // namespace

MemoPatch::MemoPatch(
    const QString& mbPath, const QString& folder, const QString& name, std::uint32_t encryptionKey)
    : m_path(mbPath)
    , m_fileName(QFileInfo(mbPath).fileName())
    , m_folder(folder)
    , m_name(name)
    , m_encryptionKey(encryptionKey)
{ }

bool MemoPatch::readClear(std::int64_t offset, char* data, std::int64_t size)
{
    if (m_encryptionKey == 0) {
        m_source.readAt(offset, data, size, m_fileName);
        return true;
    }
    const std::int64_t first = offset / crypt::kChunkSize * crypt::kChunkSize;
    const std::int64_t end = (offset + size + crypt::kChunkSize - 1) / crypt::kChunkSize * crypt::kChunkSize;
    if (end > m_source.size())
        return false;
    std::vector<char> chunks(static_cast<std::size_t>(end - first));
    m_source.readAt(first, chunks.data(), end - first, m_fileName);
    crypt::decryptMemo(m_encryptionKey, reinterpret_cast<unsigned char*>(chunks.data()), chunks.size());
    std::copy_n(chunks.begin() + (offset - first), size, data);
    return true;
}

// A few bytes in place. Scrambled, each byte lands on a place of its own in its chunk, so
// they are written one by one and the chunk around them need not be read.
bool MemoPatch::writeClear(std::int64_t offset, const char* data, std::size_t size, QString* error)
{
    if (m_encryptionKey == 0)
        return m_copy->writeAt(static_cast<std::uint64_t>(offset), data, size, error);
    const crypt::ChunkKey key = crypt::memoChunkKey(m_encryptionKey);
    for (std::size_t i = 0; i < size; ++i) {
        const std::int64_t at = offset + static_cast<std::int64_t>(i);
        const std::int64_t chunk = at / crypt::kChunkSize * crypt::kChunkSize;
        const crypt::ScrambledByte scrambled
            = crypt::scrambleByte(key, static_cast<int>(at - chunk), static_cast<unsigned char>(data[i]));
        const char value = static_cast<char>(scrambled.value);
        if (!m_copy->writeAt(static_cast<std::uint64_t>(chunk + scrambled.position), &value, 1, error))
            return false;
    }
    return true;
}

void MemoPatch::writeClearLater(std::int64_t offset, const QByteArray& data)
{
    if (m_encryptionKey == 0) {
        m_laterWrites.emplace_back(static_cast<std::uint64_t>(offset), data);
        return;
    }
    const crypt::ChunkKey key = crypt::memoChunkKey(m_encryptionKey);
    for (qsizetype i = 0; i < data.size(); ++i) {
        const std::int64_t at = offset + i;
        const std::int64_t chunk = at / crypt::kChunkSize * crypt::kChunkSize;
        const crypt::ScrambledByte scrambled
            = crypt::scrambleByte(key, static_cast<int>(at - chunk), static_cast<unsigned char>(data[i]));
        m_laterWrites.emplace_back(static_cast<std::uint64_t>(chunk + scrambled.position),
            QByteArray(1, static_cast<char>(scrambled.value)));
    }
}

bool MemoPatch::open(QString* error)
{
    if (m_copy)
        return true;
    if (m_path.isEmpty() || !m_source.open(m_path, error))
        return false;
    if (m_encryptionKey != 0 && m_source.size() >= crypt::kChunkSize) {
        unsigned char chunk[crypt::kChunkSize];
        m_source.readAt(0, reinterpret_cast<char*>(chunk), crypt::kChunkSize, m_fileName);
        if (crypt::isMemoFileInClear(m_encryptionKey, chunk))
            m_encryptionKey = 0; // it stays as it was
    }
    unsigned char header[kHeaderBytes];
    if (!readClear(0, reinterpret_cast<char*>(header), kHeaderBytes))
        throw FormatError { m_fileName, 0, u"the file is too short to be a memo file"_s };
    if (header[0] != kHeaderBlock)
        throw FormatError { m_fileName, 0, u"the file does not start with a memo file header"_s };
    m_modification = ByteReader(header, kHeaderBytes, m_fileName).u16(kCounterAt, "memo file header");
    auto copy = std::make_unique<writer::TemporaryFile>();
    if (!copy->create(m_folder, m_name, u"MB"_s, error) || !copy->copyFrom(m_path, error))
        return false;
    // New blocks start at the next 4 KB boundary, past every block the file has, even a last
    // run that another writer left unpadded.
    const auto size = static_cast<std::uint64_t>(m_source.size());
    const std::uint64_t end = (size + kBlockUnit - 1) / kBlockUnit * kBlockUnit;
    m_writer = std::make_unique<writer::MemoWriter>(*copy, end, m_encryptionKey);
    m_copy = std::move(copy);
    return true;
}

std::uint16_t MemoPatch::nextModification()
{
    m_modification = m_modification == 0xFFFF ? 1 : static_cast<std::uint16_t>(m_modification + 1);
    return m_modification;
}

std::optional<BlobPointer> MemoPatch::store(const QByteArray& value, QString* error)
{
    if (!open(error))
        return std::nullopt;
    BlobPointer pointer;
    pointer.modification = nextModification();
    const auto offset = m_writer->store(value, pointer.modification, error);
    if (!offset)
        return std::nullopt;
    pointer.offset = *offset;
    pointer.length = static_cast<std::uint32_t>(value.size());
    return pointer;
}

bool MemoPatch::release(const BlobPointer& old, QString* error)
{
    const std::int64_t blockStart = old.offset & ~std::uint32_t { 0xFF };
    const std::uint32_t index = old.offset & 0xFF;
    if (!open(error))
        return false;
    unsigned char block[slotEntryAt(kSlotCount)] = {};
    const std::int64_t available = m_source.size() - blockStart;
    // Another writer may have left the last single-value run shorter than a block.
    if (blockStart == 0 || available < kSingleHeaderSize)
        return true;
    const std::int64_t blockBytes = std::min<std::int64_t>(sizeof block, available);
    if (!readClear(blockStart, reinterpret_cast<char*>(block), blockBytes))
        return true;
    const ByteReader reader(block, blockBytes, m_fileName, blockStart);
    if (block[0] == kSingleValueBlock && index == kSingleValueIndex
        && reader.u32(kSingleLengthAt, "memo block header") == old.length) {
        writeClearLater(blockStart, QByteArray(1, static_cast<char>(kFreeBlock)));
        return true;
    }
    if (block[0] == kSubAllocatedBlock && index < kSlotCount && blockBytes == sizeof block) {
        const int entry = slotEntryAt(static_cast<int>(index));
        if (slotLength(block + entry) == std::int64_t { old.length }) {
            writeClearLater(blockStart + entry, QByteArray(kSlotSize, '\0'));
            return true;
        }
    }
    return true;
}

bool MemoPatch::finish(QString* error)
{
    if (!m_copy)
        return true;
    char counter[2];
    putU16(counter, m_modification);
    return m_writer->flush(error) && writeClear(kCounterAt, counter, sizeof counter, error)
        && m_copy->finish(error);
}

void MemoPatch::discard()
{
    m_laterWrites.clear();
    m_writer.reset();
    m_copy.reset();
}

} // namespace paradox
