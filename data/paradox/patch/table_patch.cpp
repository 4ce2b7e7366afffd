// A table patch: the changes are checked and encoded as they come and kept as field bytes;
// written, they are sorted by record and go into a copy of the .DB (db_copy.h), memo values
// into a copy of the .MB (memo_patch.h).

#include "data/paradox/patch/table_patch.h"

#include "data/paradox/format/header.h"
#include "data/paradox/io/find_table.h"
#include "data/paradox/patch/db_copy.h"
#include "data/paradox/patch/memo_patch.h"
#include "data/paradox/write/field_encode.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

constexpr int kLargestField = 255;

class Patch final : public TablePatch
{
public:
    Patch(const QString& dbPath, std::unique_ptr<SourceFile> db, TableHeader header, const QString& mbPath)
        : m_header(std::move(header))
        , m_dbName(QFileInfo(dbPath).fileName())
        , m_folder(QFileInfo(dbPath).absolutePath())
        , m_name(QFileInfo(dbPath).completeBaseName())
        , m_db(std::move(db))
        , m_memo(mbPath, m_folder, m_name, m_header.encryptionKey)
    {
        m_header.info.path = dbPath;
    }

    const TableInfo& info() const override { return m_header.info; }
    void followDbCopy(writer::TemporaryFile::Follower follower) override { m_follower = std::move(follower); }
    QString temporaryDbPath() const override { return m_dbCopy ? m_dbCopy->path() : QString(); }
    QString temporaryMbPath() const override { return m_memo.temporaryPath(); }
    std::vector<std::pair<std::uint64_t, QByteArray>> memoLaterWrites() const override
    {
        return m_memo.laterWrites();
    }

    void release() override
    {
        if (m_dbCopy)
            m_dbCopy->markPlaced();
        if (m_memo.temporaryFile())
            m_memo.temporaryFile()->markPlaced();
    }

    void discard() override
    {
        m_dbCopy.reset();
        m_memo.discard();
    }

    bool change(std::int64_t record, int field, const Value& value, QString* error) override
    {
        QString ignored;
        error = error ? error : &ignored;
        if (isClosed(error))
            return false;
        PendingChange pending;
        if (!encode(record, field, value, &pending, error))
            return fail(*error, error);
        m_changes.push_back(pending);
        return true;
    }

    bool write(QString* error) override
    {
        QString ignored;
        error = error ? error : &ignored;
        if (isClosed(error))
            return false;
        QString failure;
        ListedChanges changes(m_changes);
        return (orderChanges(&failure) && writeWith(changes, &failure)) || fail(failure, error);
    }

    bool write(std::int64_t count, ChangeSource& source, QString* error) override
    {
        QString ignored;
        error = error ? error : &ignored;
        if (isClosed(error))
            return false;
        if (!m_changes.empty())
            return fail(u"%1: the patch was given changes one by one already"_s.arg(m_dbName), error);
        StreamedChanges changes(*this, count, source);
        QString failure;
        try {
            return writeWith(changes, &failure) || fail(failure, error);
        } catch (...) {
            fail(u"%1: the changes could not be read"_s.arg(m_dbName), error);
            throw;
        }
    }

private:
    class ListedChanges final : public ChangeFeed
    {
    public:
        explicit ListedChanges(const std::vector<PendingChange>& changes)
            : m_changes(changes)
        { }
        std::int64_t count() const override { return static_cast<std::int64_t>(m_changes.size()); }
        bool next(const PendingChange** change, QString*) override
        {
            *change = m_next < m_changes.size() ? &m_changes[m_next++] : nullptr;
            return true;
        }

    private:
        const std::vector<PendingChange>& m_changes;
        std::size_t m_next = 0;
    };

    // Each change encoded when the copy asks for it; the patch's byte buffer holds that one.
    class StreamedChanges final : public ChangeFeed
    {
    public:
        StreamedChanges(Patch& patch, std::int64_t count, ChangeSource& source)
            : m_patch(patch)
            , m_count(count)
            , m_source(source)
        { }
        std::int64_t count() const override { return m_count; }
        bool next(const PendingChange** change, QString* error) override
        {
            *change = nullptr;
            m_patch.m_bytes.clear();
            std::int64_t record = 0;
            int field = 0;
            if (!m_source.next(&record, &field, &m_value))
                return true;
            if (m_hasCurrent
                && (record < m_current.record || (record == m_current.record && field <= m_current.field))) {
                *error = record == m_current.record && field == m_current.field
                    ? m_patch.changedTwice(m_current)
                    : u"%1: record %2 comes after record %3; the changes are not in record order"_s
                          .arg(m_patch.m_dbName)
                          .arg(record + 1)
                          .arg(m_current.record + 1);
                return false;
            }
            if (!m_patch.encode(record, field, m_value, &m_current, error))
                return false;
            m_hasCurrent = true;
            *change = &m_current;
            return true;
        }

