#pragma once

// Bounds-checked little- and big-endian reads over a span of bytes. Every access to file
// bytes in the codec goes through here; a read past the end throws FormatError naming the
// file, the absolute offset and the structure being read.

#include "data/paradox/io/format_error.h"

#include <QString>
#include <cstdint>

namespace paradox {

class ByteReader
{
public:
    // `base` is the file offset of data[0], so that errors name absolute offsets.
    ByteReader(const unsigned char* data, std::int64_t size, const QString& file, std::int64_t base = 0)
        : m_data(data)
        , m_size(size)
        , m_file(&file)
        , m_base(base)
    { }

    std::int64_t size() const { return m_size; }
    std::int64_t base() const { return m_base; }
    const QString& file() const { return *m_file; }

    bool contains(std::int64_t offset, std::int64_t count) const
    {
        // This form cannot overflow, whatever the two numbers are.
        return offset >= 0 && count >= 0 && offset <= m_size && count <= m_size - offset;
    }

    // Throws unless [offset, offset + count) lies inside; `what` names the structure.
    void require(std::int64_t offset, std::int64_t count, const char* what) const
    {
        if (!contains(offset, count))
            failOutside(offset, count, what);
    }

    // A pointer to `count` checked bytes.
    const unsigned char* bytes(std::int64_t offset, std::int64_t count, const char* what) const
    {
        require(offset, count, what);
        return m_data + offset;
    }

    std::uint8_t u8(std::int64_t offset, const char* what) const { return *bytes(offset, 1, what); }
    std::uint16_t u16(std::int64_t offset, const char* what) const
    {
        const unsigned char* p = bytes(offset, 2, what);
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    std::int16_t i16(std::int64_t offset, const char* what) const
    {
        return static_cast<std::int16_t>(u16(offset, what));
    }
    std::uint32_t u32(std::int64_t offset, const char* what) const
    {
        const unsigned char* p = bytes(offset, 4, what);
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
            | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }

    // A reader over a checked sub-range, keeping absolute offsets.
    ByteReader sub(std::int64_t offset, std::int64_t count, const char* what) const
    {
        return ByteReader(bytes(offset, count, what), count, *m_file, m_base + offset);
    }

    [[noreturn]] void fail(std::int64_t offset, const QString& what) const;
    [[noreturn]] void failOutside(std::int64_t offset, std::int64_t count, const char* what) const;

private:
    const unsigned char* m_data;
    std::int64_t m_size;
    const QString* m_file;
    std::int64_t m_base;
};

} // namespace paradox
