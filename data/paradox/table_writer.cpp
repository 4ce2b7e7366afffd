// Writes a new unkeyed table: the .DB header, the chain of data blocks and, for memo and
// blob values longer than their leader, the .MB file (memo_writer.h).
//
// .DB header (integers little-endian), as written here for versions 4.x to 7.x:
// | Off | Size | Meaning                              | Off | Size | Meaning                          |
// |-----|------|--------------------------------------|-----|------|----------------------------------|
// | 00  | u16  | record size                          | 39  | u8   | file version (0x0B = 5.x)        |
// | 02  | u16  | header size (multiple of 0x800)      | 3A  | u16  | max blocks (= file blocks)       |
// | 04  | u8   | 2 = unkeyed table                    | 3E  | 2    | 1F 0F                            |
// | 05  | u8   | block size / 1024                    | 49  | u32  | autoincrement value              |
// | 06  | u32  | number of records                    | 51  | u16  | header bytes in use              |
// | 0A  | u16  | blocks in use                        | 56  | u8   | 0x20                             |
// | 0C  | u16  | blocks in the file                   | 58  | u16  | 0x0100 + version; 5A the same    |
// | 0E  | u16  | first block (0 when empty)           | 5C  | u32  | encryption key, 0                |
// | 10  | u16  | last block                           | 64  | u16  | number of fields + 1             |
// | 21  | i16  | number of fields                     | 66  | u16  | field-number array offset - 0x58 |
// | 23  | i16  | key fields, 0                        | 6A  | u16  | code page                        |
// | 25  | u32  | 0xFF00FF00 (key lives at 5C)         | 6C  | 2    | 01 01                            |
// | 29  | u8   | sort order code                      | 6E  | u16  | 0x18 + 8n + 4 + name area + names + 8 |
// | 2D  | u8   | 2; 2E u8 1                           | 30  | u32  | 0x78 + 2n; 34 u32 0x78           |
// Everything else in 00-77 is zero. From 0x78: n x (u8 type, u8 size); u32 0; n x u32 0;
// table name (79 bytes, 261 in 7.x); field names, each NUL-terminated; n x u16 field
// numbers 1..n; sort order name, NUL-terminated; zeros up to the header size.
//
// Data block (block n at headerSize + (n - 1) x blockSize):
// | 0 | u16 | next block, 0 = last | 2 | u16 | previous block, 0 = first |
// | 4 | i16 | (records - 1) x record size | 6 | records back to back      |

#include "data/paradox/byte_writer.h"
#include "data/paradox/code_page.h"
#include "data/paradox/field_encode.h"
#include "data/paradox/memo_writer.h"
#include "data/paradox/table.h"
#include "data/paradox/table_family.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr int kVersion4 = 0x09;
constexpr int kVersion5 = 0x0B;
constexpr int kVersion7 = 0x0C;
constexpr int kDescriptorsAt = 0x78;
constexpr std::uint64_t kMaxBlocks = 0xFFFF; // block numbers are 16 bits
constexpr int kBufferBytes = 1 << 20;

struct SortOrder
{
    int codePage;
    int code;
    const char* name;
};

// The language driver a table of each code page usually carries.
constexpr SortOrder kUsualSortOrders[] = {
    { 437, 0xB7, "intl" },
    { 850, 0x54, "intl850" },
    { 852, 0x0D, "czech" },
    { 865, 0x82, "nordan" },
    { 866, 0xC0, "cyrr" },
    { 1250, 0xDC, "anczech" },
    { 1251, 0x8F, "ancyrr" },
    { 1252, 0x62, "ANSIINTL" },
};

// The level of the newest field type a table uses: 5.x types in a 4.x file are unreadable
// to a 4.x engine, so the file version is raised to match.
int minimumVersion(const std::vector<Field>& fields)
{
    int version = 0;
    for (const Field& field : fields) {
        switch (field.type) {
        case FieldType::Long:
        case FieldType::Time:
        case FieldType::Timestamp:
        case FieldType::Logical:
        case FieldType::Autoincrement:
        case FieldType::Bcd:
        case FieldType::Bytes:
            version = std::max(version, kVersion5);
            break;
        case FieldType::Memo:
        case FieldType::Blob:
        case FieldType::FormattedMemo:
        case FieldType::Ole:
        case FieldType::Graphic:
            version = std::max(version, kVersion4);
            break;
        default:
            break;
        }
    }
    return version;
}

