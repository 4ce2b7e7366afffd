// The .db header, as this file decodes it (little-endian):
//
//   offset  size  meaning
//   00      u16   record size (sum of field widths, BCD counts 17)
//   02      u16   header size = offset of data block 1
//   04      u8    file type: 0 keyed table, 2 unkeyed table (others are index files)
//   05      u8    block size in KB
//   06      u32   number of records
//   0C      u16   data blocks in the file, free ones included
//   0E      u16   first block of the chain (0 when empty)
//   14      u8    "rebuild required" flag (also 2A, and 4F "index update required")
//   21      i16   number of fields (1..255)
//   23      i16   number of key fields
//   25      u32   3.x: encryption key; 4.x and later: FF00FF00, key at 5C
//   29      u8    sort order code
//   39      u8    file version (3 = 3.0, 4 = 3.5, 5..9 = 4.x, 0A/0B = 5.x, 0C = 7.x)
//   49      u32   auto-increment value
//   5C      u32   encryption key (4.x and later)
//   6A      u16   code page (4.x and later)
//   58/78   2n    field descriptors: u8 type, u8 size (descriptors at 58 before 4.x)
//   ...     4     table name pointer (meaningless), then 4n field name pointers
//   ...     79    table name (261 in 7.x)
//   ...           n NUL-terminated field names in the code page
//   ...     2n    field numbers
//   ...           NUL-terminated sort order name

#include "data/paradox/format/header.h"

#include "data/paradox/format/code_page.h"
#include "data/paradox/format/language_driver.h"
#include "data/paradox/io/regular_file.h"

#include <algorithm>
#include <cstring>
#include <optional>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

// Text of the 3.x era carries no code page; short of a known language driver, it is in the
// DOS code page of the site.
constexpr int kCodePageBefore4 = 437;
constexpr int kMaxFields = 255;
constexpr int kMaxBcdDecimals = 32;

struct TypeRule
{
    FieldType type;
    int minSize;
    int maxSize;
    int width; // bytes in a record; 0: the size byte gives them
};

// Allowed descriptor sizes per type; BCD's descriptor holds its decimals.
constexpr TypeRule kTypeRules[] = {
    { FieldType::Alpha, 1, 255, 0 },
    { FieldType::Date, 4, 4, 4 },
    { FieldType::Short, 2, 2, 2 },
    { FieldType::Long, 4, 4, 4 },
    { FieldType::Money, 8, 8, 8 },
    { FieldType::Number, 8, 8, 8 },
    { FieldType::Logical, 1, 1, 1 },
    { FieldType::Memo, 10, 255, 0 },
    { FieldType::Blob, 10, 255, 0 },
    { FieldType::FormattedMemo, 10, 255, 0 },
    { FieldType::Ole, 10, 255, 0 },
    { FieldType::Graphic, 10, 255, 0 },
    { FieldType::Time, 4, 4, 4 },
    { FieldType::Timestamp, 8, 8, 8 },
    { FieldType::Autoincrement, 4, 4, 4 },
    { FieldType::Bcd, 0, kMaxBcdDecimals, 17 },
    { FieldType::Bytes, 1, 255, 0 },
};

const TypeRule* ruleFor(int code)
{
    for (const TypeRule& rule : kTypeRules) {
        if (static_cast<int>(rule.type) == code)
            return &rule;
    }
    return nullptr;
}

// The bytes from offset up to the next NUL; nullopt when the header ends before one.
std::optional<QByteArray> untilNul(const ByteReader& header, std::int64_t offset, const char* what)
{
    header.require(offset, 0, what);
    const unsigned char* start = header.bytes(offset, header.size() - offset, what);
    const auto* end = static_cast<const unsigned char*>(
        std::memchr(start, 0, static_cast<std::size_t>(header.size() - offset)));
    if (!end)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(start), static_cast<qsizetype>(end - start));
}

