// A tree file (.PX, .Ynn, .YGn) as written here. Header: the original one, with the counts of
// block_file.cpp and
//
// | Off | Size | Meaning                                                               |
// |-----|------|-----------------------------------------------------------------------|
// | 06  | u32  | entries of all levels                                                  |
// | 1E  | u16  | root block: 1 (also in an empty tree, as the engine writes it)         |
// | 20  | u8   | levels; 0 when the indexed file has no records                          |
//
// Entry (record size = key + 6), the numbers stored like Short values (big-endian, top
// bit flipped):
//
// | Off     | Size | Meaning                                                          |
// |---------|------|------------------------------------------------------------------|
// | 0       | key  | key of the first record below this entry                          |
// | key     | 2    | child: a block of the indexed file (lowest level) or of this file |
// | key + 2 | 2    | records below the entry                                           |
// | key + 4 | 2    | 0 (stored 80 00), meaning unknown                                 |
//
// The lowest level has one entry per block of the indexed file; each level above has one
// entry per block of the level below, until one block (the root) holds a level. Blocks are
// full but for the last of each level. The root is block 1 and the chain runs from it level
// by level down to the last block of the lowest level, each level in key order: the layout
// pxlib's writer makes and the only one its reader understands (it takes the first block of
// the chain for the upper level of a two-level tree). The engine's files seen so far have
// one block and cannot show its own choice for larger trees.
//
// A count above 65535 (an entry over more records, in an upper level of a big table) does
// not fit 16 bits: it is stored modulo 65536, the value a 16-bit counter kept up to date one
// insert at a time would hold. Lookups use keys and children, not these counts.

#include "data/paradox/patch/primary_index.h"

#include "data/paradox/format/byte_writer.h"
#include "data/paradox/format/encryption.h"
#include "data/paradox/format/header.h"

#include <cstring>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr int kEntryExtra = 6;

// One level above `below`: an entry per group of perBlock entries of it. Children are the
// group numbers for now; writeIndexTree turns them into block numbers.
BlockKeys levelAbove(const BlockKeys& below, std::size_t perBlock)
{
    BlockKeys level;
    level.keySize = below.keySize;
    for (std::size_t first = 0; first < below.size(); first += perBlock) {
        const std::size_t end = std::min(below.size(), first + perBlock);
        std::uint32_t records = 0;
        for (std::size_t i = first; i < end; ++i)
            records += below.counts[i];
        const unsigned char* key = below.key(first);
        level.keys.insert(level.keys.end(), key, key + below.keySize);
        level.blocks.push_back(static_cast<std::uint16_t>(first / perBlock));
        level.counts.push_back(records);
    }
    return level;
}

} // namespace

void putTreeNumber(char* out, std::uint32_t value)
{
    const std::uint32_t stored = (value & 0xFFFF) ^ 0x8000;
    out[0] = static_cast<char>(stored >> 8);
    out[1] = static_cast<char>(stored & 0xFF);
}

std::uint32_t treeNumber(const unsigned char* in)
{
    return ((std::uint32_t { in[0] } << 8) | in[1]) ^ 0x8000;
}

bool writeIndexTree(
    writer::TemporaryFile& file, const IndexFileHeader& original, const BlockKeys& lowest, QString* error)
{
    const int keySize = lowest.keySize;
    const int recordSize = keySize + kEntryExtra;
    if (recordSize != original.recordSize) {
        *error = u"%1: its entries take %2 bytes, not the %3 of a key of %4 bytes"_s.arg(original.name)
                     .arg(original.recordSize)
                     .arg(recordSize)
                     .arg(keySize);
        return false;
    }
    const auto perBlock = static_cast<std::size_t>((original.blockSize - kBlockHeaderSize) / recordSize);
    if (perBlock < 2) {
        *error = u"%1: a block holds fewer than two entries, which makes no tree"_s.arg(original.name);
        return false;
    }

    // levels[0] is the lowest; the last one fits in the root block.
    std::vector<BlockKeys> levels { lowest };
    while (levels.back().size() > perBlock)
        levels.push_back(levelAbove(levels.back(), perBlock));
    if (lowest.size() == 0)
        levels.clear();

    std::vector<int> firstBlock(levels.size());
    int blocks = 0;
    std::uint32_t entries = 0;
    for (std::size_t i = levels.size(); i-- > 0;) {
        firstBlock[i] = blocks + 1;
        blocks += static_cast<int>((levels[i].size() + perBlock - 1) / perBlock);
        entries += static_cast<std::uint32_t>(levels[i].size());
    }
    if (blocks > kMaxBlockNumber) {
        *error = u"%1: the tree needs more than %2 blocks"_s.arg(original.name).arg(kMaxBlockNumber);
        return false;
    }

    std::vector<char> block(static_cast<std::size_t>(original.blockSize));
    for (std::size_t level = levels.size(); level-- > 0;) {
        const BlockKeys& entriesOf = levels[level];
        for (std::size_t first = 0; first < entriesOf.size(); first += perBlock) {
            const std::size_t count = std::min(perBlock, entriesOf.size() - first);
            const int number = firstBlock[level] + static_cast<int>(first / perBlock);
            std::fill(block.begin(), block.end(), '\0');
            putU16(block.data(), static_cast<std::uint32_t>(number == blocks ? 0 : number + 1));
            putU16(block.data() + 2, static_cast<std::uint32_t>(number - 1));
            putU16(block.data() + 4,
                static_cast<std::uint32_t>((count - 1) * static_cast<std::size_t>(recordSize)));
            for (std::size_t i = 0; i < count; ++i) {
                char* entry = block.data() + kBlockHeaderSize + i * static_cast<std::size_t>(recordSize);
                std::memcpy(entry, entriesOf.key(first + i), static_cast<std::size_t>(keySize));
                const std::uint32_t child = level == 0
                    ? entriesOf.blocks[first + i]
                    : static_cast<std::uint32_t>(firstBlock[level - 1]) + entriesOf.blocks[first + i];
                putTreeNumber(entry + keySize, child);
                putTreeNumber(entry + keySize + 2, entriesOf.counts[first + i]);
                putTreeNumber(entry + keySize + 4, 0);
            }
            if (original.encryptionKey != 0)
                crypt::encryptBlock(original.encryptionKey, number,
                    reinterpret_cast<unsigned char*>(block.data()), original.blockSize);
            const auto offset = static_cast<std::uint64_t>(original.layout().blockOffset(number));
            if (!file.writeAt(offset, block.data(), block.size(), error))
                return false;
        }
    }

    QByteArray header = original.header;
    setBlockCounts(header, entries, blocks);
    putU16(header.data() + dbHeader::kTreeRoot, 1);
    header[dbHeader::kTreeLevels] = static_cast<char>(levels.size());
    return file.writeAt(0, header.constData(), static_cast<std::size_t>(header.size()), error);
}

} // namespace paradox
