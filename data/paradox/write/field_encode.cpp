#include "data/paradox/write/field_encode.h"

#include "data/paradox/format/bcd.h"
#include "data/paradox/format/byte_writer.h"
#include "data/paradox/format/calendar.h"
#include "data/paradox/format/code_page.h"
#include "data/paradox/format/header.h"
#include "data/paradox/format/memo_layout.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace paradox::writer {
namespace {

// Big-endian two's complement with the top bit flipped.
void putInteger(char* out, int width, std::int64_t value)
{
    auto bits = static_cast<std::uint64_t>(value);
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>(bits & 0xFF);
        bits >>= 8;
    }
    out[0] = static_cast<char>(static_cast<unsigned char>(out[0]) ^ 0x80U);
}

void putDouble(char* out, double value)
{
    auto bits = std::bit_cast<std::uint64_t>(value);
    bits = (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t { 1 } << 63);
    for (int i = 7; i >= 0; --i) {
        out[i] = static_cast<char>(bits & 0xFF);
        bits >>= 8;
    }
}

QString mismatch(FieldType type)
{
    return u"a %1 field cannot hold this kind of value"_s.arg(fieldTypeName(type));
}

bool encodeText(const QString& text, int codePage, QByteArray* bytes, QString* error)
{
    QChar bad;
    auto encoded = paradox::encodeText(text, codePage, &bad);
    if (!encoded) {
        *error = u"the character '%1' (U+%2) has no place in code page %3"_s.arg(bad)
                     .arg(static_cast<uint>(bad.unicode()), 4, 16, QChar(u'0'))
                     .arg(codePage);
        return false;
    }
    *bytes = std::move(*encoded);
    return true;
}

// Printable ASCII is the same byte in every code page we write: the common case, done here.
bool copyPlainAscii(const QString& text, int size, char* out)
{
    if (text.size() > size)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0 || c >= 0x80)
            return false;
        out[i] = static_cast<char>(c);
    }
    return true;
}

struct SizeRange
{
    int min;
    int max;
    const char* unit;
};

// The size bytes a new table may give the types whose size is chosen; nullopt for the types
// of a fixed width.
std::optional<SizeRange> writableSizes(FieldType type)
{
    switch (type) {
    case FieldType::Alpha:
    case FieldType::Bytes:
        return SizeRange { 1, 255, "bytes" };
    case FieldType::Memo:
    case FieldType::FormattedMemo:
        // Memo leaders start at 1 byte: older engines reject an empty one.
        return SizeRange { 11, 250, "bytes" };
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic:
        return SizeRange { 10, 250, "bytes" };
    case FieldType::Bcd:
        return SizeRange { 0, 32, "decimals" };
    default:
        return std::nullopt;
    }
}

template <typename T> const T* valueAs(const Value& value)
{
    return std::get_if<T>(&value);
}

enum class Encoding {
    Stored,
    Refused, // the value is of the field's kind but does not fit; *error says why
    WrongKind,
};

Encoding refuse(QString* error, const QString& why)
{
    *error = why;
    return Encoding::Refused;
}

Encoding encodeAlpha(const Field& field, const QString& text, int codePage, char* out, QString* error)
{
    if (copyPlainAscii(text, field.size, out))
        return Encoding::Stored;
    std::memset(out, 0, static_cast<std::size_t>(field.size));
    // Alpha values end at the first NUL: one inside the text would cut it short on reading.
    if (text.contains(QChar(0)))
        return refuse(error, u"the text contains a NUL character"_s);
    QByteArray bytes;
    if (!encodeText(text, codePage, &bytes, error))
        return Encoding::Refused;
    if (bytes.size() > field.size)
        return refuse(error,
            u"the text is %1 bytes long in code page %2; the field holds %3"_s.arg(bytes.size())
                .arg(codePage)
                .arg(field.size));
    std::memcpy(out, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return Encoding::Stored;
}

Encoding encodeBytes(const Field& field, const Value& value, char* out, QString* error)
{
    const auto* bytes = valueAs<QByteArray>(value);
    if (!bytes)
        return Encoding::WrongKind;
    if (bytes->size() > field.size)
        return refuse(
            error, u"the value is %1 bytes long; the field holds %2"_s.arg(bytes->size()).arg(field.size));
    std::memcpy(out, bytes->constData(), static_cast<std::size_t>(bytes->size()));
    return Encoding::Stored;
}

// Short, Long, Autoincrement, Date and Time: whole numbers, of which the smallest of each
// width has the bytes of a blank value.
Encoding encodeWholeNumber(const Field& field, const Value& value, char* out, QString* error)
{
    std::optional<std::int32_t> number;
    if (field.type == FieldType::Date) {
        if (const auto* date = valueAs<Date>(value))
            number = date->days;
    } else if (field.type == FieldType::Time) {
        if (const auto* time = valueAs<TimeOfDay>(value))
            number = time->msecs;
    } else if (const auto* integer = valueAs<std::int32_t>(value)) {
        number = *integer;
    }
    if (!number)
        return Encoding::WrongKind;
    const bool isBlankBytes = *number == std::numeric_limits<std::int32_t>::min();
    switch (field.type) {
    case FieldType::Short:
        if (*number < -32767 || *number > 32767)
            return refuse(
                error, u"%1 is outside the range of a Short field (-32767 to 32767)"_s.arg(*number));
        break;
    case FieldType::Date:
        if (isBlankBytes)
            return refuse(error, u"day number -2147483648 cannot be stored"_s);
        break;
    case FieldType::Time:
        if (*number < 0 || *number >= kMsecsPerDay)
            return refuse(error, u"%1 ms is not a time of day"_s.arg(*number));
        break;
    default:
        if (isBlankBytes)
            return refuse(error, u"-2147483648 cannot be stored: its bytes mean a blank value"_s);
        break;
    }
    putInteger(out, fieldWidth(field), *number);
    return Encoding::Stored;
}

// Number, Money (a whole number will do) and Timestamp.
Encoding encodeFloatingNumber(const Field& field, const Value& value, char* out, QString* error)
{
    std::optional<double> number;
    if (field.type == FieldType::Timestamp) {
        if (const auto* stamp = valueAs<Timestamp>(value))
            number = stamp->msecs;
    } else if (const auto* real = valueAs<double>(value)) {
        number = *real;
    } else if (const auto* integer = valueAs<std::int32_t>(value)) {
        number = *integer;
    }
    if (!number)
        return Encoding::WrongKind;
    if (!std::isfinite(*number))
        return refuse(error, u"%1 is not a finite number"_s.arg(*number));
    putDouble(out, *number);
    return Encoding::Stored;
}

} // namespace

