#include "tests/data/paradox/keys_support.h"

#include "data/paradox/io/table_family.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cstring>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;

namespace keystest {
namespace {

int width(const Field& field)
{
    return field.type == FieldType::Bcd ? 17 : field.size;
}

void put16(QByteArray& bytes, int offset, int value)
{
    qToLittleEndian(static_cast<quint16>(value), bytes.data() + offset);
}

// The fixed part shared by every index file.
QByteArray fixedPart(const KeyedTableRecipe& recipe, int recordSize, int fileType,
    const std::vector<Field>& fields, int keyFields)
{
    QByteArray header(0x800, '\0');
    put16(header, 0x00, recordSize);
    put16(header, 0x02, 0x800);
    header[0x04] = static_cast<char>(fileType);
    header[0x05] = static_cast<char>(recipe.blockSizeKb);
    put16(header, 0x21, static_cast<int>(fields.size()));
    put16(header, 0x23, keyFields);
    header[0x29] = static_cast<char>(recipe.sortOrderCode);
    header[0x39] = static_cast<char>(recipe.fileVersion);
    return header;
}

// .PX, .Ynn: descriptors at 0x58, a name pointer, the name.
QByteArray treeHeader(const KeyedTableRecipe& recipe, const std::vector<Field>& keyFields, int fileType,
    const QString& fileName)
{
    int keySize = 0;
    for (const Field& field : keyFields)
        keySize += width(field);
    QByteArray header = fixedPart(recipe, keySize + 6, fileType, keyFields, 0);
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

QString writeKeyedTable(const KeyedTableRecipe& recipe)
{
    paradox::NewTable table = writertest::newTable(recipe.folder, recipe.name, recipe.fields);
    table.codePage = recipe.codePage;
    table.fileVersion = recipe.fileVersion;
    table.blockSizeKb = recipe.blockSizeKb;
    table.sortOrderCode = recipe.sortOrderCode;
    table.sortOrderName = recipe.sortOrderName;
    const QString error = writertest::writeTable(table, recipe.rows);
    if (error.isEmpty())
        markKeyed(recipe);
    return error;
}

void markKeyed(const KeyedTableRecipe& recipe)
{
    QFile db(QDir(recipe.folder).filePath(recipe.name + u".DB"_s));
    if (db.open(QIODevice::ReadWrite)) {
        QByteArray header = db.read(0x25);
        header[0x04] = 0;
        put16(header, 0x23, recipe.keyFields);
        db.seek(0);
        db.write(header);
    }
    const std::vector<Field> keys(recipe.fields.begin(), recipe.fields.begin() + recipe.keyFields);
    writeFile(QDir(recipe.folder).filePath(recipe.name + u".PX"_s),
        treeHeader(recipe, keys, 1, recipe.name + u".PX"_s));
}

void writeEmptyIndex(const KeyedTableRecipe& recipe, const IndexRecipe& index)
{
    std::vector<Field> fields;
    std::vector<int> numbers;
    for (int field : index.fields) {
        fields.push_back(recipe.fields[static_cast<std::size_t>(field)]);
        numbers.push_back((field + 1) | (index.isDescending ? 0x8000 : 0));
    }
    for (int i = 0; i < recipe.keyFields; ++i) {
        fields.push_back(recipe.fields[static_cast<std::size_t>(i)]);
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
    QByteArray x = fixedPart(recipe, recordSize, isComposite ? 8 : 5, fields, keyFields);
    x[0x15] = static_cast<char>(index.fields.front() + 1);
    qToLittleEndian(0xFF00FF00U, x.data() + 0x25);
    x[0x55] = static_cast<char>(index.isDescending ? 0x11 : (recipe.fileVersion == 0x0C ? 0x01 : 0));
    put16(x, 0x58, 0x100 + recipe.fileVersion);
    put16(x, 0x5A, 0x100 + recipe.fileVersion);
    put16(x, 0x6A, recipe.codePage);
    int offset = 0x78;
    for (const Field& field : fields) {
        x[offset++] = static_cast<char>(field.type);
        x[offset++] = static_cast<char>(field.size);
    }
    offset += 4 + 4 * static_cast<int>(fields.size()) + (recipe.fileVersion == 0x0C ? 261 : 79);
    QByteArray tail;
    for (const Field& field : fields)
        tail += field.name.toLatin1() + '\0';
    for (int number : numbers)
        tail += QByteArray(1, static_cast<char>(number & 0xFF))
            + QByteArray(1, static_cast<char>(number >> 8));
    tail += recipe.sortOrderName + '\0' + index.indexName + '\0';
    std::memcpy(x.data() + offset, tail.constData(), static_cast<std::size_t>(tail.size()));
    const QString base = QDir(recipe.folder).filePath(recipe.name + u'.');
    writeFile(base + index.suffix, x);
    const QString treeSuffix = u'Y' + index.suffix.mid(1);
    writeFile(base + treeSuffix,
        treeHeader(recipe, treeFields, isComposite ? 7 : 4, recipe.name + u'.' + treeSuffix));
}

QString buildIndexes(const QString& dbPath)
{
    paradox::KeyedRewrite rewrite;
    const QString error = paradox::rewriteKeyedTable(dbPath, 0, {}, &rewrite);
    return error.isEmpty() ? placeFiles(rewrite) : error;
}

} // namespace keystest
