// Writes a new unkeyed table: the .DB header (new_table_layout.cpp), records packed into full
// blocks chained in order (block_file.h) and, for memo and blob values longer than their
// leader, the .MB file (memo_writer.h).

#include "data/paradox/write/table_writer.h"

#include "data/paradox/format/byte_writer.h"
#include "data/paradox/format/field_decode.h"
#include "data/paradox/format/header.h"
#include "data/paradox/format/table.h"
#include "data/paradox/io/table_family.h"
#include "data/paradox/read/block_file.h"
#include "data/paradox/write/field_encode.h"
#include "data/paradox/write/memo_writer.h"
#include "data/paradox/write/new_table_layout.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <optional>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

class ParadoxTableWriter : public TableWriter
{
public:
    ParadoxTableWriter(const NewTable& table, writer::NewTableLayout layout)
        : m_table(table)
        , m_layout(std::move(layout))
        , m_record(static_cast<std::size_t>(m_layout.recordSize))
        , m_blobs(m_layout.fields.size())
        , m_autoIncrement(table.autoIncrementNext)
    { }

    bool open(QString* error)
    {
        if (!m_db.create(m_table.folder, m_table.name, u"DB"_s, error))
            return false;
        m_blocks.emplace(m_db, m_table.name, m_layout.header, m_layout.blockSize, m_layout.recordSize, 0);
        const bool hasBlobs = std::any_of(m_layout.fields.begin(), m_layout.fields.end(),
            [](const Field& f) { return isBlobType(f.type); });
        if (hasBlobs) {
            m_mb = std::make_unique<writer::TemporaryFile>();
            if (!m_mb->create(m_table.folder, m_table.name, u"MB"_s, error))
                return false;
            m_memos = std::make_unique<writer::MemoWriter>(*m_mb);
        }
        return true;
    }

    bool append(const Row& row, QString* error) override
    {
        QString ignored;
        QString& message = error ? *error : ignored;
        if (const QString refusal = appendRefusal(row); !refusal.isEmpty()) {
            message = refusal;
            return false;
        }
        if (!encodeRecord(row, &message))
            return false;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const Field& field = m_layout.fields[i];
            if (isBlobType(field.type)
                && !placeBlob(field, m_blobs[i], m_record.data() + m_layout.offsets[i]))
                return fail(&message);
            if (field.type == FieldType::Autoincrement && !isNull(row[i]))
                m_autoIncrement = std::max(m_autoIncrement, std::get<std::int32_t>(row[i]));
        }
        if (!m_blocks->append(reinterpret_cast<const unsigned char*>(m_record.data()), &m_failure))
            return fail(&message);
        return true;
    }

    bool commit(const QString& backupFolder, QString* error) override
    {
        QString ignored;
        QString& message = error ? *error : ignored;
        if (m_isCommitted) {
            message = u"table %1 is already committed"_s.arg(m_table.name);
            return false;
        }
        if (!m_failure.isEmpty()) {
            message = m_failure;
            return false;
        }
        putU32(m_blocks->header().data() + dbHeader::kAutoIncrement,
            static_cast<std::uint32_t>(m_autoIncrement));
        if (!m_blocks->finish(&m_failure) || (m_memos && !m_memos->finish(&m_failure))
            || !m_db.finish(&m_failure) || (m_mb && !m_mb->finish(&m_failure)))
            return fail(&message);
        std::vector<writer::TemporaryFile*> files { &m_db };
        if (m_mb)
            files.push_back(m_mb.get());
        if (!writer::placeFamily(m_table.folder, m_table.name, files, backupFolder, &m_failure))
            return fail(&message);
        m_isCommitted = true;
        return true;
    }

private:
    bool fail(QString* message)
    {
        *message = m_failure;
        return false;
    }

    // Why no record can be appended now; empty when one can.
    QString appendRefusal(const Row& row) const
    {
        if (!m_failure.isEmpty())
            return m_failure;
        if (m_isCommitted)
            return u"table %1 is already committed"_s.arg(m_table.name);
        if (row.size() != m_layout.fields.size())
            return u"%1: record %2 has %3 values, but the table has %4 fields"_s.arg(m_table.name)
                .arg(m_blocks->recordCount() + 1)
                .arg(row.size())
                .arg(m_layout.fields.size());
        // Block numbers are 16 bits; the record count (32 bits) cannot run out before them.
        if (m_blocks->recordCount() == std::int64_t { kMaxBlockNumber } * m_layout.recordsPerBlock)
            return u"%1: table is full (%2 blocks)"_s.arg(m_table.name).arg(kMaxBlockNumber);
        return QString();
    }

    // Checks and encodes every value into m_record (memo and blob contents into m_blobs)
    // before anything reaches the files, so that a value that cannot be stored leaves no trace.
    bool encodeRecord(const Row& row, QString* message)
    {
        for (std::size_t i = 0; i < row.size(); ++i) {
            const Field& field = m_layout.fields[i];
            QString problem;
            bool isStorable = true;
            if (isBlobType(field.type)) {
                auto content = writer::blobContent(field, row[i], m_table.codePage, &problem);
                isStorable = content.has_value();
                if (isStorable)
                    m_blobs[i] = std::move(*content);
            } else {
                isStorable = writer::encodeFixedField(
                    field, row[i], m_table.codePage, m_record.data() + m_layout.offsets[i], &problem);
            }
            if (!isStorable) {
                *message = u"%1: record %2, field %3: %4"_s.arg(m_table.name)
                               .arg(m_blocks->recordCount() + 1)
                               .arg(field.name, problem);
                return false;
            }
        }
        return true;
    }

    // Fills the leader and the .MB pointer of a memo or blob field.
    bool placeBlob(const Field& field, const QByteArray& content, char* slot)
    {
        BlobPointer pointer;
        if (content.size() > field.size - kBlobPointerSize) {
            pointer.modification = writer::MemoWriter::modificationNumber();
            const auto stored = m_memos->store(content, pointer.modification, &m_failure);
            if (!stored)
                return false;
            pointer.offset = *stored;
        }
        writer::putBlobField(field, content, pointer, slot);
        return true;
    }

    NewTable m_table;
    writer::NewTableLayout m_layout;
    writer::TemporaryFile m_db;
    std::optional<PackedBlockWriter> m_blocks; // over m_db, once it is created
    std::unique_ptr<writer::TemporaryFile> m_mb;
    std::unique_ptr<writer::MemoWriter> m_memos;
    std::vector<char> m_record;
    std::vector<QByteArray> m_blobs;
    std::int32_t m_autoIncrement = 0;
    QString m_failure; // set once a file could not be written: the writer is then useless
    bool m_isCommitted = false;
};

} // namespace

std::unique_ptr<TableWriter> createTable(const NewTable& table, QString* error)
{
    QString ignored;
    QString& message = error ? *error : ignored;
    if (!QFileInfo(table.folder).isDir()) {
        message = u"cannot create table %1: folder %2 does not exist"_s.arg(
            table.name, QDir::toNativeSeparators(table.folder));
        return nullptr;
    }
    auto layout = writer::planNewTable(table, &message);
    if (!layout)
        return nullptr;
    auto writer = std::make_unique<ParadoxTableWriter>(table, std::move(*layout));
    if (!writer->open(&message))
        return nullptr;
    return writer;
}

} // namespace paradox
