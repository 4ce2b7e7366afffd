#pragma once

// Decoding the header of a .db file, and the pieces of it that the index files (.PX, .Xnn,
// .Ynn; index_header.h) share. The offsets in `dbHeader` are also the ones the writers fill
// in; change them only together.

#include "data/paradox/format/byte_reader.h"
#include "data/paradox/format/data_block.h"
#include "data/paradox/format/table.h"

#include <QFile>
#include <QIODevice>
#include <cstdint>
#include <vector>

namespace paradox {

namespace dbHeader {
// Fixed part, every version and every file of the format (all little-endian).
constexpr int kRecordSize = 0x00; // u16
constexpr int kHeaderSize = 0x02; // u16, offset of data block 1
constexpr int kFileType = 0x04; // u8: 0 keyed .db, 2 unkeyed .db, others index files
constexpr int kMaxTableSize = 0x05; // u8, block size in KB
constexpr int kNumRecords = 0x06; // u32
constexpr int kUsedBlocks = 0x0A; // u16
constexpr int kFileBlocks = 0x0C; // u16
constexpr int kFirstBlock = 0x0E; // u16, 0 when empty
constexpr int kLastBlock = 0x10; // u16
constexpr int kRebuildFlag = 0x14; // u8, non-zero: the engine found damage
constexpr int kTreeRoot = 0x1E; // u16, .PX/.Ynn: block of the tree's root
constexpr int kTreeLevels = 0x20; // u8, .PX/.Ynn
constexpr int kNumFields = 0x21; // i16
constexpr int kPrimaryKeyFields = 0x23; // i16
constexpr int kEncryption1 = 0x25; // u32: v3 key, v4+ 0xFF00FF00
constexpr int kSortOrder = 0x29; // u8
constexpr int kRebuildFlag2 = 0x2A; // u8, as 0x14
constexpr int kChangeCount1 = 0x2D; // u8
constexpr int kChangeCount2 = 0x2E; // u8
constexpr int kNamePointer = 0x30; // u32, meaningless on disk
constexpr int kDescriptorPointer = 0x34; // u32, meaningless on disk
constexpr int kWriteProtected = 0x38; // u8
constexpr int kFileVersion = 0x39; // u8: 3, 4, 5-9, 0x0A-0x0B, 0x0C
constexpr int kMaxBlocks = 0x3A; // u16, = blocks in the file
constexpr int kAutoIncrement = 0x49; // u32
constexpr int kFirstFreeBlock = 0x4D; // u16
constexpr int kIndexUpdateFlag = 0x4F; // u8, non-zero: the indexes are stale
constexpr int kUsedHeaderSize = 0x51; // u16
constexpr int kReferentialIntegrity = 0x55; // u8; in a v7 .Xnn the index's direction
constexpr int kFixedPartEnd = 0x58;
// Extended part, version 4.0 and later (.db and .Xnn only).
constexpr int kVersionWord = 0x58; // u16, 0x0100 + version; 0x5A the same
constexpr int kVersionWord2 = 0x5A;
constexpr int kEncryption2 = 0x5C; // u32, key; 0 = clear
constexpr int kHighFieldId = 0x64; // u16, fields + 1
constexpr int kFieldNumbersAt = 0x66; // u16, offset of the field numbers - 0x58
constexpr int kCodePage = 0x6A; // u16
constexpr int kExtendedPartEnd = 0x78;

constexpr std::uint32_t kEncryptionInExtendedPart = 0xFF00FF00;
constexpr int kTableNameSizeBefore7 = 79;
constexpr int kTableNameSize7 = 261;
constexpr int kFirstVersionWithExtendedPart = 5; // 3 = 3.0, 4 = 3.5
constexpr int kVersion7 = 0x0C;
// Header sizes are 16 bits: no header is longer.
constexpr std::int64_t kLargestHeader = 0xFFFF;
} // namespace dbHeader

// What the reader needs beyond the public TableInfo.
struct TableHeader
{
    TableInfo info;
    int headerSize = 0;
    int recordSize = 0;
    int blockSize = 0;
    int fileBlocks = 0;
    int firstBlock = 0;
    std::vector<int> fieldOffsets; // byte offset of each field inside a record
    bool hasBlobFields = false;
    std::uint32_t encryptionKey = 0; // 0: not password-protected