struct Layout
{
    std::vector<Field> fields; // sizes as stored
    std::vector<int> offsets; // of each field in the record
    int version = kVersion5;
    int recordSize = 0;
    int blockSize = 0;
    int recordsPerBlock = 0;
    QByteArray header; // counts filled in at commit
};

std::optional<Layout> planTable(const NewTable& table, QString* error)
{
    const auto fail = [&](const QString& what) {
        *error = u"cannot create table %1: %2"_s.arg(table.name, what);
        return std::nullopt;
    };
    Layout layout;
    if (table.name.isEmpty() || table.name.contains(u'/') || table.name.contains(QChar(0)))
        return fail(u"the name is not a valid file name"_s);
    if (table.fields.empty() || table.fields.size() > 255)
        return fail(u"a table has 1 to 255 fields, not %1"_s.arg(table.fields.size()));
    if (!isSupportedCodePage(table.codePage) || table.codePage > 0xFFFF)
        return fail(u"code page %1 is not supported"_s.arg(table.codePage));
    if (table.fileVersion < 5 || table.fileVersion > kVersion7)
        return fail(u"file version %1 cannot be written"_s.arg(table.fileVersion));
    layout.version = std::max(table.fileVersion, minimumVersion(table.fields));

    const bool isLargeBlockAllowed = layout.version == kVersion7;
    if (!((table.blockSizeKb >= 1 && table.blockSizeKb <= 4)
            || (isLargeBlockAllowed && (table.blockSizeKb == 16 || table.blockSizeKb == 32))))
        return fail(u"a block of %1 KB is not possible in this file version"_s.arg(table.blockSizeKb));
    layout.blockSize = table.blockSizeKb * 1024;

    QByteArray names;
    QStringList seen;
    for (const Field& given : table.fields) {
        QString problem;
        const auto size = writer::checkedSizeByte(given, &problem);
        if (!size)
            return fail(problem);
        if (seen.contains(given.name, Qt::CaseInsensitive))
            return fail(u"two fields are named %1"_s.arg(given.name));
        seen << given.name;
        const auto encodedName = encodeText(given.name, table.codePage);
        if (!encodedName || encodedName->contains('\0'))
            return fail(
                u"field name %1 cannot be written in code page %2"_s.arg(given.name).arg(table.codePage));
        names += *encodedName + '\0';
        Field field = given;
        field.size = *size;
        layout.offsets.push_back(layout.recordSize);
        layout.recordSize += writer::recordWidth(field);
        layout.fields.push_back(field);
    }
    if (layout.recordSize > layout.blockSize - 6)
        return fail(u"a record of %1 bytes does not fit in a block of %2"_s.arg(layout.recordSize)
                        .arg(layout.blockSize));
    layout.recordsPerBlock = (layout.blockSize - 6) / layout.recordSize;

    int sortCode = table.sortOrderCode;
    QByteArray sortName = table.sortOrderName;
    for (const SortOrder& usual : kUsualSortOrders) {
        if (sortCode < 0 && usual.codePage == table.codePage)
            sortCode = usual.code;
        if (sortName.isEmpty() && usual.codePage == table.codePage && usual.code == sortCode)
            sortName = usual.name;
    }
    if (sortCode < 0)
        sortCode = 0;
    if (sortName.isEmpty())
        sortName = sortCode == 0 ? "ascii" : "";
    if (sortCode > 0xFF || sortName.isEmpty() || sortName.contains('\0'))
        return fail(
            u"sort order %1 \"%2\" cannot be written"_s.arg(sortCode).arg(QString::fromLatin1(sortName)));

    const int tableNameSize = layout.version == kVersion7 ? 261 : 79;
    const auto tableName = encodeText(table.name + u".DB"_s, table.codePage);
    if (!tableName || tableName->size() >= tableNameSize)
        return fail(u"the name cannot be written in code page %1"_s.arg(table.codePage));

    const auto count = static_cast<std::uint32_t>(layout.fields.size());
    const std::uint32_t namesAt = kDescriptorsAt + 6 * count + 4 + static_cast<std::uint32_t>(tableNameSize);
    const auto numbersAt = namesAt + static_cast<std::uint32_t>(names.size());
    const std::uint32_t used = numbersAt + 2 * count + static_cast<std::uint32_t>(sortName.size()) + 1;
    const std::uint32_t headerSize = (used + 0x7FF) & ~0x7FFU;
    if (headerSize > 0xF800)
        return fail(u"the field names do not fit in a header"_s);

    QByteArray& header = layout.header;
    header.fill('\0', headerSize);
    char* h = header.data();
    putU16(h + 0x00, static_cast<std::uint32_t>(layout.recordSize));
    putU16(h + 0x02, headerSize);
    h[0x04] = 2;
    h[0x05] = static_cast<char>(table.blockSizeKb);
    putU16(h + 0x21, count);
    putU32(h + 0x25, 0xFF00FF00U);
    h[0x29] = static_cast<char>(sortCode);
    h[0x2D] = 2;
    h[0x2E] = 1;
    putU32(h + 0x30, kDescriptorsAt + 2 * count);
    putU32(h + 0x34, kDescriptorsAt);
    h[0x39] = static_cast<char>(layout.version);
    h[0x3E] = 0x1F;
    h[0x3F] = 0x0F;
    putU16(h + 0x51, used);
    h[0x56] = 0x20;
    putU16(h + 0x58, 0x0100U + static_cast<std::uint32_t>(layout.version));
    putU16(h + 0x5A, 0x0100U + static_cast<std::uint32_t>(layout.version));
    putU16(h + 0x64, count + 1);
    putU16(h + 0x66, numbersAt - 0x58);
    putU16(h + 0x6A, static_cast<std::uint32_t>(table.codePage));
    h[0x6C] = 1;
    h[0x6D] = 1;
    // Meaning unknown; this is the value other writers store.
    putU16(h + 0x6E, 0x18 + 8 * count + 4 + static_cast<std::uint32_t>(tableNameSize + names.size()) + 8);
    for (std::uint32_t i = 0; i < count; ++i) {
        h[kDescriptorsAt + 2 * i] = static_cast<char>(layout.fields[i].type);
        h[kDescriptorsAt + 2 * i + 1] = static_cast<char>(layout.fields[i].size);
        putU16(h + numbersAt + 2 * i, i + 1);
    }
    std::memcpy(
        h + namesAt - tableNameSize, tableName->constData(), static_cast<std::size_t>(tableName->size()));
    std::memcpy(h + namesAt, names.constData(), static_cast<std::size_t>(names.size()));
    std::memcpy(h + numbersAt + 2 * count, sortName.constData(), static_cast<std::size_t>(sortName.size()));
    return layout;
}

