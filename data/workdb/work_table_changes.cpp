// The change run's side of a work table: the updates noted for the distinct values of its
// snapshot (work_table_snapshot.cpp), each a new text for the rows that hold the value and
// applied by work_table_updates.cpp, and the record of what changed.

#include "data/workdb/work_table_private.h"

#include "core/error_report.h"
#include "data/workdb/work_values.h"

#include <sqlite3.h>
#include <string_view>

using namespace Qt::StringLiterals;

namespace data {

const paradox::Field* WorkTable::Private::sourceField(int column) const
{
    if (!source || column < 0 || static_cast<std::size_t>(column) >= source->fields.size())
        return nullptr;
    const paradox::Field& field = source->fields[static_cast<std::size_t>(column)];
    return field.name.compare(columns.at(static_cast<std::size_t>(column)).name, Qt::CaseInsensitive) == 0
        ? &field
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
