#pragma once

// One work table: a run's copy of one Paradox table in the work database. The copy fills it
// row by row, the change run reads its distinct values and changes the rows that hold one
// value to another, and the preview and the write-back read its rows in record order.
//
// Every work table has a private record column (an INTEGER PRIMARY KEY, so SQLite's own row
// identity) holding the record's position in the Paradox table, 0 for the first record. Its
// name is chosen so that no field of the table can take it, so no user column can stand in
// for the row identity.

#include "core/value_cursor.h"
#include "data/paradox/paradox.h"
#include "data/workdb/sqlite.h"
#include "data/workdb/work_database.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

struct sqlite3_value;

namespace data {

struct WorkColumn
{
    QString name;
    QString declaredType; // e.g. "TEXT", "INT": the column types of the copy's create statement
};

struct DistinctValue
{
    bool isNull = false;
    QString text; // as the program shows it; empty for a null
    std::int64_t rows = 0; // records that hold the value
};

struct UpdateOutcome
{
    std::int64_t rowsChanged = 0;
    QString rejected; // why the value's rows were left as they are; empty when they were not
};

class WorkTable
{
public:
    // Creates the table with these columns, in this order. Throws core::Error.
    static WorkTable create(WorkDatabase& database, const QString& name, std::vector<WorkColumn> columns);
    // The existing work table of that name (compared as hasTable compares). Throws core::Error.
    static WorkTable open(WorkDatabase& database, const QString& name);

    ~WorkTable();
    WorkTable(WorkTable&&) noexcept;
    WorkTable& operator=(WorkTable&&) noexcept;

    const QString& name() const;
    const std::vector<WorkColumn>& columns() const;
    int columnIndex(const QString& name) const; // compared ignoring case; -1 when there is none

    // Appends a record, one value per column. Rows are held and run several to a statement
    // inside a transaction; flush() runs the held ones. Throws core::Error when the database
    // refuses them.
    void insert(std::span<const paradox::Value> row);
    void flush();

    std::int64_t rowCount();

    // The column's distinct values, in the order of the records that first hold them, each
    // with the number of records that hold it: a snapshot taken now, which the updates do
    // not change. Reading one throws core::Error.
    std::int64_t snapshotDistinctValues(int column);
    DistinctValue distinctValue(std::int64_t index);
    // Sets the column of the rows that held the index-th distinct value when the snapshot was
    // taken to `to`, stored as the copy stores a text. Each row changes at most once in the
    // run, whatever value it has come to hold. The change takes effect in the table before
    // any of its rows are read again, at the latest at applyUpdates().
    // A value whose text the table's Paradox field cannot hold (not a number for a Number
    // field, too long for an Alpha field, a character its code page lacks) is rejected, and
    // its rows stay as they are; a text that gives the value the rows already hold changes none.
    UpdateOutcome update(std::int64_t index, const QString& to);
    // What update(index, to) would do, decided as it decides, without storing anything.
    UpdateOutcome previewUpdate(std::int64_t index, const QString& to);
    void applyUpdates();

    // The records (counted from 0) whose column the updates changed, in record order, each with
    // its stored value, which is valid during the call only.
    void forEachChange(
        int column, const std::function<void(std::int64_t record, sqlite3_value* value)>& visit);
    // The same records read one at a time, for a caller that writes as it reads.
    class ChangeReader
    {
    public:
        virtual ~ChangeReader() = default;
        virtual bool next() = 0; // throws core::Error
        virtual std::int64_t record() const = 0;
        virtual sqlite3_value* value() const = 0; // valid until next()
    };
    std::unique_ptr<ChangeReader> changes(int column);
    std::int64_t changedRecords(int column);
    // The columns that have changed records.
    std::vector<int> changedColumns();

    // The column's values in record order.
    std::unique_ptr<core::ValueCursor> values(int column);

    // Every row in record order, for the write-back.
    class RowReader
    {
    public:
        virtual ~RowReader() = default;
        virtual bool next() = 0; // throws core::Error
        virtual sqlite3_value* value(int column) const = 0; // valid until next()
    };
    std::unique_ptr<RowReader> rows();

    class Private;

private:
    explicit WorkTable(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

} // namespace data
