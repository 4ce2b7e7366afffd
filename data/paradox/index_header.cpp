// Headers of .PX, .Xnn/.XGn and .Ynn/.YGn files, as the engine writes them (integers
// little-endian). The fixed part is the one of a .DB:
//
// | Off | Size | Meaning                                                                    |
// |-----|------|----------------------------------------------------------------------------|
// | 00  | u16  | record size: .PX/.Ynn key + 6; .Xnn indexed fields + primary key + 2       |
// | 02  | u16  | header size                                                                |
// | 04  | u8   | 1 .PX; 3/5 .Xnn (non-maintained/maintained); 6/8 .XGn; 4 .Ynn; 7 .YGn      |
// | 05  | u8   | block size in KB (a .PX may use other blocks than its .DB: 4 KB beside 2)  |
// | 06  | u32  | records: entries of all tree levels in .PX/.Ynn                            |
// | 0A  | u16  | blocks in use; 0C u16 blocks in the file; 0E u16 first; 10 u16 last block  |
// | 12  | u16  | a counter of the engine's (3..12 seen): kept                               |
// | 14  | u8   | "rebuild required" flag, 0                                                 |
// | 15  | u8   | .Xnn: number of the indexed field (of the first one in an .XGn)            |
// | 1E  | u16  | .PX/.Ynn: block of the tree's root (1, also when empty)                    |
// | 20  | u8   | .PX/.Ynn: levels of the tree (0 when empty)                                |
// | 21  | i16  | fields: key fields in .PX/.Ynn                                             |
// | 23  | i16  | key fields: 0 in .PX/.Ynn; indexed + primary key fields in .Xnn            |
// | 25  | u32  | .PX/.Ynn: encryption key, 0; .Xnn of 4.x and later: FF00FF00 (key at 5C)   |
// | 29  | u8   | sort order code, the table's                                               |
// | 2A  | u8   | "rebuild required" flag, 0                                                 |
// | 2B  | u8   | 0                                                                          |
// | 2C  | u8   | .PX/.Ynn: header 2D of the file it indexes (in 21 of 28 sample pairs; 0x13 |
// |     |      | more in the other 7); .Xnn: 0xFF                                           |
// | 2D  | u8   | change counter (.DB, .Xnn); 2E another one, 0 in .PX/.Ynn                  |
// | 2F  | u8   | .Xnn: header 2D of its .DB (8 of 11 samples); 0 in .DB, .PX, .Ynn          |
// | 30  | 8    | memory addresses of the engine's, meaningless on disk                      |
// | 39  | u8   | file version, the table's                                                  |
// | 3A  | u16  | = blocks in the file                                                       |
// | 3E  | 2    | 1F 0F in .Xnn (as in a .DB), 00 00 in .PX/.Ynn                             |
// | 49  | u32  | .PX/.Ynn: 2 when empty, 3..6 seen, meaning unknown; .Xnn: 0, 3 or 4        |
// | 4D  | u16  | first free block; 4F u8 "index update required" flag, 0                    |
// | 55  | u8   | .Xnn of version 7: 0x01 ascending, 0x11 descending index                   |
// | 56  | u8   | 0x20 in .Xnn (as in a .DB), 0 in .PX/.Ynn                                  |
// Every one of these but the counts (block_file.cpp) and the tree's root and levels is kept.
//
// .Xnn files of version 4.x and later carry the extended part (58-77) of a .DB header; the
// field descriptors follow it at 0x78, else they start at 0x58 (always so in .PX/.Ynn):
//   n x (u8 type, u8 size); u32 table name pointer; .Xnn only: n x u32 field name pointers;
//   table name (79 bytes, 261 in version 7); .Xnn only: n field names, each NUL-terminated;
//   n x u16 field numbers; sort order name and index name, each NUL-terminated.
//
// An .Xnn of a keyed table holds, per record of the table: the indexed fields, the primary
// key fields, and a Short (named "Blk Num" by the engine) with the number of the .DB block the
// record is in. All but that last field form the .Xnn's key. Indexes of unkeyed tables have
// other fields ("Tup No", "Blk Num", "Tup Offset") and are not rebuilt here.

#include "data/paradox/index_header.h"

#include "data/paradox/byte_reader.h"
#include "data/paradox/header.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr int kMaxHeader = 0xFFFF;
constexpr int kTreeEntryExtra = 6; // child block, count, an unused Short

