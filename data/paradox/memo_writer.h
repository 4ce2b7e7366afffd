#pragma once

// Writes a fresh .MB file: memo and blob values that do not fit their field's leader.
//
// The file is a run of blocks, sizes in 4096-byte units; each starts with u8 type, u16 units.
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
// Single-blob block (type 2), for values over 2048 bytes:
// | 00 | u8  | 2                       | 03 | u32 | length            |
// | 01 | u16 | ceil((9 + length)/4096) | 07 | u16 | modification no.  |
// | 09 | ... | data, zero-padded to the block end                      |
//
// Sub-allocated block (type 3, 4096 bytes), up to 64 values of at most 2048 bytes:
// | 000 | u8  | 3        | 00C | 64 x 5 | slot i at 0x0C + 5i: u8 data offset / 16,      |
// | 001 | u16 | 1        |     |        | u8 16-byte chunks, u16 mod no., u8 bytes used   |
// |     |     |          |     |        | in the last chunk (1..16)                       |
// | 150 | 235 x 16 | data chunks (chunk 0x15 is the first)                               |
//
// Pointer in the record (last 10 bytes of the field, little-endian):
// | +0 | u32 | block offset | slot (0..63), or | 0xFF for a single-blob block; 0 = inline |
// | +4 | u32 | length (0 = blank) | +8 | u16 | modification number                        |

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace paradox::writer {

class TemporaryFile;

constexpr std::uint64_t kMemoBlock = 4096;
// A single-blob block counts its 4 KB units in 16 bits.
constexpr std::uint64_t kLargestBlob = 0xFFFF * kMemoBlock - 9;

class MemoWriter
{
public:
    // New blocks go from `end` on, a multiple of 4096: right after the header in a new file
    // (whose header finish() writes), or after the last block of an existing one.
    explicit MemoWriter(TemporaryFile& file, std::uint64_t end = kMemoBlock);

    // Stores value (non-empty) under the given modification number and returns the pointer's
    // offset field, or nullopt with *error when the file cannot be written or would outgrow
    // the 32-bit offsets.
    std::optional<std::uint32_t> store(const QByteArray& value, std::uint16_t modification, QString* error);
    // The modification number of every value of a new file.
    static constexpr std::uint16_t modificationNumber() { return 1; }

    // Writes the open sub-allocated block and pads the file to whole blocks.
    bool flush(QString* error);
    // flush(), then the header of a new file.
    bool finish(QString* error);

private:
    bool writeSmallBlock(QString* error);

    TemporaryFile& m_file;
    std::uint64_t m_end; // where the next block goes
    std::array<char, 4096> m_small {};
    std::uint64_t m_smallOffset = 0; // 0: no sub-allocated block open
    int m_nextSlot = 63;
    int m_nextChunk = 0x15;
};

} // namespace paradox::writer