class ParadoxTableWriter : public TableWriter
{
public:
    ParadoxTableWriter(const NewTable& table, Layout layout)
        : m_table(table)
        , m_layout(std::move(layout))
        , m_record(static_cast<std::size_t>(m_layout.recordSize))
        , m_autoIncrement(table.autoIncrementNext)
    {
        const int blocksPerBuffer = std::max(1, kBufferBytes / m_layout.blockSize);
        m_buffer.resize(static_cast<std::size_t>(blocksPerBuffer * m_layout.blockSize));
        m_blobs.resize(m_layout.fields.size());
    }

    bool open(QString* error)
    {
        if (!m_db.create(m_table.folder, m_table.name, u"DB"_s, error))
            return false;
        const bool hasBlobs = std::any_of(m_layout.fields.begin(), m_layout.fields.end(),
            [](const Field& f) { return writer::isBlobType(f.type); });
        if (hasBlobs) {
            m_mb = std::make_unique<writer::TemporaryFile>();
            if (!m_mb->create(m_table.folder, m_table.name, u"MB"_s, error))
                return false;
            m_memos = std::make_unique<writer::MemoWriter>(*m_mb);
        }
        return true;
    }

    bool append(const Row& row, QString* error) override
    {
        QString ignored;
        QString& message = error ? *error : ignored;
        if (!m_failure.isEmpty()) {
            message = m_failure;
            return false;
        }
        if (m_isCommitted) {
            message = u"table %1 is already committed"_s.arg(m_table.name);
            return false;
        }
        const std::int64_t recordNumber = m_recordCount + 1;
        if (row.size() != m_layout.fields.size()) {
            message = u"%1: record %2 has %3 values, but the table has %4 fields"_s.arg(m_table.name)
                          .arg(recordNumber)
                          .arg(row.size())
                          .arg(m_layout.fields.size());
            return false;
        }
        if (m_recordsInBlock == m_layout.recordsPerBlock && m_blockCount == kMaxBlocks) {
            message = u"%1: table is full (%2 blocks)"_s.arg(m_table.name).arg(kMaxBlocks);
            return false;
        }
        if (static_cast<std::uint64_t>(m_recordCount) >= std::numeric_limits<std::uint32_t>::max()) {
            message = u"%1: table is full"_s.arg(m_table.name);
            return false;
        }

        // Check and encode every value before anything reaches the files, so that a value
        // that cannot be stored leaves no trace.
        for (std::size_t i = 0; i < row.size(); ++i) {
            const Field& field = m_layout.fields[i];
            char* slot = m_record.data() + m_layout.offsets[i];
            QString problem;
            bool isStorable = true;
            if (writer::isBlobType(field.type)) {
                auto content = writer::blobContent(field, row[i], m_table.codePage, &problem);
                isStorable = content.has_value();
                if (isStorable)
                    m_blobs[i] = std::move(*content);
            } else {
                isStorable = writer::encodeFixedField(field, row[i], m_table.codePage, slot, &problem);
            }
            if (!isStorable) {
                message = u"%1: record %2, field %3: %4"_s.arg(m_table.name)
                              .arg(recordNumber)
                              .arg(field.name, problem);
                return false;
            }
        }
        for (std::size_t i = 0; i < row.size(); ++i) {
            const Field& field = m_layout.fields[i];
            if (writer::isBlobType(field.type)
                && !placeBlob(field, m_blobs[i], m_record.data() + m_layout.offsets[i]))
                return fail(&message);
            if (field.type == FieldType::Autoincrement && !isNull(row[i]))
                m_autoIncrement = std::max(m_autoIncrement, std::get<std::int32_t>(row[i]));
        }
        if (!addRecord())
            return fail(&message);
        ++m_recordCount;
        return true;
    }

