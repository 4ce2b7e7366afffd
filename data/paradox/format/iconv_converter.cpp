#include "data/paradox/format/iconv_converter.h"

#include <cerrno>

namespace paradox {

IconvConverter::IconvConverter(const std::string& from, const std::string& to)
    : m_cd(iconv_open(to.c_str(), from.c_str()))
{ }

IconvConverter::~IconvConverter()
{
    if (isValid())
        iconv_close(m_cd);
}

bool IconvConverter::convert(const char* in, std::size_t inSize, std::string& out, std::size_t* failedAt)
{
    std::lock_guard lock(m_mutex);
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    out.resize(inSize * 4 + 16);
    char* inPtr = const_cast<char*>(in);
    std::size_t inLeft = inSize;
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    // False when the output is not full, which is then the error.
    const auto grow = [&] {
        if (errno != E2BIG)
            return false;
        const auto used = static_cast<std::size_t>(outPtr - out.data());
        out.resize(out.size() * 2);
        outPtr = out.data() + used;
        outLeft = out.size() - used;
        return true;
    };
    const auto failAt = [&] {
        if (failedAt)
            *failedAt = inSize - inLeft;
        return false;
    };
    while (inLeft > 0) {
        const std::size_t rc = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (rc == static_cast<std::size_t>(-1) && !grow())
            return failAt();
        // glibc counts characters replaced by an approximation in rc; we want none.
        if (rc != static_cast<std::size_t>(-1) && rc > 0)
            return failAt();
    }
    // The 1255 and 1258 decoders hold a letter back in case an accent follows: flush it.
    while (iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
        if (!grow())
            return failAt();
    }
    out.resize(static_cast<std::size_t>(outPtr - out.data()));
    return true;
}

} // namespace paradox
