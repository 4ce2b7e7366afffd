// The test's own check of tree files: both files decoded by hand, independently of the codec.

#include "tests/data/paradox/keys_support.h"

#include <QtEndian>
#include <algorithm>
#include <functional>
#include <map>
#include <set>

using namespace Qt::StringLiterals;

namespace keystest {
namespace {

int u8(const QByteArray& bytes, qsizetype offset)
{
    return static_cast<unsigned char>(bytes[offset]);
}

int u16(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

std::uint32_t u32(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

struct Block
{
    int next = 0;
    int count = 0;
    qsizetype start = 0; // of the first record
};

struct File
{
    QByteArray bytes;
    int recordSize = 0;
    int headerSize = 0;
    int blockSize = 0;

    explicit File(const QString& path)
        : bytes(readFile(path))
    {
        if (bytes.size() >= 0x58) {
            recordSize = u16(bytes, 0);
            headerSize = u16(bytes, 2);
            blockSize = u8(bytes, 5) * 1024;
        }
    }
    int blocks() const
    {
        return blockSize == 0 ? 0 : static_cast<int>((bytes.size() - headerSize) / blockSize);
    }
    Block block(int number) const
    {
        const qsizetype at = headerSize + qsizetype { number - 1 } * blockSize;
        const auto last = static_cast<std::int16_t>(u16(bytes, at + 4));
        return { u16(bytes, at), last < 0 ? 0 : last / recordSize + 1, at + 6 };
    }
    QByteArray record(const Block& block, int index, int size) const
    {
        return bytes.mid(block.start + qsizetype { index } * recordSize, size);
    }
};

std::uint32_t treeNumber(const QByteArray& entry, int offset)
{
    return static_cast<std::uint32_t>((u8(entry, offset) << 8) | u8(entry, offset + 1)) ^ 0x8000U;
}

// Each block names the one before it in the chain, and the header names the chain's last
// block and counts the file's blocks.
QString linkProblem(const File& file)
{
    int previous = 0;
    for (int number = u16(file.bytes, 0x0E); number != 0; number = file.block(number).next) {
        if (u16(file.bytes, file.headerSize + qsizetype { number - 1 } * file.blockSize + 2) != previous)
            return u"block %1 does not link back to block %2"_s.arg(number).arg(previous);
        previous = number;
    }
    if (u16(file.bytes, 0x10) != previous || u16(file.bytes, 0x0C) != file.blocks())
        return u"the header's last block or block count is wrong"_s;
    return QString();
}

struct ChainRecord
{
    int block = 0;
    QByteArray bytes;
};

std::vector<ChainRecord> chainRecordsWithBlocks(const QString& path)
{
    const File file(path);
    std::vector<ChainRecord> records;
    std::set<int> seen;
    for (int number = u16(file.bytes, 0x0E); number != 0 && seen.insert(number).second;) {
        const Block block = file.block(number);
        for (int i = 0; i < block.count; ++i)
            records.push_back({ number, file.record(block, i, file.recordSize) });
        number = block.next;
    }
    return records;
}

} // namespace

std::vector<QByteArray> chainRecords(const QString& path)
{
    std::vector<QByteArray> records;
    for (ChainRecord& record : chainRecordsWithBlocks(path))
        records.push_back(std::move(record.bytes));
    return records;
}

std::vector<QByteArray> expectedEntries(
    const QString& dbPath, const std::vector<std::pair<int, int>>& fields, int keySize)
{
    std::vector<QByteArray> entries;
    for (const ChainRecord& record : chainRecordsWithBlocks(dbPath)) {
        QByteArray entry;
        for (const auto& [offset, width] : fields)
            entry += record.bytes.mid(offset, width);
        entry += record.bytes.left(keySize);
        const int block = record.block ^ 0x8000;
        entry += static_cast<char>(block >> 8);
        entry += static_cast<char>(block & 0xFF);
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(),
        [](const QByteArray& a, const QByteArray& b) { return a.chopped(2) < b.chopped(2); });
    return entries;
}

QString verifyTree(const QString& treePath, const QString& indexedPath)
{
    const File tree(treePath);
    const File indexed(indexedPath);
    const int keySize = tree.recordSize - 6;
    const auto records = u32(indexed.bytes, 0x06);
    if (records == 0)
        return u8(tree.bytes, 0x20) == 0 && u32(tree.bytes, 0x06) == 0 ? QString()
                                                                       : u"an empty file has a tree"_s;

    std::vector<int> leaves; // indexed blocks in the order the tree gives them
    std::map<int, QByteArray> previousAt; // the last key met on each level
    std::uint32_t entries = 0;
    QString fault;
    // Returns the first key below `number` and the records below it.
    std::function<std::pair<QByteArray, std::uint32_t>(int, int)> walk = [&](int number, int level) {
        const Block block = tree.block(number);
        std::uint32_t total = 0;
        QByteArray first;
        QByteArray& previous = previousAt[level];
        for (int i = 0; i < block.count && fault.isEmpty(); ++i, ++entries) {
            const QByteArray entry = tree.record(block, i, tree.recordSize);
            const QByteArray key = entry.left(keySize);
            const int child = static_cast<int>(treeNumber(entry, keySize));
            const std::uint32_t count = treeNumber(entry, keySize + 2);
            if (treeNumber(entry, keySize + 4) != 0 || (!previous.isNull() && previous >= key))
                fault = u"tree block %1, entry %2: not ascending, or its last number is not 0"_s.arg(number)
                            .arg(i);
            std::pair<QByteArray, std::uint32_t> below;
            if (level == 1) {
                const Block data = indexed.block(child);
                below = { indexed.record(data, 0, keySize), static_cast<std::uint32_t>(data.count) };
                leaves.push_back(child);
            } else {
                below = walk(child, level - 1);
            }
            if (below.first != key || (below.second & 0xFFFF) != count)
                fault = u"tree block %1, entry %2 does not match block %3 below it"_s.arg(number).arg(i).arg(
                    child);
            if (i == 0)
                first = key;
            previous = key;
            total += below.second;
        }
        return std::pair { first, total };
    };
    const auto [firstKey, total] = walk(u16(tree.bytes, 0x1E), u8(tree.bytes, 0x20));
    if (!fault.isEmpty())
        return fault;
    if (total != records || entries != u32(tree.bytes, 0x06))
        return u"the tree counts %1 records in %2 entries; the files say %3 and %4"_s.arg(total)
            .arg(entries)
            .arg(records)
            .arg(u32(tree.bytes, 0x06));

    std::vector<int> chain;
    for (int number = u16(indexed.bytes, 0x0E); number != 0; number = indexed.block(number).next)
        chain.push_back(number);
    if (chain != leaves)
        return u"the tree's lowest level does not list the blocks in their chain order"_s;
    for (const File* file : { &tree, &indexed }) {
        const QString problem = linkProblem(*file);
        if (!problem.isEmpty())
            return problem;
    }
    // With the tree's keys ascending on every level, a search from the root finds every record.
    const std::vector<QByteArray> ordered = chainRecords(indexedPath);
    for (std::size_t i = 1; i < ordered.size(); ++i) {
        if (ordered[i - 1].left(keySize) >= ordered[i].left(keySize))
            return u"record %1 of the indexed file is not in key order"_s.arg(i + 1);
    }
    return QString();
}

} // namespace keystest
