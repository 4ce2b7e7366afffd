// The salvage reader: the chain walked by TolerantChain, each record decoded on its own, so
// that one bad record or memo value costs only itself.

#include "data/paradox/read/table_salvage.h"

#include "data/paradox/io/find_table.h"
#include "data/paradox/read/memo_file.h"
#include "data/paradox/read/tolerant_chain.h"

#include <QFile>
#include <QFileInfo>
#include <new>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

class BlockSalvageReader final : public SalvageReader
{
public:
    BlockSalvageReader(TableHeader header, int lastBlock, std::unique_ptr<QFile> db, const QString& dbName)
        : m_header(std::move(header))
        , m_lastBlock(lastBlock)
        , m_db(std::move(db))
        , m_dbName(dbName)
        , m_text(*textCodecFor(m_header.info.codePage)) // checked by decodeHeader
        , m_chain(*m_db, m_header,
              [this](const QString& where, const QString& what) { note(m_dbName, where, what); })
    { }

    void openMemo(std::unique_ptr<QFile> mb, const QString& mbName)
    {
        m_mbName = mbName;
        if (!m_header.hasBlobFields)
            return;
        if (!mb) {
            note(mbName, QString(), u"is missing: memo and blob values are marked as missing"_s);
            return;
        }
        try {
            m_memo.emplace(std::move(mb), mbName, m_header.encryptionKey);
        } catch (const FormatError& error) {
            note(mbName, QString(), error.what + u": memo and blob values are marked as missing"_s);
        }
    }

    const TableInfo& info() const override { return m_header.info; }

    bool readNext(Row& row, std::vector<bool>& isMissing) override
    {
        while (true) {
            while (m_nextInBlock >= m_chain.recordCount()) {
                if (m_isFinished)
                    return false;
                m_blockStart = m_chain.recordsClaimed();
                if (!m_chain.next()) {
                    m_chain.finish(m_lastBlock);
                    m_isFinished = true;
                    return false;
                }
                m_nextInBlock = 0;
            }
            const int index = m_nextInBlock++;
            if (decodeRecord(m_chain.record(index), m_blockStart + index, row, isMissing))
                return true;
        }
    }

    std::vector<TableProblem> takeProblems() override { return std::exchange(m_problems, {}); }

private:
    void note(const QString& file, const QString& where, const QString& what)
    {
        m_problems.push_back({ file, where, what });
    }

    bool decodeRecord(
        const unsigned char* bytes, std::int64_t position, Row& row, std::vector<bool>& isMissing)
    {
        const ByteReader record(bytes, m_header.recordSize, m_dbName);
        const std::vector<Field>& fields = m_header.info.fields;
        row.resize(fields.size());
        isMissing.assign(fields.size(), false);
        const QString where = u"record %1 (block %2)"_s.arg(position + 1).arg(m_chain.blockNumber());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            try {
                if (isBlobType(fields[i].type))
                    isMissing[i] = !decodeBlob(fields[i], bytes + m_header.fieldOffsets[i], row[i], where);
                else
                    decodePlainField(fields[i], record, m_header.fieldOffsets[i], m_text, row[i]);
            } catch (const FormatError& error) {
                note(m_dbName, where,
                    u"field \"%1\": %2; the record is left out"_s.arg(fields[i].name, error.what));
                return false;
            }
        }
        return true;
    }

    // False when the value cannot be read; then `out` is null.
    bool decodeBlob(const Field& field, const unsigned char* bytes, Value& out, const QString& where)
    {
        out = Null {};
        const int leader = field.size - kBlobPointerSize;
        const BlobPointer pointer = decodeBlobPointer(bytes + leader);
        if (pointer.length == 0)
            return true;
        QByteArrayView value;
        if (pointer.offset == 0) {
            if (pointer.length > static_cast<std::uint32_t>(leader)) {
                note(m_dbName, where,
                    u"field \"%1\" gives a value of %2 bytes that is nowhere"_s.arg(field.name)
                        .arg(pointer.length));
                return false;
            }
            value = QByteArrayView(bytes, pointer.length);
        } else {
            if (!m_memo)
                return false; // said once, when the memo file was opened
            try {
                value = m_memo->read(pointer);
            } catch (const FormatError& error) {
                note(m_mbName, where, u"field \"%1\": %2"_s.arg(field.name, error.what));
                return false;
            }
        }
        assignBlobValue(out, field, value, m_text);
        return true;
    }

    TableHeader m_header;
    int m_lastBlock = 0;
    std::unique_ptr<QFile> m_db;
    QString m_dbName;
    QString m_mbName;
    const TextCodec& m_text;
    std::optional<MemoFile> m_memo;
    std::vector<TableProblem> m_problems;
    TolerantChain m_chain;
    std::int64_t m_blockStart = 0;
    int m_nextInBlock = 0;
    bool m_isFinished = false;
};

} // namespace

std::unique_ptr<SalvageReader> openTableForSalvage(const QString& dbPath, QString* error)
{
    const QFileInfo info(dbPath);
    const QString dbName = info.fileName();
    try {
        auto db = std::make_unique<QFile>();
        openForReading(*db, dbPath, dbName);
        const QByteArray bytes = readHeaderBytes(*db, dbName);
        const ByteReader reader(
            reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(), dbName);
        TableHeader header = decodeHeaderOfDamagedFile(reader, db->size());
        header.info.path = dbPath;
        const int lastBlock = reader.u16(dbHeader::kLastBlock, "last block");
        auto salvage
            = std::make_unique<BlockSalvageReader>(std::move(header), lastBlock, std::move(db), dbName);
        const QString mbExpected = info.completeBaseName() + u".mb"_s;
        const QString mbPath = findFileIgnoringCase(info.absolutePath(), mbExpected);
        std::unique_ptr<QFile> mb;
        if (!mbPath.isEmpty()) {
            mb = std::make_unique<QFile>(mbPath);
            if (!mb->open(QIODevice::ReadOnly))
                mb.reset();
        }
        salvage->openMemo(std::move(mb), mbPath.isEmpty() ? mbExpected : QFileInfo(mbPath).fileName());
        return salvage;
    } catch (const FormatError& failure) {
        if (error)
            *error = failure.message();
    } catch (const std::bad_alloc&) {
        if (error)
            *error = u"%1: not enough memory to open the table"_s.arg(dbName);
    }
    return nullptr;
}

} // namespace paradox
