#pragma once

// Writes memo and blob values that do not fit their field's leader into .MB blocks (layout:
// memo_layout.h): values over 2048 bytes get a single-value block of their own, smaller ones
// share sub-allocated blocks. Used for a new file and for new values at the end of a copy.

#include "data/paradox/format/memo_layout.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace paradox::writer {

class TemporaryFile;

class MemoWriter
{
public:
    // New blocks go from `end` on, a multiple of 4096: right after the header in a new file
    // (whose header finish() writes), or after the last block of an existing one. With an
    // encryption key (that of a password-protected table) every block is written scrambled,
    // whole.
    explicit MemoWriter(
        TemporaryFile& file, std::uint64_t end = memo::kBlockUnit, std::uint32_t encryptionKey = 0);

    // Stores value (non-empty) under the given modification number and returns the pointer's
    // offset field, or nullopt with *error when the file cannot be written or would outgrow
    // the 32-bit offsets.
    std::optional<std::uint32_t> store(const QByteArray& value, std::uint16_t modification, QString* error);
    // The modification number of every value of a new file.
    static constexpr std::uint16_t modificationNumber() { return 1; }

    // Writes the open sub-allocated block and pads the file to whole blocks.
    bool flush(QString* error);
    // flush(), then the header of a new file.
    bool finish(QString* error);

private:
    bool writeSmallBlock(QString* error);
    bool writeSingleScrambled(
        std::uint64_t offset, const char* head, const QByteArray& value, std::uint64_t units, QString* error);
    bool writeBlocks(std::uint64_t offset, char* blocks, std::size_t size, QString* error);

    TemporaryFile& m_file;
    std::uint64_t m_end; // where the next block goes
    std::uint32_t m_encryptionKey = 0;
    std::array<char, memo::kBlockUnit> m_small {};
    std::uint64_t m_smallOffset = 0; // 0: no sub-allocated block open
    int m_nextSlot = memo::kSlotCount - 1;
    int m_nextChunk = memo::kFirstChunk;
};

} // namespace paradox::writer
