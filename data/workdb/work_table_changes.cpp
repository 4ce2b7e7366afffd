// The change run's side of a work table: the updates that give the rows of each distinct value
// of its snapshot (work_table_snapshot.cpp) a new text, and the record of what changed.

#include "data/workdb/work_table_private.h"

#include "core/error_report.h"
#include "data/workdb/text_map.h"
#include "data/workdb/work_values.h"

#include <limits>
#include <string_view>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {

const paradox::Field* WorkTable::Private::sourceField(int column) const
{
    if (!source || column < 0 || static_cast<std::size_t>(column) >= source->fields.size())
        return nullptr;
    const paradox::Field& field = source->fields[static_cast<std::size_t>(column)];
    return field.name.compare(columns.at(static_cast<std::size_t>(column)).name, Qt::CaseInsensitive) == 0 ? &field
                                                                                                           : nullptr;
}

// What an update of one distinct value to `to` does: whether it is rejected, and whether it
// changes any row. The update and its preview both decide here, so a preview promises what
// the run then does.
struct WorkTable::Private::Decision
{
    DistinctValue from;
    UpdateOutcome outcome;
    std::optional<paradox::Value> value; // the new value, where the Paradox field is known
    bool isChange = false;
};

WorkTable::Private::Decision WorkTable::Private::decide(const DistinctValue& from, const QString& to) const
{
    Decision decision { from, {}, std::nullopt, false };
    if (const paradox::Field* field = sourceField(changedColumn)) {
        // The table keeps only what its Paradox field can hold.
        const int codePage = source->codePage;
        // A value that an operation emptied is no number, date or truth value: its rows keep
        // it, as they keep any other text the field cannot hold, rather than turn null.
        if (to.isEmpty() && !from.isNull) {
            decision.outcome.rejected = paradox::emptyTextProblem(*field);
            if (!decision.outcome.rejected.isEmpty())
                return decision;
        }
        decision.value = paradox::valueFromText(*field, to, codePage, &decision.outcome.rejected);
        if (!decision.value)
            return decision;
        QString ignored;
        const std::optional<paradox::Value> old = from.isNull
            ? std::optional<paradox::Value>(paradox::Null {})
            : paradox::valueFromText(*field, from.text, codePage, &ignored);
        decision.isChange = !old || *old != *decision.value;
    } else {
        decision.isChange = from.isNull || from.text != to;
    }
    if (decision.isChange)
        decision.outcome.rowsChanged = from.rows;
    return decision;
}

UpdateOutcome WorkTable::update(std::int64_t index, const QString& to)
{
    const Private::Decision decision = d->decide(distinctValue(index), to);
    if (!decision.isChange)
        return decision.outcome;
    const sqlite::Affinity affinity = d->affinities.at(static_cast<std::size_t>(d->changedColumn));
    sqlite::Statement& note = decision.from.isNull ? d->noteNullUpdate : d->noteUpdate;
    QString scratch; // a bound text points into it until the statement has run
    if (decision.value)
        bindCopyValue(note, 1, *decision.value, affinity, scratch);
    else if (to.isEmpty())
        note.bindText(1, u""_s); // as the text of an update statement stores it
    else
        bindCopyText(note, 1, to, affinity);
    if (decision.from.isNull) {
        d->hasPendingNullUpdate = true;
    } else {
        note.bindInt(2, index + 1);
        ++d->pendingUpdates;
    }
    note.run();
    return decision.outcome;
}

UpdateOutcome WorkTable::previewUpdate(std::int64_t index, const QString& to)
{
    return d->decide(distinctValue(index), to).outcome;
}

void WorkTable::applyUpdates()
{
    d->applyUpdates();
}

