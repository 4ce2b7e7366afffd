#include "data/paradox/patch/db_copy.h"

#include "data/paradox/format/data_block.h"
#include "data/paradox/format/encryption.h"
#include "data/paradox/io/uncached_io.h"

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr auto kPieceBytes = static_cast<std::int64_t>(uncached::kPiece);
constexpr int kLargestField = 255;
// Streaming pays off once the changes touch a good share of the blocks.
constexpr std::int64_t kBlocksPerChangeForStreaming = 8;

// The copy written front to back past the page cache (uncached_io.h). Each piece is read into
// room(), behind the bytes the last piece left over; put() writes every whole unit and keeps
// the rest for the next piece; end() writes that rest through the cache, where any length goes.
class StreamedCopy
{
public:
    explicit StreamedCopy(writer::TemporaryFile& file)
        : m_file(file)
    {
        m_file.bypassCache(true);
    }

    char* room(std::size_t size)
    {
        m_buffer.reserve(m_held + size);
        m_filled = m_held + size;
        return m_buffer.data() + m_held;
    }

    bool put(QString* error)
    {
        const bool isBypassing = m_file.isBypassingCache();
        const std::size_t whole = isBypassing ? uncached::roundDown(m_filled) : m_filled;
        if (whole > 0 && !m_file.writeAt(m_offset, m_buffer.data(), whole, error))
            return false;
        // Through the cache, on its way to the disk at once: the final flush then waits for little.
        if (!isBypassing && whole > 0)
            m_file.startFlush(m_offset, whole);
        m_held = m_filled - whole;
        std::memmove(m_buffer.data(), m_buffer.data() + whole, m_held);
        m_offset += whole;
        return true;
    }

    bool end(QString* error)
    {
        m_file.bypassCache(false);
        m_filled = m_held;
        return put(error);
    }

private:
    writer::TemporaryFile& m_file;
    uncached::AlignedBuffer m_buffer;
    std::size_t m_held = 0; // bytes at the buffer's start that the last put() left
    std::size_t m_filled = 0;
    std::uint64_t m_offset = 0; // in the file, of the buffer's first byte
};

class DbCopy
{
public:
    DbCopy(const TableHeader& header, const SourceFile& original, const QString& name,
        writer::TemporaryFile& copy, ChangeFeed& changes, const ApplyChange& apply)
        : m_header(header)
        , m_original(original)
        , m_name(name)
        , m_copy(copy)
        , m_changes(changes)
        , m_apply(apply)
        , m_chain(name, header.layout())
    { }

    bool write(QString* error)
    {
        const std::int64_t count = m_changes.count();
        const bool isStreamed = count > 0 && count * kBlocksPerChangeForStreaming >= m_header.fileBlocks;
        return m_changes.next(&m_next, error) && (isStreamed ? stream(error) : copyWhole(error))
            && (isScrambled() ? walkRestScrambled(error) : walkRest(error));
    }

private:
    std::int64_t startOf(int block) const { return m_header.layout().blockOffset(block); }
    // A password-protected table's blocks are changed in clear and scrambled again with its
    // own key; the scrambling is byte for byte, so only the changed values' bytes differ.
    bool isScrambled() const { return m_header.encryptionKey != 0; }
    void unscramble(char* block, int number) const
    {
        crypt::decryptBlock(
            m_header.encryptionKey, number, reinterpret_cast<unsigned char*>(block), m_header.blockSize);
    }
    void scramble(char* block, int number) const
    {
        crypt::encryptBlock(
            m_header.encryptionKey, number, reinterpret_cast<unsigned char*>(block), m_header.blockSize);
    }

    // The chain's current block, whose first bytes are at head: its record count, checked.
    DataBlock enter(const unsigned char* head, std::int64_t blockStart)
    {
        return m_chain.enter(ByteReader(head, kBlockHeaderSize, m_name, blockStart));
    }

    // Changes of the block's records, as (change, offset of its field from the block start);
    // then on to the next block.
    template <typename Visit> bool forEachChange(const DataBlock& block, Visit visit, QString* error)
    {
        const std::int64_t first = m_chain.firstRecord();
        while (m_next && m_next->record < first + block.recordCount) {
            const std::int64_t inBlock = kBlockHeaderSize + (m_next->record - first) * m_header.recordSize
                + m_header.fieldOffsets[m_next->field];
            if (!visit(*m_next, inBlock) || !m_changes.next(&m_next, error))
                return false;
        }
        m_chain.advance();
        return true;
    }

