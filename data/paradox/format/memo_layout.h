#pragma once

// The .mb file, as the reader, the writer and the patch see it: a run of blocks whose sizes
// are multiples of 4096 bytes, each opening with u8 type and u16 size in 4 KB units.
//
// Header block (type 0, offset 0, 4096 bytes):
// | Off | Size | Meaning                                                        |
// |-----|------|----------------------------------------------------------------|
// | 00  | u8   | 0                                                              |
// | 01  | u16  | 1 (units)                                                      |
// | 03  | u16  | modification counter                                           |
// | 05  | 6    | 82 73 02 00 29 00 (constant as other writers store it)         |
// | 0B  | u16  | 0x1000; 0D u16 0x1000; 10 u8 0x10; 11 u16 0x40; 13 u16 0x800   |
//
// Single-value block (type 2), one value over one or more 4 KB units:
// | 00 | u8  | 2                       | 03 | u32 | length            |
// | 01 | u16 | ceil((9 + length)/4096) | 07 | u16 | modification no.  |
// | 09 | ... | data, zero-padded to the block end                      |
//
// Sub-allocated block (type 3, 4096 bytes), up to 64 small values:
// | 000 | u8  | 3        | 00C | 64 x 5 | slot i at 0x0C + 5i: u8 data offset / 16 (0 =   |
// | 001 | u16 | 1        |     |        | unused), u8 16-byte chunks, u16 mod. no., u8    |
// |     |     |          |     |        | bytes used in the last chunk (1..16; 0 deleted) |
// | 150 | 235 x 16 | data chunks (chunk 0x15 is the first)                               |
//
// Free block (type 4): u8 4, u16 units.
//
// A record points to a value with the block's offset, its slot in the low byte (0xFF for a
// single-value block), and the value's length (field_decode.h).

#include <cstdint>
#include <optional>

namespace paradox::memo {

constexpr std::uint64_t kBlockUnit = 4096;

constexpr unsigned char kHeaderBlock = 0;
constexpr unsigned char kSingleValueBlock = 2;
constexpr unsigned char kSubAllocatedBlock = 3;
constexpr unsigned char kFreeBlock = 4;

constexpr int kCounterAt = 3; // header block: u16 modification counter

constexpr int kSingleHeaderSize = 9;
constexpr int kSingleLengthAt = 3; // u32
constexpr int kSingleModificationAt = 7; // u16
constexpr std::uint32_t kSingleValueIndex = 0xFF;
// A single-value block counts its 4 KB units in 16 bits.
constexpr std::uint64_t kLargestValue = 0xFFFF * kBlockUnit - kSingleHeaderSize;

constexpr int kSlotTable = 0x0C;
constexpr int kSlotSize = 5;
constexpr int kSlotCount = 64;
constexpr int kChunkSize = 16;
constexpr int kFirstChunk = 0x15;
constexpr int kChunksPerBlock = 256;
// Values up to this long share sub-allocated blocks; longer ones get a block of their own.
constexpr int kLargestSmallValue = 2048;

// Where slot `slot`'s 5 bytes lie in a sub-allocated block.
constexpr int slotEntryAt(int slot)
{
    return kSlotTable + kSlotSize * slot;
}

// The length of the value a slot entry describes; nullopt for an unused or deleted slot.
inline std::optional<std::int64_t> slotLength(const unsigned char* entry)
{
    const int dataOffset = entry[0];
    const int chunks = entry[1];
    const int lastChunkBytes = entry[4];
    if (dataOffset == 0 || chunks == 0 || lastChunkBytes == 0 || lastChunkBytes > kChunkSize)
        return std::nullopt;
    return std::int64_t { chunks - 1 } * kChunkSize + lastChunkBytes;
}

} // namespace paradox::memo
