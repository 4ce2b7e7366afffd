// Streams the records of a .db file: the header once, then one data block at a time along
// the block chain, decoding each record on request. Memory stays at one block (plus one
// .mb block and the largest memo value) whatever the table's size.

#include "data/paradox/read/table_reader.h"

#include "data/paradox/format/data_block.h"
#include "data/paradox/format/encryption.h"
#include "data/paradox/format/field_decode.h"
#include "data/paradox/format/header.h"
#include "data/paradox/io/find_table.h"
#include "data/paradox/io/format_error.h"
#include "data/paradox/io/regular_file.h"
#include "data/paradox/read/memo_file.h"

#include <QFile>
#include <QFileInfo>
#include <new>
#include <optional>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

TableHeader readHeader(QIODevice& db, const QString& dbName)
{
    const QByteArray bytes = readHeaderBytes(db, dbName);
    const ByteReader header(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(), dbName);
    return decodeHeader(header, db.size());
}

class BlockTableReader final : public TableReader
{
public:
    BlockTableReader(TableHeader header, std::unique_ptr<QIODevice> db, const QString& dbName,
        std::optional<MemoFile> memo)
        : m_header(std::move(header))
        , m_fileName(dbName)
        , m_db(std::move(db))
        , m_memo(std::move(memo))
        , m_text(*textCodecFor(m_header.info.codePage)) // checked by decodeHeader
        , m_chain(m_fileName, m_header.layout())
    { }

    const TableInfo& info() const override { return m_header.info; }
    const QString& error() const override { return m_error; }

    bool readNext(Row& row) override
    {
        return readRecord([&](const ByteReader& record) {
            row.resize(m_header.info.fields.size());
            for (std::size_t i = 0; i < row.size(); ++i)
                decodeField(record, i, row[i]);
        });
    }

    bool readNextField(std::size_t index, Value& value) override
    {
        if (index >= m_header.info.fields.size()) {
            m_error = u"%1: the table has no field number %2"_s.arg(m_fileName).arg(index + 1);
            m_isFinished = true;
            return false;
        }
        return readRecord([&](const ByteReader& record) { decodeField(record, index, value); });
    }

private:
    // Moves to the next record, loading blocks as needed; false at the clean end.
    bool nextRecord()
    {
        while (m_nextInBlock >= m_recordsInBlock) {
            if (m_hasBlock)
                m_chain.advance();
            if (m_chain.current() == 0) {
                m_isFinished = true;
                return false;
            }
            loadBlock(m_chain.current());
        }
        ++m_recordsRead;
        return true;
    }

    void loadBlock(int number)
    {
        const std::int64_t offset = m_header.layout().blockOffset(number);
        m_blockBytes.resize(m_header.blockSize);
        if (!m_db->seek(offset) || m_db->read(m_blockBytes.data(), m_header.blockSize) != m_header.blockSize)
            throw FormatError { m_fileName, offset,
                u"cannot read data block %1 at byte %2"_s.arg(number).arg(offset) };
        if (m_header.encryptionKey != 0)
            crypt::decryptBlock(m_header.encryptionKey, number,
                reinterpret_cast<unsigned char*>(m_blockBytes.data()), m_header.blockSize);
        const ByteReader block(reinterpret_cast<const unsigned char*>(m_blockBytes.constData()),
            m_blockBytes.size(), m_fileName, offset);
        m_recordsInBlock = m_chain.enter(block).recordCount;
        m_hasBlock = true;
        m_blockNumber = number;
        m_nextInBlock = 0;
    }

    // Moves to the next record and hands decode the bytes of it.
    template <typename Decode> bool readRecord(Decode decode)
    {
        if (m_isFinished)
            return false;
        try {
            if (!nextRecord())
                return false;
            const std::int64_t blockStart = m_header.layout().blockOffset(m_blockNumber);
            const std::int64_t inBlock
                = kBlockHeaderSize + std::int64_t { m_nextInBlock } * m_header.recordSize;
            ++m_nextInBlock;
            const ByteReader block(reinterpret_cast<const unsigned char*>(m_blockBytes.constData()),
                m_blockBytes.size(), m_fileName, blockStart);
            decode(block.sub(inBlock, m_header.recordSize, "record"));
            return true;
        } catch (const FormatError& error) {
            m_error = withProtectionNote(error.message(), m_header.encryptionKey);
        } catch (const std::bad_alloc&) {
            m_error = u"%1: not enough memory to read record %2"_s.arg(m_fileName).arg(m_recordsRead);
        }
        m_isFinished = true;
        return false;
    }