void WorkTable::Private::applyUpdates()
{

    const auto commit = [&] {
        if (!sqlite3_get_autocommit(db()->get()))
            sqlite::execute(*db(), u"COMMIT"_s);
    };
    if (changedColumn < 0 || (pendingUpdates == 0 && !hasPendingNullUpdate)) {
        commit();
        return;
    }
    // A later batch comes after the first one's commit: without a transaction of its own each
    // row's change would be one, written to the disk alone.
    if (sqlite3_get_autocommit(db()->get()))
        sqlite::execute(*db(), u"BEGIN"_s);
    const QString f = column(changedColumn);
    const QString record = sqlite::quoted(recordColumn);
    // A row changes once in a run: one that an earlier update already changed is left out,
    // even when it has come to hold the text of a later value (or a null). Before the first
    // change there is nothing to leave out, and the look-up per row is spared.
    const QString unchanged = hasChangedRows ? u" AND %1 NOT IN (SELECT record FROM temp.fw_changed)"_s.arg(record)
                                             : QString();
    sqlite::Statement note(db(),
        u"INSERT OR IGNORE INTO %1(name, field, record) VALUES(upper(?), ?, ?)"_s.arg(
            sqlite::quoted(QString::fromUtf16(kChangesTable))));
    sqlite::Statement noteHere(db(), u"INSERT OR IGNORE INTO temp.fw_changed(record) VALUES(?)"_s);
    const auto run = [&](const QString& sql) {
        sqlite::Statement update(db(), sql);
        // The update changes every row at its first step and hands out the rows it changed from
        // a buffer of its own, so each is noted as it comes rather than all of them held here.
        while (update.step()) {
            const std::int64_t row = update.intAt(0);
            hasChangedRows = true;
            noteHere.bindInt(1, row);
            noteHere.run();
            note.bindText(1, name);
            note.bindText(2, columns.at(static_cast<std::size_t>(changedColumn)).name);
            note.bindInt(3, row);
            note.run();
        }
    };
    if (affinities.at(static_cast<std::size_t>(changedColumn)) == sqlite::Affinity::Text) {
        // A text column: one pass over the rows finds those to change (the values' texts are
        // compared exactly, as the column's binary collation compares them), sparing SQLite a
        // join that takes three times as long.
        applyTextUpdates([&](std::int64_t row) {
            note.bindText(1, name);
            note.bindText(2, columns.at(static_cast<std::size_t>(changedColumn)).name);
            note.bindInt(3, row);
            note.run();
        });
    } else {
        if (pendingUpdates > 0)
            run(u"UPDATE main.%1 SET %2 = m.new FROM temp.fw_map AS m WHERE main.%1.%2 = m.old%3 RETURNING %4"_s.arg(
                quotedName, f, unchanged, record));
        if (hasPendingNullUpdate)
            run(u"UPDATE main.%1 SET %2 = (SELECT new FROM temp.fw_null) WHERE %2 IS NULL%3 RETURNING %4"_s.arg(
                quotedName, f, unchanged, record));
    }
    sqlite::execute(*db(), u"DELETE FROM temp.fw_map; DELETE FROM temp.fw_null"_s);
    commit();
    pendingUpdates = 0;
    hasPendingNullUpdate = false;
}

void WorkTable::Private::applyTextUpdates(const std::function<void(std::int64_t record)>& noteChanged)
{
    // The new value of each old text (and of the null), as they were noted.
    sqlite::Statement size(
        db(), u"SELECT count(*), total(length(old)) + total(length(new)) FROM temp.fw_map"_s);
    size.step();
    TextMap byOld;
    byOld.reserve(static_cast<std::size_t>(size.intAt(0)),
        static_cast<std::size_t>(sqlite3_column_int64(size.get(), 1)));
    sqlite::Statement map(db(), u"SELECT old, new FROM temp.fw_map"_s);
    while (map.step())
        byOld.insert(map.textAt(0), sqlite3_column_type(map.get(), 1) == SQLITE_NULL, map.textAt(1));
    byOld.index();
    QString nullInto;
    std::optional<TextMap::NewText> forNull;
    sqlite::Statement null(db(), u"SELECT new FROM temp.fw_null LIMIT 1"_s);
    if (hasPendingNullUpdate && null.step()) {
        nullInto = null.textAt(0);
        forNull = TextMap::NewText { sqlite3_column_type(null.get(), 0) == SQLITE_NULL, nullInto };
    }

    const auto isChangedBefore = [&](std::int64_t row) {
        return row >= 0 && static_cast<std::uint64_t>(row) < changedInSnapshot.size()
            && changedInSnapshot[static_cast<std::size_t>(row)];
    };
    // The rows are read and changed a stretch at a time: a table is not changed under a read
    // of it, and what waits to be written stays small however many rows change.
    constexpr std::size_t kStretch = 8192;
    const QString record = sqlite::quoted(recordColumn);
    sqlite::Statement rows(db(),
        u"SELECT %1, %2 FROM main.%3 WHERE %1 > ? ORDER BY %1"_s.arg(
            record, column(changedColumn), quotedName));
    sqlite::Statement set(
        db(), u"UPDATE main.%1 SET %2 = ? WHERE %3 = ?"_s.arg(quotedName, column(changedColumn), record));
    std::vector<std::pair<std::int64_t, TextMap::NewText>> changes;
    changes.reserve(kStretch);
    std::int64_t after = std::numeric_limits<std::int64_t>::min();
    for (bool isAtEnd = false; !isAtEnd;) {
        rows.bindInt(1, after);
        changes.clear();
        isAtEnd = true;
        while (rows.step()) {
            TextMap::NewText to;
            if (sqlite3_column_type(rows.get(), 1) == SQLITE_NULL) {
                if (!forNull)
                    continue;
                to = *forNull;
            } else {
                const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(rows.get(), 1));
                if (byOld.isEmpty()
                    || !byOld.find(std::u16string_view(text,
                                       static_cast<std::size_t>(sqlite3_column_bytes16(rows.get(), 1) / 2)),
                        &to))
                    continue;
            }
            const std::int64_t row = rows.intAt(0);
            if (isChangedBefore(row))
                continue;
            changes.emplace_back(row, to);
            if (changes.size() == kStretch) {
                after = row;
                isAtEnd = false;
                break;
            }
        }
        rows.reset();
        for (const auto& [row, to] : changes) {
            if (to.isNull)
                set.bindNull(1);
            else
                set.bindText(1, to.text);
            set.bindInt(2, row);
            set.run();
            if (row >= 0) {
                if (static_cast<std::uint64_t>(row) >= changedInSnapshot.size())
                    changedInSnapshot.resize(static_cast<std::size_t>(row) + 1);
                changedInSnapshot[static_cast<std::size_t>(row)] = true;
            }
            noteChanged(row);
        }
    }
}