// The header's code page. Where it gives none (3.x tables have no place for it), the text is
// in the code page of the table's language driver, or, for a driver not known here, in the
// DOS code page of the 3.x era.
void decodeCodePage(const ByteReader& header, bool hasExtendedPart, TableInfo& info)
{
    using Source = TableInfo::CodePageSource;
    const int stored = hasExtendedPart ? header.u16(dbHeader::kCodePage, "code page") : 0;
    const std::optional<int> fromDriver
        = stored == 0 ? languageDriverCodePage(info.sortOrderCode, info.sortOrderName) : std::nullopt;
    info.codePage = stored != 0 ? stored : fromDriver.value_or(kCodePageBefore4);
    info.codePageSource = stored != 0 ? Source::Header
        : fromDriver                  ? Source::LanguageDriver
                                      : Source::Assumed;
    if (!isSupportedCodePage(info.codePage))
        header.fail(dbHeader::kCodePage,
            u"the table's text is in code page %1, which this system cannot convert"_s.arg(info.codePage));
}

// The field descriptors, and the names after them as stored (their code page may depend on
// the sort order name that follows them).
std::vector<QByteArray> decodeFields(
    const ByteReader& header, TableHeader& result, int numFields, int version)
{
    const std::int64_t descriptors
        = headerPart::descriptorsAt(version >= dbHeader::kFirstVersionWithExtendedPart);
    int recordSize = 0;
    for (int i = 0; i < numFields; ++i) {
        const Field field = headerPart::fieldDescriptor(header, descriptors, i);
        result.fieldOffsets.push_back(recordSize);
        recordSize += fieldWidth(field);
        result.hasBlobFields = result.hasBlobFields || isBlobType(field.type);
        result.info.fields.push_back(field);
    }
    if (recordSize != result.recordSize)
        header.fail(dbHeader::kRecordSize,
            u"the header gives a record size of %1 bytes, but the fields take %2"_s.arg(result.recordSize)
                .arg(recordSize));

    std::int64_t offset = headerPart::fieldNamesAt(descriptors, numFields, version);
    std::vector<QByteArray> names;
    for (int i = 0; i < numFields; ++i) {
        names.push_back(headerPart::zeroTerminated(header, offset, "the field names"));
        offset += names.back().size() + 1;
    }
    // Field numbers, then the sort order name. Older files may end before it: keep it empty.
    offset += 2 * numFields;
    if (header.contains(offset, 0)) {
        if (auto sortOrderName = untilNul(header, offset, "sort order name"))
            result.info.sortOrderName = std::move(*sortOrderName);
    }
    return names;
}

} // namespace

int fixedWidth(FieldType type)
{
    const TypeRule* rule = ruleFor(static_cast<int>(type));
    return rule ? rule->width : 0;
}

QString withProtectionNote(const QString& message, std::uint32_t encryptionKey)
{
    if (encryptionKey == 0)
        return message;
    return message
        + u" (the table is password-protected: a damaged block, or a wrong key in its header, reads so)"_s;
}

void openForReading(QFile& file, const QString& path, const QString& name)
{
    QString problem;
    if (!openRegularFile(file, path, &problem))
        throw FormatError { name, -1, problem };
}

QByteArray readHeaderBytes(QIODevice& file, const QString& name)
{
    const std::int64_t size = std::min<std::int64_t>(file.size(), dbHeader::kLargestHeader);
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (!file.seek(0) || file.read(bytes.data(), bytes.size()) != bytes.size())
        throw FormatError { name, 0, u"cannot read the header: %1"_s.arg(file.errorString()) };
    return bytes;
}

