#include "data/paradox/memo_patch.h"

#include "data/paradox/byte_writer.h"
#include "data/paradox/format_error.h"

#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr std::int64_t kHeaderBytes = 5;
constexpr std::int64_t kSingleHeaderBytes = 9;
constexpr int kCounterAt = 3;
constexpr unsigned char kSingleBlob = 2;
constexpr unsigned char kSubAllocated = 3;
constexpr unsigned char kFree = 4;
constexpr std::uint32_t kSingleBlobIndex = 0xFF;
constexpr int kSlotTable = 0x0C;
constexpr int kSlotSize = 5;
constexpr int kSlots = 64;

std::uint32_t littleEndian(const unsigned char* bytes, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

MemoPatch::MemoPatch(const QString& mbPath, const QString& folder, const QString& name)
    : m_path(mbPath)
    , m_fileName(QFileInfo(mbPath).fileName())
    , m_folder(folder)
    , m_name(name)
{ }

bool MemoPatch::open(QString* error)
{
    if (m_copy)
        return true;
    if (m_path.isEmpty() || !m_source.open(m_path, error))
        return false;
    unsigned char header[kHeaderBytes];
    m_source.readAt(0, reinterpret_cast<char*>(header), kHeaderBytes, m_fileName);
    if (header[0] != 0)
        throw FormatError { m_fileName, 0, u"the file does not start with a memo file header"_s };
    m_modification = static_cast<std::uint16_t>(littleEndian(header + kCounterAt, 2));
    auto copy = std::make_unique<writer::TemporaryFile>();
    if (!copy->create(m_folder, m_name, u"MB"_s, error) || !copy->copyFrom(m_path, error))
        return false;
    // New blocks start at the next 4 KB boundary, past every block the file has, even a last
    // run that another writer left unpadded.
    const auto size = static_cast<std::uint64_t>(m_source.size());
    const std::uint64_t end = (size + writer::kMemoBlock - 1) / writer::kMemoBlock * writer::kMemoBlock;
    m_writer = std::make_unique<writer::MemoWriter>(*copy, end);
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
    unsigned char block[kSlotTable + kSlotSize * kSlots] = {};
    const std::int64_t available = m_source.size() - blockStart;
    // Another writer may have left the last single-blob run shorter than a block.
    if (blockStart == 0 || available < kSingleHeaderBytes)
        return true;
    const std::int64_t blockBytes = std::min<std::int64_t>(sizeof block, available);
    m_source.readAt(blockStart, reinterpret_cast<char*>(block), blockBytes, m_fileName);
    if (block[0] == kSingleBlob && index == kSingleBlobIndex && littleEndian(block + 3, 4) == old.length) {
        const char type = static_cast<char>(kFree);
        return m_copy->writeAt(static_cast<std::uint64_t>(blockStart), &type, 1, error);
    }
    if (block[0] == kSubAllocated && index < kSlots && blockBytes == sizeof block) {
        const unsigned char* slot = block + kSlotTable + kSlotSize * static_cast<int>(index);
        const std::uint32_t chunks = slot[1];
        const std::uint32_t lastChunkBytes = slot[4];
        const bool isInUse = slot[0] != 0 && chunks != 0 && lastChunkBytes >= 1 && lastChunkBytes <= 16;
        if (isInUse && (chunks - 1) * 16 + lastChunkBytes == old.length) {
            const char zeros[kSlotSize] = {};
            return m_copy->writeAt(
                static_cast<std::uint64_t>(blockStart + (slot - block)), zeros, kSlotSize, error);
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
    return m_writer->flush(error) && m_copy->writeAt(kCounterAt, counter, sizeof counter, error)
        && m_copy->finish(error);
}

void MemoPatch::discard()
{
    m_writer.reset();
    m_copy.reset();
}

} // namespace paradox