    bool commit(const QString& backupFolder, QString* error) override
    {
        QString ignored;
        QString& message = error ? *error : ignored;
        if (m_isCommitted) {
            message = u"table %1 is already committed"_s.arg(m_table.name);
            return false;
        }
        if (!m_failure.isEmpty()) {
            message = m_failure;
            return false;
        }
        if (!flushBuffer(m_blockCount) || !writeHeader() || (m_memos && !m_memos->finish(&m_failure))
            || !m_db.finish(&m_failure) || (m_mb && !m_mb->finish(&m_failure)))
            return fail(&message);
        std::vector<writer::TemporaryFile*> files { &m_db };
        if (m_mb)
            files.push_back(m_mb.get());
        if (!writer::placeFamily(m_table.folder, m_table.name, files, backupFolder, &m_failure))
            return fail(&message);
        m_isCommitted = true;
        return true;
    }

private:
    bool fail(QString* message)
    {
        *message = m_failure;
        return false;
    }

    // Fills the leader and the .MB pointer of a memo or blob field.
    bool placeBlob(const Field& field, const QByteArray& content, char* slot)
    {
        const int leader = field.size - 10;
        std::memset(slot, 0, static_cast<std::size_t>(field.size));
        if (content.isEmpty())
            return true;
        std::memcpy(
            slot, content.constData(), static_cast<std::size_t>(std::min<qsizetype>(leader, content.size())));
        std::uint32_t offset = 0;
        std::uint16_t modification = 0;
        if (content.size() > leader) {
            const auto stored = m_memos->store(content, writer::MemoWriter::modificationNumber(), &m_failure);
            if (!stored)
                return false;
            offset = *stored;
            modification = writer::MemoWriter::modificationNumber();
        }
        putU32(slot + leader, offset);
        putU32(slot + leader + 4, static_cast<std::uint32_t>(content.size()));
        putU16(slot + leader + 8, modification);
        return true;
    }

