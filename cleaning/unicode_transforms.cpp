#include "cleaning/unicode_transforms.h"

#include "cleaning/run_request.h"
#include "core/error_report.h"

#include <QRegularExpression>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

using namespace Qt::StringLiterals;

namespace cleaning {
namespace {

icu::UnicodeString toIcu(const QString& text)
{
    return icu::UnicodeString(
        reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
}

QString fromIcu(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// ICU's objects are costly to make and not to be shared between threads: one per thread.
icu::BreakIterator& sentenceBreaks()
{
    thread_local const std::unique_ptr<icu::BreakIterator> breaks = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createSentenceInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !made)
            throw core::Error(u"The sentence rules of the Unicode library could not be loaded (%1)."_s.arg(
                QString::fromLatin1(u_errorName(status))));
        return made;
    }();
    return *breaks;
}

const icu::Transliterator& accentRemover()
{
    // Marks are taken off Latin, Greek and Cyrillic letters only: a kana's sound mark is part
    // of the letter. Latin-ASCII then spells the Latin letters NFD leaves whole (ß, æ, ø, ł).
    thread_local const std::unique_ptr<icu::Transliterator> remover = [] {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError {};
        std::unique_ptr<icu::Transliterator> made(icu::Transliterator::createInstance(
            icu::UnicodeString(
                u"[[:Latin:][:Greek:][:Cyrillic:][:Mn:]]; NFD; [:Mn:] Remove; NFC; [:Latin:] Latin-ASCII"),
            UTRANS_FORWARD, parseError, status));
        if (U_FAILURE(status) || !made)
            throw core::Error(u"The accent rules of the Unicode library could not be loaded (%1)."_s.arg(
                QString::fromLatin1(u_errorName(status))));
        return made;
    }();
    return *remover;
}

// Calls keep(c) for each code point (an unpaired surrogate stands for itself) with its
// position and length in UTF-16 units.
template <typename Visit> void forEachCodePoint(const QString& text, Visit visit)
{
    for (qsizetype i = 0; i < text.size();) {
        const char16_t unit = text[i].unicode();
        qsizetype length = 1;
        char32_t c = unit;
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size()
            && QChar::isLowSurrogate(text[i + 1].unicode())) {
            c = QChar::surrogateToUcs4(unit, text[i + 1].unicode());
            length = 2;
        }
        visit(c, i, length);
        i += length;
    }
}

bool isAlphanumericAnyScript(char32_t c)
{
    const auto category = U_MASK(u_charType(static_cast<UChar32>(c)));
    return (category & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0
        || u_isUWhiteSpace(static_cast<UChar32>(c));
}

QString replaceNonAlphanumerics(const QString& value, const QString& replacement)
{
    QString result;
    result.reserve(value.size());
    forEachCodePoint(value, [&](char32_t c, qsizetype at, qsizetype length) {
        if (isAlphanumericAnyScript(c))
            result += QStringView(value).mid(at, length);
        else
            result += replacement;
    });
    return result;
}

} // namespace

QString ToUpperCase(const QString& value)
{
    return value.isEmpty() ? QString() : fromIcu(toIcu(value).toUpper(icu::Locale::getRoot()));
}

QString ToLowerCase(const QString& value)
{
    return value.isEmpty() ? QString() : fromIcu(toIcu(value).toLower(icu::Locale::getRoot()));
}

QString ToTitleCase(const QString& value)
{
    return value.isEmpty() ? QString() : fromIcu(toIcu(value).toTitle(nullptr, icu::Locale::getRoot()));
}

QString ToSentenceCase(const QString& value)
{
    if (value.isEmpty())
        return {};
    return fromIcu(toIcu(value).toTitle(&sentenceBreaks(), icu::Locale::getRoot()));
}

QString RemoveNonAlphanumericsAnyScript(const QString& value)
{
    return replaceNonAlphanumerics(value, QString());
}

QString ReplaceNonAlphanumericsAnyScript(const QString& value, const QString& replacement)
{
    return replaceNonAlphanumerics(value, replacement);
}

QString RemoveAccents(const QString& value)
{
    if (value.isEmpty())
        return {};
    icu::UnicodeString text = toIcu(value);
    accentRemover().transliterate(text);
    return fromIcu(text);
}

QString ReplaceIgnoringCase(const QString& value, const QString& find, const QString& replacement)
{
    if (value.isEmpty() || find.isEmpty())
        return value;
    QString result = value;
    return result.replace(find, replacement, Qt::CaseInsensitive);
}

QString ReplacePattern(const QString& value, const QString& pattern, const QString& replacement)
{
    // As an empty text to find does, an empty pattern finds nothing.
    if (value.isEmpty() || pattern.isEmpty())
        return value;
    // Compiled once per run, not once per value.
    thread_local QRegularExpression expression;
    if (expression.pattern() != pattern || !expression.isValid()) {
        expression = QRegularExpression(pattern, QRegularExpression::UseUnicodePropertiesOption);
        if (!expression.isValid())
            throw core::Error(patternProblem(pattern));
    }
    QString result = value;
    return result.replace(expression, replacement);
}

QString TrimAndCollapseWhiteSpace(const QString& value)
{
    QString result;
    result.reserve(value.size());
    bool isInSpace = false;
    forEachCodePoint(value, [&](char32_t c, qsizetype at, qsizetype length) {
        if (u_isUWhiteSpace(static_cast<UChar32>(c))) {
            isInSpace = true;
            return;
        }
        if (isInSpace && !result.isEmpty())
            result += u' ';
        isInSpace = false;
        result += QStringView(value).mid(at, length);
    });
    return result;
}

} // namespace cleaning
