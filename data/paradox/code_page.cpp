#include "data/paradox/code_page.h"

#include <cerrno>
#include <iconv.h>
#include <mutex>
#include <string>
#include <unordered_map>

namespace paradox {
namespace {

std::string iconvName(int codePage)
{
    return "CP" + std::to_string(codePage);
}

// One converter pair per code page, opened on first use. iconv descriptors are not
// thread-safe, hence the lock; conversions here are short.
class Converter
{
public:
    Converter(const std::string& from, const std::string& to)
        : m_cd(iconv_open(to.c_str(), from.c_str()))
    { }
    ~Converter()
    {
        if (isValid())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool isValid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts in one go; false on an invalid or unconvertible sequence. *failedAt is the
    // input offset where conversion stopped.
    bool convert(const char* in, std::size_t inSize, std::string& out, std::size_t* failedAt)
    {
        std::lock_guard lock(m_mutex);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        out.resize(inSize * 4 + 16);
        char* inPtr = const_cast<char*>(in);
        std::size_t inLeft = inSize;
        char* outPtr = out.data();
        std::size_t outLeft = out.size();
        while (inLeft > 0) {
            const std::size_t rc = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            if (rc == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) {
                    const std::size_t used = static_cast<std::size_t>(outPtr - out.data());
                    out.resize(out.size() * 2);
                    outPtr = out.data() + used;
                    outLeft = out.size() - used;
                    continue;
                }
                if (failedAt)
                    *failedAt = inSize - inLeft;
                return false;
            }
            // glibc counts characters replaced by an approximation in rc; we want none.
            if (rc > 0) {
                if (failedAt)
                    *failedAt = inSize - inLeft;
                return false;
            }
        }
        out.resize(static_cast<std::size_t>(outPtr - out.data()));
        return true;
    }

private:
    iconv_t m_cd;
    std::mutex m_mutex;
};

struct ConverterPair
{
    Converter toUnicode;
    Converter fromUnicode;
    ConverterPair(const std::string& name)
        : toUnicode(name, "UTF-16LE")
        , fromUnicode("UTF-16LE", name)
    { }
};

ConverterPair* converters(int codePage)
{
    static std::mutex mutex;
    static std::unordered_map<int, std::unique_ptr<ConverterPair>> cache;
    std::lock_guard lock(mutex);
    auto it = cache.find(codePage);
    if (it == cache.end()) {
        auto pair = std::make_unique<ConverterPair>(iconvName(codePage));
        if (!pair->toUnicode.isValid() || !pair->fromUnicode.isValid())
            pair.reset();
        it = cache.emplace(codePage, std::move(pair)).first;
    }
    return it->second.get();
}

bool isPlainAscii(const char* data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (static_cast<unsigned char>(data[i]) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

bool isSupportedCodePage(int codePage)
{
    // Asked for every text value of a table: remember the last answer instead of taking the
    // lock and looking it up each time.
    thread_local int lastSupported = 0;
    if (codePage > 0 && codePage == lastSupported)
        return true;
    const bool isSupported = codePage > 0 && converters(codePage) != nullptr;
    if (isSupported)
        lastSupported = codePage;
    return isSupported;
}

std::optional<QString> decodeText(const QByteArray& bytes, int codePage)
{
    // Every code page we support agrees with ASCII below 0x80: skip iconv for the common case.
    if (isPlainAscii(bytes.constData(), bytes.size()) && isSupportedCodePage(codePage))
        return QString::fromLatin1(bytes);
    ConverterPair* pair = converters(codePage);
    if (!pair)
        return std::nullopt;
    std::string out;
    if (!pair->toUnicode.convert(bytes.constData(), static_cast<std::size_t>(bytes.size()), out, nullptr))
        return std::nullopt;
    return QString(reinterpret_cast<const QChar*>(out.data()), static_cast<qsizetype>(out.size() / 2));
}

std::optional<QByteArray> encodeText(const QString& text, int codePage, QChar* badChar)
{
    bool ascii = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii && isSupportedCodePage(codePage))
        return text.toLatin1();
    ConverterPair* pair = converters(codePage);
    if (!pair)
        return std::nullopt;
    std::string out;
    std::size_t failedAt = 0;
    const auto* in = reinterpret_cast<const char*>(text.utf16());
    if (!pair->fromUnicode.convert(in, static_cast<std::size_t>(text.size()) * 2, out, &failedAt)) {
        if (badChar) {
            const auto index = static_cast<qsizetype>(failedAt / 2);
            *badChar = index < text.size() ? text.at(index) : QChar();
        }
        return std::nullopt;
    }
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

} // namespace paradox
