#include "data/paradox/format/bcd.h"

#include <algorithm>
#include <cstdint>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

// A decimal as its significant digits and the place of the point: value = 0.DIGITS x 10^point.
struct Decimal
{
    bool isNegative = false;
    QString digits;
    std::int64_t point = 0;
};

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

std::optional<Decimal> parseDecimal(QStringView text)
{
    Decimal result;
    qsizetype at = 0;
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+'))
        result.isNegative = text[at++] == u'-';
    bool seenPoint = false;
    bool seenDigit = false;
    for (; at < text.size() && (isDigit(text[at]) || (text[at] == u'.' && !seenPoint)); ++at) {
        if (text[at] == u'.') {
            seenPoint = true;
            continue;
        }
        seenDigit = true;
        result.digits.append(text[at]);
        if (!seenPoint)
            ++result.point;
    }
    if (!seenDigit)
        return std::nullopt;
    if (at != text.size())
        return std::nullopt;
    qsizetype leadingZeros = 0;
    while (leadingZeros < result.digits.size() && result.digits[leadingZeros] == u'0')
        ++leadingZeros;
    qsizetype end = result.digits.size();
    while (end > leadingZeros && result.digits[end - 1] == u'0')
        --end;
    result.digits = result.digits.mid(leadingZeros, end - leadingZeros);
    result.point -= leadingZeros;
    if (result.digits.isEmpty())
        result = Decimal {}; // zero has no sign
    return result;
}

} // namespace

BcdDigits decodeBcdDigits(const unsigned char* bytes)
{
    BcdDigits value;
    value.isNegative = (bytes[0] & 0x80) == 0;
    for (int i = 0; i < kBcdDigits; ++i) {
        const unsigned char pair = bytes[1 + i / 2];
        int digit = (i % 2 == 0) ? (pair >> 4) : (pair & 0x0F);
        if (value.isNegative)
            digit = 15 - digit;
        if (digit > 9)
            break; // the digits array is zero from here on
        value.digits[static_cast<std::size_t>(i)] = static_cast<char>(digit);
    }
    return value;
}

QString bcdText(const BcdDigits& value, int decimals)
{
    const int integerDigits = kBcdDigits - decimals;
    const auto digit = [&](int i) { return QChar(u'0' + value.digits[static_cast<std::size_t>(i)]); };
    QString text;
    text.reserve(kBcdDigits + 3);
    const bool isZero = std::all_of(value.digits.begin(), value.digits.end(), [](char d) { return d == 0; });
    if (value.isNegative && !isZero)
        text.append(u'-');
    int first = 0;
    while (first < integerDigits - 1 && value.digits[static_cast<std::size_t>(first)] == 0)
        ++first;
    if (integerDigits == 0)
        text.append(u'0');
    for (int i = first; i < integerDigits; ++i)
        text.append(digit(i));
    if (decimals > 0) {
        text.append(u'.');
        for (int i = integerDigits; i < kBcdDigits; ++i)
            text.append(digit(i));
    }
    return text;
}

std::optional<BcdDigits> parseBcd(QStringView text, int decimals, QString* problem)
{
    const QStringView trimmed = text.trimmed();
    const std::optional<Decimal> decimal = parseDecimal(trimmed);
    if (!decimal) {
        *problem = u"\"%1\" is not a decimal number"_s.arg(text);
        return std::nullopt;
    }
    const auto length = static_cast<std::int64_t>(decimal->digits.size());
    const int integerPlaces = kBcdDigits - decimals;
    if (decimal->point > integerPlaces) {
        *problem = u"\"%1\" has more than %2 digits before the point"_s.arg(text).arg(integerPlaces);
        return std::nullopt;
    }
    if (length - decimal->point > decimals) {
        *problem = decimals == 0 ? u"\"%1\" is not a whole number; the field holds no decimals"_s.arg(text)
                                 : u"\"%1\" has more than %2 decimals"_s.arg(text).arg(decimals);
        return std::nullopt;
    }
    BcdDigits value;
    value.isNegative = decimal->isNegative;
    // Both checks above keep every digit's place inside 0..31.
    const std::int64_t firstPlace = integerPlaces - decimal->point;
    for (std::int64_t k = 0; k < length; ++k)
        value.digits[static_cast<std::size_t>(firstPlace + k)]
            = static_cast<char>(decimal->digits[static_cast<qsizetype>(k)].unicode() - u'0');
    return value;
}

void encodeBcdDigits(const BcdDigits& value, int decimals, char* out)
{
    const bool isZero = std::all_of(value.digits.begin(), value.digits.end(), [](char d) { return d == 0; });
    const bool isNegative = value.isNegative && !isZero; // no negative zero
    out[0] = static_cast<char>((isNegative ? 0x40 : 0xC0) | decimals);
    for (int i = 0; i < 16; ++i) {
        auto high = static_cast<unsigned>(value.digits[static_cast<std::size_t>(2 * i)]);
        auto low = static_cast<unsigned>(value.digits[static_cast<std::size_t>(2 * i + 1)]);
        if (isNegative) {
            high = 15 - high;
            low = 15 - low;
        }
        out[1 + i] = static_cast<char>((high << 4) | low);
    }
}

} // namespace paradox
