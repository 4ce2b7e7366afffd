#pragma once

// Password-protected tables. The engine scrambles each data block of the .DB (and of an index
// file that carries a key of its own) and the whole .MB, header included, in chunks of 256
// bytes; the headers of .DB and index files stay clear. The 32-bit key in the header is all
// it takes to read and write them: the password only made the key.
//
// Within a chunk, plain byte j lands at position i = (kPositions[j] - d) mod 256 and is
// XORed with three masks: by plain position (j + a), by scrambled position (i + b) and again
// by scrambled position (i + c), every index mod 256. a and b are the key's two low bytes; in
// a data block, c is the chunk's place in the block (from 0) and d the block's number (low
// byte); in the .MB, c = a + 1 and d = b + 1 for every chunk. So each plain byte decides one
// scrambled byte of its chunk and nothing else: a changed value changes only its own bytes.

#include <cstddef>
#include <cstdint>

namespace paradox::crypt {

constexpr int kChunkSize = 256;

// What one chunk is scrambled with (see above).
struct ChunkKey
{
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    std::uint8_t c = 0;
    std::uint8_t d = 0;
};

ChunkKey dataChunkKey(std::uint32_t key, int blockNumber, int chunkIndex);
ChunkKey memoChunkKey(std::uint32_t key);

// In place; `chunk` holds kChunkSize bytes.
void encryptChunk(const ChunkKey& key, unsigned char* chunk);
void decryptChunk(const ChunkKey& key, unsigned char* chunk);

// A whole data block (size a multiple of kChunkSize, as every block size is), in place.
void encryptBlock(std::uint32_t key, int blockNumber, unsigned char* block, int size);
void decryptBlock(std::uint32_t key, int blockNumber, unsigned char* block, int size);

// Whole chunks of the .MB, in place (every chunk alike, wherever it lies in the file).
void encryptMemo(std::uint32_t key, unsigned char* bytes, std::size_t size);
void decryptMemo(std::uint32_t key, unsigned char* bytes, std::size_t size);

// pxlib scrambles the .DB of a table it protects but leaves the .MB in clear. Such a file's
// first chunk (kChunkSize bytes) is a memo file header as it stands and not once
// unscrambled; it is then read, and written, in clear.
bool isMemoFileInClear(std::uint32_t key, const unsigned char* firstChunk);

// Plain byte `position` of a chunk, scrambled: where it goes in the chunk and what it becomes.
// Lets a writer change a few bytes without reading the chunk around them.
struct ScrambledByte
{
    int position = 0;
    unsigned char value = 0;
};
ScrambledByte scrambleByte(const ChunkKey& key, int position, unsigned char plain);

} // namespace paradox::crypt