// The width of a field type that may appear in an index, 0 for one that may not.
int widthOfType(FieldType type, int size)
{
    switch (type) {
    case FieldType::Alpha:
    case FieldType::Bytes:
        return size >= 1 && size <= 255 ? size : 0;
    case FieldType::Bcd:
        return size <= 32 ? 17 : 0;
    case FieldType::Logical:
        return size == 1 ? 1 : 0;
    case FieldType::Short:
        return size == 2 ? 2 : 0;
    case FieldType::Date:
    case FieldType::Long:
    case FieldType::Time:
    case FieldType::Autoincrement:
        return size == 4 ? 4 : 0;
    case FieldType::Money:
    case FieldType::Number:
    case FieldType::Timestamp:
        return size == 8 ? 8 : 0;
    default:
        return 0;
    }
}

IndexFileKind kindOf(const ByteReader& header, int fileType)
{
    switch (fileType) {
    case 1:
        return IndexFileKind::Primary;
    case 3:
    case 5:
    case 6:
    case 8:
        return IndexFileKind::SecondaryData;
    case 4:
    case 7:
        return IndexFileKind::SecondaryTree;
    default:
        header.fail(dbHeader::kFileType, u"file type %1 is not an index file"_s.arg(fileType));
    }
}

QByteArray zeroTerminated(const ByteReader& header, std::int64_t offset, const char* what)
{
    header.require(offset, 1, what);
    const unsigned char* start = header.bytes(offset, header.size() - offset, what);
    const auto* end = static_cast<const unsigned char*>(
        std::memchr(start, 0, static_cast<std::size_t>(header.size() - offset)));
    if (!end)
        header.fail(offset, u"the header ends inside %1"_s.arg(QLatin1StringView(what)));
    return QByteArray(reinterpret_cast<const char*>(start), static_cast<qsizetype>(end - start));
}

// Field descriptors and, in an .Xnn, the names, field numbers, sort order and index name.
void readFields(const ByteReader& header, IndexFileHeader& result, int numFields)
{
    const bool isData = result.kind == IndexFileKind::SecondaryData;
    const bool hasExtendedPart = isData && result.version >= dbHeader::kFirstVersionWithExtendedPart;
    const std::int64_t descriptors = hasExtendedPart ? dbHeader::kExtendedPartEnd : dbHeader::kFixedPartEnd;
    int recordSize = 0;
    for (int i = 0; i < numFields; ++i) {
        const int code = header.u8(descriptors + 2 * i, "field descriptor");
        const int size = header.u8(descriptors + 2 * i + 1, "field descriptor");
        const Field field { QString(), static_cast<FieldType>(code), size };
        const int width = widthOfType(field.type, size);
        if (width == 0)
            header.fail(descriptors + 2 * i,
                u"index field %1 has type code 0x%2 and size %3, which an index cannot hold"_s.arg(i + 1)
                    .arg(code, 2, 16, QChar(u'0'))
                    .arg(size));
        recordSize += width;
        result.fields.push_back(field);
    }
    if (!isData)
        recordSize += kTreeEntryExtra;
    if (recordSize != result.recordSize)
        header.fail(dbHeader::kRecordSize,
            u"the header gives a record size of %1 bytes, but the fields take %2"_s.arg(result.recordSize)
                .arg(recordSize));
    if (!isData)
        return;

    const int tableNameSize
        = result.version >= dbHeader::kVersion7 ? dbHeader::kTableNameSize7 : dbHeader::kTableNameSizeBefore7;
    std::int64_t offset = descriptors + 2 * numFields + 4 + 4 * numFields + tableNameSize;
    for (int i = 0; i < numFields; ++i)
        offset += zeroTerminated(header, offset, "the field names").size() + 1;
    for (int i = 0; i < numFields; ++i)
        result.fieldNumbers.push_back(header.u16(offset + 2 * i, "field numbers"));
    offset += 2 * numFields;
    result.sortOrderName = zeroTerminated(header, offset, "the sort order name");
    offset += result.sortOrderName.size() + 1;
    result.indexName = zeroTerminated(header, offset, "the index name");
}

void checkEncryption(const ByteReader& header, const IndexFileHeader& result)
{
    std::uint32_t key = header.u32(dbHeader::kEncryption1, "encryption key");
    if (result.kind == IndexFileKind::SecondaryData
        && result.version >= dbHeader::kFirstVersionWithExtendedPart
        && key == dbHeader::kEncryptionInExtendedPart)
        key = header.u32(dbHeader::kEncryption2, "encryption key");
    if (key != 0)
        header.fail(dbHeader::kEncryption1, u"the index is encrypted"_s);
}