TableHeader decodeHeader(const ByteReader& header, std::int64_t fileSize)
{
    using namespace dbHeader;
    headerPart::requireFixedPart(header, fileSize, "a Paradox table header");
    TableHeader result;
    TableInfo& info = result.info;
    info.fileVersion = headerPart::fileVersion(header);
    const int fileType = header.u8(kFileType, "file type");
    if (fileType != 0 && fileType != 2)
        header.fail(kFileType, u"file type %1 is not a Paradox table (an index file?)"_s.arg(fileType));
    info.isKeyed = fileType == 0;
    result.blockSize = headerPart::blockSize(header);
    info.blockSizeKb = result.blockSize / 1024;
    const bool hasExtendedPart = info.fileVersion >= kFirstVersionWithExtendedPart;
    result.headerSize
        = headerPart::headerSize(header, hasExtendedPart ? kExtendedPartEnd : kFixedPartEnd, fileSize);
    const int numFields = headerPart::fieldCount(header);
    headerPart::keyFieldCount(header, numFields);
    result.recordSize = headerPart::recordSize(header, result.blockSize);
    // A password-protected table's blocks are scrambled with the key its header holds.
    result.encryptionKey = headerPart::encryptionKey(header, hasExtendedPart);
    info.isPasswordProtected = result.encryptionKey != 0;
    info.sortOrderCode = header.u8(kSortOrder, "sort order");
    info.autoIncrementNext = static_cast<std::int32_t>(header.u32(kAutoIncrement, "auto-increment value"));
    info.recordCount = header.u32(kNumRecords, "number of records");
    result.fileBlocks = header.u16(kFileBlocks, "number of blocks");
    result.firstBlock = header.u16(kFirstBlock, "first block");

    const std::vector<QByteArray> names
        = decodeFields(header.sub(0, result.headerSize, "header"), result, numFields, info.fileVersion);
    decodeCodePage(header, hasExtendedPart, info);
    const TextCodec& text = *textCodecFor(info.codePage); // checked by decodeCodePage
    for (std::size_t i = 0; i < names.size(); ++i)
        info.fields[i].name
            = text.decode(reinterpret_cast<const unsigned char*>(names[i].constData()), names[i].size());
    headerPart::checkBlockCounts(header, result.layout(), fileSize);
    return result;
}

