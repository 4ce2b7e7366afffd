#pragma once

// Decoding one field of a record into a Value.

#include "data/paradox/byte_reader.h"
#include "data/paradox/table.h"

#include <array>
#include <cstdint>

namespace paradox {

// Single-byte text of one code page to Unicode through a 256-entry table, built once per
// code page with iconv: decoding is then a table lookup per byte, with no allocation when
// the target string already has room.
class TextDecoder
{
public:
    explicit TextDecoder(int codePage);
    void decode(const unsigned char* bytes, qsizetype size, QString& out) const;
    QString decode(const unsigned char* bytes, qsizetype size) const
    {
        QString out;
        decode(bytes, size, out);
        return out;
    }

private:
    std::array<char16_t, 256> m_table {};
};

// The decoder of a code page, built on first use and kept for the life of the program.
const TextDecoder& textDecoderFor(int codePage);

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

// Decodes a field of any type but the memo and blob ones into `out`, reusing the storage of
// the value already there when its alternative matches. `record` covers the record, the
// field starts at `offset`. Throws FormatError for a value that cannot be right (a BCD
// digit over 9).
void decodePlainField(
    const Field& field, const ByteReader& record, int offset, const TextDecoder& text, Value& out);

// Assigns text / bytes to `out`, reusing its storage when it already holds that alternative.
void assignText(Value& out, const unsigned char* bytes, qsizetype size, const TextDecoder& text);
void assignBytes(Value& out, const unsigned char* bytes, qsizetype size);

} // namespace paradox
