#pragma once

// The 27 text transforms: pure functions from a field's text to its cleaned text.
// Positions and lengths count UTF-16 units; every comparison is exact (no case or
// locale folding). A transform given the empty value returns the empty text at once.

#include "core/error_report.h"

#include <QString>
#include <cstdint>

namespace cleaning {

// A count transform was given a count it cannot use (a negative start or length).
class InvalidArgument : public core::Error
{
public:
    using core::Error::Error;
};

// A count transform's position arithmetic left the 16-bit range (count 32767 + 1).
class Overflow : public core::Error
{
public:
    using core::Error::Error;
};

using CharCount = std::int16_t;

// The character classes, exactly these characters: accented letters and other
// non-ASCII characters are outside every set.
inline constexpr char16_t kLetters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline constexpr char16_t kDigits[] = u"0123456789";
inline constexpr char16_t kAlphanumerics[]
    = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
inline constexpr char16_t kAlphanumericsAndSpace[]
    = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ";

QString ReplaceCharsInSet(
    const QString& text, const QString& set, const QString& replacement, bool complement);
QString RemoveCharsInSet(const QString& text, const QString& set, bool complement);

QString RemoveAllSpaces(const QString& value);
QString ReplaceAllSpaces(const QString& value, const QString& replacement);
QString TrimLeadingSpaces(const QString& value);
QString TrimTrailingSpaces(const QString& value);
QString CollapseSpaces(const QString& value);
QString RemoveLineBreaks(const QString& value);
QString ReplaceLineBreaks(const QString& value, const QString& replacement);
QString RemoveTabs(const QString& value);
QString ReplaceTabs(const QString& value, const QString& replacement);
QString RemoveLetters(const QString& value);
QString ReplaceLetters(const QString& value, const QString& replacement);
QString RemoveDigits(const QString& value);
QString ReplaceDigits(const QString& value, const QString& replacement);
QString RemoveAlphanumerics(const QString& value);
QString ReplaceAlphanumerics(const QString& value, const QString& replacement);
QString RemoveNonAlphanumerics(const QString& value);
QString ReplaceNonAlphanumerics(const QString& value, const QString& replacement);
QString RemoveUserChars(const QString& value, const QString& chars);
QString ReplaceUserChars(const QString& value, const QString& chars, const QString& replacement);
QString RemoveTextAfter(const QString& value, const QString& chars);
QString ReplaceTextAfter(const QString& value, const QString& chars, const QString& replacement);
QString RemoveTextBefore(const QString& value, const QString& chars);
QString ReplaceTextBefore(const QString& value, const QString& chars, const QString& replacement);
QString RemoveFirstChars(const QString& value, CharCount count);
QString RemoveLastChars(const QString& value, CharCount count);
QString RemoveTextAfterPosition(const QString& value, CharCount count);
QString RemoveTextBeforePosition(const QString& value, CharCount count);

} // namespace cleaning
