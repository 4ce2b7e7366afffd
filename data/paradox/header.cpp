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

#include "data/paradox/header.h"

#include "data/paradox/code_page.h"
#include "data/paradox/field_decode.h"

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

// Text of the 3.x era carries no code page; it is in the DOS code page of the site.
constexpr int kCodePageBefore4 = 437;
constexpr int kMaxFields = 255;
constexpr int kMaxBcdDecimals = 32;

struct TypeRule
{
    FieldType type;
    int minSize;
    int maxSize;
};

// Allowed descriptor sizes per type; BCD's descriptor holds its decimals.
constexpr TypeRule kTypeRules[] = {
    { FieldType::Alpha, 1, 255 },
    { FieldType::Date, 4, 4 },
    { FieldType::Short, 2, 2 },
    { FieldType::Long, 4, 4 },
    { FieldType::Money, 8, 8 },
    { FieldType::Number, 8, 8 },
    { FieldType::Logical, 1, 1 },
    { FieldType::Memo, 10, 255 },
    { FieldType::Blob, 10, 255 },
    { FieldType::FormattedMemo, 10, 255 },
    { FieldType::Ole, 10, 255 },
    { FieldType::Graphic, 10, 255 },
    { FieldType::Time, 4, 4 },
    { FieldType::Timestamp, 8, 8 },
    { FieldType::Autoincrement, 4, 4 },
    { FieldType::Bcd, 0, kMaxBcdDecimals },
    { FieldType::Bytes, 1, 255 },
};

const TypeRule* ruleFor(int code)
{
    for (const TypeRule& rule : kTypeRules) {
        if (static_cast<int>(rule.type) == code)
            return &rule;
    }
    return nullptr;
}

bool isKnownVersion(int version)
{
    return version >= 3 && version <= dbHeader::kVersion7;
}

// A NUL-terminated string starting at offset; throws when the header ends before the NUL.
QByteArray zeroTerminated(const ByteReader& header, std::int64_t offset, const char* what)
{
    header.require(offset, 0, what);
    const unsigned char* start = header.bytes(offset, header.size() - offset, what);
    const auto* end = static_cast<const unsigned char*>(
        std::memchr(start, 0, static_cast<std::size_t>(header.size() - offset)));
    if (!end)
        header.fail(offset, u"the header ends inside %1"_s.arg(QLatin1StringView(what)));
    return QByteArray(reinterpret_cast<const char*>(start), static_cast<qsizetype>(end - start));
}

void decodeFields(const ByteReader& header, TableHeader& result, int numFields, int version)
{
    const bool hasExtendedPart = version >= dbHeader::kFirstVersionWithExtendedPart;
    const std::int64_t descriptors = hasExtendedPart ? dbHeader::kExtendedPartEnd : dbHeader::kFixedPartEnd;
    int recordSize = 0;
    for (int i = 0; i < numFields; ++i) {
        const int code = header.u8(descriptors + 2 * i, "field descriptor");
        const int size = header.u8(descriptors + 2 * i + 1, "field descriptor");
        const TypeRule* rule = ruleFor(code);
        if (!rule)
            header.fail(descriptors + 2 * i,
                u"field %1 has the unknown type code 0x%2"_s.arg(i + 1).arg(code, 2, 16, QChar(u'0')));
        if (size < rule->minSize || size > rule->maxSize)
            header.fail(descriptors + 2 * i + 1,
                u"field %1 has the size %2, which its type does not allow"_s.arg(i + 1).arg(size));
        Field field;
        field.type = rule->type;
        field.size = size;
        result.fieldOffsets.push_back(recordSize);
        recordSize += fieldWidth(field);
        result.hasBlobFields = result.hasBlobFields || isBlobType(field.type);
        result.info.fields.push_back(field);
    }
    if (recordSize != result.recordSize)
        header.fail(dbHeader::kRecordSize,
            u"the header gives a record size of %1 bytes, but the fields take %2"_s.arg(result.recordSize)
                .arg(recordSize));

    const int tableNameSize
        = version >= dbHeader::kVersion7 ? dbHeader::kTableNameSize7 : dbHeader::kTableNameSizeBefore7;
    std::int64_t offset = descriptors + 2 * numFields + 4 + 4 * numFields + tableNameSize;
    const TextCodec& names = *textCodecFor(result.info.codePage); // checked by decodeHeader
    for (Field& field : result.info.fields) {
        const QByteArray name = zeroTerminated(header, offset, "the field names");
        field.name = names.decode(reinterpret_cast<const unsigned char*>(name.constData()), name.size());
        offset += name.size() + 1;
    }
    // Field numbers, then the sort order name. Older files may end before it: keep it empty.
    offset += 2 * numFields;
    if (header.contains(offset, 1)) {
        const unsigned char* start = header.bytes(offset, header.size() - offset, "sort order name");
        const auto* end = static_cast<const unsigned char*>(
            std::memchr(start, 0, static_cast<std::size_t>(header.size() - offset)));
        if (end)
            result.info.sortOrderName
                = QByteArray(reinterpret_cast<const char*>(start), static_cast<qsizetype>(end - start));
    }
}

} // namespace