    bool copyWhole(QString* error)
    {
        if (!m_copy.copyFrom(m_original.path(), error))
            return false;
        m_copy.startFlush(0, static_cast<std::uint64_t>(m_original.size()));
        return true;
    }

    // The whole file through memory, block-aligned pieces, changed where the chain passes in order.
    bool stream(QString* error)
    {
        const std::int64_t size = m_original.size();
        const int blocksPerPiece
            = static_cast<int>(std::max<std::int64_t>(1, kPieceBytes / m_header.blockSize));
        StreamedCopy out(m_copy);
        int firstBlock = 1; // of the piece
        for (std::int64_t start = 0; start < size;) {
            const int lastBlock = std::min(m_header.fileBlocks, firstBlock + blocksPerPiece - 1);
            // Past the last block, whatever else the file holds goes in plain pieces.
            const std::int64_t end = firstBlock <= m_header.fileBlocks ? startOf(lastBlock + 1)
                                                                       : std::min(size, start + kPieceBytes);
            char* piece = out.room(static_cast<std::size_t>(end - start));
            m_original.readAt(start, piece, end - start, m_name);
            for (int number = firstBlock; number <= lastBlock; ++number) {
                if (number != m_chain.current())
                    continue; // a free block, or one the chain comes to later
                char* block = piece + (startOf(number) - start);
                if (isScrambled())
                    unscramble(block, number);
                const DataBlock header
                    = enter(reinterpret_cast<const unsigned char*>(block), startOf(number));
                const auto applyHere = [&](const PendingChange& change, std::int64_t inBlock) {
                    return m_apply(change, block + inBlock, error);
                };
                if (!forEachChange(header, applyHere, error))
                    return false;
                if (isScrambled())
                    scramble(block, number);
            }
            if (!out.put(error))
                return false;
            start = end;
            firstBlock = lastBlock + 1;
        }
        return out.end(error);
    }

    // The rest of the chain through block headers, each change read, applied and written alone.
    bool walkRest(QString* error)
    {
        while (m_chain.current() != 0) {
            const std::int64_t blockStart = startOf(m_chain.current());
            unsigned char head[kBlockHeaderSize];
            m_original.readAt(blockStart, reinterpret_cast<char*>(head), sizeof head, m_name);
            const DataBlock block = enter(head, blockStart);
            const auto applyThere = [&](const PendingChange& change, std::int64_t inBlock) {
                const int width = fieldWidth(m_header.info.fields[change.field]);
                char slot[kLargestField];
                m_original.readAt(blockStart + inBlock, slot, width, m_name);
                return m_apply(change, slot, error)
                    && m_copy.writeAt(static_cast<std::uint64_t>(blockStart + inBlock), slot,
                        static_cast<std::size_t>(width), error);
            };
            if (!forEachChange(block, applyThere, error))
                return false;
        }
        return true;
    }

    // As walkRest, a whole block at a time: a field's bytes are scattered over its chunk.
    bool walkRestScrambled(QString* error)
    {
        std::vector<char> block(static_cast<std::size_t>(m_header.blockSize));
        while (m_chain.current() != 0) {
            const int number = m_chain.current();
            const std::int64_t blockStart = startOf(number);
            m_original.readAt(blockStart, block.data(), m_header.blockSize, m_name);
            unscramble(block.data(), number);
            const DataBlock header = enter(reinterpret_cast<const unsigned char*>(block.data()), blockStart);
            bool isChanged = false;
            const auto applyHere = [&](const PendingChange& change, std::int64_t inBlock) {
                isChanged = true;
                return m_apply(change, block.data() + inBlock, error);
            };
            if (!forEachChange(header, applyHere, error))
                return false;
            if (!isChanged)
                continue;
            scramble(block.data(), number);
            if (!m_copy.writeAt(static_cast<std::uint64_t>(blockStart), block.data(), block.size(), error))
                return false;
        }
        return true;
    }

    const TableHeader& m_header;
    const SourceFile& m_original;
    const QString& m_name;
    writer::TemporaryFile& m_copy;
    ChangeFeed& m_changes;
    const ApplyChange& m_apply;
    const PendingChange* m_next = nullptr; // null past the last change
    BlockChain m_chain;
};

} // namespace

bool writeDbCopy(const TableHeader& header, const SourceFile& original, const QString& originalName,
    writer::TemporaryFile& copy, ChangeFeed& changes, const ApplyChange& apply, QString* error)
{
    return DbCopy(header, original, originalName, copy, changes, apply).write(error);
}

} // namespace paradox
