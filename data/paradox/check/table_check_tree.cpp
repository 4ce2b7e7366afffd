// The tree files of the health check: a .PX over its .DB's blocks, a .Ynn/.YGn over its
// .Xnn's. The lowest level must list the indexed file's chain block by block (the key of each
// block's first record, its number, its record count); every level above, its children's
// first keys and the sum of their counts (modulo 65536, as primary_index.cpp stores them).

#include "data/paradox/check/table_check_parts.h"
#include "data/paradox/format/encryption.h"
#include "data/paradox/format/key_order.h"
#include "data/paradox/patch/primary_index.h"

#include <algorithm>
#include <iterator>
#include <optional>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr int kTreeEntryExtra = 6; // child, count, an unused Short
constexpr std::uint32_t kCountModulo = 0x10000;

struct LowestEntry
{
    int treeBlock = 0;
    int index = 0; // from 1, in its tree block
    int child = 0;
    std::uint32_t count = 0;
    std::vector<unsigned char> key;
};

class TreeWalk
{
public:
    TreeWalk(ProblemList& problems, QIODevice& file, const QString& name, const BlockLayout& layout)
        : m_problems(problems)
        , m_file(file)
        , m_name(name)
        , m_layout(layout)
        , m_keySize(layout.recordSize - kTreeEntryExtra)
        , m_visited(static_cast<std::size_t>(layout.fileBlocks) + 1, false)
    { }

    // Walks the subtree under `block` at `level` (1 = lowest); the records below it, or
    // nullopt when it cannot be read.
    std::optional<std::uint32_t> walk(int block, int level)
    {
        const QString place = u"block %1"_s.arg(block);
        if (block < 1 || block > m_layout.fileBlocks || m_visited[static_cast<std::size_t>(block)]) {
            m_problems.add(m_name, place,
                block < 1 || block > m_layout.fileBlocks
                    ? u"is named by the tree, but the file has %1 blocks"_s.arg(m_layout.fileBlocks)
                    : u"is named twice in the tree"_s);
            return std::nullopt;
        }
        m_visited[static_cast<std::size_t>(block)] = true;
        QByteArray bytes(m_layout.blockSize, Qt::Uninitialized);
        const std::int64_t offset = m_layout.blockOffset(block);
        if (!m_file.seek(offset) || m_file.read(bytes.data(), bytes.size()) != bytes.size()) {
            m_problems.add(m_name, place, u"cannot be read: the file ends before it"_s);
            return std::nullopt;
        }
        if (m_layout.encryptionKey != 0)
            crypt::decryptBlock(m_layout.encryptionKey, block, reinterpret_cast<unsigned char*>(bytes.data()),
                m_layout.blockSize);
        const ByteReader reader(
            reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(), m_name, offset);
        int count = 0;
        try {
            count = decodeDataBlockHeader(reader, block, m_layout.recordSize, m_layout.blockSize).recordCount;
        } catch (const FormatError& error) {
            m_problems.add(m_name, place, error.what);
            return std::nullopt;
        }
        std::uint32_t total = 0;
        for (int i = 0; i < count; ++i) {
            const auto* entry = reinterpret_cast<const unsigned char*>(bytes.constData()) + kBlockHeaderSize
                + std::int64_t { i } * m_layout.recordSize;
            const auto child = static_cast<int>(treeNumber(entry + m_keySize));
            const std::uint32_t below = treeNumber(entry + m_keySize + 2);
            total += below;
            if (level <= 1) {
                lowest.push_back({ block, i + 1, child, below, { entry, entry + m_keySize } });
                continue;
            }
            const std::size_t first = lowest.size();
            const std::optional<std::uint32_t> sum = walk(child, level - 1);
            const QString where = u"entry %1 (block %2)"_s.arg(i + 1).arg(block);
            if (sum && *sum % kCountModulo != below)
                m_problems.add(m_name, where,
                    u"counts %1 records, but the entries below it count %2"_s.arg(below).arg(*sum));
            if (lowest.size() > first && !std::equal(entry, entry + m_keySize, lowest[first].key.begin()))
                m_problems.add(m_name, where, u"does not hold the first key of the entries below it"_s);
        }
        return total;
    }

    std::vector<LowestEntry> lowest;

private:
    ProblemList& m_problems;
    QIODevice& m_file;
    QString m_name;
    BlockLayout m_layout;
    int m_keySize;
    std::vector<bool> m_visited;
};

} // namespace

