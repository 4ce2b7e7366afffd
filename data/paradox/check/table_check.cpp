// The health check of one table: the .db along its chain of blocks (tolerant_chain.h), every
// record's values against their field types, memo pointers against the .mb, and the .px
// against the blocks (table_check_index.cpp). Each fault is noted with its place and the
// check goes on where the file still makes sense.

#include "data/paradox/check/table_check.h"

#include "data/paradox/check/table_check_parts.h"
#include "data/paradox/format/encryption.h"
#include "data/paradox/format/key_order.h"
#include "data/paradox/io/find_table.h"
#include "data/paradox/read/memo_file.h"
#include "data/paradox/read/tolerant_chain.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <new>
#include <optional>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr int kLogicalFalse = 0x80;
constexpr int kLogicalTrue = 0x81;

class TableChecker
{
public:
    TableChecker(ProblemList& problems, QIODevice& db, const QString& dbName)
        : m_problems(problems)
        , m_db(db)
        , m_dbName(dbName)
    { }

    // False when the header cannot be decoded: nothing else can be checked then.
    bool checkHeader()
    {
        const std::int64_t fileSize = m_db.size();
        try {
            m_rawHeader = readHeaderBytes(m_db, m_dbName);
            const ByteReader reader(reinterpret_cast<const unsigned char*>(m_rawHeader.constData()),
                m_rawHeader.size(), m_dbName);
            m_header = decodeHeaderOfDamagedFile(reader, fileSize);
            m_lastBlock = reader.u16(dbHeader::kLastBlock, "last block");
            m_firstFreeBlock = reader.u16(dbHeader::kFirstFreeBlock, "first free block");
        } catch (const FormatError& error) {
            m_problems.add(m_dbName, u"header"_s, error.what);
            return false;
        }
        const std::int64_t needed
            = m_header.headerSize + std::int64_t { m_header.fileBlocks } * m_header.blockSize;
        if (fileSize < needed)
            m_problems.add(m_dbName, QString(),
                u"the file is truncated: the header gives %1 blocks of %2 bytes (%3 bytes in all), "
                "but the file has %4, so it ends inside block %5"_s.arg(m_header.fileBlocks)
                    .arg(m_header.blockSize)
                    .arg(needed)
                    .arg(fileSize)
                    .arg((fileSize - m_header.headerSize) / m_header.blockSize + 1));
        m_keyFields = m_header.info.isKeyed ? keyFieldCount() : 0;
        return true;
    }

    void openMemo(std::unique_ptr<QIODevice> mb, const QString& mbName)
    {
        m_mbName = mbName;
        if (!m_header.hasBlobFields)
            return;
        if (!mb) {
            m_problems.add(mbName, QString(), u"is missing; the table's memo or blob fields need it"_s);
            return;
        }
        try {
            m_memo.emplace(std::move(mb), mbName, m_header.encryptionKey);
        } catch (const FormatError& error) {
            m_problems.add(mbName, QString(), error.what);
        }
    }

    // Walks the chain and checks every record that is there whole.
    void checkRecords()
    {
        m_text = textCodecFor(m_header.info.codePage);
        m_canCheckKeyOrder = m_keyFields > 0;
        const TableSortOrder order { m_header.info.sortOrderCode, m_header.info.sortOrderName };
        for (int i = 0; i < m_keyFields; ++i)
            m_canCheckKeyOrder = m_canCheckKeyOrder
                && keyOrderProblem(m_header.info.fields[static_cast<std::size_t>(i)], order).isEmpty();
        TolerantChain chain(m_db, m_header,
            [this](const QString& where, const QString& what) { m_problems.add(m_dbName, where, what); });
        std::int64_t blockStart = 0; // records lost to a cut keep their numbers
        while (chain.next()) {
            ChainBlock block { chain.blockNumber(), static_cast<int>(chain.recordsClaimed() - blockStart),
                {} };
            for (int i = 0; i < chain.recordCount(); ++i) {
                if (i == 0)
                    block.firstKey.assign(chain.record(0), chain.record(0) + keySize());
                checkRecord(chain.record(i), blockStart + i, chain.blockNumber());
            }
            m_blocks.push_back(std::move(block));
            blockStart = chain.recordsClaimed();
        }
        chain.finish(m_lastBlock);
        checkFreeBlocks(chain.blocks());
    }

