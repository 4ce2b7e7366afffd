// The entry of an .Xnn/.XGn for a record of a keyed table, as the engine writes it:
//
// | Piece                | Size            | Content                                          |
// |----------------------|-----------------|--------------------------------------------------|
// | indexed fields       | their widths    | the record's bytes of each, in the index's order |
// | primary key          | the key's bytes | the record's first bytes                         |
// | block ("Blk Num")    | 2               | the .DB block holding the record, as a Short     |
//
// Field numbers in the .Xnn header: first the table's numbers of the indexed fields (0x8000
// added for a descending one), then the file's own positions of the key and block fields,
// e.g. 2, 4, 3, 4 for an index on fields 2 and 4 of a table keyed on field 1. Header 0x23
// counts the indexed and key fields; the tree's key is the entry without its block number.
//
// An index of an unkeyed table ends in "Tup No" (Long), "Blk Num" and "Tup Offset" (Shorts)
// instead; the engine's samples of it are empty, so its meaning cannot be checked: such an
// index is found (to tell which fields it covers) but never rebuilt.

#include "data/paradox/patch/secondary_index.h"

#include "data/paradox/io/find_table.h"
#include "data/paradox/patch/primary_index.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr int kDescending = 0x8000;
constexpr int kUnkeyedTrailingFields = 3; // Tup No, Blk Num, Tup Offset

bool sameField(const Field& a, const Field& b)
{
    return a.type == b.type && a.size == b.size;
}

bool isComposite(const IndexFileHeader& data)
{
    return data.fileType == 6 || data.fileType == 8;
}

// Which of the table's fields the index holds. Throws when the header does not say.
std::vector<int> indexedFieldsOf(const IndexFileHeader& data, const KeyedTable& table)
{
    const int total = static_cast<int>(data.fields.size());
    const int count = table.keyFields > 0 ? data.keyFields - table.keyFields : total - kUnkeyedTrailingFields;
    if (count < 1 || static_cast<int>(data.fieldNumbers.size()) != total)
        throw FormatError { data.name, -1,
            u"the index has %1 fields, %2 of them key fields, which does not fit a table with %3 key fields"_s
                .arg(total)
                .arg(data.keyFields)
                .arg(table.keyFields) };
    std::vector<int> fields;
    for (int i = 0; i < count; ++i) {
        const int number = data.fieldNumbers[static_cast<std::size_t>(i)] & ~kDescending;
        if (number < 1 || number > static_cast<int>(table.fields().size()))
            throw FormatError { data.name, -1,
                u"the index names field %1, but the table has %2 fields"_s.arg(number).arg(
                    table.fields().size()) };
        fields.push_back(number - 1);
    }
    return fields;
}

// Whether the entry layout is the one of a keyed table's index described above.
QString layoutProblem(const SecondaryIndex& index, const KeyedTable& table)
{
    const IndexFileHeader& data = index.data;
    const auto count = index.indexedFields.size();
    const auto notUnderstood = u"the layout of index %1 is not one this program knows"_s.arg(data.name);
    if (data.fields.size() != count + static_cast<std::size_t>(table.keyFields) + 1
        || (!isComposite(data) && count != 1))
        return notUnderstood;
    for (std::size_t i = 0; i < data.fields.size(); ++i) {
        const Field& field = data.fields[i];
        const bool matches = i < count
            ? sameField(field, table.fields()[static_cast<std::size_t>(index.indexedFields[i])])
            : i < data.fields.size() - 1 ? sameField(field, table.fields()[i - count])
                                         : field.type == FieldType::Short;
        if (!matches || (i >= count && data.fieldNumbers[i] != static_cast<int>(i) + 1))
            return notUnderstood;
    }
    const IndexFileHeader& tree = index.tree;
    if (tree.fields.size() != static_cast<std::size_t>(data.keyFields)
        || tree.recordSize != index.keySize() + 6)
        return u"index %1 does not match its tree %2"_s.arg(data.name, tree.name);
    for (std::size_t i = 0; i < tree.fields.size(); ++i) {
        if (!sameField(tree.fields[i], data.fields[i]))
            return u"index %1 does not match its tree %2"_s.arg(data.name, tree.name);
    }
    return QString();
}

// `preferred`: the field whose problem to tell first (the one a run cleans), or -1.
QString orderProblem(const SecondaryIndex& index, const KeyedTable& table, int preferred)
{
    const IndexFileHeader& data = index.data;
    const bool isDescending = data.isDescending
        || std::any_of(data.fieldNumbers.begin(), data.fieldNumbers.end(),
            [](int number) { return (number & kDescending) != 0; });
    if (isDescending)
        return u"index %1 is descending, an order this program cannot reproduce"_s.arg(data.name);
    if (data.sortOrderCode != table.header.info.sortOrderCode
        || data.sortOrderName != table.header.info.sortOrderName)
        return u"index %1 has a sort order other than its table's"_s.arg(data.name);
    // The index's key: its indexed fields, then the table's key fields.
    std::vector<int> keyFields = index.indexedFields;
    for (int i = 0; i < table.keyFields; ++i)
        keyFields.push_back(i);
    std::stable_partition(keyFields.begin(), keyFields.end(), [&](int field) { return field == preferred; });
    const TableSortOrder order = table.sortOrder();
    for (int position : keyFields) {
        const Field& field = table.fields()[static_cast<std::size_t>(position)];
        // Composite indexes may ignore case, and their header does not show it (as far as the
        // engine's files show): text in them cannot be ordered with confidence.
        if (isComposite(data) && field.type == FieldType::Alpha)
            return u"index %1 holds the text field \"%2\" and may ignore case, which this program cannot tell"_s
                .arg(data.name, field.name);
        const QString problem = keyOrderProblem(field, order);
        if (!problem.isEmpty())
            return u"index %1: %2"_s.arg(data.name, problem);
    }
    return QString();
}

