#pragma once

// Little-endian integers into a buffer the caller has sized: the header and block fields
// that the table and memo writers fill in.

#include <cstdint>

namespace paradox {

inline void putU16(char* out, std::uint32_t value)
{
    out[0] = static_cast<char>(value & 0xFF);
    out[1] = static_cast<char>((value >> 8) & 0xFF);
}

inline void putU32(char* out, std::uint32_t value)
{
    putU16(out, value & 0xFFFF);
    putU16(out + 2, value >> 16);
}

} // namespace paradox