void checkTree(ProblemList& problems, QIODevice& file, const QString& name, const TreeExpectation& expected)
{
    std::int64_t fileSize = file.size();
    BlockLayout layout;
    int root = 0;
    int levels = 0;
    try {
        const QByteArray bytes = readHeaderBytes(file, name);
        const ByteReader header(
            reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(), name);
        headerPart::requireFixedPart(header, fileSize, "an index header");
        const int fileType = header.u8(dbHeader::kFileType, "file type");
        if (fileType != expected.fileType)
            header.fail(dbHeader::kFileType,
                u"file type %1 is not the one of this index (%2)"_s.arg(fileType).arg(expected.fileType));
        layout.blockSize = headerPart::blockSize(header);
        layout.headerSize = headerPart::headerSize(header, dbHeader::kFixedPartEnd, fileSize);
        layout.recordSize = headerPart::recordSize(header, layout.blockSize);
        // Some other programs write a primary index whose entries hold only a block number and
        // a count: nothing can be looked up by key through it, so the engine cannot use it.
        if (layout.recordSize == kTreeEntryExtra && expected.keySize > 0)
            header.fail(dbHeader::kRecordSize,
                u"entries of %1 bytes hold no key, only block numbers and counts (a key of %2 bytes needs "
                "entries of %3); records cannot be found through this index: rebuild it in the program "
                "that owns the table"_s.arg(layout.recordSize)
                    .arg(expected.keySize)
                    .arg(expected.keySize + kTreeEntryExtra));
        if (layout.recordSize != expected.keySize + kTreeEntryExtra)
            header.fail(dbHeader::kRecordSize,
                u"entries of %1 bytes do not fit a key of %2 bytes"_s.arg(layout.recordSize)
                    .arg(expected.keySize));
        layout.fileBlocks = header.u16(dbHeader::kFileBlocks, "number of blocks");
        layout.recordCount = header.u32(dbHeader::kNumRecords, "number of records");
        layout.encryptionKey = headerPart::encryptionKeyOf(header); // a tree file's own, 0 in clear
        root = header.u16(dbHeader::kTreeRoot, "root block");
        levels = header.u8(dbHeader::kTreeLevels, "levels");
        // A tree is entered at its root: the engine leaves its first block 0.
        layout.firstBlock = levels > 0 ? root : 0;
        headerPart::checkBlockCounts(header, layout, fileSize);
    } catch (const FormatError& error) {
        problems.add(name, u"header"_s, error.what);
        return;
    }
    TreeWalk walk(problems, file, name, layout);
    if (levels > 0)
        walk.walk(root, levels);
    // A block without records has no first key to list: the engine leaves such a block in the
    // chain of an empty index without listing it.
    std::vector<ChainBlock> blocks;
    std::copy_if(expected.blocks->begin(), expected.blocks->end(), std::back_inserter(blocks),
        [](const ChainBlock& block) { return block.recordCount > 0; });
    const std::size_t common = std::min(walk.lowest.size(), blocks.size());
    for (std::size_t i = 0; i < common; ++i) {
        const LowestEntry& entry = walk.lowest[i];
        const ChainBlock& block = blocks[i];
        const QString where = u"entry %1 (block %2)"_s.arg(entry.index).arg(entry.treeBlock);
        if (entry.child != block.number) {
            problems.add(name, where,
                u"points at block %1 of %2, but the block in that place of its chain is %3"_s.arg(entry.child)
                    .arg(expected.indexedName)
                    .arg(block.number));
            continue;
        }
        if (entry.count != static_cast<std::uint32_t>(block.recordCount))
            problems.add(name, where,
                u"counts %1 records in block %2 of %3, which holds %4"_s.arg(entry.count)
                    .arg(block.number)
                    .arg(expected.indexedName)
                    .arg(block.recordCount));
        if (!block.firstKey.empty() && entry.key != block.firstKey)
            problems.add(name, where,
                u"holds the key %1, but block %2 of %3 starts with %4"_s
                    .arg(describeKey(expected.keyFields, entry.key.data(), expected.codePage))
                    .arg(block.number)
                    .arg(expected.indexedName)
                    .arg(describeKey(expected.keyFields, block.firstKey.data(), expected.codePage)));
    }
    if (walk.lowest.size() != blocks.size())
        problems.add(name, QString(),
            u"lists %1 blocks of %2, but its chain has %3"_s.arg(walk.lowest.size())
                .arg(expected.indexedName)
                .arg(blocks.size()));
}

} // namespace paradox
