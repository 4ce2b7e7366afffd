#include "data/paradox/memo_patch.h"

#include "data/paradox/byte_reader.h"
#include "data/paradox/byte_writer.h"
#include "data/paradox/format_error.h"
#include "data/paradox/memo_layout.h"

#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace paradox {

using namespace memo;

namespace {

constexpr std::int64_t kHeaderBytes = 5; // type, units, modification counter

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
    unsigned char block[slotEntryAt(kSlotCount)] = {};
    const std::int64_t available = m_source.size() - blockStart;
    // Another writer may have left the last single-value run shorter than a block.
    if (blockStart == 0 || available < kSingleHeaderSize)
        return true;
    const std::int64_t blockBytes = std::min<std::int64_t>(sizeof block, available);
    m_source.readAt(blockStart, reinterpret_cast<char*>(block), blockBytes, m_fileName);
    const ByteReader reader(block, blockBytes, m_fileName, blockStart);
    if (block[0] == kSingleValueBlock && index == kSingleValueIndex
        && reader.u32(kSingleLengthAt, "memo block header") == old.length) {
        m_laterWrites.emplace_back(
            static_cast<std::uint64_t>(blockStart), QByteArray(1, static_cast<char>(kFreeBlock)));
        return true;
    }
    if (block[0] == kSubAllocatedBlock && index < kSlotCount && blockBytes == sizeof block) {
        const int entry = slotEntryAt(static_cast<int>(index));
        if (slotLength(block + entry) == std::int64_t { old.length }) {
            m_laterWrites.emplace_back(
                static_cast<std::uint64_t>(blockStart + entry), QByteArray(kSlotSize, '\0'));
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
    return m_writer->flush(error) && m_copy->writeAt(kCounterAt, counter, sizeof counter, error)
        && m_copy->finish(error);
}

void MemoPatch::discard()
{
    m_laterWrites.clear();
    m_writer.reset();
    m_copy.reset();
}

} // namespace paradox
