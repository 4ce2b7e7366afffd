#pragma once

// BCD values: 17 bytes in a record, 32 decimal digits of which the field's decimals follow
// the point.
//
//   offset  size  meaning
//   0       u8    bit 7 set = positive; bit 6 set by every writer we know; bits 0-5 decimals
//   1       16    32 digit nibbles, high nibble first; a negative value stores 15 - d

#include <QString>
#include <QStringView>
#include <array>
#include <optional>

namespace paradox {

constexpr int kBcdDigits = 32;
constexpr int kBcdBytes = 17;

struct BcdDigits
{
    bool isNegative = false;
    std::array<char, kBcdDigits> digits {}; // 0..9, most significant first
};

// The number of decimals byte 0 claims.
inline int bcdStoredDecimals(const unsigned char* bytes)
{
    return bytes[0] & 0x3F;
}

// The digits of a BCD field. The engine fills the field from a double and leaves nibbles
// above 9 after the digits it stored (0.123 becomes 0.1229999999999999980 and then such
// nibbles): from the first of them on, the digits count as zeros.
BcdDigits decodeBcdDigits(const unsigned char* bytes);

// The text of a value: no leading zeros, every decimal written out ("-12.30"), no sign on zero.
QString bcdText(const BcdDigits& value, int decimals);

// A plain decimal ("-12.3", "+.5"; no exponent) as the digits of a field with `decimals` decimals.
// Digits past the decimals must be zeros: rounding would change the value behind the
// caller's back. nullopt with *problem when the text is not a decimal or does not fit.
std::optional<BcdDigits> parseBcd(QStringView text, int decimals, QString* problem);

// Writes the 17 bytes of a value.
void encodeBcdDigits(const BcdDigits& value, int decimals, char* out);

} // namespace paradox
