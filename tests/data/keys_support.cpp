#include "tests/data/keys_support.h"

#include "data/paradox/table_family.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <functional>
#include <set>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;

namespace keystest {
namespace {

int width(const Field& field)
{
    return field.type == FieldType::Bcd ? 17 : field.size;
}

int u8(const QByteArray& bytes, int offset)
{
    return static_cast<unsigned char>(bytes[offset]);
}

int u16(const QByteArray& bytes, qsizetype offset)
{
    return static_cast<unsigned char>(bytes[offset]) | (static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

std::uint32_t u32(const QByteArray& bytes, int offset)
{
    return static_cast<std::uint32_t>(u16(bytes, offset))
        | (static_cast<std::uint32_t>(u16(bytes, offset + 2)) << 16);
}

void put16(QByteArray& bytes, int offset, int value)
{
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void put32(QByteArray& bytes, int offset, std::uint32_t value)
{
    put16(bytes, offset, static_cast<int>(value & 0xFFFF));
    put16(bytes, offset + 2, static_cast<int>(value >> 16));
}

// The fixed part shared by every index file.
QByteArray fixedPart(
    const KeyedTableSpec& spec, int recordSize, int fileType, const std::vector<Field>& fields, int keyFields)
{
    QByteArray header(0x800, '\0');
    put16(header, 0x00, recordSize);
    put16(header, 0x02, 0x800);
    header[0x04] = static_cast<char>(fileType);
    header[0x05] = static_cast<char>(spec.blockSizeKb);
    put16(header, 0x21, static_cast<int>(fields.size()));
    put16(header, 0x23, keyFields);
    header[0x29] = static_cast<char>(spec.sortOrderCode);
    header[0x39] = static_cast<char>(spec.fileVersion);
    return header;
}

// .PX, .Ynn: descriptors at 0x58, a name pointer, the name.
QByteArray treeHeader(
    const KeyedTableSpec& spec, const std::vector<Field>& keyFields, int fileType, const QString& fileName)
{
    int keySize = 0;
    for (const Field& field : keyFields)
        keySize += width(field);
    QByteArray header = fixedPart(spec, keySize + 6, fileType, keyFields, 0);
    put16(header, 0x1E, 1);
    int offset = 0x58;
    for (const Field& field : keyFields) {
        header[offset++] = static_cast<char>(field.type);
        header[offset++] = static_cast<char>(field.size);
    }
    offset += 4;
    const QByteArray name = fileName.toLatin1();
    std::memcpy(header.data() + offset, name.constData(), static_cast<std::size_t>(name.size()));
    return header;
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

} // namespace

QString realworldDir()
{
    QString dir = qEnvironmentVariable("FW_REALWORLD_DIR");
#ifdef FW_REALWORLD_DIR
    if (dir.isEmpty())
        dir = QString::fromUtf8(FW_REALWORLD_DIR);
#endif
    return !dir.isEmpty() && QFileInfo(dir).isDir() ? dir : QString();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

std::map<QString, QByteArray> snapshot(const QString& folder)
{
    std::map<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        files[name] = readFile(dir.filePath(name));
    return files;
}

void copyFamily(const QString& folder, const QString& name, const QString& target)
{
    for (const QString& path : paradox::tableFamily(folder, name))
        writeFile(QDir(target).filePath(QFileInfo(path).fileName()), readFile(path));
}

QByteArray withoutCounts(QByteArray header)
{
    for (int offset :
        { 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x3A, 0x3B, 0x4D, 0x4E })
        header[offset] = 0;
    return header;
}

QString placeFiles(paradox::KeyedRewrite& rewrite)
{
    for (paradox::RewrittenFile& file : rewrite.files) {
        QFile::remove(file.target);
        if (!QFile::rename(file.file->path(), file.target))
            return u"cannot move %1 to %2"_s.arg(file.file->path(), file.target);
        file.file->markPlaced();
    }
    return QString();
}

QString writeKeyedTable(const KeyedTableSpec& spec)
{
    paradox::NewTable table;
    table.folder = spec.folder;
    table.name = spec.name;
    table.fields = spec.fields;
    table.codePage = spec.codePage;
    table.fileVersion = spec.fileVersion;
    table.blockSizeKb = spec.blockSizeKb;
    table.sortOrderCode = spec.sortOrderCode;
    table.sortOrderName = spec.sortOrderName;
    QString error;
    auto writer = paradox::createTable(table, &error);
    if (!writer)
        return error;
    for (const paradox::Row& row : spec.rows) {
        if (!writer->append(row, &error))
            return error;
    }
    if (!writer->commit(QString(), &error))
        return error;
    markKeyed(spec);
    return QString();
}

void markKeyed(const KeyedTableSpec& spec)
{
    QFile db(QDir(spec.folder).filePath(spec.name + u".DB"_s));
    if (db.open(QIODevice::ReadWrite)) {
        QByteArray header = db.read(0x25);
        header[0x04] = 0;
        put16(header, 0x23, spec.keyFields);
        db.seek(0);
        db.write(header);
    }
    const std::vector<Field> keys(spec.fields.begin(), spec.fields.begin() + spec.keyFields);
    writeFile(
        QDir(spec.folder).filePath(spec.name + u".PX"_s), treeHeader(spec, keys, 1, spec.name + u".PX"_s));
}

void writeEmptyIndex(const KeyedTableSpec& spec, const IndexSpec& index)
{
    std::vector<Field> fields;
    std::vector<int> numbers;
    for (int field : index.fields) {
        fields.push_back(spec.fields[static_cast<std::size_t>(field)]);
        numbers.push_back((field + 1) | (index.isDescending ? 0x8000 : 0));
    }
    for (int i = 0; i < spec.keyFields; ++i) {
        fields.push_back(spec.fields[static_cast<std::size_t>(i)]);
        numbers.push_back(static_cast<int>(fields.size()));
    }
    const std::vector<Field> treeFields = fields;
    fields.push_back({ u"Blk Num"_s, FieldType::Short, 2 });
    numbers.push_back(static_cast<int>(fields.size()));
    int recordSize = 0;
    for (const Field& field : fields)
        recordSize += width(field);
    const bool isComposite = index.suffix.startsWith(u"XG"_s, Qt::CaseInsensitive);
    const int keyFields = static_cast<int>(treeFields.size());
    QByteArray x = fixedPart(spec, recordSize, isComposite ? 8 : 5, fields, keyFields);
    x[0x15] = static_cast<char>(index.fields.front() + 1);
    put32(x, 0x25, 0xFF00FF00U);
    x[0x55] = static_cast<char>(index.isDescending ? 0x11 : (spec.fileVersion == 0x0C ? 0x01 : 0));
    put16(x, 0x58, 0x100 + spec.fileVersion);
    put16(x, 0x5A, 0x100 + spec.fileVersion);
    put16(x, 0x6A, spec.codePage);
    int offset = 0x78;
    for (const Field& field : fields) {
        x[offset++] = static_cast<char>(field.type);
        x[offset++] = static_cast<char>(field.size);
    }
    offset += 4 + 4 * static_cast<int>(fields.size()) + (spec.fileVersion == 0x0C ? 261 : 79);
    QByteArray tail;
    for (const Field& field : fields)
        tail += field.name.toLatin1() + '\0';
    for (int number : numbers)
        tail += QByteArray(1, static_cast<char>(number & 0xFF))
            + QByteArray(1, static_cast<char>(number >> 8));
    tail += spec.sortOrderName + '\0' + index.indexName + '\0';
    std::memcpy(x.data() + offset, tail.constData(), static_cast<std::size_t>(tail.size()));
    const QString base = QDir(spec.folder).filePath(spec.name + u'.');
    writeFile(base + index.suffix, x);
    const QString treeSuffix = u'Y' + index.suffix.mid(1);
    writeFile(
        base + treeSuffix, treeHeader(spec, treeFields, isComposite ? 7 : 4, spec.name + u'.' + treeSuffix));
}

QString buildIndexes(const QString& dbPath)
{
    paradox::KeyedRewrite rewrite;
    const QString error = paradox::rewriteKeyedTable(dbPath, 0, {}, &rewrite);
    return error.isEmpty() ? placeFiles(rewrite) : error;
}

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

std::vector<QByteArray> chainRecords(const QString& path)
{
    std::vector<QByteArray> records;
    for (ChainRecord& record : chainRecordsWithBlocks(path))
        records.push_back(std::move(record.bytes));
    return records;
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
    std::uint32_t entries = 0;
    QString fault;
    // Returns the first key below `number` and the records below it.
    std::function<std::pair<QByteArray, std::uint32_t>(int, int)> walk = [&](int number, int level) {
        const Block block = tree.block(number);
        std::uint32_t total = 0;
        QByteArray first;
        QByteArray previous;
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
        // Each block names the one before it in the chain, and the header the chain's ends.
        int previous = 0;
        for (int number = u16(file->bytes, 0x0E); number != 0; number = file->block(number).next) {
            if (u16(file->bytes, file->headerSize + qsizetype { number - 1 } * file->blockSize + 2)
                != previous)
                return u"block %1 does not link back to block %2"_s.arg(number).arg(previous);
            previous = number;
        }
        if (u16(file->bytes, 0x10) != previous || u16(file->bytes, 0x0C) != file->blocks())
            return u"the header's last block or block count is wrong"_s;
    }

    // A search from the root, as the engine looks a key up, finds every record.
    for (const QByteArray& record : chainRecords(indexedPath)) {
        const QByteArray key = record.left(keySize);
        int number = u16(tree.bytes, 0x1E);
        for (int level = u8(tree.bytes, 0x20); level >= 1; --level) {
            const Block block = tree.block(number);
            int child = 0;
            for (int i = 0; i < block.count; ++i) {
                const QByteArray entry = tree.record(block, i, tree.recordSize);
                if (i == 0 || entry.left(keySize) <= key)
                    child = static_cast<int>(treeNumber(entry, keySize));
            }
            number = child;
        }
        const Block data = indexed.block(number);
        bool isFound = false;
        for (int i = 0; i < data.count && !isFound; ++i)
            isFound = indexed.record(data, i, indexed.recordSize) == record;
        if (!isFound)
            return u"a search for a key leads to block %1, which does not hold its record"_s.arg(number);
    }
    return QString();
}

} // namespace keystest
