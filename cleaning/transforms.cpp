#include "cleaning/transforms.h"

using namespace Qt::StringLiterals;

namespace cleaning {
namespace {

// Left-to-right, non-overlapping; replaced text is never scanned again. An empty
// pattern matches nothing.
QString replaceEvery(const QString& text, const QString& pattern, const QString& replacement)
{
    if (pattern.isEmpty())
        return text;
    QString result = text;
    result.replace(pattern, replacement, Qt::CaseSensitive);
    return result;
}

QString replaceEvery(const QString& text, QChar character, const QString& replacement)
{
    QString result = text;
    result.replace(character, replacement, Qt::CaseSensitive);
    return result;
}

const QString& setOf(const char16_t* literal)
{
    // The four sets are fixed; build each QString once.
    static const QString letters = QString::fromUtf16(kLetters);
    static const QString digits = QString::fromUtf16(kDigits);
    static const QString alphanumerics = QString::fromUtf16(kAlphanumerics);
    static const QString alphanumericsAndSpace = QString::fromUtf16(kAlphanumericsAndSpace);
    if (literal == kLetters)
        return letters;
    if (literal == kDigits)
        return digits;
    if (literal == kAlphanumerics)
        return alphanumerics;
    return alphanumericsAndSpace;
}

// The first position after the count, in the count's own 16-bit arithmetic.
qsizetype startAfter(CharCount count)
{
    if (count == INT16_MAX)
        throw Overflow(u"Overflow: the position after character 32767 is out of range"_s);
    const int start = count + 1;
    if (start < 1)
        throw InvalidArgument(u"Invalid argument: the number of characters must not be negative"_s);
    return start;
}

} // namespace

QString ReplaceCharsInSet(
    const QString& text, const QString& set, const QString& replacement, bool complement)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        if (set.contains(c) != complement)
            result += replacement;
        else
            result += c;
    }
    return result;
}

QString RemoveCharsInSet(const QString& text, const QString& set, bool complement)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        if (set.contains(c) == complement)
            result += c;
    }
    return result;
}

QString RemoveAllSpaces(const QString& value)
{
    QString result = value;
    return result.remove(u' ');
}

QString ReplaceAllSpaces(const QString& value, const QString& replacement)
{
    return value.isEmpty() ? QString() : replaceEvery(value, u' ', replacement);
}

QString TrimLeadingSpaces(const QString& value)
{
    qsizetype first = 0;
    while (first < value.size() && value[first] == u' ')
        ++first;
    return value.mid(first);
}

QString TrimTrailingSpaces(const QString& value)
{
    qsizetype end = value.size();
    while (end > 0 && value[end - 1] == u' ')
        --end;
    return value.left(end);
}

QString CollapseSpaces(const QString& value)
{
    QString result = value;
    while (result.contains(u"  "_s))
        result.replace(u"  "_s, u" "_s);
    return TrimTrailingSpaces(TrimLeadingSpaces(result));
}

QString RemoveLineBreaks(const QString& value)
{
    return ReplaceLineBreaks(value, u" "_s);
}

QString ReplaceLineBreaks(const QString& value, const QString& replacement)
{
    if (value.isEmpty())
        return {};
    // LF first, then CR in that result: a CR inside the replacement is replaced too.
    return replaceEvery(replaceEvery(value, u'\n', replacement), u'\r', replacement);
}

QString RemoveTabs(const QString& value)
{
    QString result = value;
    return result.remove(u'\t');
}

QString ReplaceTabs(const QString& value, const QString& replacement)
{
    return value.isEmpty() ? QString() : replaceEvery(value, u'\t', replacement);
}

QString RemoveLetters(const QString& value)
{
    return RemoveCharsInSet(value, setOf(kLetters), false);
}

QString ReplaceLetters(const QString& value, const QString& replacement)
{
    return ReplaceCharsInSet(value, setOf(kLetters), replacement, false);
}

QString RemoveDigits(const QString& value)
{
    return RemoveCharsInSet(value, setOf(kDigits), false);
}

QString ReplaceDigits(const QString& value, const QString& replacement)
{
    return ReplaceCharsInSet(value, setOf(kDigits), replacement, false);
}

QString RemoveAlphanumerics(const QString& value)
{
    return RemoveCharsInSet(value, setOf(kAlphanumerics), false);
}

QString ReplaceAlphanumerics(const QString& value, const QString& replacement)
{
    return ReplaceCharsInSet(value, setOf(kAlphanumerics), replacement, false);
}

QString RemoveNonAlphanumerics(const QString& value)
{
    return RemoveCharsInSet(value, setOf(kAlphanumerics), true);
}

QString ReplaceNonAlphanumerics(const QString& value, const QString& replacement)
{
    return ReplaceCharsInSet(value, setOf(kAlphanumericsAndSpace), replacement, true);
}

QString RemoveUserChars(const QString& value, const QString& chars)
{
    return value.isEmpty() ? QString() : replaceEvery(value, chars, QString());
}

QString ReplaceUserChars(const QString& value, const QString& chars, const QString& replacement)
{
    return value.isEmpty() ? QString() : replaceEvery(value, chars, replacement);
}

QString RemoveTextAfter(const QString& value, const QString& chars)
{
    return ReplaceTextAfter(value, chars, QString());
}

QString ReplaceTextAfter(const QString& value, const QString& chars, const QString& replacement)
{
    if (value.isEmpty())
        return {};
    const qsizetype at = value.indexOf(chars, 0, Qt::CaseSensitive);
    if (at < 0)
        return value;
    return value.left(at + chars.size()) + replacement;
}

QString RemoveTextBefore(const QString& value, const QString& chars)
{
    return ReplaceTextBefore(value, chars, QString());
}

QString ReplaceTextBefore(const QString& value, const QString& chars, const QString& replacement)
{
    if (value.isEmpty())
        return {};
    const qsizetype at = value.indexOf(chars, 0, Qt::CaseSensitive);
    if (at < 0)
        return value;
    return replacement + value.mid(at);
}

QString RemoveFirstChars(const QString& value, CharCount count)
{
    if (value.isEmpty())
        return {};
    const qsizetype start = startAfter(count);
    return start > value.size() ? QString() : value.mid(start - 1);
}

QString RemoveLastChars(const QString& value, CharCount count)
{
    if (value.isEmpty())
        return {};
    // A negative count asks for more characters than there are: the whole value.
    if (count >= value.size())
        return {};
    return value.left(value.size() - count);
}

QString RemoveTextAfterPosition(const QString& value, CharCount count)
{
    if (value.isEmpty())
        return {};
    if (count < 0)
        throw InvalidArgument(u"Invalid argument: the number of characters must not be negative"_s);
    return value.left(count);
}

QString RemoveTextBeforePosition(const QString& value, CharCount count)
{
    return RemoveFirstChars(value, count);
}

} // namespace cleaning
