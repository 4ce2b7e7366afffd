// The health check's secondary indexes and folders: each .Xnn/.XGn with its tree, and the
// files of a folder that belong to no table.

#include "data/paradox/block_file.h"
#include "data/paradox/find_table.h"
#include "data/paradox/primary_index.h"
#include "data/paradox/secondary_index.h"
#include "data/paradox/table_check_parts.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

// Every entry the index should hold, in key order, as secondary_index.cpp writes them.
std::vector<unsigned char> expectedEntries(const SecondaryIndex& index, const KeyedTable& table)
{
    QFile db;
    openForReading(db, table.path, table.name);
    const auto entrySize = static_cast<std::size_t>(index.data.recordSize);
    std::vector<unsigned char> entries;
    BlockChainReader chain(db, table.name, table.layout());
    while (chain.next()) {
        for (int i = 0; i < chain.recordCount(); ++i) {
            const unsigned char* record = chain.record(i);
            for (int field : index.indexedFields) {
                const auto position = static_cast<std::size_t>(field);
                const int offset = table.header.fieldOffsets[position];
                entries.insert(
                    entries.end(), record + offset, record + offset + fieldWidth(table.fields()[position]));
            }
            entries.insert(entries.end(), record, record + table.keySize);
            char block[2];
            putTreeNumber(block, static_cast<std::uint32_t>(chain.blockNumber()));
            entries.insert(entries.end(), block, block + 2);
        }
    }
    const std::size_t count = entries.size() / entrySize;
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t { 0 });
    const auto keySize = static_cast<std::size_t>(index.keySize());
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::lexicographical_compare(entries.begin() + static_cast<std::ptrdiff_t>(a * entrySize),
            entries.begin() + static_cast<std::ptrdiff_t>(a * entrySize + keySize),
            entries.begin() + static_cast<std::ptrdiff_t>(b * entrySize),
            entries.begin() + static_cast<std::ptrdiff_t>(b * entrySize + keySize));
    });
    std::vector<unsigned char> sorted;
    sorted.reserve(entries.size());
    for (std::size_t i : order) {
        const auto at = entries.begin() + static_cast<std::ptrdiff_t>(i * entrySize);
        sorted.insert(sorted.end(), at, at + static_cast<std::ptrdiff_t>(entrySize));
    }
    return sorted;
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
    std::vector<ChainBlock> blocks;
    std::vector<unsigned char> entries;
    try {
        QFile file;
        openForReading(file, data.path, data.name);
        BlockChainReader chain(file, data.name, data.layout());
        while (chain.next()) {
            ChainBlock block { chain.blockNumber(), chain.recordCount(), {} };
            if (chain.recordCount() > 0)
                block.firstKey.assign(chain.record(0), chain.record(0) + index.keySize());
            for (int i = 0; i < chain.recordCount(); ++i)
                entries.insert(entries.end(), chain.record(i), chain.record(i) + entrySize);
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
    // The entries themselves, where this program knows their layout and order.
    if (!index.problem.isEmpty() || !isTableWhole)
        return;
    const std::vector<unsigned char> expected = expectedEntries(index, table);
    if (expected == entries)
        return;
    std::size_t at = 0;
    while (at + entrySize <= std::min(expected.size(), entries.size())
        && std::equal(expected.begin() + static_cast<std::ptrdiff_t>(at),
            expected.begin() + static_cast<std::ptrdiff_t>(at + entrySize),
            entries.begin() + static_cast<std::ptrdiff_t>(at)))
        at += entrySize;
    problems.add(data.name, u"entry %1"_s.arg(at / entrySize + 1),
        u"differs from the entry the table's records give (field values, key or block)"_s);
}

bool isCompanionSuffix(const QString& suffix)
{
    static const QRegularExpression companion(
        u"^(MB|PX|[XY][0-9A-F]{2}|[XY]G[0-9A-F])$"_s, QRegularExpression::CaseInsensitiveOption);
    return companion.match(suffix).hasMatch();
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

std::vector<TableCheck> checkFolder(const QString& folder, const QString& table)
{
    std::vector<TableCheck> checks;
    if (!table.isEmpty()) {
        const QString path = findTableFile(folder, table);
        if (!path.isEmpty())
            checks.push_back(checkTable(path));
        return checks;
    }
    const QDir dir(folder);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const QFileInfo info(dir.filePath(file));
        if (info.suffix().compare(u"db"_s, Qt::CaseInsensitive) == 0) {
            checks.push_back(checkTable(info.filePath()));
        } else if (isCompanionSuffix(info.suffix())
            && findFileIgnoringCase(folder, info.completeBaseName() + u".db"_s).isEmpty()) {
            TableCheck orphan;
            orphan.table = file;
            orphan.problems.push_back({ file, QString(),
                u"belongs to table %1, whose .db file is missing"_s.arg(info.completeBaseName()) });
            checks.push_back(std::move(orphan));
        }
    }
    return checks;
}

} // namespace paradox
