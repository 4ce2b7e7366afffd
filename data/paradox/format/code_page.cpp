#include "data/paradox/format/code_page.h"

#include "data/paradox/format/iconv_converter.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>

namespace paradox {
namespace {

// Where an undefined byte reads when its own code point is taken: U+F780..U+F7FF.
constexpr char16_t kUndefinedBytePrivateUse = 0xF700;

std::string iconvName(int codePage)
{
    // HP Roman-8 has no number of its own in iconv.
    if (codePage == kHpRoman8CodePage)
        return "HP-ROMAN8";
    return "CP" + std::to_string(codePage);
}

bool isPlainAscii(const unsigned char* bytes, qsizetype size)
{
    return std::all_of(bytes, bytes + size, [](unsigned char byte) { return byte < 0x80; });
}

bool isPlainAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

QString fromUtf16(const std::string& utf16)
{
    return QString(reinterpret_cast<const QChar*>(utf16.data()), static_cast<qsizetype>(utf16.size() / 2));
}

} // namespace

TextCodec::TextCodec(int codePage)
    : m_codePage(codePage)
    , m_isDoubleByte(isDoubleByteCodePage(codePage))
    , m_decoder(std::make_unique<IconvConverter>(iconvName(codePage), "UTF-16LE"))
    , m_encoder(std::make_unique<IconvConverter>("UTF-16LE", iconvName(codePage)))
{
    if (isValid())
        buildSingleByteTables();
}

TextCodec::~TextCodec() = default;

bool TextCodec::isValid() const
{
    return m_codePage > 0 && m_decoder->isValid() && m_encoder->isValid();
}

void TextCodec::buildSingleByteTables()
{
    std::string out;
    for (int byte = 0; byte < 256; ++byte) {
        const auto index = static_cast<std::size_t>(byte);
        m_toUnicode[index] = static_cast<char16_t>(byte);
        if (byte < 0x80)
            continue;
        const char in = static_cast<char>(byte);
        if (m_decoder->convert(&in, 1, out) && out.size() == 2)
            m_toUnicode[index] = static_cast<char16_t>(
                static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
        else
            m_isUndefined.set(index);
    }
    // An undefined byte reads as the code point of its value, unless a character of the code
    // page already has that code point (0xD5 is undefined in 857, whose 0xE5 is U+00D5):
    // then as a private-use one, so that no two bytes read alike.
    const auto isTaken = [this](char16_t c) {
        for (int byte = 0x80; byte < 256; ++byte) {
            if (!m_isUndefined.test(static_cast<std::size_t>(byte))
                && m_toUnicode[static_cast<std::size_t>(byte)] == c)
                return true;
        }
        return false;
    };
    for (std::size_t byte = 0x80; byte < 256; ++byte) {
        if (m_isUndefined.test(byte) && isTaken(m_toUnicode[byte]))
            m_toUnicode[byte] = static_cast<char16_t>(kUndefinedBytePrivateUse + byte);
        m_fromUnicode[byte - 0x80] = { m_toUnicode[byte], static_cast<unsigned char>(byte) };
    }
    std::stable_sort(m_fromUnicode.begin(), m_fromUnicode.end(),
        [](const auto& a, const auto& b) { return a.first < b.first; });
}

void TextCodec::decode(const unsigned char* bytes, qsizetype size, QString& out) const
{
    if (m_isDoubleByte && !isPlainAscii(bytes, size)) {
        decodeDoubleByte(bytes, size, out);
        return;
    }
    out.resize(size);
    auto* target = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < size; ++i)
        target[i] = m_toUnicode[bytes[i]];
}

void TextCodec::decodeDoubleByte(const unsigned char* bytes, qsizetype size, QString& out) const
{
    std::string utf16;
    const auto* in = reinterpret_cast<const char*>(bytes);
    if (m_decoder->convert(in, static_cast<std::size_t>(size), utf16)) {
        out = fromUtf16(utf16);
        return;
    }
    // Something in the value is not a character (a lead byte cut off by the end of the
    // field, a stray byte): decode piece by piece, each such byte as its own code point.
    out.clear();
    qsizetype at = 0;
    while (at < size) {
        const unsigned char byte = bytes[at];
        if (byte >= 0x80 && !m_isUndefined.test(byte)) {
            out += QChar(m_toUnicode[byte]); // a character of one byte
        } else if (byte >= 0x80 && at + 1 < size && m_decoder->convert(in + at, 2, utf16)) {
            out += fromUtf16(utf16);
            ++at;
        } else {
            out += QChar(m_toUnicode[byte]);
        }
        ++at;
    }
}

bool TextCodec::encode(QStringView text, QByteArray& out, qsizetype* badAt) const
{
    if (isPlainAscii(text)) {
        const qsizetype start = out.size();
        out.resize(start + text.size());
        for (qsizetype i = 0; i < text.size(); ++i)
            out[start + i] = static_cast<char>(text[i].unicode());
        return true;
    }
    if (m_isDoubleByte) {
        std::string bytes;
        if (m_encoder->convert(reinterpret_cast<const char*>(text.utf16()),
                static_cast<std::size_t>(text.size()) * 2, bytes)) {
            out.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
            return true;
        }
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        if (!encodeCharacter(text.mid(i, length), out)) {
            if (badAt)
                *badAt = i;
            return false;
        }
        i += length - 1;
    }
    return true;
}

bool TextCodec::encodeCharacter(QStringView character, QByteArray& out) const
{
    const char16_t c = character[0].unicode();
    if (c < 0x80) {
        out.append(static_cast<char>(c));
        return true;
    }
    if (!m_isDoubleByte) {
        const auto it = std::lower_bound(m_fromUnicode.begin(), m_fromUnicode.end(), c,
            [](const auto& entry, char16_t wanted) { return entry.first < wanted; });
        if (it != m_fromUnicode.end() && it->first == c) {
            out.append(static_cast<char>(it->second));
            return true;
        }
    }
    // Not a byte of its own: iconv may still know a sequence for it (a double-byte
    // character, a base letter plus an accent in 1258).
    std::string bytes;
    if (m_encoder->convert(reinterpret_cast<const char*>(character.utf16()),
            static_cast<std::size_t>(character.size()) * 2, bytes)) {
        out.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
        return true;
    }
    // In a double-byte code page, a byte that decodes to nothing on its own was read as this
    // code point: write it back as itself.
    for (std::size_t byte = 0x80; m_isDoubleByte && byte < 256; ++byte) {
        if (m_isUndefined.test(byte) && m_toUnicode[byte] == c) {
            out.append(static_cast<char>(byte));
            return true;
        }
    }
    return false;
}

const TextCodec* textCodecFor(int codePage)
{
    // Asked for every value written: the last answer needs no lock.
    thread_local std::pair<int, const TextCodec*> last { 0, nullptr };
    if (last.second && last.first == codePage)
        return last.second;
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<TextCodec>> codecs;
    std::lock_guard lock(mutex);
    auto it = codecs.find(codePage);
    if (it == codecs.end()) {
        auto codec = std::make_unique<TextCodec>(codePage);
        if (!codec->isValid())
            codec.reset();
        it = codecs.emplace(codePage, std::move(codec)).first;
    }
    last = { codePage, it->second.get() };
    return it->second.get();
}

bool isSupportedCodePage(int codePage)
{
    return codePage > 0 && textCodecFor(codePage) != nullptr;
}

bool isDoubleByteCodePage(int codePage)
{
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

std::optional<QString> decodeText(const QByteArray& bytes, int codePage)
{
    const TextCodec* codec = textCodecFor(codePage);
    if (!codec)
        return std::nullopt;
    return codec->decode(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
}

std::optional<QByteArray> encodeText(QStringView text, int codePage, QChar* badChar)
{
    const TextCodec* codec = textCodecFor(codePage);
    if (!codec)
        return std::nullopt;
    QByteArray bytes;
    qsizetype badAt = 0;
    if (!codec->encode(text, bytes, &badAt)) {
        if (badChar)
            *badChar = text[badAt];
        return std::nullopt;
    }
    return bytes;
}

} // namespace paradox
