#pragma once

// Text of a table's code page <-> Unicode.
//
// Single-byte code pages (437, 850, 1252, ...) go through a 256-entry table built once with
// iconv; a byte the code page leaves undefined (0x81 in 1252) reads as the code point of the
// same value (U+0081), the way Windows reads it, or as U+F7XX when a character of the code
// page has that code point, and writes back as that byte: every byte survives a round trip.
// Double-byte code pages (932, 936, 949, 950) go through iconv per value; there, a byte
// that starts no character reads as U+00XX, and writes back as itself when the code page
// has no other place for that character.

#include <QByteArray>
#include <QString>
#include <array>
#include <bitset>
#include <memory>
#include <optional>

namespace paradox {

// HP Roman-8, as IBM numbers it: our code page number for the "BLROM800" driver's text.
constexpr int kHpRoman8CodePage = 1051;

class IconvConverter;

class TextCodec
{
public:
    // Use textCodecFor(): building the tables takes 256 iconv calls.
    explicit TextCodec(int codePage);
    ~TextCodec();
    TextCodec(const TextCodec&) = delete;
    TextCodec& operator=(const TextCodec&) = delete;

    bool isValid() const;
    int codePage() const { return m_codePage; }
    bool isDoubleByte() const { return m_isDoubleByte; }

    void decode(const unsigned char* bytes, qsizetype size, QString& out) const;
    QString decode(const unsigned char* bytes, qsizetype size) const
    {
        QString out;
        decode(bytes, size, out);
        return out;
    }
    // Appends the bytes of text to out. False when a character has no place in the code page
    // (we never write a silent "?"); *badAt (when given) is then its index in text.
    bool encode(QStringView text, QByteArray& out, qsizetype* badAt = nullptr) const;

private:
    void buildSingleByteTables();
    void decodeDoubleByte(const unsigned char* bytes, qsizetype size, QString& out) const;
    bool encodeCharacter(QStringView character, QByteArray& out) const;

    int m_codePage;
    bool m_isDoubleByte;
    std::array<char16_t, 256> m_toUnicode {};
    // Bytes 0x80..0xFF by the character they decode to, sorted for a binary search.
    std::array<std::pair<char16_t, unsigned char>, 128> m_fromUnicode {};
    std::bitset<256> m_isUndefined; // bytes that decode to nothing on their own
    std::unique_ptr<IconvConverter> m_decoder;
    std::unique_ptr<IconvConverter> m_encoder;
};

// The codec of a code page, built on first use and kept for the life of the program; null
// when this system cannot convert the code page.
const TextCodec* textCodecFor(int codePage);

// True when we can convert text of this code page (437, 850, 852, 865, 866, 932, 1250, ...).
bool isSupportedCodePage(int codePage);

bool isDoubleByteCodePage(int codePage);

// Decodes bytes of the code page. Every byte reads as some character, so this does not fail
// for a supported code page; an unsupported one gives nullopt.
std::optional<QString> decodeText(const QByteArray& bytes, int codePage);

// Encodes text into the code page. nullopt when a character has no place in it; on failure
// *badChar (when given) is the first such character.
std::optional<QByteArray> encodeText(QStringView text, int codePage, QChar* badChar = nullptr);

} // namespace paradox
