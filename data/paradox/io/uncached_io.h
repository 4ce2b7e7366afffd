#pragma once

// Writing large files past the page cache (O_DIRECT on the descriptor).
//
// A write-back copies a table of up to 2 GB twice (the new .DB and the backup's copy) and must
// flush both anyway. Through the cache, each copy first claims fresh memory page by page; that
// costs more than the disk's own work on a machine short of free memory, or on a virtual one
// whose host takes freed memory back, and it pushes out what other programs keep cached. Such
// a file is digested from the bytes as they are written, never read back (which would read the
// disk). Where the file system refuses, the same calls go through the cache as before.
//
// Offsets, lengths and buffers line up on kUnit, which every disk's sector size divides.

#include <cstddef>
#include <memory>

namespace paradox::uncached {

inline constexpr std::size_t kUnit = 4096;

// The length of each write past the cache. The new .DB and the backup's copy are written at
// once; with pieces of one length the disk serves them evenly, and the backup still has the
// disk while the new .DB's next piece is being made. (With 8 MB for the backup's copies, it
// took the larger share, ended first and left the disk idle between the .DB's pieces: the
// write-back took 15-20% longer.)
inline constexpr std::size_t kPiece = std::size_t { 1 } << 20;

constexpr std::size_t roundDown(std::size_t size)
{
    return size / kUnit * kUnit;
}
constexpr std::size_t roundUp(std::size_t size)
{
    return roundDown(size + kUnit - 1);
}

// Turns the descriptor's bypass of the cache on or off; false when it cannot be turned on.
bool setBypass(int fd, bool isOn);
// Tests turn the bypass off everywhere, to take the way of a file system that refuses it.
void allowBypass(bool isAllowed);

// A buffer that starts on a unit. Growing it keeps its bytes.
class AlignedBuffer
{
public:
    char* data() { return m_data.get(); }
    void reserve(std::size_t size);

private:
    struct Free
    {
        void operator()(char* data) const;
    };
    std::unique_ptr<char, Free> m_data;
    std::size_t m_size = 0;
};

} // namespace paradox::uncached
