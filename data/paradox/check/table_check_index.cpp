// The health check's secondary indexes and folders: each .Xnn/.XGn with its tree, and the
// files of a folder that belong to no table.

#include "data/paradox/check/table_check_parts.h"
#include "data/paradox/format/key_order.h"
#include "data/paradox/io/find_table.h"
#include "data/paradox/patch/primary_index.h"
#include "data/paradox/patch/secondary_index.h"
#include "data/paradox/read/block_file.h"

#include <QFileInfo>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

// An order-free digest of a set of entries: the sum of each entry's 64-bit FNV-1a hash. Two
// sets that give the same digest and count hold, but for a chance of 2^-64, the same entries,
// and neither needs more memory than one entry, whatever the table's size.
struct EntryDigest
{
    std::uint64_t sum = 0;
    std::int64_t count = 0;

    void add(const unsigned char* entry, std::size_t size)
    {
        std::uint64_t hash = 0xcbf29ce484222325ULL;
        for (std::size_t i = 0; i < size; ++i)
            hash = (hash ^ entry[i]) * 0x100000001b3ULL;
        sum += hash;
        ++count;
    }
    bool operator==(const EntryDigest&) const = default;
};

// The digest of every entry the index should hold, built from the table's records as
// secondary_index.cpp writes them: the indexed fields, the primary key, the record's block.
EntryDigest expectedDigest(const SecondaryIndex& index, const KeyedTable& table)
{
    QFile db;
    openForReading(db, table.path, table.name);
    std::vector<unsigned char> entry(static_cast<std::size_t>(index.data.recordSize));
    EntryDigest digest;
    BlockChainReader chain(db, table.name, table.layout());
    while (chain.next()) {
        for (int i = 0; i < chain.recordCount(); ++i) {
            const unsigned char* record = chain.record(i);
            unsigned char* out = entry.data();
            for (int field : index.indexedFields) {
                const auto position = static_cast<std::size_t>(field);
                const int offset = table.header.fieldOffsets[position];
                out = std::copy_n(record + offset, fieldWidth(table.fields()[position]), out);
            }
            out = std::copy_n(record, table.keySize, out);
            putTreeNumber(reinterpret_cast<char*>(out), static_cast<std::uint32_t>(chain.blockNumber()));
            digest.add(entry.data(), entry.size());
        }
    }
    return digest;
}

void checkIndex(
    ProblemList& problems, const SecondaryIndex& index, const KeyedTable& table, bool isTableWhole)
{
    const IndexFileHeader& data = index.data;
    const auto entrySize = static_cast<std::size_t>(data.recordSize);
    if (table.keyFields > 0 && data.recordCount != table.header.info.recordCount)
        problems.add(data.name, QString(),
            u"has %1 entries for the %2 records of its table"_s.arg(data.recordCount)
                .arg(table.header.info.recordCount));
    // Entries are compared only where this program knows their layout and order.
    const bool isUnderstood = index.problem.isEmpty() && isTableWhole;
    std::vector<ChainBlock> blocks;
    EntryDigest digest;
    try {
        QFile file;
        openForReading(file, data.path, data.name);
        BlockChainReader chain(file, data.name, data.layout());
        std::vector<unsigned char> previous;
        while (chain.next()) {
            ChainBlock block { chain.blockNumber(), chain.recordCount(), {} };
            if (chain.recordCount() > 0)
                block.firstKey.assign(chain.record(0), chain.record(0) + index.keySize());
            for (int i = 0; i < chain.recordCount(); ++i) {
                const unsigned char* entry = chain.record(i);
                digest.add(entry, entrySize);
                if (isUnderstood && !previous.empty()
                    && compareKeys(previous.data(), entry, index.keySize()) >= 0)
                    problems.add(data.name,
                        u"entry %1 (block %2)"_s.arg(digest.count).arg(chain.blockNumber()),
                        u"is not above the entry before it"_s);
                previous.assign(entry, entry + index.keySize());
            }
            blocks.push_back(std::move(block));
        }
    } catch (const FormatError& error) {
        problems.add(error.file, QString(), error.what);
        return;
    }
    if (index.tree.path.isEmpty()) {
        problems.add(data.name, QString(), u"has no tree file (.Y..) beside it"_s);
    } else {
        QFile tree(index.tree.path);
        if (tree.open(QIODevice::ReadOnly))
            checkTree(problems, tree, index.tree.name,
                { index.tree.fileType, index.keySize(), { data.fields.begin(), data.fields.end() - 1 },
                    table.header.info.codePage, data.name, &blocks });
    }
    if (isUnderstood && !(expectedDigest(index, table) == digest))
        problems.add(data.name, QString(),
            u"its entries differ from the ones the table's records give (field values, key or block)"_s);
}

} // namespace

void ProblemList::add(const QString& file, const QString& where, const QString& what)
{
    if (static_cast<int>(m_check.problems.size()) >= kMaxTableProblems) {
        ++m_leftOut;
        return;
    }
    m_check.problems.push_back({ file, where, what });
}

void ProblemList::finish()
{
    if (m_leftOut > 0)
        m_check.problems.push_back(
            { m_check.problems.back().file, QString(), u"and %1 more problems"_s.arg(m_leftOut) });
    m_leftOut = 0;
}

void checkSecondaryIndexes(ProblemList& problems, const QString& dbPath)
{
    const bool isTableWhole = problems.isEmpty();
    KeyedTable table;
    try {
        table = openKeyedTable(dbPath);
    } catch (const FormatError&) {
        return; // the table's own check has said why
    }
    try {
        for (const SecondaryIndex& index : findSecondaryIndexes(table))
            checkIndex(problems, index, table, isTableWhole);
    } catch (const FormatError& error) {
        problems.add(error.file, QString(), error.what);
    }
}

} // namespace paradox
