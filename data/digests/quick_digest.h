#pragma once

// The quick digest of a file's bytes: not a cryptographic digest, it tells whether the bytes
// are the same as before, fast. Four lanes each take every fourth 64-bit word, so none waits on
// another's multiplication; bytes past the last whole 32 go into the first lane one by one.
// A file of 64 MB or more is digested in two halves (the second seeded apart), so that a reader
// may work them out side by side; the digest is the same however the bytes are handed over.

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace data {

// One run of bytes from a start that is a multiple of 32.
class RangeDigest
{
public:
    explicit RangeDigest(quint64 seed);
    void add(const char* data, std::size_t size);
    quint64 value() const;

private:
    quint64 m_lanes[4];
    unsigned char m_held[32] {}; // the start of a word not yet whole
    std::size_t m_heldSize = 0;
};

// A whole file's bytes, handed over in order.
class QuickDigest
{
public:
    explicit QuickDigest(std::int64_t fileSize);
    void add(const char* data, std::size_t size);
    quint64 value() const; // once every byte is in

    // Where the second half starts (the file's size when it is not halved), and its seeds.
    static std::int64_t halfOf(std::int64_t fileSize);
    static quint64 seedOf(std::int64_t fileSize);
    static quint64 combine(quint64 first, quint64 second);

private:
    std::int64_t m_half;
    std::int64_t m_done = 0;
    RangeDigest m_first;
    RangeDigest m_second;
};

} // namespace data
