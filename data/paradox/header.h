#pragma once

// Decoding the header of a .db file. The offsets in `dbHeader` are shared with the table
// writer (it includes this header for them); change them only together.

#include "data/paradox/byte_reader.h"
#include "data/paradox/table.h"

#include <cstdint>
#include <vector>

namespace paradox {

namespace dbHeader {
// Fixed part, every version (all little-endian).
constexpr int kRecordSize = 0x00; // u16
constexpr int kHeaderSize = 0x02; // u16, offset of data block 1
constexpr int kFileType = 0x04; // u8: 0 keyed .db, 2 unkeyed .db
constexpr int kMaxTableSize = 0x05; // u8, block size in KB
constexpr int kNumRecords = 0x06; // u32
constexpr int kUsedBlocks = 0x0A; // u16
constexpr int kFileBlocks = 0x0C; // u16
constexpr int kFirstBlock = 0x0E; // u16, 0 when empty
constexpr int kLastBlock = 0x10; // u16
constexpr int kNumFields = 0x21; // i16
constexpr int kPrimaryKeyFields = 0x23; // i16
constexpr int kEncryption1 = 0x25; // u32: v3 key, v4+ 0xFF00FF00
constexpr int kSortOrder = 0x29; // u8
constexpr int kWriteProtected = 0x38; // u8
constexpr int kFileVersion = 0x39; // u8: 3, 4, 5-9, 0x0A-0x0B, 0x0C
constexpr int kAutoIncrement = 0x49; // u32
constexpr int kFixedPartEnd = 0x58;
// Extended part, version 4.0 and later.
constexpr int kEncryption2 = 0x5C; // u32, key; 0 = clear
constexpr int kCodePage = 0x6A; // u16
constexpr int kExtendedPartEnd = 0x78;

constexpr std::uint32_t kEncryptionInExtendedPart = 0xFF00FF00;
constexpr int kTableNameSizeBefore7 = 79;
constexpr int kTableNameSize7 = 261;
constexpr int kFirstVersionWithExtendedPart = 5; // 3 = 3.0, 4 = 3.5
constexpr int kVersion7 = 0x0C;
constexpr int kBlockHeaderSize = 6;
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
};

// Bytes a field takes in a record (17 for BCD, whose descriptor holds its decimals).
inline int fieldWidth(const Field& field)
{
    return field.type == FieldType::Bcd ? 17 : field.size;
}

// Memo and blob fields: a leader in the record, the rest in the .mb file.
inline bool isBlobType(FieldType type)
{
    return type == FieldType::Memo || type == FieldType::Blob || type == FieldType::FormattedMemo
        || type == FieldType::Ole || type == FieldType::Graphic;
}

// Offset of the header-size word; callers read this much first to learn how much to read.
constexpr int kHeaderSizeProbe = dbHeader::kHeaderSize + 2;

// Decodes and checks a whole header. `header` holds the first headerSize bytes of the file
// (or all of it, when shorter); fileSize is the length of the whole file. Throws FormatError.
TableHeader decodeHeader(const ByteReader& header, std::int64_t fileSize);

} // namespace paradox
