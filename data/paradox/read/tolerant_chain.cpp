#include "data/paradox/read/tolerant_chain.h"

#include "data/paradox/format/encryption.h"

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

QString blockPlace(int number)
{
    return number == 0 ? u"header"_s : u"block %1"_s.arg(number);
}

} // namespace

TableHeader decodeHeaderOfDamagedFile(const ByteReader& header, std::int64_t fileSize)
{
    headerPart::requireFixedPart(header, fileSize, "a Paradox table header");
    const int headerSize = header.u16(dbHeader::kHeaderSize, "header size");
    if (fileSize < headerSize)
        header.fail(dbHeader::kHeaderSize,
            u"the file ends at byte %1, inside its header of %2 bytes"_s.arg(fileSize).arg(headerSize));
    return decodeHeader(header, std::numeric_limits<std::int32_t>::max());
}

TolerantChain::TolerantChain(QIODevice& db, const TableHeader& header, Report report)
    : m_db(db)
    , m_header(header)
    , m_report(std::move(report))
    , m_fileSize(db.size())
    , m_visited(static_cast<std::size_t>(header.fileBlocks) + 1, false)
{ }

bool TolerantChain::next()
{
    if (m_isBroken)
        return false;
    const int target = m_isStarted ? m_next : m_header.firstBlock;
    m_isStarted = true;
    m_previous = m_number;
    m_number = 0;
    m_readable = 0;
    if (target == 0)
        return false;
    if (!enter(target)) {
        m_isBroken = true;
        m_number = 0;
        m_readable = 0;
        return false;
    }
    return true;
}

bool TolerantChain::enter(int number)
{
    const int from = m_previous;
    if (number > m_header.fileBlocks) {
        m_report(blockPlace(from),
            u"links to block %1, but the header gives %2 blocks"_s.arg(number).arg(m_header.fileBlocks));
        return false;
    }
    if (m_visited[static_cast<std::size_t>(number)]) {
        m_report(blockPlace(from), u"links back to block %1: the chain of blocks loops"_s.arg(number));
        return false;
    }
    m_visited[static_cast<std::size_t>(number)] = true;
    const std::int64_t offset = m_header.layout().blockOffset(number);
    const std::int64_t available = std::min<std::int64_t>(m_fileSize - offset, m_header.blockSize);
    if (available < kBlockHeaderSize) {
        m_report(blockPlace(number),
            u"is missing: the file ends at byte %1, before the block (at byte %2)"_s.arg(m_fileSize)
                .arg(offset));
        return false;
    }
    m_bytes.resize(static_cast<qsizetype>(available));
    if (!m_db.seek(offset) || m_db.read(m_bytes.data(), m_bytes.size()) != m_bytes.size()) {
        m_report(blockPlace(number), u"cannot be read: %1"_s.arg(m_db.errorString()));
        return false;
    }
    // A protected table's block is scrambled chunk by chunk: of a cut block, only the whole
    // chunks can be unscrambled, and only what lies in them can be read.
    std::int64_t usable = available;
    if (m_header.encryptionKey != 0) {
        usable = available / crypt::kChunkSize * crypt::kChunkSize;
        if (usable < kBlockHeaderSize) {
            m_report(blockPlace(number),
                u"is cut off: the file ends %1 bytes into it, inside its first scrambled chunk of %2 bytes"_s
                    .arg(available)
                    .arg(crypt::kChunkSize));
            return false;
        }
        crypt::decryptBlock(m_header.encryptionKey, number, reinterpret_cast<unsigned char*>(m_bytes.data()),
            static_cast<int>(usable));
    }
    m_number = number;
    m_blocks.push_back(number);
    const QString fileName = u"table"_s;
    const ByteReader head(reinterpret_cast<const unsigned char*>(m_bytes.constData()), usable, fileName);
    m_next = head.u16(0, "block header");
    const int previous = head.u16(2, "block header");
    if (previous != from)
        m_report(blockPlace(number),
            u"names block %1 as the one before it, but it follows %2"_s.arg(previous).arg(blockPlace(from)));
    int count = 0;
    try {
        count = decodeDataBlockHeader(head, number, m_header.recordSize, m_header.blockSize).recordCount;
    } catch (const FormatError& error) {
        m_report(blockPlace(number), error.what + u"; its records cannot be told"_s);
    }
    m_claimed += count;
    const auto whole = static_cast<int>((usable - kBlockHeaderSize) / m_header.recordSize);
    m_readable = std::min(count, whole);
    if (available < m_header.blockSize) {
        const QString lost = m_readable < count
            ? u"%1 of its %2 records are whole"_s.arg(m_readable).arg(count)
            : u"all %1 of its records are whole"_s.arg(count);
        m_report(blockPlace(number),
            u"is cut off: the file ends %1 bytes into its %2 bytes (%3)"_s.arg(available)
                .arg(m_header.blockSize)
                .arg(lost));
    }
    return true;
}

const unsigned char* TolerantChain::record(int index) const
{
    const std::int64_t at = kBlockHeaderSize + std::int64_t { index } * m_header.recordSize;
    return reinterpret_cast<const unsigned char*>(m_bytes.constData()) + at;
}

void TolerantChain::finish(int lastBlockInHeader)
{
    if (m_isBroken)
        return;
    if (m_claimed != m_header.info.recordCount)
        m_report(QString(),
            u"the header gives %1 records, but the blocks of its chain hold %2"_s
                .arg(m_header.info.recordCount)
                .arg(m_claimed));
    const int last = m_blocks.empty() ? 0 : m_blocks.back();
    if (last != lastBlockInHeader)
        m_report(QString(),
            u"the header names block %1 as the last, but the chain ends at block %2"_s.arg(lastBlockInHeader)
                .arg(last));
}

} // namespace paradox
