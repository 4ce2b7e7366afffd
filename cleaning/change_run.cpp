#include "cleaning/change_run.h"

#include "core/procedure.h"
#include "cleaning/operation_catalogue.h"
#include "data/ado.h"
#include "data/connection.h"
#include "data/connection_strings.h"
#include "data/paradox/table.h"
#include "data/recordset.h"
#include "data/safe_names.h"
#include "data/table_copy.h"
#include "data/write_back.h"

#include <QSet>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace cleaning {
namespace {

constexpr int kPreviewLimit = 100; // the loop stops once the counter exceeds it: 101 rows

QString escaped(const QString& text)
{
    QString result = text;
    return result.replace(u'\'', u"''"_s);
}

QString changeIndexName(const QString& table, const QString& field)
{
    return data::delimitedName(u"fw_change_"_s + table + u'_' + field);
}

// An index spares each update a scan of the whole table. A text field needs none: the work
// database finds its rows by a look-up of its own, which costs the updates less than an
// index that every changed row has to be moved in. When needsGuard is set, every row also
// changes at most once in the run: an update statement skips rows that an earlier
// statement of the same run already wrote, so a value that a transform turns into another
// distinct value is not transformed a second time (abc -> bc must not go on to c). The
// triggers are temporary: they live on this connection only and never reach the Paradox
// table.
void prepareWorkTable(data::Connection& work, const QString& table, const QString& field,
    const QStringList& fieldNames, bool isTextField, bool needsGuard)
{
    if (!isTextField)
        work.execute(u"CREATE INDEX IF NOT EXISTS "_s + changeIndexName(table, field) + u" ON "_s
            + data::delimitedName(table) + u'(' + data::delimitedName(field) + u')');
    if (!needsGuard)
        return;
    QString rowId = data::rowIdName(fieldNames);
    if (rowId.isEmpty())
        rowId = u"rowid"_s;
    const QString target = u"main."_s + data::delimitedName(table);
    work.execute(u"CREATE TEMP TABLE IF NOT EXISTS fw_changed_rows(id INTEGER PRIMARY KEY)"_s);
    work.execute(u"DELETE FROM temp.fw_changed_rows"_s);
    work.execute(u"DROP TRIGGER IF EXISTS temp.fw_skip_changed_rows"_s);
    work.execute(u"DROP TRIGGER IF EXISTS temp.fw_note_changed_rows"_s);
    work.execute(u"CREATE TEMP TRIGGER fw_skip_changed_rows BEFORE UPDATE ON "_s + target
        + u" WHEN EXISTS (SELECT 1 FROM fw_changed_rows WHERE id = OLD."_s + rowId
        + u") BEGIN SELECT RAISE(IGNORE); END"_s);
    work.execute(u"CREATE TEMP TRIGGER fw_note_changed_rows AFTER UPDATE ON "_s + target
        + u" BEGIN INSERT OR IGNORE INTO fw_changed_rows VALUES (NEW."_s + rowId + u"); END"_s);
}

// True when an update could reach rows that an earlier update of the same run already
// wrote: some value's new text is another value's old text. Only then is the guard
// needed; it costs a lookup and an insert for every row changed. The test is exact only
// where the column compares texts exactly, so any other column is always guarded. Walks
// the snapshot of distinct values and leaves it on its first row again.
bool canRowsChangeTwice(data::Recordset& values, const Operation& operation, const Parameters& parameters)
{
    if (values.fieldType(0) != data::ado::adVarWChar)
        return true;
    QSet<QString> oldTexts;
    QStringList newTexts; // of the values that an update changes
    oldTexts.reserve(static_cast<qsizetype>(values.recordCount()));
    for (; !values.isEof(); values.moveNext()) {
        const bool isNullValue = values.isNull(0);
        const QString oldText = isNullValue ? QString() : values.valueText(0);
        if (!isNullValue)
            oldTexts.insert(oldText);
        try {
            QString newText = applyOperation(operation, parameters, oldText);
            if (isNullValue || newText != oldText)
                newTexts << std::move(newText);
        } catch (const core::Error&) {
            // This value's update fails and changes nothing.
        }
    }
    values.moveFirst();
    for (const QString& newText : std::as_const(newTexts)) {
        if (oldTexts.contains(newText))
            return true;
    }
    return false;
}

// Once the updates are done the index goes: the preview must list the values in the
// table's own order, not in the index's.
void finishWorkTable(data::Connection& work, const QString& table, const QString& field, bool isInTransaction)
{
    if (isInTransaction)
        work.execute(u"COMMIT"_s);
    work.execute(u"DROP INDEX IF EXISTS "_s + changeIndexName(table, field));
}

QStringList columnNames(data::Connection& work, const QString& table)
{
    data::Recordset rows;
    rows.open(u"SELECT * FROM `"_s + table + u"` WHERE 0"_s, work, data::ado::kOpenForwardOnly,
        data::ado::kLockReadOnly);
    QStringList names;
    for (int i = 0; i < rows.fieldCount(); ++i)
        names << rows.fieldName(i);
    return names;
}

// What the Paradox table itself holds, for the preview after a failed write-back.
void showTableAsItIs(
    ChangeRunView& view, const data::DataContext& ctx, const QString& table, const QString& field)
{
    view.clearPreview();
    try {
        data::Connection paradox;
        paradox.setMode(data::ado::kModeReadWrite);
        paradox.open(data::paradoxConnectionString(ctx.folderBox.text()));
        data::Recordset rows;
        rows.open(previewQuery(table, field), paradox, data::ado::kOpenStatic, data::ado::kLockOptimistic);
        for (int count = 0; !rows.isEof() && count <= kPreviewLimit; ++count) {
            view.addPreviewEntry(rows.valueText(0));
            rows.moveNext();
        }
    } catch (const core::Error&) {
        // The message about the failed write-back has already said what matters.
    }
}

class RunningFlag
{
public:
    RunningFlag() { s_isRunning = true; }
    ~RunningFlag() { s_isRunning = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;
    static bool isRunning() { return s_isRunning; }

private:
    static inline bool s_isRunning = false;
};

} // namespace

QString nameForUpdate(const QString& name)
{
    // Plain: an ASCII letter or underscore, then letters, digits or underscores. Checked by
    // hand: the run asks twice for every distinct value.
    bool isPlain = !name.isEmpty();
    for (qsizetype i = 0; isPlain && i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool isLetter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
        isPlain = isLetter || (i > 0 && c >= u'0' && c <= u'9');
    }
    if (isPlain) {
        const QByteArray ascii = name.toLatin1();
        if (sqlite3_keyword_check(ascii.constData(), static_cast<int>(ascii.size())) == 0)
            return name;
    }
    return u'`' + name + u'`';
}

QString distinctQuery(const QString& table, const QString& field)
{
    return u"SELECT distinct `"_s + field + u"` FROM `"_s + table + u'`';
}

QString previewQuery(const QString& table, const QString& field)
{
    return u"SELECT `"_s + field + u"` FROM `"_s + table + u'`';
}

QString updateValueStatement(
    const QString& table, const QString& field, const QString& newText, const QString& oldText)
{
    const QString f = nameForUpdate(field);
    return u"update "_s + nameForUpdate(table) + u" set "_s + f + u"='"_s + escaped(newText) + u"' where "_s
        + f + u"='"_s + escaped(oldText) + u'\'';
}

QString updateNullStatement(const QString& table, const QString& field, const QString& newText)
{
    const QString f = nameForUpdate(field);
    return u"update "_s + nameForUpdate(table) + u" set "_s + f + u"='"_s + escaped(newText) + u"' where "_s
        + f + u" is null "_s;
}

ChangeRunResult PushButton1_Click(ChangeRunView& view, const data::DataContext& ctx)
{
    ChangeRunResult result;
    // A click during one of the run's yields must not start a second run over the first.
    if (RunningFlag::isRunning()) {
        result.outcome = ChangeRunResult::Outcome::AlreadyRunning;
        return result;
    }
    const RunningFlag running;
    core::Procedure proc(view, QString::fromUtf16(kChangeRunContext));

    // Taken once: a click elsewhere during a yield must not send the copy, the updates and
    // the write-back to different tables or fields.
    QString table;
    QString field;
    QString operationText;
    int fieldCount = 0;
    proc.step(100, [&] {
        table = view.selectedTable();
        field = view.selectedField();
        operationText = view.operationText();
    });
    data::Connection work;
    data::Recordset query;

    if (proc.test(104, [&] { return (fieldCount = view.fieldListCount()) == 0; })) {
        proc.step(756, [&] { view.messageBox(u"Please select a field."_s); });
        result.outcome = ChangeRunResult::Outcome::NoFields;
        return result;
    }
    proc.step(106, [&] { view.setBusy(true); });

    data::CopyResult copy;
    proc.step(108, [&] { copy = data::sendTableToAccess(table, ctx); });
    if (!copy.isComplete) {
        // Writing back now would replace the user's table with an incomplete one.
        result.outcome = ChangeRunResult::Outcome::CopyFailed;
        result.problem = copy.problem;
        proc.step(714, [&] { view.setBusy(false); });
        proc.step(716, [&] {
            view.setProgressValue(0);
            view.setProgressText(u"Progress Bar"_s);
        });
        proc.step(756, [&] {
            view.messageBox(u"The table "_s + table
                + u" was left unchanged: it could not be copied completely into the work database."_s
                + (copy.problem.isEmpty() ? QString() : u"\r\n"_s + copy.problem));
        });
        return result;
    }

    if (view.isClosing()) {
        result.outcome = ChangeRunResult::Outcome::Closed;
        return result;
    }
    proc.step(110, [&] { work.setMode(data::ado::kModeReadWrite); });
    proc.step(112, [&] { work.open(data::workDatabaseConnectionString(ctx.applicationFolder)); });
    proc.step(114, [&] {
        query.open(distinctQuery(table, field), work, data::ado::kOpenStatic, data::ado::kLockOptimistic);
    });
    std::int32_t lastIndex = 0;
    proc.step(122, [&] { lastIndex = static_cast<std::int32_t>(query.recordCount() - 1); });

    const Operation* operation = nullptr;
    std::optional<Parameters> parameters;
    if (!proc.test(124, [&] { return query.isEof(); }))
        operation = findOperation(operationText);
    if (operation) {
        proc.step(operation->firstStep, [] {});
        parameters = askParameters(*operation, view, proc);
        result.wasAbandoned = !parameters.has_value();
    }

    if (operation && parameters) {
        bool isInTransaction = false;
        // Without the guard against changing a row twice the updates could leave wrong
        // values, so a failed preparation changes nothing (the failure is reported).
        const bool isPrepared = proc.step(operation->loopStartStep(), [&] {
            bool needsGuard = true;
            try {
                needsGuard = canRowsChangeTwice(query, *operation, *parameters);
            } catch (const core::Error&) {
                query.moveFirst();
            }
            const bool isTextField = query.fieldType(0) == data::ado::adVarWChar;
            prepareWorkTable(work, table, field, columnNames(work, table), isTextField, needsGuard);
            // The work database is a scratch copy: one transaction makes the updates fast,
            // and a run that dies half-way is dropped by the next copy anyway.
            work.execute(u"BEGIN"_s);
            isInTransaction = true;
        });
        for (std::int32_t i = 0; isPrepared && i <= lastIndex; ++i) {
            if (lastIndex != 0)
                proc.step(operation->progressStep(),
                    [&] { view.setProgressValue(double(i) / double(lastIndex) * 100.0); });
            const bool isNullValue = proc.test(operation->nullTestStep(), [&] { return query.isNull(0); });
            if (isNullValue) {
                proc.step(operation->updateNullStep(), [&] {
                    const QString newText = applyOperation(*operation, *parameters, QString());
                    work.execute(updateNullStatement(table, field, newText));
                    ++result.statementsRun;
                });
            } else {
                proc.step(operation->updateValueStep(), [&] {
                    const QString oldText = query.valueText(0);
                    const QString newText = applyOperation(*operation, *parameters, oldText);
                    work.execute(updateValueStatement(table, field, newText, oldText));
                    ++result.statementsRun;
                });
            }
            if (i % 500 == 0) {
                proc.step(operation->pauseStep(), [&] { view.pause(0.1f); });
                if (view.isClosing())
                    break;
            }
            // A failed move would leave the loop on one row: stop there rather than
            // apply the same value's update over and over.
            if (!proc.step(operation->nextRowStep(), [&] { query.moveNext(); }))
                break;
        }
        proc.step(operation->loopEndStep(), [&] { finishWorkTable(work, table, field, isInTransaction); });
    }

    // Closed during a yield: the program is ending. The half-changed work table is left
    // for the next copy to drop; the Paradox table keeps its old content.
    if (view.isClosing()) {
        result.outcome = ChangeRunResult::Outcome::Closed;
        return result;
    }

    // Finish.
    proc.step(714, [&] { view.setBusy(false); });
    proc.step(716, [&] {
        view.setProgressValue(0);
        view.setProgressText(u"Progress Bar"_s);
    });
    proc.step(718, [&] { query.close(); });
    // Read as the rows come: a snapshot of a million-row column only to show 101 of them
    // would cost a second and its memory. Nothing changes the table while the preview reads.
    const bool isPreviewOpen = proc.step(720, [&] {
        query.open(previewQuery(table, field), work, data::ado::kOpenForwardOnly, data::ado::kLockReadOnly);
    });
    proc.step(722, [&] { view.clearPreview(); });
    proc.step(724, [&] { view.setBusy(true); });
    int rowCounter = 0;
    proc.step(730, [&] { view.processEvents(); });
    // Without an open query every pass would fail; the counter bounds the loop anyway.
    while (isPreviewOpen && proc.test(732, [&] { return !query.isEof(); })) {
        proc.step(734, [&] { view.processEvents(); });
        proc.step(736, [&] { view.addPreviewEntry(query.valueText(0)); });
        proc.step(738, [&] { query.moveNext(); });
        ++rowCounter;
        if (rowCounter > kPreviewLimit)
            break;
    }
    proc.step(744, [&] { query.close(); });
    work.close();
    if (view.isClosing()) {
        result.outcome = ChangeRunResult::Outcome::Closed;
        return result;
    }

    data::WriteBackResult writeBack;
    proc.step(746, [&] { writeBack = data::sendTableToParadox(table, ctx); });
    result.backupFolder = writeBack.backupFolder;
    proc.step(748, [&] { view.setBusy(false); });
    if (!writeBack.isWrittenBack) {
        // Never "Done." for a table that did not change: say what the folder holds, and
        // show the values the table really has.
        result.outcome = ChangeRunResult::Outcome::WriteBackFailed;
        result.problem = writeBack.problem;
        showTableAsItIs(view, ctx, table, field);
        QString message = u"The table "_s + table + u" was not written back"_s
            + (writeBack.problem.isEmpty() ? QString() : u": "_s + writeBack.problem);
        if (!writeBack.backupFolder.isEmpty()
            && paradox::findTableFile(ctx.folderBox.text(), table).isEmpty())
            message += u"\r\nThe old table is kept in "_s + writeBack.backupFolder + u'.';
        else
            message += u"\r\nThe table was left as it was."_s;
        proc.step(754, [&] { view.messageBox(message); });
        return result;
    }
    result.outcome = ChangeRunResult::Outcome::WrittenBack;
    proc.step(754, [&] { view.messageBox(u"Done."_s); });
    return result;
}

} // namespace cleaning
