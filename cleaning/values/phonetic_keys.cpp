#include "cleaning/values/phonetic_keys.h"

#include "cleaning/values/cluster_keys.h"

#include <functional>
#include <string>
#include <string_view>

namespace cleaning::values {
namespace {

bool isVowel(char c)
{
    return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U';
}

bool isOneOf(char c, std::string_view set)
{
    return c != 0 && set.find(c) != std::string_view::npos;
}

// Metaphone (the original rules for English names), on upper-case A-Z only. The key is
// not cut to a fixed length: long names would otherwise meet on their first sounds.
std::string metaphone(std::string_view word)
{
    std::string w(word);
    // Silent first letters, and an initial X sounds as S.
    if (w.size() > 1) {
        const std::string_view start = std::string_view(w).substr(0, 2);
        if (start == "AE" || start == "GN" || start == "KN" || start == "PN" || start == "WR")
            w.erase(0, 1);
        else if (start == "WH")
            w.erase(1, 1);
    }
    if (!w.empty() && w[0] == 'X')
        w[0] = 'S';
    const std::size_t n = w.size();
    auto at = [&](std::size_t i) { return i < n ? w[i] : char(0); };
    std::string key;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = w[i];
        const char prev = i > 0 ? w[i - 1] : char(0);
        const char next = at(i + 1);
        if (c == prev && c != 'C')
            continue;
        switch (c) {
        case 'A':
        case 'E':
        case 'I':
        case 'O':
        case 'U':
            if (i == 0)
                key += c;
            break;
        case 'B':
            if (!(prev == 'M' && i + 1 == n))
                key += 'B';
            break;
        case 'C':
            if (next == 'I' && at(i + 2) == 'A')
                key += 'X';
            else if (next == 'H')
                key += prev == 'S' ? 'K' : 'X';
            else if (isOneOf(next, "IEY"))
                key += prev == 'S' ? "" : "S";
            else
                key += 'K';
            break;
        case 'D':
            key += next == 'G' && isOneOf(at(i + 2), "EIY") ? 'J' : 'T';
            break;
        case 'G':
            if (next == 'H' && !(i + 2 == n || isVowel(at(i + 2))))
                break;
            if (prev == 'D' && isOneOf(next, "EIY"))
                break; // the G of "-DGE-" is part of the J
            if (next == 'N' && (i + 2 == n || std::string_view(w).substr(i + 1) == "NED"))
                break;
            key += isOneOf(next, "IEY") && prev != 'G' ? 'J' : 'K';
            break;
        case 'H':
            if (i + 1 < n && !isOneOf(prev, "CSPTG") && isVowel(next))
                key += 'H';
            break;
        case 'K':
            if (prev != 'C')
                key += 'K';
            break;
        case 'P':
            key += next == 'H' ? 'F' : 'P';
            break;
        case 'Q':
            key += 'K';
            break;
        case 'S':
            if (next == 'H' || (next == 'I' && isOneOf(at(i + 2), "OA")))
                key += 'X';
            else
                key += 'S';
            break;
        case 'T':
            if (next == 'I' && isOneOf(at(i + 2), "OA"))
                key += 'X';
            else if (next == 'H')
                key += '0';
            else if (!(next == 'C' && at(i + 2) == 'H'))
                key += 'T';
            break;
        case 'V':
            key += 'F';
            break;
        case 'W':
        case 'Y':
            if (isVowel(next))
                key += c;
            break;
        case 'X':
            key += "KS";
            break;
        case 'Z':
            key += 'S';
            break;
        default: // F J L M N R
            key += c;
            break;
        }
    }
    return key;
}

// Cologne phonetics. Codes equal to the one before are written once, before the zeros go,
// so a vowel between two equal codes lets the second be written ("Hoffmann" 0366); H gives
// no code and does not part them.
std::string cologne(std::string_view w)
{
    const std::size_t n = w.size();
    auto at = [&](std::size_t i) { return i < n ? w[i] : char(0); };
    std::string codes;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = w[i];
        const char prev = i > 0 ? w[i - 1] : char(0);
        const char next = at(i + 1);
        std::string_view code;
        if (isOneOf(c, "AEIOUJY"))
            code = "0";
        else if (c == 'B')
            code = "1";
        else if (c == 'P')
            code = next == 'H' ? "3" : "1";
        else if (c == 'D' || c == 'T')
            code = isOneOf(next, "CSZ") ? "8" : "2";
        else if (isOneOf(c, "FVW"))
            code = "3";
        else if (isOneOf(c, "GKQ"))
            code = "4";
        else if (c == 'C' && i == 0)
            code = isOneOf(next, "AHKLOQRUX") ? "4" : "8";
        else if (c == 'C')
            code = !isOneOf(prev, "SZ") && isOneOf(next, "AHKOQUX") ? "4" : "8";
        else if (c == 'X')
            code = isOneOf(prev, "CKQ") ? "8" : "48";
        else if (c == 'L')
            code = "5";
        else if (c == 'M' || c == 'N')
            code = "6";
        else if (c == 'R')
            code = "7";
        else if (c == 'S' || c == 'Z')
            code = "8";
        for (const char digit : code) {
            if (codes.empty() || codes.back() != digit)
                codes += digit;
        }
    }
    std::string key;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] != '0' || i == 0)
            key += codes[i];
    }
    return key;
}

// Each word's letters keyed by `letters`, its digits kept as they are, in their order.
QString wordKeys(const QString& value, const std::function<std::string(std::string_view)>& letters)
{
    std::string key;
    std::string word;
    std::string run;
    auto endRun = [&] {
        if (!run.empty())
            word += letters(run);
        run.clear();
    };
    auto endWord = [&] {
        endRun();
        if (!word.empty())
            key += (key.empty() ? "" : " ") + word;
        word.clear();
    };
    for (const QChar c : plainWords(value)) {
        const char16_t u = c.unicode();
        if (u == u' ') {
            endWord();
        } else if (u >= u'a' && u <= u'z') {
            run += static_cast<char>(u - u'a' + 'A');
        } else if (u >= u'0' && u <= u'9') {
            endRun();
            word += static_cast<char>(u);
        }
    }
    endWord();
    return QString::fromLatin1(key);
}

} // namespace

QString metaphoneKey(const QString& value)
{
    return wordKeys(value, metaphone);
}

QString colognePhonetics(const QString& value)
{
    return wordKeys(value, cologne);
}

} // namespace cleaning::values