    private:
        Patch& m_patch;
        std::int64_t m_count;
        ChangeSource& m_source;
        Value m_value;
        PendingChange m_current;
        bool m_hasCurrent = false;
    };

    int codePage() const { return m_header.info.codePage; }

    // Checks and encodes a change: its field bytes go to the end of m_bytes. False with
    // *error naming the table, the record and the field.
    bool encode(std::int64_t record, int field, const Value& value, PendingChange* pending, QString* error)
    {
        const std::vector<Field>& fields = m_header.info.fields;
        if (record < 0 || record >= m_header.info.recordCount) {
            *error = u"%1: there is no record %2; the table has %3"_s.arg(m_dbName)
                         .arg(record + 1)
                         .arg(m_header.info.recordCount);
            return false;
        }
        if (field < 0 || static_cast<std::size_t>(field) >= fields.size()) {
            *error = u"%1: there is no field %2; the table has %3"_s.arg(m_dbName).arg(field + 1).arg(
                fields.size());
            return false;
        }
        const Field& target = fields[static_cast<std::size_t>(field)];
        char slot[kLargestField] = {};
        QString problem;
        bool isStored = false;
        try {
            isStored = isBlobType(target.type)
                ? encodeBlob(target, value, slot, &problem)
                : writer::encodeFixedField(target, value, codePage(), slot, &problem);
        } catch (const FormatError& failure) {
            problem = failure.message();
        } catch (const std::bad_alloc&) {
            problem = u"not enough memory for the value"_s;
        }
        if (!isStored) {
            *error = u"%1: record %2, field %3: %4"_s.arg(m_dbName).arg(record + 1).arg(target.name, problem);
            return false;
        }
        int length = fieldWidth(target);
        while (length > 0 && slot[length - 1] == 0)
            --length;
        if (m_bytes.size() + static_cast<std::size_t>(length) > std::numeric_limits<std::uint32_t>::max()) {
            *error = u"%1: too many changes for one patch"_s.arg(m_dbName);
            return false;
        }
        pending->record = record;
        pending->bytesAt = static_cast<std::uint32_t>(m_bytes.size());
        pending->field = static_cast<std::uint16_t>(field);
        pending->length = static_cast<std::uint16_t>(length);
        m_bytes.insert(m_bytes.end(), slot, slot + length);
        return true;
    }

    QString changedTwice(const PendingChange& change) const
    {
        return u"%1: record %2, field %3 is changed twice"_s.arg(m_dbName)
            .arg(change.record + 1)
            .arg(m_header.info.fields[change.field].name);
    }

    bool writeWith(ChangeFeed& changes, QString* failure)
    {
        try {
            if (copyTable(changes, failure) && m_memo.finish(failure) && m_dbCopy->finish(failure)) {
                m_isWritten = true;
                return true;
            }
        } catch (const FormatError& format) {
            *failure = withProtectionNote(format.message(), m_header.encryptionKey);
        } catch (const std::bad_alloc&) {
            *failure = u"%1: not enough memory to write the changes"_s.arg(m_dbName);
        }
        return false;
    }

    bool isClosed(QString* error) const
    {
        if (!m_failure.isEmpty())
            *error = m_failure;
        else if (m_isWritten)
            *error = u"%1: the patch is already written"_s.arg(m_dbName);
        return !m_failure.isEmpty() || m_isWritten;
    }

    // A failed patch leaves nothing behind and refuses everything after.
    bool fail(const QString& message, QString* error)
    {
        m_failure = message;
        *error = message;
        discard();
        m_changes = {};
        m_bytes = {};
        return false;
    }

    // The leader and pointer of a memo or blob field. A value that fits the leader lives
    // there alone, with no .MB offset, as the writer stores it.
    bool encodeBlob(const Field& field, const Value& value, char* slot, QString* problem)
    {
        const auto content = writer::blobContent(field, value, codePage(), problem);
        if (!content)
            return false;
        BlobPointer pointer;
        if (content->size() > field.size - kBlobPointerSize) {
            const auto inMemoFile = m_memo.store(*content, problem);
            if (!inMemoFile)
                return false;
            pointer = *inMemoFile;
        }
        writer::putBlobField(field, *content, pointer, slot);
        return true;
    }

