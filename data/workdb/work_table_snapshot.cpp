// The snapshot a change run starts from: one column's distinct values, each with its number
// of rows, in the order of the records that first hold them.

#include "data/workdb/work_table_private.h"

#include "core/error_report.h"
#include "data/workdb/distinct_texts.h"
#include "data/workdb/work_values.h"

#include <sqlite3.h>
#include <string_view>

using namespace Qt::StringLiterals;

namespace data {

std::int64_t WorkTable::snapshotDistinctValues(int column)
{
    flush();
    d->applyUpdates();
    const auto& db = *d->db();
    const QString type = d->columns.at(static_cast<std::size_t>(column)).declaredType;
    const QString record = sqlite::quoted(d->recordColumn);
    sqlite::execute(db,
        u"DROP TABLE IF EXISTS temp.fw_distinct; DROP TABLE IF EXISTS temp.fw_map; DROP TABLE IF EXISTS "
        u"temp.fw_null; "
        "DROP TABLE IF EXISTS temp.fw_changed; CREATE TEMP TABLE fw_changed(record INTEGER PRIMARY KEY); "
        "CREATE TABLE IF NOT EXISTS %1(name TEXT, field TEXT, record INTEGER, PRIMARY KEY(name, field, "
        "record)) "
        "WITHOUT ROWID;"_s.arg(sqlite::quoted(QString::fromUtf16(kChangesTable))));
    // One transaction from here to the updates' end: every value of the snapshot and every
    // note of an update would otherwise be a transaction of its own, with its journal written
    // and removed.
    sqlite::execute(db, u"BEGIN"_s);
    // Grouped once: every later look-up of a value's rows goes through this snapshot.
    sqlite::execute(db, u"CREATE TEMP TABLE fw_distinct(i INTEGER PRIMARY KEY, v %1, n INTEGER)"_s.arg(type));
    if (!d->snapshotDistinctTexts(column))
        sqlite::execute(db,
            u"INSERT INTO temp.fw_distinct(v, n) SELECT v, n FROM (SELECT %1 AS v, count(*) AS n, min(%2) AS "
            u"first "
            "FROM main.%3 GROUP BY %1) ORDER BY first"_s.arg(d->column(column), record, d->quotedName));
    sqlite::execute(db,
        u"CREATE TEMP TABLE fw_map(old %1 PRIMARY KEY, new %1); CREATE TEMP TABLE fw_null(new %1);"_s.arg(
            type));
    d->readDistinct = sqlite::Statement(d->db(), u"SELECT v, n FROM temp.fw_distinct WHERE i = ?"_s);
    d->noteUpdate = sqlite::Statement(d->db(),
        u"INSERT OR REPLACE INTO temp.fw_map(old, new) SELECT v, ? FROM temp.fw_distinct WHERE i = ?"_s);
    // A null is never equal to anything, so the null's rows take their new value from here.
    d->noteNullUpdate = sqlite::Statement(d->db(), u"INSERT INTO temp.fw_null(new) VALUES(?)"_s);
    d->changedColumn = column;
    d->pendingUpdates = 0;
    d->hasPendingNullUpdate = false;
    d->hasChangedRows = false;
    d->changedInSnapshot.clear();
    sqlite::Statement count(d->db(), u"SELECT count(*) FROM temp.fw_distinct"_s);
    count.step();
    d->distinctCount = count.intAt(0);
    return d->distinctCount;
}

// A text column's values are grouped here, in one pass in record order, where SQLite would
// sort every row and then the groups; a column whose values outgrow the limit is left to it.
bool WorkTable::Private::snapshotDistinctTexts(int column)
{
    if (affinities.at(static_cast<std::size_t>(column)) != sqlite::Affinity::Text)
        return false;
    constexpr std::size_t kMostBytes = 32 << 20;
    DistinctTexts groups(kMostBytes);
    sqlite::Statement rows(db(),
        u"SELECT %1 FROM main.%2 ORDER BY %3"_s.arg(
            this->column(column), quotedName, sqlite::quoted(recordColumn)));
    while (rows.step()) {
        sqlite3_value* value = rows.valueAt(0);
        const int type = sqlite3_value_type(value);
        if (type == SQLITE_NULL) {
            if (!groups.addNull())
                return false;
            continue;
        }
        // Only texts group as texts: anything else a text column was given is SQLite's to compare.
        if (type != SQLITE_TEXT)
            return false;
        const auto* text = static_cast<const char16_t*>(sqlite3_value_text16(value));
        if (!groups.add(
                std::u16string_view(text, static_cast<std::size_t>(sqlite3_value_bytes16(value) / 2))))
            return false;
    }
    sqlite::Statement insert(db(), u"INSERT INTO temp.fw_distinct(v, n) VALUES(?, ?)"_s);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const DistinctTexts::Group group = groups.at(i);
        if (group.isNull)
            insert.bindNull(1);
        else
            insert.bindText(1, QStringView(group.text.data(), static_cast<qsizetype>(group.text.size())));
        insert.bindInt(2, group.rows);
        insert.run();
    }
    return true;
}

DistinctValue WorkTable::distinctValue(std::int64_t index)
{
    if (d->changedColumn < 0 || index < 0 || index >= d->distinctCount)
        throw core::Error(u"There is no distinct value %1 of table %2."_s.arg(index).arg(d->name));
    sqlite::Statement& row = d->readDistinct;
    row.bindInt(1, index + 1);
    if (!row.step()) {
        row.reset();
        throw core::Error(u"There is no distinct value %1 of table %2."_s.arg(index).arg(d->name));
    }
    DistinctValue value;
    value.isNull = sqlite3_value_type(row.valueAt(0)) == SQLITE_NULL;
    value.text = storedText(row.valueAt(0));
    value.rows = row.intAt(1);
    row.reset();
    return value;
}

} // namespace data