    BlockLayout layout() const
    {
        return { headerSize, blockSize, recordSize, firstBlock, fileBlocks, info.recordCount, encryptionKey };
    }
};

// Memo and blob fields: a leader in the record, the rest in the .mb file.
inline bool isBlobType(FieldType type)
{
    return type == FieldType::Memo || type == FieldType::Blob || type == FieldType::FormattedMemo
        || type == FieldType::Ole || type == FieldType::Graphic;
}

// Bytes every value of the type takes (BCD 17, whose descriptor holds its decimals); 0 for
// the types whose size byte tells (Alpha, Bytes, memo and blob fields) and unknown ones.
int fixedWidth(FieldType type);

// Bytes a field takes in a record: the fixed width of its type, else its size byte.
inline int fieldWidth(const Field& field)
{
    const int fixed = fixedWidth(field.type);
    return fixed != 0 ? fixed : field.size;
}

// A failure met in the blocks of a password-protected table (encryptionKey not 0), with what
// may cause it: blocks that do not unscramble with the key read as damage.
QString withProtectionNote(const QString& message, std::uint32_t encryptionKey);

// Opens a file of the format for reading; throws FormatError (naming `name`) when it cannot.
void openForReading(QFile& file, const QString& path, const QString& name);

// The first bytes of a file of the format, up to the longest header there can be. Throws
// FormatError (naming `name`) when they cannot be read.
QByteArray readHeaderBytes(QIODevice& file, const QString& name);

// Decodes and checks a whole header. `header` holds the first headerSize bytes of the file
// (or all of it, when shorter); fileSize is the length of the whole file. Throws FormatError.
TableHeader decodeHeader(const ByteReader& header, std::int64_t fileSize);

// Pieces of a header that every file of the format shares, each checked as it is decoded.
// They throw FormatError.
namespace headerPart {
// The fixed part is there; `what` names the header ("a Paradox table header").
void requireFixedPart(const ByteReader& header, std::int64_t fileSize, const char* what);
int fileVersion(const ByteReader& header);
int blockSize(const ByteReader& header); // in bytes
// At least `minimum`, and within the file.
int headerSize(const ByteReader& header, int minimum, std::int64_t fileSize);
int fieldCount(const ByteReader& header);
int keyFieldCount(const ByteReader& header, int fields);
int recordSize(const ByteReader& header, int blockSize);
// The key the file's blocks are scrambled with (encryption.h), 0 when they are in clear;
// `hasExtendedPart` tells where the key is.
std::uint32_t encryptionKey(const ByteReader& header, bool hasExtendedPart);
inline bool isEncrypted(const ByteReader& header, bool hasExtendedPart)
{
    return encryptionKey(header, hasExtendedPart) != 0;
}
// The same for the header of any file of the format (.DB, .PX, .Xnn, .Ynn), which tells by
// its file type and version where its key is.
std::uint32_t encryptionKeyOf(const ByteReader& header);
// Whether the engine marked the file as damaged or its indexes as stale.
bool needsRebuild(const ByteReader& header);
// The blocks the header counts fit the file and can hold its records.
void checkBlockCounts(const ByteReader& header, const BlockLayout& layout, std::int64_t fileSize);

// Where the field descriptors start, and the field names after them.
std::int64_t descriptorsAt(bool hasExtendedPart);
std::int64_t fieldNamesAt(std::int64_t descriptors, int fields, int version);
// Descriptor `index` (from 0): a known type with a size the type allows.
Field fieldDescriptor(const ByteReader& header, std::int64_t descriptors, int index);
// The NUL-terminated string at offset.
QByteArray zeroTerminated(const ByteReader& header, std::int64_t offset, const char* what);
} // namespace headerPart

} // namespace paradox
