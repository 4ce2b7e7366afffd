#include "data/paradox/field_encode.h"

#include "data/paradox/bcd.h"
#include "data/paradox/code_page.h"
#include "data/paradox/memo_writer.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

namespace paradox::writer {
namespace {

// Fixed widths of the types whose size byte is not chosen by the user.
int fixedWidth(FieldType type)
{
    switch (type) {
    case FieldType::Logical:
        return 1;
    case FieldType::Short:
        return 2;
    case FieldType::Date:
    case FieldType::Long:
    case FieldType::Time:
    case FieldType::Autoincrement:
        return 4;
    case FieldType::Money:
    case FieldType::Number:
    case FieldType::Timestamp:
        return 8;
    case FieldType::Bcd:
        return 17;
    default:
        return 0;
    }
}

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

bool encodeAlpha(const Field& field, const QString& text, int codePage, char* out, QString* error)
{
    if (copyPlainAscii(text, field.size, out))
        return true;
    std::memset(out, 0, static_cast<std::size_t>(field.size));
    // Alpha values end at the first NUL: one inside the text would cut it short on reading.
    if (text.contains(QChar(0))) {
        *error = u"the text contains a NUL character"_s;
        return false;
    }
    QByteArray bytes;
    if (!encodeText(text, codePage, &bytes, error))
        return false;
    if (bytes.size() > field.size) {
        *error = u"the text is %1 bytes long in code page %2; the field holds %3"_s.arg(bytes.size())
                     .arg(codePage)
                     .arg(field.size);
        return false;
    }
    std::memcpy(out, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

template <typename T> const T* valueAs(const Value& value)
{
    return std::get_if<T>(&value);
}

} // namespace

bool isBlobType(FieldType type)
{
    switch (type) {
    case FieldType::Memo:
    case FieldType::Blob:
    case FieldType::FormattedMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
        return true;
    default:
        return false;
    }
}

int recordWidth(const Field& field)
{
    const int fixed = fixedWidth(field.type);
    return fixed != 0 ? fixed : field.size;
}

std::optional<int> checkedSizeByte(const Field& field, QString* error)
{
    const auto fail = [&](const QString& what) {
        *error = u"field %1: %2"_s.arg(field.name, what);
        return std::nullopt;
    };
    if (field.name.isEmpty())
        return fail(u"a field needs a name"_s);
    switch (field.type) {
    case FieldType::Alpha:
    case FieldType::Bytes:
        if (field.size < 1 || field.size > 255)
            return fail(
                u"an %1 field holds 1 to 255 bytes, not %2"_s.arg(fieldTypeName(field.type)).arg(field.size));
        return field.size;
    case FieldType::Memo:
    case FieldType::FormattedMemo:
        // Memo leaders start at 1 byte: older engines reject an empty one.
        if (field.size < 11 || field.size > 250)
            return fail(u"a memo field takes 11 to 250 bytes, not %1"_s.arg(field.size));
        return field.size;
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic:
        if (field.size < 10 || field.size > 250)
            return fail(
                u"a %1 field takes 10 to 250 bytes, not %2"_s.arg(fieldTypeName(field.type)).arg(field.size));
        return field.size;
    case FieldType::Bcd:
        if (field.size < 0 || field.size > 32)
            return fail(u"a BCD field has 0 to 32 decimals, not %1"_s.arg(field.size));
        return field.size;
    default:
        break;
    }
    const int width = fixedWidth(field.type);
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
    const int width = recordWidth(field);
    std::memset(out, 0, static_cast<std::size_t>(width));
    if (isNull(value))
        return true;
    switch (field.type) {
    case FieldType::Alpha:
        if (const auto* text = valueAs<QString>(value))
            return encodeAlpha(field, *text, codePage, out, error);
        break;
    case FieldType::Bytes:
        if (const auto* bytes = valueAs<QByteArray>(value)) {
            if (bytes->size() > field.size) {
                *error
                    = u"the value is %1 bytes long; the field holds %2"_s.arg(bytes->size()).arg(field.size);
                return false;
            }
            std::memcpy(out, bytes->constData(), static_cast<std::size_t>(bytes->size()));
            return true;
        }
        break;
    case FieldType::Short:
        if (const auto* number = valueAs<std::int32_t>(value)) {
            // -32768 has the bytes of a blank value.
            if (*number < -32767 || *number > 32767) {
                *error = u"%1 is outside the range of a Short field (-32767 to 32767)"_s.arg(*number);
                return false;
            }
            putInteger(out, 2, *number);
            return true;
        }
        break;
    case FieldType::Long:
    case FieldType::Autoincrement:
        if (const auto* number = valueAs<std::int32_t>(value)) {
            if (*number == std::numeric_limits<std::int32_t>::min()) {
                *error = u"-2147483648 cannot be stored: its bytes mean a blank value"_s;
                return false;
            }
            putInteger(out, 4, *number);
            return true;
        }
        break;
    case FieldType::Date:
        if (const auto* date = valueAs<Date>(value)) {
            if (date->days == std::numeric_limits<std::int32_t>::min()) {
                *error = u"day number -2147483648 cannot be stored"_s;
                return false;
            }
            putInteger(out, 4, date->days);
            return true;
        }
        break;
    case FieldType::Time:
        if (const auto* time = valueAs<TimeOfDay>(value)) {
            if (time->msecs < 0 || time->msecs >= 86'400'000) {
                *error = u"%1 ms is not a time of day"_s.arg(time->msecs);
                return false;
            }
            putInteger(out, 4, time->msecs);
            return true;
        }
        break;
    case FieldType::Number:
    case FieldType::Money:
    case FieldType::Timestamp: {
        double number = 0;
        if (field.type == FieldType::Timestamp) {
            const auto* stamp = valueAs<Timestamp>(value);
            if (!stamp)
                break;
            number = stamp->msecs;
        } else if (const auto* real = valueAs<double>(value)) {
            number = *real;
        } else if (const auto* integer = valueAs<std::int32_t>(value)) {
            number = *integer;
        } else {
            break;
        }
        if (!std::isfinite(number)) {
            *error = u"%1 is not a finite number"_s.arg(number);
            return false;
        }
        putDouble(out, number);
        return true;
    }
    case FieldType::Logical:
        if (const auto* flag = valueAs<bool>(value)) {
            out[0] = static_cast<char>(*flag ? 0x81 : 0x80);
            return true;
        }
        break;
    case FieldType::Bcd:
        if (const auto* decimal = valueAs<Bcd>(value)) {
            const auto digits = parseBcd(decimal->decimal, field.size, error);
            if (digits)
                encodeBcdDigits(*digits, field.size, out);
            return digits.has_value();
        }
        break;
    default:
        break;
    }
    *error = mismatch(field.type);
    return false;
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
    if (static_cast<std::uint64_t>(bytes.size()) > kLargestBlob) {
        *error
            = u"the value is %1 bytes long; a memo file holds at most %2 bytes per value"_s.arg(bytes.size())
                  .arg(kLargestBlob);
        return std::nullopt;
    }
    return bytes;
}

} // namespace paradox::writer
