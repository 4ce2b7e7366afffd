// Field values inside a record. Numbers are big-endian with the sign bit flipped, so that
// all-zero bytes mean blank:
//
//   type           bytes  encoding
//   Alpha          1-255  code page text, NUL-padded (all zero = blank)
//   Short          2      big-endian two's complement, top bit flipped
//   Long, Autoinc  4      same
//   Date           4      same; days with 0001-01-01 = 1
//   Time           4      same; milliseconds since midnight
//   Logical        1      0x80 false, 0x81 true
//   Number, Money  8      IEEE double big-endian; >= 0: top bit set; < 0: all bits inverted
//   Timestamp      8      same; milliseconds with 0001-01-01 00:00 = 86 400 000
//   BCD            17     byte 0: bit 7 set = positive, bits 0-5 decimals; 32 digit nibbles
//                         follow, each stored as 15 - d when negative (see bcd.h)
//   Bytes          1-255  raw
//   memo, blob     s      s - 10 leading bytes of the value, then the pointer below

#include "data/paradox/format/field_decode.h"

#include "data/paradox/format/bcd.h"
#include "data/paradox/format/header.h"

#include <cstring>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

std::uint64_t bigEndian(const unsigned char* bytes, int size)
{
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

double signFlippedDouble(const unsigned char* bytes)
{
    std::uint64_t raw = bigEndian(bytes, 8);
    constexpr std::uint64_t kTopBit = std::uint64_t { 1 } << 63;
    raw = (raw & kTopBit) ? (raw & ~kTopBit) : ~raw;
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

Bcd decodeBcd(const ByteReader& record, int offset, int decimals)
{
    const unsigned char* bytes = record.bytes(offset, kBcdBytes, "BCD value");
    const int storedDecimals = bcdStoredDecimals(bytes);
    if (storedDecimals != decimals)
        record.fail(
            offset, u"a BCD value has %1 decimals, but its field has %2"_s.arg(storedDecimals).arg(decimals));
    return Bcd { bcdText(decodeBcdDigits(bytes), decimals) };
}

template <typename T> void assignValue(Value& out, T value)
{
    out = value;
}

} // namespace

std::int32_t signFlippedInteger(const unsigned char* bytes, int size)
{
    const int bits = 8 * size;
    std::uint64_t value = bigEndian(bytes, size) ^ (std::uint64_t { 1 } << (bits - 1));
    // Sign-extend from `bits` to 64.
    if (value & (std::uint64_t { 1 } << (bits - 1)))
        value |= ~std::uint64_t { 0 } << bits;
    return static_cast<std::int32_t>(static_cast<std::int64_t>(value));
}

void assignText(Value& out, const unsigned char* bytes, qsizetype size, const TextCodec& text)
{
    if (auto* existing = std::get_if<QString>(&out)) {
        text.decode(bytes, size, *existing);
        return;
    }
    out = text.decode(bytes, size);
}

void assignBytes(Value& out, const unsigned char* bytes, qsizetype size)
{
    if (auto* existing = std::get_if<QByteArray>(&out)) {
        existing->resize(size);
        std::memcpy(existing->data(), bytes, static_cast<std::size_t>(size));
        return;
    }
    out = QByteArray(reinterpret_cast<const char*>(bytes), size);
}

void assignBlobValue(Value& out, const Field& field, QByteArrayView value, const TextCodec& text)
{
    const auto* data = reinterpret_cast<const unsigned char*>(value.data());
    if (field.type == FieldType::Memo || field.type == FieldType::FormattedMemo)
        assignText(out, data, value.size(), text);
    else
        assignBytes(out, data, value.size());
}

BlobPointer decodeBlobPointer(const unsigned char* pointer)
{
    auto le32 = [](const unsigned char* p) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
            | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    };
    BlobPointer result;
    result.offset = le32(pointer);
    result.length = le32(pointer + 4);
    result.modification = static_cast<std::uint16_t>(pointer[8] | (pointer[9] << 8));
    return result;
}

void decodePlainField(
    const Field& field, const ByteReader& record, int offset, const TextCodec& text, Value& out)
{
    const int width = fieldWidth(field);
    const unsigned char* bytes = record.bytes(offset, width, "field value");
    if (isAllZero(bytes, width)) {
        out = Null {};
        return;
    }
    switch (field.type) {
    case FieldType::Alpha: {
        const auto* end
            = static_cast<const unsigned char*>(std::memchr(bytes, 0, static_cast<std::size_t>(width)));
        assignText(out, bytes, end ? end - bytes : width, text);
        return;
    }
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Autoincrement:
        assignValue(out, signFlippedInteger(bytes, width));
        return;
    case FieldType::Date:
        assignValue(out, Date { signFlippedInteger(bytes, width) });
        return;
    case FieldType::Time:
        assignValue(out, TimeOfDay { signFlippedInteger(bytes, width) });
        return;
    case FieldType::Logical:
        assignValue(out, (bytes[0] ^ 0x80) != 0);
        return;
    case FieldType::Number:
    case FieldType::Money:
        assignValue(out, signFlippedDouble(bytes));
        return;
    case FieldType::Timestamp:
        assignValue(out, Timestamp { signFlippedDouble(bytes) });
        return;
    case FieldType::Bcd:
        out = decodeBcd(record, offset, field.size);
        return;
    case FieldType::Bytes:
        assignBytes(out, bytes, width);
        return;
    default:
        record.fail(offset, u"field \"%1\" is a memo or blob field, decoded elsewhere"_s.arg(field.name));
    }
}

} // namespace paradox