    bool orderChanges(QString* error)
    {
        const auto slotOrder = [](const PendingChange& a, const PendingChange& b) {
            return a.record != b.record ? a.record < b.record : a.field < b.field;
        };
        std::sort(m_changes.begin(), m_changes.end(), slotOrder);
        const auto twice = std::adjacent_find(
            m_changes.begin(), m_changes.end(), [](const PendingChange& a, const PendingChange& b) {
                return a.record == b.record && a.field == b.field;
            });
        if (twice == m_changes.end())
            return true;
        *error = changedTwice(*twice);
        return false;
    }

    bool copyTable(ChangeFeed& changes, QString* error)
    {
        m_dbCopy = std::make_unique<writer::TemporaryFile>();
        if (!m_dbCopy->create(m_folder, m_name, u"DB"_s, error))
            return false;
        if (m_follower)
            m_dbCopy->follow([this](std::int64_t end, const char* data, std::size_t size) {
                if (m_follower) // the follower may have gone since
                    m_follower(end, data, size);
            });
        const ApplyChange apply = [this](const PendingChange& change, char* slot, QString* failure) {
            const Field& field = m_header.info.fields[change.field];
            if (isBlobType(field.type)) {
                const BlobPointer old = decodeBlobPointer(
                    reinterpret_cast<const unsigned char*>(slot) + field.size - kBlobPointerSize);
                if (old.offset != 0 && old.length != 0 && !m_memo.release(old, failure))
                    return false;
            }
            std::memset(slot, 0, static_cast<std::size_t>(fieldWidth(field)));
            // A blank value has no bytes, and perhaps no buffer to take them from.
            if (change.length > 0)
                std::memcpy(slot, m_bytes.data() + change.bytesAt, change.length);
            return true;
        };
        return writeDbCopy(m_header, *m_db, m_dbName, *m_dbCopy, changes, apply, error);
    }

    TableHeader m_header;
    QString m_dbName;
    QString m_folder;
    QString m_name;
    std::unique_ptr<SourceFile> m_db;
    MemoPatch m_memo;
    std::vector<PendingChange> m_changes;
    std::vector<char> m_bytes;
    std::unique_ptr<writer::TemporaryFile> m_dbCopy;
    writer::TemporaryFile::Follower m_follower;
    QString m_failure;
    bool m_isWritten = false;
};

TableHeader readHeader(const SourceFile& db, const QString& dbName)
{
    QByteArray bytes(
        static_cast<qsizetype>(std::min(db.size(), dbHeader::kLargestHeader)), Qt::Uninitialized);
    db.readAt(0, bytes.data(), bytes.size(), dbName);
    const ByteReader header(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(), dbName);
    TableHeader result = decodeHeader(header, db.size());
    if (header.u8(dbHeader::kWriteProtected, "write protection") != 0)
        header.fail(
            dbHeader::kWriteProtected, u"the table is marked write-protected, so it is not changed"_s);
    return result;
}

} // namespace

std::unique_ptr<TablePatch> openTablePatch(const QString& dbPath, QString* error)
{
    const QFileInfo dbInfo(dbPath);
    const QString dbName = dbInfo.fileName();
    QString ignored;
    error = error ? error : &ignored;
    try {
        auto db = std::make_unique<SourceFile>();
        if (!db->open(dbPath, error))
            return nullptr;
        TableHeader header = readHeader(*db, dbName);
        const QString mbName = dbInfo.completeBaseName() + u".mb"_s;
        const QString mbPath = findFileIgnoringCase(dbInfo.absolutePath(), mbName);
        if (header.hasBlobFields && mbPath.isEmpty())
            throw FormatError { dbName, -1,
                u"the table has memo or blob fields, but its memo file %1 is missing"_s.arg(mbName) };
        return std::make_unique<Patch>(dbPath, std::move(db), std::move(header), mbPath);
    } catch (const FormatError& failure) {
        *error = failure.message();
    } catch (const std::bad_alloc&) {
        *error = u"%1: not enough memory to open the table"_s.arg(dbName);
    }
    return nullptr;
}

} // namespace paradox
