#pragma once

// Decoding one field of a record into a Value.

#include "data/paradox/format/byte_reader.h"
#include "data/paradox/format/code_page.h"
#include "data/paradox/format/table.h"

#include <cstdint>

namespace paradox {

// The 10 bytes that follow a memo or blob field's leader (little-endian).
struct BlobPointer
{
    std::uint32_t offset = 0; // .mb byte offset of the block | slot index in the low byte
    std::uint32_t length = 0; // bytes in the value
    std::uint16_t modification = 0;
};

constexpr int kBlobPointerSize = 10;

inline bool isAllZero(const unsigned char* bytes, int size)
{
    for (int i = 0; i < size; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

BlobPointer decodeBlobPointer(const unsigned char* pointer);

// A whole number of `size` bytes (2 or 4) as Short, Long, Date and Time fields store it:
// big-endian with the top bit flipped.
std::int32_t signFlippedInteger(const unsigned char* bytes, int size);

// Decodes a field of any type but the memo and blob ones into `out`, reusing the storage of
// the value already there when its alternative matches. `record` covers the record, the
// field starts at `offset`. Throws FormatError for a value that cannot be right (a BCD
// value whose decimals disagree with its field).
void decodePlainField(
    const Field& field, const ByteReader& record, int offset, const TextCodec& text, Value& out);

// Assigns text / bytes to `out`, reusing its storage when it already holds that alternative.
void assignText(Value& out, const unsigned char* bytes, qsizetype size, const TextCodec& text);
void assignBytes(Value& out, const unsigned char* bytes, qsizetype size);
// A memo or blob field's value, found in the record or the memo file: text for the text
// types, bytes for the others.
void assignBlobValue(Value& out, const Field& field, QByteArrayView value, const TextCodec& text);

} // namespace paradox