namespace {

class StoredChanges : public WorkTable::ChangeReader
{
public:
    explicit StoredChanges(sqlite::Statement statement)
        : m_statement(std::move(statement))
    { }
    bool next() override { return m_statement.isPrepared() && m_statement.step(); }
    std::int64_t record() const override { return m_statement.intAt(0); }
    sqlite3_value* value() const override { return m_statement.valueAt(1); }

private:
    sqlite::Statement m_statement; // not prepared: no run noted a change yet
};

} // namespace

std::unique_ptr<WorkTable::ChangeReader> WorkTable::changes(int column)
{
    flush();
    d->applyUpdates();
    sqlite::Statement exists(d->db(), u"SELECT 1 FROM sqlite_schema WHERE name = ?"_s);
    exists.bindText(1, QString::fromUtf16(kChangesTable));
    if (!exists.step())
        return std::make_unique<StoredChanges>(sqlite::Statement());
    sqlite::Statement changes(d->db(),
        u"SELECT c.record, t.%1 FROM %2 AS c JOIN main.%3 AS t ON t.%4 = c.record "
        "WHERE c.name = upper(?) AND c.field = ? ORDER BY c.record"_s.arg(d->column(column),
            sqlite::quoted(QString::fromUtf16(kChangesTable)), d->quotedName,
            sqlite::quoted(d->recordColumn)));
    changes.bindText(1, d->name);
    changes.bindText(2, d->columns.at(static_cast<std::size_t>(column)).name);
    return std::make_unique<StoredChanges>(std::move(changes));
}

void WorkTable::forEachChange(
    int column, const std::function<void(std::int64_t record, sqlite3_value* value)>& visit)
{
    const std::unique_ptr<ChangeReader> reader = changes(column);
    while (reader->next())
        visit(reader->record(), reader->value());
}

std::vector<int> WorkTable::changedColumns()
{
    flush();
    d->applyUpdates();
    std::vector<int> columns;
    sqlite::Statement exists(d->db(), u"SELECT 1 FROM sqlite_schema WHERE name = ?"_s);
    exists.bindText(1, QString::fromUtf16(kChangesTable));
    if (!exists.step())
        return columns;
    // One look-up in the notes' key per field, from one field to the next: a run's notes can
    // be millions, its fields few.
    sqlite::Statement nextField(d->db(),
        u"SELECT field FROM %1 WHERE name = upper(?) AND field > ? ORDER BY field LIMIT 1"_s.arg(
            sqlite::quoted(QString::fromUtf16(kChangesTable))));
    for (QString after = u""_s;;) {
        nextField.reset();
        nextField.bindText(1, d->name);
        nextField.bindText(2, after);
        if (!nextField.step())
            break;
        after = nextField.textAt(0);
        if (const int column = columnIndex(after); column >= 0)
            columns.push_back(column);
    }
    return columns;
}

// Counted in the notes alone: a work table's rows are never removed, so each note has its row,
// and a count need not visit them.
std::int64_t WorkTable::changedRecords(int column)
{
    flush();
    d->applyUpdates();
    sqlite::Statement exists(d->db(), u"SELECT 1 FROM sqlite_schema WHERE name = ?"_s);
    exists.bindText(1, QString::fromUtf16(kChangesTable));
    if (!exists.step())
        return 0;
    sqlite::Statement count(d->db(),
        u"SELECT count(*) FROM %1 WHERE name = upper(?) AND field = ?"_s.arg(
            sqlite::quoted(QString::fromUtf16(kChangesTable))));
    count.bindText(1, d->name);
    count.bindText(2, d->columns.at(static_cast<std::size_t>(column)).name);
    count.step();
    return count.intAt(0);
}

} // namespace data
