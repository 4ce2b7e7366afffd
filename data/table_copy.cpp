#include "data/table_copy.h"

#include "core/procedure.h"
#include "data/ado.h"
#include "data/connection.h"
#include "data/connection_strings.h"
#include "data/insert_statement.h"
#include "data/paradox/table.h"
#include "data/recordset.h"
#include "data/safe_names.h"
#include "data/work_database.h"
#include "data/work_database_backend.h"

#include <array>
#include <memory>

using namespace Qt::StringLiterals;

namespace data {
namespace {

struct ColumnRule
{
    const char16_t* contains; // in the lower-cased type name; null: every type
    const char16_t* text;
};

// The first rule whose text the type name contains decides. The program's table, except
// that the types it made lossy get columns that keep every value: single precision became
// INT, numeric INT, currency, logical and time TEXT (which the write-back turned into Alpha
// fields). The new rules match exact names, so no other type changes its column. Numeric
// (BCD, up to 32 digits) stays text: the work database's DECIMAL keeps only 15 digits, and
// the write-back gives the field its BCD type again from the source table.
constexpr std::array<ColumnRule, 13> kColumnRules { {
    { u"char", u"` TEXT," },
    { u"decimal", u"` DECIMAL," },
    { u"single", u"` REAL," },
    { u"int", u"` INT," },
    { u"adlongvarbinary", u"` OLEOBJECT," },
    { u"numeric", u"` TEXT," },
    { u"date", u"` DATETIME," },
    { u"timestamp", u"` DATETIME," },
    { u"double", u"` FLOAT," },
    { u"adcurrency", u"` FLOAT," },
    { u"adboolean", u"` BIT," },
    { u"addbtime", u"` TIME," },
    { nullptr, u"` TEXT," },
} };

} // namespace

QString columnTypeText(const QString& lowerTypeName)
{
    for (const ColumnRule& rule : kColumnRules) {
        if (!rule.contains || lowerTypeName.contains(QString::fromUtf16(rule.contains)))
            return QString::fromUtf16(rule.text);
    }
    return {};
}

CopyResult sendTableToAccess(const QString& table, const DataContext& ctx)
{
    core::Procedure proc(ctx.errors, u"Tidewell2021/08/31.Paradox.sendTableToAccess"_s);
    CopyResult result;
    if (const QString problem = unsafeNameProblem(table); !problem.isEmpty()) {
        proc.report(problem, 100);
        result.problem = problem;
        return result;
    }

    std::unique_ptr<Connection> work;
    std::unique_ptr<Connection> source;
    std::unique_ptr<Recordset> records;
    WorkDatabaseBackend* workDatabase = nullptr;
    proc.step(100, [&] { work = std::make_unique<Connection>(); });
    proc.step(102, [&] { source = std::make_unique<Connection>(); });
    proc.step(104, [&] { records = std::make_unique<Recordset>(); });
    proc.step(106, [&] { source->setCursorLocation(ado::kUseClient); });
    proc.step(108, [&] { source->open(paradoxConnectionString(ctx.folderBox.text())); });
    proc.step(110, [&] { work->setCursorLocation(ado::kUseServer); });
    proc.step(112, [&] { work->setMode(ado::kModeReadWrite); });
    proc.step(114, [&] {
        work->open(workDatabaseConnectionString(ctx.applicationFolder));
        workDatabase = dynamic_cast<WorkDatabaseBackend*>(&work->backend());
    });
    if (proc.test(116, [&] { return TableExistsInWorkDb(table, ctx.applicationFolder); }))
        proc.step(118, [&] { work->execute(u"DROP TABLE `"_s + table + u'`'); });
    proc.step(120, [&] { records->open(u"SELECT * FROM `"_s + table + u'`', *source); });

    QString create;
    int fieldCount = 0;
    proc.step(122, [&] { create = u"CREATE TABLE `"_s + table + u"`("_s; });
    proc.step(124, [&] { fieldCount = records->fieldCount(); });
    for (int i = 0; i < fieldCount; ++i) {
        proc.step(126, [&] { ctx.events.processEvents(); });
        QString name;
        proc.step(128, [&] {
            name = records->fieldName(i);
            refuseUnsafeName(name);
        });
        QString typeName;
        proc.step(
            130, [&] { typeName = AdoTypeName(static_cast<std::int16_t>(records->fieldType(i))).toLower(); });
        proc.step(132, [&] { create += u'`' + name + columnTypeText(typeName); });
    }
    proc.step(176, [&] { create.chop(1); });
    proc.step(178, [&] { create += u");"_s; });
    const int reportsBeforeCreate = proc.reportCount();
    const bool isCreated = proc.step(182, [&] {
        work->execute(create);
        // The write-back gives the new Paradox table the old one's field types and sizes.
        if (const paradox::TableInfo* info = records->sourceTable(); info && workDatabase)
            workDatabase->rememberSource(table, *info);
    });

    std::int64_t lastIndex = -1;
    proc.step(184, [&] { lastIndex = records->recordCount() - 1; });
    result.recordsExpected = lastIndex + 1;
    // Without the work table, or once the database refuses a record, every further record
    // would fail and be reported one by one, and the copy is incomplete whatever follows.
    const bool isWorthCopying = isCreated && reportsBeforeCreate == 0;
    if (isWorthCopying && workDatabase)
        proc.step(186, [&] { workDatabase->beginTransaction(); });
    // One record's insert, reused: its values are bound, and its text is written out only
    // when something reads it (see insert_statement.h).
    InsertStatement insert;
    for (std::int64_t index = 0; isWorthCopying && index <= lastIndex; ++index) {
        proc.step(188, [&] { ctx.events.processEvents(); });
        if (!proc.step(188, [&] {
                if (records->isEof())
                    throw core::Error(
                        u"The table %1 ends after %2 of the %3 records it announces."_s.arg(table)
                            .arg(index)
                            .arg(lastIndex + 1));
            }))
            break;
        proc.step(190, [&] { insert.start(table); });
        bool isRecordRead = true;
        for (int i = 0; i < fieldCount; ++i) {
            proc.step(194, [&] { ctx.events.processEvents(); });
            isRecordRead &= proc.step(196, [&] { insert.appendValue(*records, i); });
        }
        proc.step(210, [&] { insert.chopSeparator(); });
        proc.step(212, [&] { insert.closeValues(); });
        const bool isInserted = isRecordRead && proc.step(216, [&] { work->execute(insert); });
        if (isInserted)
            ++result.recordsCopied;
        proc.step(218, [&] { records->moveNext(); });
        if (!isInserted)
            break;
    }
    proc.step(222, [&] { records->close(); });
    proc.step(224, [&] {
        if (workDatabase)
            workDatabase->commitTransaction();
        work->close();
    });
    proc.step(226, [&] { source->close(); });

    result.isComplete = proc.reportCount() == 0 && result.recordsCopied == result.recordsExpected;
    if (!result.isComplete)
        result.problem = proc.reportCount() == 0
            ? u"Only %1 of the %2 records of %3 were copied."_s.arg(result.recordsCopied)
                  .arg(result.recordsExpected)
                  .arg(table)
            : u"The copy of %1 failed (%2 errors were reported); the work table is not complete."_s.arg(table)
                  .arg(proc.reportCount());
    return result;
}

} // namespace data