namespace headerPart {

void requireFixedPart(const ByteReader& header, std::int64_t fileSize, const char* what)
{
    if (!header.contains(0, dbHeader::kFixedPartEnd))
        header.fail(
            0, u"the file is too short (%1 bytes) to hold %2"_s.arg(fileSize).arg(QLatin1StringView(what)));
}

int fileVersion(const ByteReader& header)
{
    const int version = header.u8(dbHeader::kFileVersion, "file version");
    if (version < 3 || version > dbHeader::kVersion7)
        header.fail(dbHeader::kFileVersion,
            u"unknown file version byte 0x%1: not a Paradox table of version 3.0 to 7.x"_s.arg(
                version, 2, 16, QChar(u'0')));
    return version;
}

int blockSize(const ByteReader& header)
{
    const int kilobytes = header.u8(dbHeader::kMaxTableSize, "block size");
    if (kilobytes < 1 || kilobytes > 32)
        header.fail(dbHeader::kMaxTableSize, u"the block size of %1 KB is not possible"_s.arg(kilobytes));
    return kilobytes * 1024;
}

int headerSize(const ByteReader& header, int minimum, std::int64_t fileSize)
{
    const int size = header.u16(dbHeader::kHeaderSize, "header size");
    if (size < minimum)
        header.fail(dbHeader::kHeaderSize, u"the header size of %1 bytes is too small"_s.arg(size));
    if (size > fileSize || !header.contains(0, size))
        header.fail(dbHeader::kHeaderSize,
            u"the header should take %1 bytes, but the file has only %2: it is truncated"_s.arg(size).arg(
                fileSize));
    return size;
}

int fieldCount(const ByteReader& header)
{
    const int fields = header.i16(dbHeader::kNumFields, "number of fields");
    if (fields < 1 || fields > kMaxFields)
        header.fail(dbHeader::kNumFields, u"the header gives %1 fields; a table has 1 to 255"_s.arg(fields));
    return fields;
}

int keyFieldCount(const ByteReader& header, int fields)
{
    const int keyFields = header.i16(dbHeader::kPrimaryKeyFields, "number of key fields");
    if (keyFields < 0 || keyFields > fields)
        header.fail(dbHeader::kPrimaryKeyFields,
            u"the header gives %1 key fields for %2 fields"_s.arg(keyFields).arg(fields));
    return keyFields;
}

int recordSize(const ByteReader& header, int blockSize)
{
    const int size = header.u16(dbHeader::kRecordSize, "record size");
    if (size < 1 || size > blockSize - kBlockHeaderSize)
        header.fail(dbHeader::kRecordSize,
            u"a record of %1 bytes does not fit in a block of %2 bytes"_s.arg(size).arg(blockSize));
    return size;
}

std::uint32_t encryptionKey(const ByteReader& header, bool hasExtendedPart)
{
    const std::uint32_t encryption1 = header.u32(dbHeader::kEncryption1, "encryption key");
    if (hasExtendedPart && encryption1 == dbHeader::kEncryptionInExtendedPart)
        return header.u32(dbHeader::kEncryption2, "encryption key");
    return encryption1;
}

std::uint32_t encryptionKeyOf(const ByteReader& header)
{
    // Tables and secondary index data (.Xnn) of 4.0 and later have the extended part;
    // primary indexes and index trees never do.
    const int fileType = header.u8(dbHeader::kFileType, "file type");
    const bool isTableLike
        = fileType == 0 || fileType == 2 || fileType == 3 || fileType == 5 || fileType == 6 || fileType == 8;
    const bool hasExtendedPart = isTableLike
        && header.u8(dbHeader::kFileVersion, "file version") >= dbHeader::kFirstVersionWithExtendedPart;
    return encryptionKey(header, hasExtendedPart);
}

bool needsRebuild(const ByteReader& header)
{
    return header.u8(dbHeader::kRebuildFlag, "flags") != 0 || header.u8(dbHeader::kRebuildFlag2, "flags") != 0
        || header.u8(dbHeader::kIndexUpdateFlag, "flags") != 0;
}

void checkBlockCounts(const ByteReader& header, const BlockLayout& layout, std::int64_t fileSize)
{
    using namespace dbHeader;
    const std::int64_t dataBytes = std::int64_t { layout.fileBlocks } * layout.blockSize;
    if (fileSize - layout.headerSize < dataBytes)
        header.fail(kFileBlocks,
            u"the header gives %1 blocks of %2 bytes, but only %3 bytes follow the header: the file is truncated"_s
                .arg(layout.fileBlocks)
                .arg(layout.blockSize)
                .arg(fileSize - layout.headerSize));
    if (layout.firstBlock > layout.fileBlocks)
        header.fail(kFirstBlock,
            u"the first data block is %1, but the file has %2 blocks"_s.arg(layout.firstBlock)
                .arg(layout.fileBlocks));
    const std::int64_t capacity = std::int64_t { layout.fileBlocks } * layout.recordsPerBlock();
    if (layout.recordCount > capacity)
        header.fail(kNumRecords,
            u"the header gives %1 records, but %2 blocks hold at most %3"_s.arg(layout.recordCount)
                .arg(layout.fileBlocks)
                .arg(capacity));
    if (layout.recordCount > 0 && layout.firstBlock == 0)
        header.fail(
            kFirstBlock, u"the header gives %1 records but no first data block"_s.arg(layout.recordCount));
}

std::int64_t descriptorsAt(bool hasExtendedPart)
{
    return hasExtendedPart ? dbHeader::kExtendedPartEnd : dbHeader::kFixedPartEnd;
}

std::int64_t fieldNamesAt(std::int64_t descriptors, int fields, int version)
{
    const int tableNameSize
        = version >= dbHeader::kVersion7 ? dbHeader::kTableNameSize7 : dbHeader::kTableNameSizeBefore7;
    // Descriptors, the table name pointer, a pointer per field name, the table name.
    return descriptors + 2 * fields + 4 + 4 * fields + tableNameSize;
}

Field fieldDescriptor(const ByteReader& header, std::int64_t descriptors, int index)
{
    const std::int64_t at = descriptors + 2 * index;
    const int code = header.u8(at, "field descriptor");
    const int size = header.u8(at + 1, "field descriptor");
    const TypeRule* rule = ruleFor(code);
    if (!rule)
        header.fail(
            at, u"field %1 has the unknown type code 0x%2"_s.arg(index + 1).arg(code, 2, 16, QChar(u'0')));
    if (size < rule->minSize || size > rule->maxSize)
        header.fail(
            at + 1, u"field %1 has the size %2, which its type does not allow"_s.arg(index + 1).arg(size));
    return Field { QString(), rule->type, size };
}

QByteArray zeroTerminated(const ByteReader& header, std::int64_t offset, const char* what)
{
    std::optional<QByteArray> text = untilNul(header, offset, what);
    if (!text)
        header.fail(offset, u"the header ends inside %1"_s.arg(QLatin1StringView(what)));
    return std::move(*text);
}

} // namespace headerPart
} // namespace paradox
