// The updates a change run noted, applied to a work table in one pass: a text column's new
// texts looked up by its old ones (text_map.h), other columns by one statement each. The
// changes (work_table_changes.cpp) and the reads (work_table.cpp) apply them before they look.

#include "data/workdb/work_table_private.h"

#include "data/workdb/text_map.h"

#include <limits>
#include <sqlite3.h>
#include <string_view>

using namespace Qt::StringLiterals;

namespace data {

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
    const QString unchanged
        = hasChangedRows ? u" AND %1 NOT IN (SELECT record FROM temp.fw_changed)"_s.arg(record) : QString();
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
            run(u"UPDATE main.%1 SET %2 = m.new FROM temp.fw_map AS m WHERE main.%1.%2 = m.old%3 RETURNING %4"_s
                    .arg(quotedName, f, unchanged, record));
        if (hasPendingNullUpdate)
            run(u"UPDATE main.%1 SET %2 = (SELECT new FROM temp.fw_null) WHERE %2 IS NULL%3 RETURNING %4"_s
                    .arg(quotedName, f, unchanged, record));
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

} // namespace data
