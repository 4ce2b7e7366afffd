#include "tests/data/paradox/reader_builder.h"

#include "data/paradox/read/table_reader.h"

#include <QBuffer>
#include <gtest/gtest.h>

namespace readertest {
namespace {

void putU8(QByteArray& bytes, int offset, int value)
{
    bytes[offset] = static_cast<char>(value & 0xFF);
}

void putU16(QByteArray& bytes, int offset, int value)
{
    putU8(bytes, offset, value);
    putU8(bytes, offset + 1, value >> 8);
}

void putU32(QByteArray& bytes, int offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        putU8(bytes, offset + i, static_cast<int>(value >> (8 * i)));
}

int widthOf(const paradox::Field& field)
{
    return field.type == paradox::FieldType::Bcd ? 17 : field.size;
}

} // namespace

int TestTable::recordSize() const
{
    int size = 0;
    for (const paradox::Field& field : fields)
        size += widthOf(field);
    return size;
}

int TestTable::headerSize() const
{
    const int n = static_cast<int>(fields.size());
    const int base = version >= 5 ? 0x78 : 0x58;
    int size = base + 2 * n + 4 + 4 * n + (version >= 0x0C ? 261 : 79);
    for (const paradox::Field& field : fields)
        size += static_cast<int>(field.name.toLatin1().size()) + 1;
    size += 2 * n + 6; // field numbers, "ascii\0"
    return (size + 0x7FF) / 0x800 * 0x800;
}

QByteArray TestTable::build() const
{
    const int n = static_cast<int>(fields.size());
    const int blockSize = blockSizeKb * 1024;
    const int capacity = recordsPerBlock > 0 ? recordsPerBlock : (blockSize - 6) / recordSize();
    const int blockCount = records.empty() ? 0 : (static_cast<int>(records.size()) + capacity - 1) / capacity;
    QByteArray bytes(headerSize() + blockCount * blockSize, '\0');

    // Chain position i lives in physical block physical(i).
    auto physical = [&](int i) { return reverseBlocks ? blockCount - i : i + 1; };

    putU16(bytes, 0x00, recordSize());
    putU16(bytes, 0x02, headerSize());
    putU8(bytes, 0x04, isKeyed ? 0 : 2);
    putU8(bytes, 0x05, blockSizeKb);
    putU32(bytes, 0x06, static_cast<std::uint32_t>(records.size()));
    putU16(bytes, 0x0A, blockCount);
    putU16(bytes, 0x0C, blockCount);
    putU16(bytes, 0x0E, blockCount ? physical(0) : 0);
    putU16(bytes, 0x10, blockCount ? physical(blockCount - 1) : 0);
    putU16(bytes, 0x21, n);
    putU16(bytes, 0x23, isKeyed ? 1 : 0);
    putU32(bytes, 0x25, version >= 5 ? 0xFF00FF00 : 0);
    putU8(bytes, 0x29, 0);
    putU8(bytes, 0x39, version);
    int offset = 0x58;
    if (version >= 5) {
        putU16(bytes, 0x58, 0x100 + version);
        putU16(bytes, 0x5A, 0x100 + version);
        putU16(bytes, 0x64, n + 1);
        putU16(bytes, 0x6A, codePage);
        offset = 0x78;
    }
    for (const paradox::Field& field : fields) {
        putU8(bytes, offset++, static_cast<int>(field.type));
        putU8(bytes, offset++, field.size);
    }
    offset += 4 + 4 * n;
    const QByteArray tableName = "test";
    bytes.replace(offset, tableName.size(), tableName);
    offset += version >= 0x0C ? 261 : 79;
    for (const paradox::Field& field : fields) {
        const QByteArray name = field.name.toLatin1();
        bytes.replace(offset, name.size(), name);
        offset += static_cast<int>(name.size()) + 1;
    }
    for (int i = 0; i < n; ++i) {
        putU16(bytes, offset, i + 1);
        offset += 2;
    }
    bytes.replace(offset, 5, "ascii");

    for (int i = 0; i < blockCount; ++i) {
        const int start = headerSize() + (physical(i) - 1) * blockSize;
        const int first = i * capacity;
        const int count = std::min(capacity, static_cast<int>(records.size()) - first);
        putU16(bytes, start, i + 1 < blockCount ? physical(i + 1) : 0);
        putU16(bytes, start + 2, i > 0 ? physical(i - 1) : 0);
        putU16(bytes, start + 4, (count - 1) * recordSize());
        for (int r = 0; r < count; ++r)
            bytes.replace(
                start + 6 + r * recordSize(), recordSize(), records[static_cast<std::size_t>(first + r)]);
    }
    return bytes;
}

MemoBuilder::MemoBuilder()
    : m_bytes(4096, '\0')
{
    putU16(m_bytes, 1, 1);
}

std::uint32_t MemoBuilder::addSingle(const QByteArray& value, std::uint16_t modification)
{
    const int start = static_cast<int>(m_bytes.size());
    const int units = static_cast<int>((9 + value.size() + 4095) / 4096);
    m_bytes.append(QByteArray(units * 4096, '\0'));
    putU8(m_bytes, start, 2);
    putU16(m_bytes, start + 1, units);
    putU32(m_bytes, start + 3, static_cast<std::uint32_t>(value.size()));
    putU16(m_bytes, start + 7, modification);
    m_bytes.replace(start + 9, value.size(), value);
    return static_cast<std::uint32_t>(start) | 0xFF;
}

std::uint32_t MemoBuilder::addSmall(const QByteArray& value, std::uint16_t modification)
{
    const int chunks = static_cast<int>((value.size() + 15) / 16);
    if (m_smallBlock < 0 || m_nextSlot < 0 || m_nextChunk + chunks > 256) {
        m_smallBlock = m_bytes.size();
        m_bytes.append(QByteArray(4096, '\0'));
        putU8(m_bytes, static_cast<int>(m_smallBlock), 3);
        putU16(m_bytes, static_cast<int>(m_smallBlock) + 1, 1);
        m_nextSlot = 63;
        m_nextChunk = 0x15;
    }
    const int block = static_cast<int>(m_smallBlock);
    const int slot = m_nextSlot--;
    const int entry = block + 0x0C + 5 * slot;
    putU8(m_bytes, entry, m_nextChunk);
    putU8(m_bytes, entry + 1, chunks);
    putU16(m_bytes, entry + 2, modification);
    putU8(m_bytes, entry + 4, static_cast<int>(value.size() - (chunks - 1) * 16));
    m_bytes.replace(block + 16 * m_nextChunk, value.size(), value);
    m_nextChunk += chunks;
    return static_cast<std::uint32_t>(block) | static_cast<std::uint32_t>(slot);
}

QByteArray blobField(
    int leaderSize, const QByteArray& value, std::uint32_t offset, std::uint16_t modification)
{
    QByteArray field(leaderSize + 10, '\0');
    field.replace(0, std::min<qsizetype>(leaderSize, value.size()), value.left(leaderSize));
    putU32(field, leaderSize, value.isEmpty() ? 0 : offset);
    putU32(field, leaderSize + 4, static_cast<std::uint32_t>(value.size()));
    putU16(field, leaderSize + 8, value.isEmpty() || offset == 0 ? 0 : modification);
    return field;
}

QByteArray hexBytes(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

namespace {

std::unique_ptr<paradox::TableReader> openBytes(
    const QByteArray& db, const QByteArray* mb, const QString& name, QString* error)
{
    auto dbDevice = std::make_unique<QBuffer>();
    dbDevice->setData(db);
    dbDevice->open(QIODevice::ReadOnly);
    std::unique_ptr<QBuffer> mbDevice;
    if (mb) {
        mbDevice = std::make_unique<QBuffer>();
        mbDevice->setData(*mb);
        mbDevice->open(QIODevice::ReadOnly);
    }
    return paradox::openTableFromDevices(
        std::move(dbDevice), name, name, std::move(mbDevice), QStringLiteral("test.mb"), error);
}

// Reading one field on its own must give that field of every whole row, and can stop
// early only where the whole rows stopped too (damage in another field goes unnoticed).
void expectEachFieldReadsAlone(
    const QByteArray& db, const QByteArray* mb, const QString& name, const ReadResult& whole)
{
    for (std::size_t field = 0; field < whole.info.fields.size(); ++field) {
        QString error;
        const auto reader = openBytes(db, mb, name, &error);
        ASSERT_TRUE(reader) << error.toStdString();
        paradox::Value value;
        std::size_t records = 0;
        while (reader->readNextField(field, value)) {
            if (records < whole.values.size()) {
                EXPECT_EQ(value, whole.values[records][field]) << "field " << field << ", record " << records;
            }
            ++records;
        }
        EXPECT_GE(records, whole.values.size()) << "field " << field << ": " << reader->error().toStdString();
        if (whole.error.isEmpty()) {
            EXPECT_EQ(records, whole.values.size()) << "field " << field;
            EXPECT_EQ(reader->error(), QString()) << "field " << field;
        }
    }
}

} // namespace

ReadResult readBytes(const QByteArray& db, const QByteArray* mb, const QString& name)
{
    ReadResult result;
    auto reader = openBytes(db, mb, name, &result.error);
    if (!reader)
        return result;
    result.isOpen = true;
    result.info = reader->info();
    paradox::Row row;
    while (reader->readNext(row)) {
        std::vector<QString> texts;
        for (const paradox::Value& value : row)
            texts.push_back(paradox::valueText(value));
        result.rows.push_back(texts);
        result.values.push_back(row);
    }
    result.error = reader->error();
    expectEachFieldReadsAlone(db, mb, name, result);
    return result;
}

} // namespace readertest