    void decodeField(const ByteReader& record, std::size_t index, Value& out)
    {
        const Field& field = m_header.info.fields[index];
        if (isBlobType(field.type))
            decodeBlobField(field, record, m_header.fieldOffsets[index], out);
        else
            decodePlainField(field, record, m_header.fieldOffsets[index], m_text, out);
    }

    void decodeBlobField(const Field& field, const ByteReader& record, int offset, Value& out)
    {
        const int leader = field.size - kBlobPointerSize;
        const unsigned char* bytes = record.bytes(offset, field.size, "memo field");
        const BlobPointer pointer = decodeBlobPointer(bytes + leader);
        // A length of 0 is a blank memo, whatever else the field holds.
        if (pointer.length == 0) {
            out = Null {};
            return;
        }
        QByteArrayView value;
        if (pointer.offset == 0) {
            if (pointer.length > static_cast<std::uint32_t>(leader))
                record.fail(offset + leader,
                    u"field \"%1\" has a value of %2 bytes that is neither in the memo file nor in the field's %3 bytes"_s
                        .arg(field.name)
                        .arg(pointer.length)
                        .arg(leader));
            value = QByteArrayView(bytes, pointer.length);
        } else {
            if (!m_memo)
                record.fail(offset + leader,
                    u"field \"%1\" points into a memo file the table does not have"_s.arg(field.name));
            value = m_memo->read(pointer);
        }
        assignBlobValue(out, field, value, m_text);
    }

    TableHeader m_header;
    QString m_fileName;
    std::unique_ptr<QIODevice> m_db;
    std::optional<MemoFile> m_memo;
    const TextCodec& m_text;
    BlockChain m_chain;
    QByteArray m_blockBytes;
    int m_recordsInBlock = 0;
    bool m_hasBlock = false;
    int m_blockNumber = 0;
    int m_nextInBlock = 0;
    std::int64_t m_recordsRead = 0;
    bool m_isFinished = false;
    QString m_error;
};

} // namespace

std::unique_ptr<TableReader> openTableFromDevices(std::unique_ptr<QIODevice> db, const QString& dbPath,
    const QString& dbName, std::unique_ptr<QIODevice> mb, const QString& mbName, QString* error)
{
    std::uint32_t encryptionKey = 0;
    try {
        TableHeader header = readHeader(*db, dbName);
        header.info.path = dbPath;
        encryptionKey = header.encryptionKey;
        std::optional<MemoFile> memo;
        if (header.hasBlobFields) {
            if (!mb)
                throw FormatError { dbName, -1,
                    u"the table has memo or blob fields, but its memo file %1 is missing"_s.arg(mbName) };
            memo.emplace(std::move(mb), mbName, header.encryptionKey);
        }
        return std::make_unique<BlockTableReader>(std::move(header), std::move(db), dbName, std::move(memo));
    } catch (const FormatError& failure) {
        if (error)
            *error = withProtectionNote(failure.message(), encryptionKey);
    } catch (const std::bad_alloc&) {
        if (error)
            *error = u"%1: not enough memory to open the table"_s.arg(dbName);
    }
    return nullptr;
}

std::unique_ptr<TableReader> openTable(const QString& dbPath, QString* error)
{
    const QFileInfo dbInfo(dbPath);
    const QString dbName = dbInfo.fileName();
    auto db = std::make_unique<QFile>();
    QString problem;
    if (!openRegularFile(*db, dbPath, &problem)) {
        if (error)
            *error = problem;
        return nullptr;
    }
    const QString mbExpected = dbInfo.completeBaseName() + u".mb"_s;
    const QString mbPath = findFileIgnoringCase(dbInfo.absolutePath(), mbExpected);
    std::unique_ptr<QFile> mb;
    if (!mbPath.isEmpty()) {
        mb = std::make_unique<QFile>();
        if (!openRegularFile(*mb, mbPath, &problem)) {
            if (error)
                *error = problem;
            return nullptr;
        }
    }
    const QString mbName = mbPath.isEmpty() ? mbExpected : QFileInfo(mbPath).fileName();
    return openTableFromDevices(std::move(db), dbPath, dbName, std::move(mb), mbName, error);
}

} // namespace paradox
