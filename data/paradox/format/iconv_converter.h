#pragma once

// One iconv conversion, e.g. CP932 -> UTF-16LE, opened once and shared. iconv descriptors
// are not thread-safe, hence the lock inside; the conversions it does are short.

#include <iconv.h>
#include <mutex>
#include <string>

namespace paradox {

class IconvConverter
{
public:
    IconvConverter(const std::string& from, const std::string& to);
    ~IconvConverter();
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    bool isValid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in` into out; false on an invalid, incomplete or unconvertible
    // sequence, with *failedAt (when given) the input offset where conversion stopped.
    // Characters that glibc would replace by an approximation count as unconvertible.
    bool convert(const char* in, std::size_t inSize, std::string& out, std::size_t* failedAt = nullptr);

private:
    iconv_t m_cd;
    std::mutex m_mutex;
};

} // namespace paradox
