#pragma once

// The data blocks that .DB, .PX, .Xnn and .Ynn files share: reading them along their chain,
// fetching single records again, and writing records into full blocks of a new file.

#include "data/paradox/format/data_block.h"
#include "data/paradox/io/table_family.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <vector>

namespace paradox {

// Walks a file's chain of blocks, one block in memory at a time. Every link is checked and a
// looping chain ends in an error; at the end the records must add up to the header's count.
class BlockChainReader
{
public:
    BlockChainReader(QFile& file, const QString& name, const BlockLayout& layout);

    // Loads the next block of the chain; false after the last one. Throws FormatError.
    bool next();
    int blockNumber() const { return m_chain.current(); }
    int recordCount() const { return m_count; }
    const unsigned char* record(int index) const;
    // Where record `index` of the current block lies in the file.
    std::uint32_t recordOffset(int index) const;

private:
    QFile& m_file;
    QString m_name;
    BlockLayout m_layout;
    BlockChain m_chain;
    QByteArray m_bytes;
    int m_count = 0;
    bool m_isStarted = false;
};

// Reads records again by their file offset, keeping the last block read: records wanted in
// nearly the order they are stored cost one read per block.
class RecordFetcher
{
public:
    RecordFetcher(QFile& file, const QString& name, const BlockLayout& layout);
    const unsigned char* at(std::uint32_t offset); // throws FormatError

private:
    QFile& m_file;
    QString m_name;
    BlockLayout m_layout;
    QByteArray m_bytes;
    std::int64_t m_blockStart = -1;
};

// The first keySize bytes of the first record of each block, with the block's number and
// record count: what a tree's lowest level holds for a file written by PackedBlockWriter.
struct BlockKeys
{
    int keySize = 0;
    std::vector<unsigned char> keys;
    std::vector<std::uint16_t> blocks;
    std::vector<std::uint32_t> counts;

    std::size_t size() const { return blocks.size(); }
    const unsigned char* key(std::size_t index) const { return keys.data() + index * keySize; }
};

// Writes records, in the order given, into full blocks numbered and chained 1, 2, 3, ... after
// a header whose counts it fills in. Each block is full before the next begins: what the engine
// makes of records that come in key order (it opens a new block only when the last one is
// full), and what pxlib reads. The engine's own samples hold one block per file and cannot
// show how it fills blocks when it rebuilds a bigger table.
class PackedBlockWriter
{
public:
    // `header` is the original file's header; only its counts change (see finish()).
    PackedBlockWriter(writer::TemporaryFile& file, const QString& name, QByteArray header, int blockSize,
        int recordSize, int keySize);

    bool append(const unsigned char* record, QString* error);
    // Writes the last block and the header with the new record and block counts.
    bool finish(QString* error);
    // The header finish() writes: fields other than the counts may still be set.
    QByteArray& header() { return m_header; }
    const BlockKeys& blockKeys() const { return m_keys; }
    std::int64_t recordCount() const { return m_records; }

private:
    bool flush(bool isLast, QString* error);

    writer::TemporaryFile& m_file;
    QString m_name;
    QByteArray m_header;
    int m_blockSize;
    int m_recordSize;
    int m_perBlock;
    BlockKeys m_keys;
    std::uint32_t m_encryptionKey; // the original's: a password-protected file stays so
    std::vector<char> m_buffer; // whole blocks, the first of them block m_bufferFirst
    int m_bufferFirst = 1;
    int m_blocks = 0; // blocks started
    int m_inBlock = 0; // records in the last block
    std::int64_t m_records = 0;
};

// Sets the counts of a .DB-format header (records, blocks in use and in the file, first and
// last block, maximum blocks, no free block) for `blocks` blocks chained 1..blocks.
void setBlockCounts(QByteArray& header, std::uint32_t records, int blocks);

} // namespace paradox
