#include "cleaning/values/cluster_keys.h"

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace Qt::StringLiterals;

namespace cleaning::values {
namespace {

// Lower case, accents and ligatures split off and dropped, then the Latin letters that do
// not decompose (ß, æ, ø, œ, þ, ð, đ, ł, ı) written in plain Latin. A transliterator is
// not safe to share between threads, so each thread builds its own, once.
const icu::Transliterator* foldingTransliterator()
{
    thread_local std::unique_ptr<icu::Transliterator> transliterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> made(icu::Transliterator::createInstance(
            icu::UnicodeString(u"NFKD; [:Nonspacing Mark:] Remove; Lower; Latin-ASCII; NFC"), UTRANS_FORWARD,
            status));
        return U_SUCCESS(status) ? std::move(made) : nullptr;
    }();
    return transliterator.get();
}

bool isAscii(const QString& value)
{
    return std::all_of(value.cbegin(), value.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// ASCII text needs no more than lower case, done as the characters are read.
QString folded(const QString& value)
{
    const icu::Transliterator* transliterator = foldingTransliterator();
    if (!transliterator)
        return value.toLower();
    icu::UnicodeString text(
        reinterpret_cast<const char16_t*>(value.utf16()), static_cast<int32_t>(value.size()));
    transliterator->transliterate(text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

enum class CharRole { Keep, Drop, Separate };

// Apostrophes and full stops elide within a word ("O'Neil", "U.S.A."); every other
// punctuation mark separates words, as white space does. Controls, format characters and
// leftover accent symbols (^ ` ´ ¨) go without a trace.
CharRole roleOf(char32_t c)
{
    if (u_isUWhiteSpace(static_cast<UChar32>(c)))
        return CharRole::Separate;
    const std::uint32_t category = U_GET_GC_MASK(static_cast<UChar32>(c));
    if (category & U_GC_P_MASK) {
        const bool isElision = c == U'\'' || c == U'.' || c == 0x2018 || c == 0x2019 || c == 0xFF07
            || c == 0xFF0E || c == 0x2024;
        return isElision ? CharRole::Drop : CharRole::Separate;
    }
    if (category & (U_GC_CC_MASK | U_GC_CF_MASK | U_GC_SK_MASK | U_GC_CN_MASK | U_GC_CO_MASK | U_GC_CS_MASK))
        return CharRole::Drop;
    return CharRole::Keep;
}

// The words of a value after the clean-up, in their order: views into one buffer of code
// points, so that a value costs a few allocations however many words it has.
struct CleanWords
{
    std::u32string letters; // the words' characters, one after the other
    std::vector<std::u32string_view> words;
};

CleanWords cleanWords(const QString& value)
{
    CleanWords clean;
    std::vector<std::pair<std::size_t, std::size_t>> ranges; // start, end in letters
    std::size_t wordStart = 0;
    const bool isPlain = isAscii(value);
    const QString text = isPlain ? value : folded(value);
    clean.letters.reserve(static_cast<std::size_t>(text.size()));
    auto endWord = [&] {
        if (clean.letters.size() > wordStart)
            ranges.emplace_back(wordStart, clean.letters.size());
        wordStart = clean.letters.size();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (isPlain && c >= U'A' && c <= U'Z')
            c += U'a' - U'A';
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        switch (roleOf(c)) {
        case CharRole::Keep:
            clean.letters.push_back(c);
            break;
        case CharRole::Drop:
            break;
        case CharRole::Separate:
            endWord();
            break;
        }
    }
    endWord();
    const std::u32string_view letters(clean.letters);
    clean.words.reserve(ranges.size());
    for (const auto& [from, to] : ranges)
        clean.words.push_back(letters.substr(from, to - from));
    return clean;
}

QString fromCodePoints(std::u32string_view text)
{
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

void appendCodePoints(QString& line, std::u32string_view text)
{
    for (const char32_t c : text) {
        if (QChar::requiresSurrogates(c)) {
            line.append(QChar(QChar::highSurrogate(c)));
            line.append(QChar(QChar::lowSurrogate(c)));
        } else {
            line.append(QChar(static_cast<char16_t>(c)));
        }
    }
}

QString joined(const std::vector<std::u32string_view>& words)
{
    std::size_t size = words.size();
    for (const std::u32string_view word : words)
        size += word.size();
    QString line;
    line.reserve(static_cast<qsizetype>(size));
    for (const std::u32string_view word : words) {
        if (!line.isEmpty())
            line.append(u' ');
        appendCodePoints(line, word);
    }
    return line;
}

} // namespace

QString plainWords(const QString& value)
{
    return joined(cleanWords(value).words);
}

QString fingerprintKey(const QString& value)
{
    CleanWords clean = cleanWords(value);
    std::sort(clean.words.begin(), clean.words.end());
    clean.words.erase(std::unique(clean.words.begin(), clean.words.end()), clean.words.end());
    return joined(clean.words);
}

QString ngramKey(const QString& value, int n)
{
    if (n < 1)
        return {};
    // The words' characters, one after the other: white space removed.
    const std::u32string text = cleanWords(value).letters;
    const auto size = static_cast<std::size_t>(n);
    if (text.size() < size)
        return {};
    std::vector<std::u32string_view> grams;
    grams.reserve(text.size() - size + 1);
    const std::u32string_view view(text);
    for (std::size_t i = 0; i + size <= view.size(); ++i)
        grams.push_back(view.substr(i, size));
    std::sort(grams.begin(), grams.end());
    grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
    std::u32string key;
    key.reserve(grams.size() * size);
    for (const std::u32string_view gram : grams)
        key += gram;
    return fromCodePoints(key);
}

} // namespace cleaning::values