    const TableHeader& header() const { return m_header; }
    const std::vector<ChainBlock>& blocks() const { return m_blocks; }
    int keyFields() const { return m_keyFields; }
    int keySize() const
    {
        int size = 0;
        for (int i = 0; i < m_keyFields; ++i)
            size += fieldWidth(m_header.info.fields[static_cast<std::size_t>(i)]);
        return size;
    }

private:
    int keyFieldCount() const
    {
        const ByteReader reader(
            reinterpret_cast<const unsigned char*>(m_rawHeader.constData()), m_rawHeader.size(), m_dbName);
        return reader.i16(dbHeader::kPrimaryKeyFields, "number of key fields");
    }

    // The list of free blocks, linked through their first two bytes: within the file, no loop,
    // no block that also holds records.
    void checkFreeBlocks(const std::vector<int>& chainBlocks)
    {
        std::vector<bool> isUsed(static_cast<std::size_t>(m_header.fileBlocks) + 1, false);
        for (int block : chainBlocks)
            isUsed[static_cast<std::size_t>(block)] = true;
        int from = 0;
        for (int number = m_firstFreeBlock; number != 0;) {
            const QString where = from == 0 ? u"header"_s : u"free block %1"_s.arg(from);
            if (number > m_header.fileBlocks) {
                m_problems.add(m_dbName, where,
                    u"names block %1 as free, but the header gives %2 blocks"_s.arg(number).arg(
                        m_header.fileBlocks));
                return;
            }
            if (isUsed[static_cast<std::size_t>(number)]) {
                m_problems.add(m_dbName, where,
                    u"names block %1 as free, but it is in use (or free twice)"_s.arg(number));
                return;
            }
            isUsed[static_cast<std::size_t>(number)] = true;
            // The link lies in the block's first chunk, scrambled as the block is.
            unsigned char link[crypt::kChunkSize];
            const int linkBytes = m_header.encryptionKey != 0 ? crypt::kChunkSize : 2;
            if (!m_db.seek(m_header.layout().blockOffset(number))
                || m_db.read(reinterpret_cast<char*>(link), linkBytes) != linkBytes)
                return; // a block past the end: the truncation is reported already
            if (m_header.encryptionKey != 0)
                crypt::decryptChunk(crypt::dataChunkKey(m_header.encryptionKey, number, 0), link);
            from = number;
            number = link[0] | (link[1] << 8);
        }
    }

    void checkRecord(const unsigned char* bytes, std::int64_t position, int block)
    {
        // Made only for a problem: the check reads every record before a run.
        const auto where = [&] { return u"record %1 (block %2)"_s.arg(position + 1).arg(block); };
        const ByteReader record(bytes, m_header.recordSize, m_dbName);
        const std::vector<Field>& fields = m_header.info.fields;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const Field& field = fields[i];
            const int offset = m_header.fieldOffsets[i];
            try {
                if (isBlobType(field.type))
                    checkBlob(field, bytes + offset, where);
                else if (field.type == FieldType::Logical && bytes[offset] != 0
                    && bytes[offset] != kLogicalFalse && bytes[offset] != kLogicalTrue)
                    m_problems.add(m_dbName, where(),
                        u"field \"%1\" holds 0x%2, which is no logical value"_s.arg(field.name)
                            .arg(int { bytes[offset] }, 2, 16, QChar(u'0')));
                else if (field.type == FieldType::Bcd)
                    // The only other type whose bytes can say nothing: decoding text or
                    // numbers only to throw them away would double the check's time.
                    decodePlainField(field, record, offset, *m_text, m_value);
            } catch (const FormatError& error) {
                m_problems.add(error.file == m_mbName ? m_mbName : m_dbName, where(),
                    u"field \"%1\": %2"_s.arg(field.name, error.what));
            }
        }
        if (!m_canCheckKeyOrder)
            return;
        const int size = keySize();
        if (!m_previousKey.empty() && compareKeys(m_previousKey.data(), bytes, size) >= 0)
            m_problems.add(
                m_dbName, where(), u"the record's key is not above the key of the record before it"_s);
        m_previousKey.assign(bytes, bytes + size);
    }

    template <typename Place>
    void checkBlob(const Field& field, const unsigned char* bytes, const Place& where)
    {
        const int leader = field.size - kBlobPointerSize;
        const BlobPointer pointer = decodeBlobPointer(bytes + leader);
        if (pointer.length == 0)
            return;
        if (pointer.offset == 0) {
            if (pointer.length > static_cast<std::uint32_t>(leader))
                m_problems.add(m_dbName, where(),
                    u"field \"%1\" gives a value of %2 bytes, but neither its %3 bytes nor the memo file hold it"_s
                        .arg(field.name)
                        .arg(pointer.length)
                        .arg(leader));
            return;
        }
        if (m_memo)
            m_memo->read(pointer);
    }

    ProblemList& m_problems;
    QIODevice& m_db;
    QString m_dbName;
    QString m_mbName;
    QByteArray m_rawHeader;
    TableHeader m_header;
    int m_lastBlock = 0;
    int m_firstFreeBlock = 0;
    int m_keyFields = 0;
    const TextCodec* m_text = nullptr;
    std::optional<MemoFile> m_memo;
    Value m_value;
    bool m_canCheckKeyOrder = false;
    std::vector<unsigned char> m_previousKey;
    std::vector<ChainBlock> m_blocks;
};