TableHeader decodeHeader(const ByteReader& header, std::int64_t fileSize)
{
    using namespace dbHeader;
    if (!header.contains(0, kFixedPartEnd))
        header.fail(0, u"the file is too short (%1 bytes) to hold a Paradox table header"_s.arg(fileSize));

    TableHeader result;
    TableInfo& info = result.info;
    info.fileVersion = header.u8(kFileVersion, "file version");
    if (!isKnownVersion(info.fileVersion))
        header.fail(kFileVersion,
            u"unknown file version byte 0x%1: not a Paradox table of version 3.0 to 7.x"_s.arg(
                info.fileVersion, 2, 16, QChar(u'0')));
    const int fileType = header.u8(kFileType, "file type");
    if (fileType != 0 && fileType != 2)
        header.fail(kFileType, u"file type %1 is not a Paradox table (an index file?)"_s.arg(fileType));
    info.isKeyed = fileType == 0;

    info.blockSizeKb = header.u8(kMaxTableSize, "block size");
    if (info.blockSizeKb < 1 || info.blockSizeKb > 32)
        header.fail(kMaxTableSize, u"the block size of %1 KB is not possible"_s.arg(info.blockSizeKb));
    result.blockSize = info.blockSizeKb * 1024;

    result.headerSize = header.u16(kHeaderSize, "header size");
    const bool hasExtendedPart = info.fileVersion >= kFirstVersionWithExtendedPart;
    const int minHeaderSize = hasExtendedPart ? kExtendedPartEnd : kFixedPartEnd;
    if (result.headerSize < minHeaderSize)
        header.fail(kHeaderSize, u"the header size of %1 bytes is too small"_s.arg(result.headerSize));
    if (result.headerSize > fileSize || !header.contains(0, result.headerSize))
        header.fail(kHeaderSize,
            u"the header should take %1 bytes, but the file has only %2: it is truncated"_s
                .arg(result.headerSize)
                .arg(fileSize));

    const int numFields = header.i16(kNumFields, "number of fields");
    if (numFields < 1 || numFields > kMaxFields)
        header.fail(kNumFields, u"the header gives %1 fields; a table has 1 to 255"_s.arg(numFields));
    const int keyFields = header.i16(kPrimaryKeyFields, "number of key fields");
    if (keyFields < 0 || keyFields > numFields)
        header.fail(kPrimaryKeyFields,
            u"the header gives %1 key fields for %2 fields"_s.arg(keyFields).arg(numFields));

    result.recordSize = header.u16(kRecordSize, "record size");
    if (result.recordSize < 1 || result.recordSize > result.blockSize - kBlockHeaderSize)
        header.fail(kRecordSize,
            u"a record of %1 bytes does not fit in a block of %2 bytes"_s.arg(result.recordSize)
                .arg(result.blockSize));

    // A password-protected table's blocks are scrambled; reading them as plain data would
    // give garbage, so refuse before anything else is decoded.
    const std::uint32_t encryption1 = header.u32(kEncryption1, "encryption key");
    std::uint32_t key = encryption1;
    if (hasExtendedPart && encryption1 == kEncryptionInExtendedPart)
        key = header.u32(kEncryption2, "encryption key");
    if (key != 0)
        header.fail(
            kEncryption1, u"the table is password-protected (encrypted), which this program cannot read"_s);

    info.codePage = hasExtendedPart ? header.u16(kCodePage, "code page") : kCodePageBefore4;
    if (info.codePage == 0)
        info.codePage = kCodePageBefore4;
    if (!isSupportedCodePage(info.codePage))
        header.fail(kCodePage,
            u"the table's text is in code page %1, which this system cannot convert"_s.arg(info.codePage));

    info.sortOrderCode = header.u8(kSortOrder, "sort order");
    info.autoIncrementNext = static_cast<std::int32_t>(header.u32(kAutoIncrement, "auto-increment value"));
    info.recordCount = header.u32(kNumRecords, "number of records");
    result.fileBlocks = header.u16(kFileBlocks, "number of blocks");
    result.firstBlock = header.u16(kFirstBlock, "first block");

    decodeFields(header.sub(0, result.headerSize, "header"), result, numFields, info.fileVersion);

    const std::int64_t dataBytes = std::int64_t { result.fileBlocks } * result.blockSize;
    if (fileSize - result.headerSize < dataBytes)
        header.fail(kFileBlocks,
            u"the header gives %1 blocks of %2 bytes, but only %3 bytes follow the header: the file is truncated"_s
                .arg(result.fileBlocks)
                .arg(result.blockSize)
                .arg(fileSize - result.headerSize));
    if (result.firstBlock > result.fileBlocks)
        header.fail(kFirstBlock,
            u"the first data block is %1, but the file has %2 blocks"_s.arg(result.firstBlock)
                .arg(result.fileBlocks));
    const std::int64_t recordsPerBlock = (result.blockSize - kBlockHeaderSize) / result.recordSize;
    if (info.recordCount > std::int64_t { result.fileBlocks } * recordsPerBlock)
        header.fail(kNumRecords,
            u"the header gives %1 records, but %2 blocks hold at most %3"_s.arg(info.recordCount)
                .arg(result.fileBlocks)
                .arg(std::int64_t { result.fileBlocks } * recordsPerBlock));
    if (info.recordCount > 0 && result.firstBlock == 0)
        header.fail(
            kFirstBlock, u"the header gives %1 records but no first data block"_s.arg(info.recordCount));
    return result;
}

} // namespace paradox
