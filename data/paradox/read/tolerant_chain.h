#pragma once

// Walks a .db file's chain of blocks the way the health check and the salvage reader need it:
// a fault is reported and the walk goes on where it can (a cut block still gives the records
// that lie whole before the cut; a bad link ends the chain), where BlockChain stops at the
// first fault. Never loops: a block is entered at most once. A password-protected table's
// blocks are unscrambled as they are entered.

#include "data/paradox/format/header.h"

#include <QIODevice>
#include <functional>

namespace paradox {

// Decodes the header of a .db whose blocks may be cut off: everything is checked as by
// decodeHeader but the length of the data blocks, which the walk checks block by block.
// Throws FormatError.
TableHeader decodeHeaderOfDamagedFile(const ByteReader& header, std::int64_t fileSize);

class TolerantChain
{
public:
    // where ("block 3") and what is wrong; the file is always the .db.
    using Report = std::function<void(const QString& where, const QString& what)>;

    TolerantChain(QIODevice& db, const TableHeader& header, Report report);

    // Loads the next block of the chain; false at its end, or where it cannot go on.
    bool next();
    int blockNumber() const { return m_number; }
    // Records of the current block that can be read whole.
    int recordCount() const { return m_readable; }
    const unsigned char* record(int index) const;
    // Records the header counts and those the blocks so far hold by their own headers.
    std::int64_t recordsClaimed() const { return m_claimed; }
    // The blocks entered, in chain order.
    const std::vector<int>& blocks() const { return m_blocks; }
    // After the walk: the header's record count and last block against the chain.
    void finish(int lastBlockInHeader);

private:
    bool enter(int number);

    QIODevice& m_db;
    const TableHeader& m_header;
    Report m_report;
    std::int64_t m_fileSize = 0;
    std::vector<bool> m_visited;
    std::vector<int> m_blocks;
    QByteArray m_bytes;
    int m_number = 0;
    int m_previous = 0;
    int m_next = 0;
    int m_readable = 0;
    std::int64_t m_claimed = 0;
    bool m_isStarted = false;
    bool m_isBroken = false;
};

} // namespace paradox