std::optional<int> checkedSizeByte(const Field& field, QString* error)
{
    const auto fail = [&](const QString& what) {
        *error = u"field %1: %2"_s.arg(field.name, what);
        return std::nullopt;
    };
    if (field.name.isEmpty())
        return fail(u"a field needs a name"_s);
    if (const std::optional<SizeRange> range = writableSizes(field.type)) {
        if (field.size < range->min || field.size > range->max)
            return fail(u"%1 fields take %2 to %3 %4, not %5"_s.arg(fieldTypeName(field.type))
                            .arg(range->min)
                            .arg(range->max)
                            .arg(QLatin1StringView(range->unit))
                            .arg(field.size));
        return field.size;
    }
    const int width = paradox::fixedWidth(field.type);
    if (width == 0)
        return fail(u"unknown field type %1"_s.arg(static_cast<int>(field.type)));
    // 0 stands for "the usual width"; any other size must be that width.
    if (field.size != 0 && field.size != width)
        return fail(u"a %1 field is %2 bytes wide, not %3"_s.arg(fieldTypeName(field.type))
                        .arg(width)
                        .arg(field.size));
    return width;
}

bool encodeFixedField(const Field& field, const Value& value, int codePage, char* out, QString* error)
{
    std::memset(out, 0, static_cast<std::size_t>(fieldWidth(field)));
    if (isNull(value))
        return true;
    Encoding result = Encoding::WrongKind;
    switch (field.type) {
    case FieldType::Alpha:
        if (const auto* text = valueAs<QString>(value))
            result = encodeAlpha(field, *text, codePage, out, error);
        break;
    case FieldType::Bytes:
        result = encodeBytes(field, value, out, error);
        break;
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Autoincrement:
    case FieldType::Date:
    case FieldType::Time:
        result = encodeWholeNumber(field, value, out, error);
        break;
    case FieldType::Number:
    case FieldType::Money:
    case FieldType::Timestamp:
        result = encodeFloatingNumber(field, value, out, error);
        break;
    case FieldType::Logical:
        if (const auto* flag = valueAs<bool>(value)) {
            out[0] = static_cast<char>(*flag ? 0x81 : 0x80);
            result = Encoding::Stored;
        }
        break;
    case FieldType::Bcd:
        if (const auto* decimal = valueAs<Bcd>(value)) {
            const auto digits = parseBcd(decimal->decimal, field.size, error);
            if (digits)
                encodeBcdDigits(*digits, field.size, out);
            result = digits ? Encoding::Stored : Encoding::Refused;
        }
        break;
    default:
        break;
    }
    if (result == Encoding::WrongKind)
        *error = mismatch(field.type);
    return result == Encoding::Stored;
}

std::optional<QByteArray> blobContent(const Field& field, const Value& value, int codePage, QString* error)
{
    if (isNull(value))
        return QByteArray();
    const bool isText = field.type == FieldType::Memo || field.type == FieldType::FormattedMemo;
    QByteArray bytes;
    if (const auto* text = valueAs<QString>(value); text && isText) {
        if (!encodeText(*text, codePage, &bytes, error))
            return std::nullopt;
    } else if (const auto* binary = valueAs<QByteArray>(value); binary && !isText) {
        bytes = *binary;
    } else {
        *error = mismatch(field.type);
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(bytes.size()) > memo::kLargestValue) {
        *error
            = u"the value is %1 bytes long; a memo file holds at most %2 bytes per value"_s.arg(bytes.size())
                  .arg(memo::kLargestValue);
        return std::nullopt;
    }
    return bytes;
}

void putBlobField(const Field& field, const QByteArray& content, const BlobPointer& pointer, char* slot)
{
    std::memset(slot, 0, static_cast<std::size_t>(field.size));
    if (content.isEmpty())
        return;
    const int leader = field.size - kBlobPointerSize;
    std::memcpy(
        slot, content.constData(), static_cast<std::size_t>(std::min<qsizetype>(leader, content.size())));
    putU32(slot + leader, pointer.offset);
    putU32(slot + leader + 4, static_cast<std::uint32_t>(content.size()));
    putU16(slot + leader + 8, pointer.modification);
}

} // namespace paradox::writer
