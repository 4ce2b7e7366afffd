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

#include "data/paradox/format/index_header.h"

#include "data/paradox/format/byte_reader.h"
#include "data/paradox/format/header.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr int kTreeEntryExtra = 6; // child block, count, an unused Short
// Header 0x55 of a version 7 .Xnn: 0x01 ascending, 0x11 descending.
constexpr int kAscending = 0x01;

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

// Field descriptors and, in an .Xnn, the names, field numbers, sort order and index name.
void readFields(const ByteReader& header, IndexFileHeader& result, int numFields, bool hasExtendedPart)
{
    const bool isData = result.kind == IndexFileKind::SecondaryData;
    const std::int64_t descriptors = headerPart::descriptorsAt(hasExtendedPart);
    int recordSize = isData ? 0 : kTreeEntryExtra;
    for (int i = 0; i < numFields; ++i) {
        const Field field = headerPart::fieldDescriptor(header, descriptors, i);
        if (isBlobType(field.type))
            header.fail(descriptors + 2 * i,
                u"index field %1 is a %2 field, which an index cannot hold"_s.arg(i + 1).arg(
                    fieldTypeName(field.type)));
        recordSize += fieldWidth(field);
        result.fields.push_back(field);
    }
    if (recordSize != result.recordSize)
        header.fail(dbHeader::kRecordSize,
            u"the header gives a record size of %1 bytes, but the fields take %2"_s.arg(result.recordSize)
                .arg(recordSize));
    if (!isData)
        return;

    std::int64_t offset = headerPart::fieldNamesAt(descriptors, numFields, result.version);
    for (int i = 0; i < numFields; ++i)
        offset += headerPart::zeroTerminated(header, offset, "the field names").size() + 1;
    for (int i = 0; i < numFields; ++i)
        result.fieldNumbers.push_back(header.u16(offset + 2 * i, "field numbers"));
    offset += 2 * numFields;
    result.sortOrderName = headerPart::zeroTerminated(header, offset, "the sort order name");
    offset += result.sortOrderName.size() + 1;
    result.indexName = headerPart::zeroTerminated(header, offset, "the index name");
}

IndexFileHeader decodeIndexHeader(const ByteReader& header, std::int64_t fileSize)
{
    using namespace dbHeader;
    headerPart::requireFixedPart(header, fileSize, "an index header");
    IndexFileHeader result;
    result.fileType = header.u8(kFileType, "file type");
    result.kind = kindOf(header, result.fileType);
    result.version = headerPart::fileVersion(header);
    result.blockSize = headerPart::blockSize(header);
    result.headerSize = headerPart::headerSize(header, kFixedPartEnd, fileSize);
    result.recordSize = headerPart::recordSize(header, result.blockSize);
    const int numFields = headerPart::fieldCount(header);
    result.keyFields = headerPart::keyFieldCount(header, numFields);
    // Only an .Xnn carries the extended part of a .DB header; trees and the .PX never do.
    const bool hasExtendedPart
        = result.kind == IndexFileKind::SecondaryData && result.version >= kFirstVersionWithExtendedPart;
    result.encryptionKey = headerPart::encryptionKey(header, hasExtendedPart);
    result.recordCount = header.u32(kNumRecords, "number of records");
    result.fileBlocks = header.u16(kFileBlocks, "number of blocks");
    result.firstBlock = header.u16(kFirstBlock, "first block");
    result.sortOrderCode = header.u8(kSortOrder, "sort order");
    // Anything but 0 or the ascending mark is not known to mean ascending.
    const int direction = header.u8(kReferentialIntegrity, "direction");
    result.isDescending
        = result.kind == IndexFileKind::SecondaryData && direction != 0 && direction != kAscending;
    result.needsRebuild = headerPart::needsRebuild(header);
    const ByteReader whole = header.sub(0, result.headerSize, "header");
    readFields(whole, result, numFields, hasExtendedPart);
    headerPart::checkBlockCounts(header, result.layout(), fileSize);
    result.header = QByteArray(
        reinterpret_cast<const char*>(whole.bytes(0, result.headerSize, "header")), result.headerSize);
    return result;
}

} // namespace

IndexFileHeader readIndexHeader(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    QFile file;
    openForReading(file, path, name);
    const QByteArray bytes = readHeaderBytes(file, name);
    const ByteReader header(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(), name);
    IndexFileHeader result = decodeIndexHeader(header, file.size());
    result.path = path;
    result.name = name;
    return result;
}

} // namespace paradox