    std::uint64_t blockOffset(std::uint64_t blockNumber) const
    {
        return static_cast<std::uint64_t>(m_layout.header.size())
            + (blockNumber - 1) * static_cast<std::uint64_t>(m_layout.blockSize);
    }

    char* blockInBuffer(std::uint64_t blockNumber)
    {
        return m_buffer.data()
            + (blockNumber - m_bufferFirst) * static_cast<std::uint64_t>(m_layout.blockSize);
    }

    // Writes the buffered blocks m_bufferFirst..last.
    bool flushBuffer(std::uint64_t last)
    {
        if (last < m_bufferFirst)
            return true;
        const auto size = (last - m_bufferFirst + 1) * static_cast<std::uint64_t>(m_layout.blockSize);
        return m_db.writeAt(blockOffset(m_bufferFirst), m_buffer.data(), size, &m_failure);
    }

    bool addRecord()
    {
        if (m_blockCount == 0 || m_recordsInBlock == m_layout.recordsPerBlock) {
            const std::uint64_t next = m_blockCount + 1;
            const std::uint64_t capacity = m_buffer.size() / static_cast<std::size_t>(m_layout.blockSize);
            if (m_blockCount != 0)
                putU16(blockInBuffer(m_blockCount), static_cast<std::uint32_t>(next));
            if (next - m_bufferFirst == capacity) {
                if (!flushBuffer(m_blockCount))
                    return false;
                m_bufferFirst = next;
            }
            char* block = blockInBuffer(next);
            std::memset(block, 0, static_cast<std::size_t>(m_layout.blockSize));
            putU16(block + 2, static_cast<std::uint32_t>(m_blockCount));
            m_blockCount = next;
            m_recordsInBlock = 0;
        }
        char* block = blockInBuffer(m_blockCount);
        std::memcpy(block + 6 + m_recordsInBlock * m_layout.recordSize, m_record.data(), m_record.size());
        putU16(block + 4, static_cast<std::uint32_t>(m_recordsInBlock * m_layout.recordSize));
        ++m_recordsInBlock;
        return true;
    }

    bool writeHeader()
    {
        char* h = m_layout.header.data();
        const auto blocks = static_cast<std::uint32_t>(m_blockCount);
        putU32(h + 0x06, static_cast<std::uint32_t>(m_recordCount));
        putU16(h + 0x0A, blocks);
        putU16(h + 0x0C, blocks);
        putU16(h + 0x0E, blocks == 0 ? 0 : 1);
        putU16(h + 0x10, blocks);
        putU16(h + 0x3A, blocks);
        putU32(h + 0x49, static_cast<std::uint32_t>(m_autoIncrement));
        return m_db.writeAt(
            0, m_layout.header.constData(), static_cast<std::size_t>(m_layout.header.size()), &m_failure);
    }

    NewTable m_table;
    Layout m_layout;
    writer::TemporaryFile m_db;
    std::unique_ptr<writer::TemporaryFile> m_mb;
    std::unique_ptr<writer::MemoWriter> m_memos;
    std::vector<char> m_record;
    std::vector<QByteArray> m_blobs;
    std::vector<char> m_buffer; // whole blocks, the first is block m_bufferFirst
    std::uint64_t m_bufferFirst = 1;
    std::uint64_t m_blockCount = 0;
    int m_recordsInBlock = 0;
    std::int64_t m_recordCount = 0;
    std::int32_t m_autoIncrement = 0;
    QString m_failure; // set once a file could not be written: the writer is then useless
    bool m_isCommitted = false;
};

} // namespace

std::unique_ptr<TableWriter> createTable(const NewTable& table, QString* error)
{
    QString ignored;
    QString& message = error ? *error : ignored;
    if (!QFileInfo(table.folder).isDir()) {
        message = u"cannot create table %1: folder %2 does not exist"_s.arg(
            table.name, QDir::toNativeSeparators(table.folder));
        return nullptr;
    }
    auto layout = planTable(table, &message);
    if (!layout)
        return nullptr;
    auto writer = std::make_unique<ParadoxTableWriter>(table, std::move(*layout));
    if (!writer->open(&message))
        return nullptr;
    return writer;
}

} // namespace paradox
