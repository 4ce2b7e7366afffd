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

QString folded(const QString& value)
{
    const bool isAscii
        = std::all_of(value.cbegin(), value.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (isAscii)
        return value.toLower();
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

// The words of a value after the clean-up, each as code points, in their order.
std::vector<std::u32string> cleanWords(const QString& value)
{
    std::vector<std::u32string> words;
    std::u32string word;
    const QString text = folded(value);
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        switch (roleOf(c)) {
        case CharRole::Keep:
            word.push_back(c);
            break;
        case CharRole::Drop:
            break;
        case CharRole::Separate:
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
            break;
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

QString fromCodePoints(std::u32string_view text)
{
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

QString joined(const std::vector<std::u32string>& words)
{
    std::u32string line;
    for (const std::u32string& word : words) {
        if (!line.empty())
            line.push_back(U' ');
        line += word;
    }
    return fromCodePoints(line);
}

} // namespace

QString plainWords(const QString& value)
{
    return joined(cleanWords(value));
}

QString fingerprintKey(const QString& value)
{
    std::vector<std::u32string> words = cleanWords(value);
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return joined(words);
}

QString ngramKey(const QString& value, int n)
{
    if (n < 1)
        return {};
    std::u32string text;
    for (const std::u32string& word : cleanWords(value))
        text += word;
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
