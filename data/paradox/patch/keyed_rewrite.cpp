#include "data/paradox/patch/keyed_rewrite.h"

#include "data/paradox/format/byte_writer.h"
#include "data/paradox/format/field_decode.h"
#include "data/paradox/io/find_table.h"
#include "data/paradox/patch/keyed_layout.h"
#include "data/paradox/patch/primary_index.h"
#include "data/paradox/patch/secondary_index.h"

#include <QFileInfo>
#include <new>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

// Everything a rewrite needs to know before it writes, gathered from the headers.
struct Preparation
{
    KeyedTable table;
    IndexFileHeader primary; // the .PX, read when the records move
    std::vector<SecondaryIndex> indexes; // those to rebuild
    RebuildPlan plan;
};

QString primaryIndexProblem(const KeyedTable& table, const IndexFileHeader& primary)
{
    if (primary.kind != IndexFileKind::Primary)
        return u"%1 is not a primary index"_s.arg(primary.name);
    if (primary.needsRebuild)
        return u"%1 is marked as needing a rebuild by the engine"_s.arg(primary.name);
    bool matches = primary.fields.size() == static_cast<std::size_t>(table.keyFields)
        && primary.sortOrderCode == table.header.info.sortOrderCode;
    for (std::size_t i = 0; matches && i < primary.fields.size(); ++i)
        matches = primary.fields[i].type == table.fields()[i].type
            && primary.fields[i].size == table.fields()[i].size;
    return matches ? QString() : u"%1 does not match the key of %2"_s.arg(primary.name, table.name);
}

// Why the table's records cannot be laid out again; empty when they can. Reads the .PX.
QString keyedLayoutProblem(Preparation& work)
{
    const KeyedTable& table = work.table;
    if (table.isMasterOfReferentialIntegrity)
        return u"%1: other tables refer to this table's key (referential integrity); changing key values "
               "could leave their records without a master"_s.arg(table.name);
    for (const Field& field : table.keyFieldList()) {
        const QString problem = keyOrderProblem(field, table.sortOrder());
        if (!problem.isEmpty())
            return u"%1: %2"_s.arg(table.name, problem);
    }
    const QFileInfo db(table.path);
    const QString primaryPath = findFileIgnoringCase(db.absolutePath(), db.completeBaseName() + u".PX"_s);
    if (primaryPath.isEmpty())
        return u"%1: the table is keyed but its primary index (.PX) is missing"_s.arg(table.name);
    work.primary = readIndexHeader(primaryPath);
    return primaryIndexProblem(table, work.primary);
}

QString tableProblem(const KeyedTable& table)
{
    if (table.isWriteProtected)
        return u"%1: the table is write-protected"_s.arg(table.name);
    if (table.needsRebuild)
        return u"%1: the engine marked the table or its indexes as needing a rebuild; rebuild it there first"_s
            .arg(table.name);
    return QString();
}

// Reads the headers and decides what a change of `field` means. Throws FormatError.
Preparation prepare(const QString& dbPath, int field)
{
    Preparation work { openKeyedTable(dbPath), {}, {}, {} };
    const KeyedTable& table = work.table;
    RebuildPlan& plan = work.plan;
    if (field < 0 || static_cast<std::size_t>(field) >= table.fields().size()) {
        plan.refusal = u"%1: the table has no field number %2"_s.arg(table.name).arg(field + 1);
        return work;
    }
    const bool isKeyField = field < table.keyFields;
    for (SecondaryIndex& index : findSecondaryIndexes(table)) {
        if (isKeyField || index.covers(field))
            work.indexes.push_back(std::move(index));
    }
    plan.scope = isKeyField    ? RebuildScope::KeyedLayout
        : work.indexes.empty() ? RebuildScope::None
                               : RebuildScope::SecondaryIndexes;
    if (plan.scope == RebuildScope::None)
        return work;

    plan.refusal = tableProblem(table);
    if (plan.refusal.isEmpty() && isKeyField)
        plan.refusal = keyedLayoutProblem(work);
    for (const SecondaryIndex& index : work.indexes) {
        if (plan.refusal.isEmpty() && !index.problem.isEmpty())
            plan.refusal = u"%1: %2"_s.arg(table.name, rebuildProblemFor(index, table, field));
    }
    plan.files.push_back(table.path);
    if (isKeyField)
        plan.files.push_back(work.primary.path);
    for (const SecondaryIndex& index : work.indexes) {
        plan.files.push_back(index.data.path);
        if (!index.tree.path.isEmpty())
            plan.files.push_back(index.tree.path);
    }
    return work;
}

// A new temporary file that will replace `target`.
writer::TemporaryFile* addFile(KeyedRewrite& result, const QString& target, QString* error)
{
    const QFileInfo info(target);
    auto file = std::make_unique<writer::TemporaryFile>();
    if (!file->create(info.absolutePath(), info.completeBaseName(), info.suffix(), error))
        return nullptr;
    result.files.push_back({ target, std::move(file) });
    return result.files.back().file.get();
}