QString rebuildProblem(const SecondaryIndex& index, const KeyedTable& table, int preferred = -1)
{
    const IndexFileHeader& data = index.data;
    if (table.keyFields == 0)
        return u"index %1 belongs to an unkeyed table; how its entries point to records cannot be checked, "
               "so it cannot be rebuilt"_s.arg(data.name);
    if (index.tree.path.isEmpty())
        return u"index %1 has no tree file (.Y..)"_s.arg(data.name);
    if (data.needsRebuild || index.tree.needsRebuild)
        return u"index %1 is marked as needing a rebuild by the engine"_s.arg(data.name);
    const QString layout = layoutProblem(index, table);
    return layout.isEmpty() ? orderProblem(index, table, preferred) : layout;
}

void fillEntry(const SecondaryIndex& index, const KeyedTable& table, const unsigned char* record, int block,
    unsigned char* entry)
{
    for (int field : index.indexedFields) {
        const auto position = static_cast<std::size_t>(field);
        const int width = fieldWidth(table.fields()[position]);
        std::copy_n(record + table.header.fieldOffsets[position], width, entry);
        entry += width;
    }
    std::copy_n(record, table.keySize, entry);
    putTreeNumber(reinterpret_cast<char*>(entry + table.keySize), static_cast<std::uint32_t>(block));
}

} // namespace

bool SecondaryIndex::covers(int field) const
{
    return std::find(indexedFields.begin(), indexedFields.end(), field) != indexedFields.end();
}

std::vector<SecondaryIndex> findSecondaryIndexes(const KeyedTable& table)
{
    static const QRegularExpression dataSuffix(
        u"^X([0-9A-F]{2}|G[0-9A-F])$"_s, QRegularExpression::CaseInsensitiveOption);
    const QFileInfo db(table.path);
    std::vector<SecondaryIndex> indexes;
    for (const QString& path : tableFamily(db.absolutePath(), db.completeBaseName())) {
        const QString suffix = QFileInfo(path).suffix();
        if (!dataSuffix.match(suffix).hasMatch())
            continue;
        SecondaryIndex index;
        index.data = readIndexHeader(path);
        if (index.data.kind != IndexFileKind::SecondaryData)
            throw FormatError { index.data.name, 4, u"the file is not a secondary index"_s };
        index.indexedFields = indexedFieldsOf(index.data, table);
        const QString treeName
            = db.completeBaseName() + u'.' + (suffix[0] == u'x' ? u'y' : u'Y') + suffix.mid(1);
        const QString treePath = findFileIgnoringCase(db.absolutePath(), treeName);
        if (!treePath.isEmpty()) {
            index.tree = readIndexHeader(treePath);
            if (index.tree.kind != IndexFileKind::SecondaryTree)
                throw FormatError { index.tree.name, 4, u"the file is not the tree of a secondary index"_s };
        }
        index.problem = rebuildProblem(index, table);
        indexes.push_back(std::move(index));
    }
    return indexes;
}

QString rebuildProblemFor(const SecondaryIndex& index, const KeyedTable& table, int field)
{
    return index.problem.isEmpty() ? QString() : rebuildProblem(index, table, field);
}

QString checkEntryOrder(const SecondaryIndex& index)
{
    const IndexFileHeader& data = index.data;
    QFile file;
    openForReading(file, data.path, data.name);
    BlockChainReader chain(file, data.name, data.layout());
    std::vector<unsigned char> previous;
    std::int64_t position = 0;
    while (chain.next()) {
        for (int i = 0; i < chain.recordCount(); ++i, ++position) {
            const unsigned char* key = chain.record(i);
            if (!previous.empty() && compareKeys(previous.data(), key, index.keySize()) >= 0)
                return u"the entries of index %1 are not in the order this program computes (entry %2): the "
                       "index orders its values in a way that cannot be reproduced here"_s.arg(data.name)
                           .arg(position + 1);
            previous.assign(key, key + index.keySize());
        }
    }
    return QString();
}

bool rebuildSecondaryIndex(const SecondaryIndex& index, const KeyedTable& table, writer::TemporaryFile& x,
    writer::TemporaryFile& y, QString* error)
{
    QFile db;
    openForReading(db, table.path, table.name);
    const auto entrySize = static_cast<std::size_t>(index.data.recordSize);
    const auto count = static_cast<std::size_t>(table.header.info.recordCount);
    std::vector<unsigned char> entries(count * entrySize);
    BlockChainReader chain(db, table.name, table.layout());
    std::size_t filled = 0;
    while (chain.next()) {
        for (int i = 0; i < chain.recordCount(); ++i, ++filled)
            fillEntry(
                index, table, chain.record(i), chain.blockNumber(), entries.data() + filled * entrySize);
    }
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0U);
    const int keySize = index.keySize();
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int compared
            = compareKeys(entries.data() + a * entrySize, entries.data() + b * entrySize, keySize);
        return compared < 0 || (compared == 0 && a < b);
    });
    PackedBlockWriter blocks(
        x, index.data.name, index.data.header, index.data.blockSize, index.data.recordSize, keySize);
    for (std::uint32_t entry : order) {
        if (!blocks.append(entries.data() + entry * entrySize, error))
            return false;
    }
    return blocks.finish(error) && writeIndexTree(y, index.tree, blocks.blockKeys(), error);
}

} // namespace paradox