// False when the table could not be checked past its header.
bool checkFiles(ProblemList& problems, QIODevice& db, const QString& dbName, std::unique_ptr<QIODevice> mb,
    const QString& mbName, QIODevice* px, const QString& pxName)
{
    try {
        TableChecker checker(problems, db, dbName);
        if (!checker.checkHeader())
            return false;
        checker.openMemo(std::move(mb), mbName);
        checker.checkRecords();
        if (checker.keyFields() > 0 && !px) {
            problems.add(pxName, QString(), u"is missing; a keyed table needs its primary index"_s);
        } else if (px && checker.keyFields() > 0) {
            const std::vector<Field>& fields = checker.header().info.fields;
            checkTree(problems, *px, pxName,
                { 1, checker.keySize(), { fields.begin(), fields.begin() + checker.keyFields() },
                    checker.header().info.codePage, dbName, &checker.blocks() });
        }
        return true;
    } catch (const std::bad_alloc&) {
        problems.add(dbName, QString(), u"not enough memory to check the table"_s);
    }
    return false;
}

bool isCompanionSuffix(const QString& suffix)
{
    static const QRegularExpression companion(
        u"^(MB|PX|[XY][0-9A-F]{2}|[XY]G[0-9A-F])$"_s, QRegularExpression::CaseInsensitiveOption);
    return companion.match(suffix).hasMatch();
}

} // namespace

TableCheck checkTableDevices(const QString& table, QIODevice& db, const QString& dbName,
    std::unique_ptr<QIODevice> mb, const QString& mbName, QIODevice* px, const QString& pxName)
{
    TableCheck check;
    check.table = table;
    ProblemList problems(check);
    checkFiles(problems, db, dbName, std::move(mb), mbName, px, pxName);
    problems.finish();
    return check;
}

TableCheck checkTable(const QString& dbPath)
{
    const QFileInfo info(dbPath);
    const QString folder = info.absolutePath();
    const QString base = info.completeBaseName();
    QFile db(dbPath);
    if (!db.open(QIODevice::ReadOnly)) {
        TableCheck check;
        check.table = base;
        check.problems.push_back(
            { info.fileName(), QString(), u"cannot be opened: %1"_s.arg(db.errorString()) });
        return check;
    }
    // A companion that cannot be opened counts as missing; its name as found, else as expected.
    const auto companion = [&](const QString& extension, std::unique_ptr<QFile>& file) {
        const QString expected = base + u'.' + extension;
        const QString path = findFileIgnoringCase(folder, expected);
        if (path.isEmpty())
            return expected;
        file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::ReadOnly))
            file.reset();
        return QFileInfo(path).fileName();
    };
    std::unique_ptr<QFile> mb;
    std::unique_ptr<QFile> px;
    const QString mbName = companion(u"mb"_s, mb);
    const QString pxName = companion(u"px"_s, px);
    TableCheck check;
    check.table = base;
    ProblemList problems(check);
    if (checkFiles(problems, db, info.fileName(), std::move(mb), mbName, px.get(), pxName))
        checkSecondaryIndexes(problems, dbPath);
    problems.finish();
    return check;
}

std::vector<TableCheck> checkFolder(const QString& folder, const QString& table)
{
    std::vector<TableCheck> checks;
    if (!table.isEmpty()) {
        const QString path = findTableFile(folder, table);
        if (!path.isEmpty())
            checks.push_back(checkTable(path));
        return checks;
    }
    const QDir dir(folder);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const QFileInfo info(dir.filePath(file));
        if (info.suffix().compare(u"db"_s, Qt::CaseInsensitive) == 0) {
            checks.push_back(checkTable(info.filePath()));
        } else if (isCompanionSuffix(info.suffix())
            && findFileIgnoringCase(folder, info.completeBaseName() + u".db"_s).isEmpty()) {
            TableCheck orphan;
            orphan.table = file;
            orphan.problems.push_back({ file, QString(),
                u"belongs to table %1, whose .db file is missing"_s.arg(info.completeBaseName()) });
            checks.push_back(std::move(orphan));
        }
    }
    return checks;
}

} // namespace paradox