void checkBlocks(const ByteReader& header, const IndexFileHeader& result, std::int64_t fileSize)
{
    if (std::int64_t { result.fileBlocks } * result.blockSize > fileSize - result.headerSize)
        header.fail(dbHeader::kFileBlocks,
            u"the header gives %1 blocks of %2 bytes, but only %3 bytes follow the header"_s
                .arg(result.fileBlocks)
                .arg(result.blockSize)
                .arg(fileSize - result.headerSize));
    if (result.firstBlock > result.fileBlocks || (result.recordCount > 0 && result.firstBlock == 0))
        header.fail(dbHeader::kFirstBlock,
            u"the first block is %1, but the file has %2 blocks"_s.arg(result.firstBlock)
                .arg(result.fileBlocks));
    const std::int64_t perBlock = (result.blockSize - dbHeader::kBlockHeaderSize) / result.recordSize;
    if (result.recordCount > std::int64_t { result.fileBlocks } * perBlock)
        header.fail(dbHeader::kNumRecords,
            u"the header gives %1 records, more than %2 blocks hold"_s.arg(result.recordCount)
                .arg(result.fileBlocks));
}

IndexFileHeader decodeIndexHeader(const ByteReader& header, std::int64_t fileSize)
{
    using namespace dbHeader;
    if (!header.contains(0, kFixedPartEnd))
        header.fail(0, u"the file is too short (%1 bytes) to hold an index header"_s.arg(fileSize));
    IndexFileHeader result;
    result.fileType = header.u8(kFileType, "file type");
    result.kind = kindOf(header, result.fileType);
    result.version = header.u8(kFileVersion, "file version");
    if (result.version < 3 || result.version > kVersion7)
        header.fail(
            kFileVersion, u"unknown file version byte 0x%1"_s.arg(result.version, 2, 16, QChar(u'0')));
    const int blockSizeKb = header.u8(kMaxTableSize, "block size");
    if (blockSizeKb < 1 || blockSizeKb > 32)
        header.fail(kMaxTableSize, u"the block size of %1 KB is not possible"_s.arg(blockSizeKb));
    result.blockSize = blockSizeKb * 1024;
    result.headerSize = header.u16(kHeaderSize, "header size");
    if (result.headerSize < kFixedPartEnd || result.headerSize > fileSize
        || !header.contains(0, result.headerSize))
        header.fail(kHeaderSize,
            u"the header size of %1 bytes does not fit a file of %2"_s.arg(result.headerSize).arg(fileSize));
    result.recordSize = header.u16(kRecordSize, "record size");
    if (result.recordSize < 1 || result.recordSize > result.blockSize - kBlockHeaderSize)
        header.fail(kRecordSize,
            u"a record of %1 bytes does not fit in a block of %2 bytes"_s.arg(result.recordSize)
                .arg(result.blockSize));
    const int numFields = header.i16(kNumFields, "number of fields");
    result.keyFields = header.i16(kPrimaryKeyFields, "number of key fields");
    if (numFields < 1 || numFields > 255 || result.keyFields < 0 || result.keyFields > numFields)
        header.fail(kNumFields,
            u"the header gives %1 fields, %2 of them key fields"_s.arg(numFields).arg(result.keyFields));
    checkEncryption(header, result);
    result.recordCount = header.u32(kNumRecords, "number of records");
    result.fileBlocks = header.u16(kFileBlocks, "number of blocks");
    result.firstBlock = header.u16(kFirstBlock, "first block");
    result.sortOrderCode = header.u8(kSortOrder, "sort order");
    // 0x01 marks an ascending index of version 7, 0x11 a descending one; anything else is not
    // known to mean ascending.
    const int direction = header.u8(0x55, "direction");
    result.isDescending = result.kind == IndexFileKind::SecondaryData && direction != 0 && direction != 0x01;
    result.needsRebuild
        = header.u8(0x14, "flags") != 0 || header.u8(0x2A, "flags") != 0 || header.u8(0x4F, "flags") != 0;
    const ByteReader whole = header.sub(0, result.headerSize, "header");
    readFields(whole, result, numFields);
    checkBlocks(header, result, fileSize);
    result.header = QByteArray(
        reinterpret_cast<const char*>(whole.bytes(0, result.headerSize, "header")), result.headerSize);
    return result;
}

} // namespace

IndexFileHeader readIndexHeader(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FormatError { name, -1, u"cannot open the file: %1"_s.arg(file.errorString()) };
    const QByteArray bytes = file.read(std::min<qint64>(file.size(), kMaxHeader));
    const ByteReader header(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(), name);
    IndexFileHeader result = decodeIndexHeader(header, file.size());
    result.path = path;
    result.name = name;
    return result;
}

} // namespace paradox