// The header's autoincrement value when a new value of the field is above it: the engine
// hands out the next one for a new record and must not hand out one that is taken.
std::optional<std::uint32_t> raisedAutoIncrement(const KeyedTable& table, const FieldChanges& changes)
{
    if (table.fields()[static_cast<std::size_t>(changes.field())].type != FieldType::Autoincrement)
        return std::nullopt;
    const ByteReader header(reinterpret_cast<const unsigned char*>(table.rawHeader.constData()),
        table.rawHeader.size(), table.name);
    auto largest = static_cast<std::int32_t>(header.u32(dbHeader::kAutoIncrement, "autoincrement value"));
    bool isRaised = false;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const unsigned char* bytes = changes.bytes(i);
        const std::int32_t value = signFlippedInteger(bytes, 4);
        if (!isAllZero(bytes, 4) && value > largest) {
            largest = value;
            isRaised = true;
        }
    }
    return isRaised ? std::optional(static_cast<std::uint32_t>(largest)) : std::nullopt;
}

// The .DB (and, when the records move, the .PX) anew, first among the files of `result`.
bool writeTable(const Preparation& work, const FieldChanges& changes, const std::optional<KeyOrder>& order,
    KeyedRewrite& result, QString* error)
{
    writer::TemporaryFile* db = addFile(result, work.table.path, error);
    if (!db)
        return false;
    BlockKeys blocks;
    const bool isWritten = order ? writeInKeyOrder(work.table, changes, *order, *db, &blocks, error)
                                 : writePatchedCopy(work.table, changes, *db, error);
    if (!isWritten)
        return false;
    if (const auto autoIncrement = raisedAutoIncrement(work.table, changes)) {
        char bytes[4];
        putU32(bytes, *autoIncrement);
        if (!db->writeAt(dbHeader::kAutoIncrement, bytes, sizeof bytes, error))
            return false;
    }
    if (!db->finish(error))
        return false;
    if (!order)
        return true;
    writer::TemporaryFile* primary = addFile(result, work.primary.path, error);
    return primary && writeIndexTree(*primary, work.primary, blocks, error) && primary->finish(error);
}

bool writeIndexes(const Preparation& work, KeyedRewrite& result, QString* error)
{
    if (work.indexes.empty())
        return true;
    // The indexes describe the records as they now lie: read them from the new .DB.
    KeyedTable written = openKeyedTable(result.files.front().file->path());
    written.name = work.table.name;
    for (const SecondaryIndex& index : work.indexes) {
        writer::TemporaryFile* x = addFile(result, index.data.path, error);
        writer::TemporaryFile* y = x ? addFile(result, index.tree.path, error) : nullptr;
        if (!y || !rebuildSecondaryIndex(index, written, *x, *y, error) || !x->finish(error)
            || !y->finish(error))
            return false;
    }
    return true;
}

QString rewrite(const QString& dbPath, int field, std::vector<FieldChange> changes, KeyedRewrite& result)
{
    const Preparation work = prepare(dbPath, field);
    if (!work.plan.refusal.isEmpty())
        return work.plan.refusal;
    QString error;
    const auto encoded = FieldChanges::encode(work.table, field, std::move(changes), &error);
    if (!encoded)
        return error;
    // Every check that reads records comes before the first file is created.
    std::optional<KeyOrder> order;
    if (work.plan.scope == RebuildScope::KeyedLayout) {
        order = orderByNewKeys(work.table, *encoded, &error);
        if (!order)
            return error;
    }
    for (const SecondaryIndex& index : work.indexes) {
        error = checkEntryOrder(index);
        if (!error.isEmpty())
            return u"%1: %2"_s.arg(work.table.name, error);
    }
    result.scope = work.plan.scope;
    if (!writeTable(work, *encoded, order, result, &error))
        return error;
    order.reset();
    if (!writeIndexes(work, result, &error))
        return error;
    return QString();
}

} // namespace

RebuildPlan planFieldChange(const QString& dbPath, int field)
{
    try {
        return prepare(dbPath, field).plan;
    } catch (const FormatError& failure) {
        RebuildPlan plan;
        plan.refusal = failure.message();
        return plan;
    }
}

QString rewriteKeyedTable(
    const QString& dbPath, int field, std::vector<FieldChange> changes, KeyedRewrite* result)
{
    KeyedRewrite written;
    QString error;
    try {
        error = rewrite(dbPath, field, std::move(changes), written);
    } catch (const FormatError& failure) {
        error = failure.message();
    } catch (const std::bad_alloc&) {
        error = u"%1: not enough memory to rewrite the table"_s.arg(QFileInfo(dbPath).fileName());
    }
    // On failure the temporary files go with `written`.
    if (error.isEmpty())
        *result = std::move(written);
    return error;
}

} // namespace paradox
