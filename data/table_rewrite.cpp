#include "data/table_rewrite.h"

#include "core/error_report.h"
#include "data/digests/trailing_digest.h"
#include "data/paradox/io/file_faults.h"
#include "data/paradox/io/find_table.h"
#include "data/paradox/patch/keyed_rewrite.h"
#include "data/paradox/patch/table_patch.h"
#include "data/prefetched_changes.h"
#include "data/safety/safe_files.h"
#include "data/workdb/work_values.h"

#include <QFileInfo>

#include <optional>

using namespace Qt::StringLiterals;

namespace data {

struct TableRewrite::Owner
{
    std::unique_ptr<paradox::TablePatch> patch;
    paradox::KeyedRewrite keyed;
};

namespace {

// The stored value of a changed record as a value of its field. The update stored only what
// the field can hold, so a failure here means the work table is not what the run left.
paradox::Value fieldValue(
    sqlite3_value* stored, const paradox::Field& field, int codePage, std::int64_t record)
{
    QString problem;
    std::optional<paradox::Value> value
        = paradox::valueFromText(field, storedText(stored), codePage, &problem);
    if (!value)
        throw core::Error(
            u"Record %1, field %2: %3. Nothing was written."_s.arg(record + 1).arg(field.name, problem));
    return std::move(*value);
}

class StoredChanges final : public paradox::TablePatch::ChangeSource
{
public:
    StoredChanges(std::unique_ptr<WorkTable::ChangeReader> reader, int field, const paradox::Field& described,
        int codePage)
        : m_reader(std::move(reader))
        , m_field(field)
        , m_described(described)
        , m_codePage(codePage)
    { }
    bool next(std::int64_t* record, int* field, paradox::Value* value) override
    {
        if (!m_reader->next())
            return false;
        *record = m_reader->record();
        *field = m_field;
        *value = fieldValue(m_reader->value(), m_described, m_codePage, *record);
        ++m_delivered;
        return true;
    }
    std::int64_t delivered() const { return m_delivered; }

private:
    std::unique_ptr<WorkTable::ChangeReader> m_reader;
    int m_field;
    const paradox::Field& m_described;
    int m_codePage;
    std::int64_t m_delivered = 0;
};

// The digest of the new .DB, worked out beside the patch while it writes the copy from its
// start to its end, which is how it writes a copy with changes in most blocks: the backup
// need not read the whole file again after it. Unknown when the copy is written otherwise.
class FollowedDigest
{
public:
    explicit FollowedDigest(paradox::TablePatch& patch)
        : m_patch(patch)
    {
        patch.followDbCopy([this](std::int64_t end, const char* data, std::size_t size) {
            if (end < 0)
                m_isLost = true;
            else if (!m_isLost && !m_digest)
                m_digest.emplace();
            if (m_digest && !m_isLost)
                m_digest->add(data, size);
        });
    }
    ~FollowedDigest() { m_patch.followDbCopy({}); }
    FollowedDigest(const FollowedDigest&) = delete;
    FollowedDigest& operator=(const FollowedDigest&) = delete;

    // The digest when every write was followed (the file then holds just their bytes); else empty.
    QByteArray finish() { return m_digest && !m_isLost ? m_digest->finish() : QByteArray(); }

private:
    paradox::TablePatch& m_patch;
    std::optional<TrailingDigest> m_digest;
    bool m_isLost = false;
};

// The table's .mb beside its .db, found as the reader and the patch find it.
QString memoFileOf(const QString& dbPath)
{
    const QFileInfo db(dbPath);
    return paradox::findFileIgnoringCase(db.absolutePath(), db.completeBaseName() + u".mb"_s);
}

} // namespace

TableRewrite::TableRewrite(const QString& dbPath, const paradox::TableInfo& info, int field, WorkTable& work,
    int column, const std::function<void()>& beforeWriting)
    : m_owner(std::make_unique<Owner>())
{
    const paradox::Field& described = info.fields.at(static_cast<std::size_t>(field));
    const paradox::RebuildPlan plan = paradox::planFieldChange(dbPath, field);
    if (!plan.refusal.isEmpty())
        throw RewriteRefusal { plan.refusal };
    QString error;
    paradox::io::takeLastFailure(); // a failure seen earlier is not this one's
    if (plan.scope == paradox::RebuildScope::None) {
        const std::int64_t count = work.changedRecords(column);
        if (count == 0)
            return;
        if (beforeWriting)
            beforeWriting();
        m_owner->patch = paradox::openTablePatch(dbPath, &error);
        if (!m_owner->patch)
            files::throwFailure(error);
        // Read from the work table as the copy comes to each record, so that a run that
        // changes millions of records does not hold them all.
        StoredChanges changes(work.changes(column), field, described, info.codePage);
        PrefetchedChanges ahead(changes);
        FollowedDigest digest(*m_owner->patch);
        if (!m_owner->patch->write(count, ahead, &error))
            files::throwFailure(error);
        m_recordsChanged = changes.delivered();
        if (m_recordsChanged == 0)
            return;
        m_moves.push_back({ m_owner->patch->temporaryDbPath(), dbPath, {}, digest.finish() });
        if (const QString mb = m_owner->patch->temporaryMbPath(); !mb.isEmpty())
            m_moves.push_back({ mb, memoFileOf(dbPath), m_owner->patch->memoLaterWrites() });
        return;
    }
    std::vector<paradox::FieldChange> changes;
    work.forEachChange(column, [&](std::int64_t record, sqlite3_value* stored) {
        changes.push_back({ record, fieldValue(stored, described, info.codePage, record) });
    });
    m_recordsChanged = static_cast<std::int64_t>(changes.size());
    if (changes.empty())
        return;
    if (beforeWriting)
        beforeWriting();
    if (const QString refusal
        = paradox::rewriteKeyedTable(dbPath, field, std::move(changes), &m_owner->keyed);
        !refusal.isEmpty()) {
        // A disk that failed is not a refusal of the change: said as the failure it is.
        if (const int failure = paradox::io::takeLastFailure(); failure != 0)
            core::throwFileError(failure, refusal);
        throw RewriteRefusal { refusal };
    }
    for (const paradox::RewrittenFile& file : m_owner->keyed.files)
        m_moves.push_back({ file.file->path(), file.target });
}

TableRewrite::~TableRewrite() = default;

void TableRewrite::release()
{
    if (m_owner->patch)
        m_owner->patch->release();
    for (paradox::RewrittenFile& file : m_owner->keyed.files)
        file.file->markPlaced();
}

} // namespace data
