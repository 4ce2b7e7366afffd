#include "data/workdb/work_table.h"

#include "data/workdb/work_table_private.h"

#include "core/error_report.h"
#include "data/workdb/work_values.h"

#include <QStringList>
#include <algorithm>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {
namespace {

// Records per insert statement: SQLite's work per statement is then shared by many rows.
constexpr int kBatchRows = 32;

QString recordColumnFor(const std::vector<WorkColumn>& columns)
{
    QString name = u"fw_record"_s;
    const auto isTaken = [&](const QString& candidate) {
        return std::any_of(columns.begin(), columns.end(),
            [&](const WorkColumn& column) { return column.name.compare(candidate, Qt::CaseInsensitive) == 0; });
    };
    while (isTaken(name))
        name += u'_';
    return name;
}

// paradox::Value slot = value, a text copied into the slot's own memory when it has some, so
// a held row neither allocates nor keeps the reader from reusing the memory of its row.
void assignValue(paradox::Value& slot, const paradox::Value& value)
{
    const auto* text = std::get_if<QString>(&value);
    auto* ownText = std::get_if<QString>(&slot);
    if (text && ownText)
        ownText->setUnicode(text->constData(), text->size());
    else if (text)
        slot = QString(text->constData(), text->size());
    else
        slot = value;
}

class StoredValues : public core::ValueCursor
{
public:
    explicit StoredValues(sqlite::Statement statement)
        : m_statement(std::move(statement))
    {
        m_isAtEnd = !m_statement.step();
    }
    bool atEnd() const override { return m_isAtEnd; }
    bool isNull() const override { return sqlite3_value_type(current()) == SQLITE_NULL; }
    QString text() const override { return storedText(current()); }
    void moveNext() override
    {
        current();
        m_isAtEnd = !m_statement.step();
    }

private:
    sqlite3_value* current() const
    {
        if (m_isAtEnd)
            throw core::Error(u"There is no current row: the values have ended."_s);
        return m_statement.valueAt(0);
    }
    sqlite::Statement m_statement;
    bool m_isAtEnd = true;
};

class StoredRows : public WorkTable::RowReader
{
public:
    explicit StoredRows(sqlite::Statement statement)
        : m_statement(std::move(statement))
    { }
    bool next() override { return m_statement.step(); }
    sqlite3_value* value(int column) const override { return m_statement.valueAt(column); }

private:
    sqlite::Statement m_statement;
};

} // namespace


WorkTable::WorkTable(std::unique_ptr<Private> p)
    : d(std::move(p))
{ }
WorkTable::~WorkTable() = default;
WorkTable::WorkTable(WorkTable&&) noexcept = default;
WorkTable& WorkTable::operator=(WorkTable&&) noexcept = default;

WorkTable WorkTable::create(WorkDatabase& database, const QString& name, std::vector<WorkColumn> columns)
{
    auto d = std::make_unique<Private>();
    d->database = &database;
    d->name = name;
    d->quotedName = sqlite::quoted(name);
    d->recordColumn = recordColumnFor(columns);
    QStringList definitions { sqlite::quoted(d->recordColumn) + u" INTEGER PRIMARY KEY"_s };
    for (const WorkColumn& column : columns) {
        definitions << sqlite::quoted(column.name) + u' ' + column.declaredType;
        d->affinities.push_back(sqlite::affinityOf(column.declaredType));
    }
    d->columns = std::move(columns);
    try {
        sqlite::execute(*database.handle(), u"CREATE TABLE %1(%2)"_s.arg(d->quotedName, definitions.join(u", "_s)));
        // What an earlier table of this name changed is no concern of this one.
        sqlite::Statement exists(database.handle(), u"SELECT 1 FROM sqlite_schema WHERE name = ?"_s);
        exists.bindText(1, QString::fromUtf16(kChangesTable));
        if (exists.step()) {
            sqlite::Statement forget(database.handle(),
                u"DELETE FROM %1 WHERE name = upper(?)"_s.arg(sqlite::quoted(QString::fromUtf16(kChangesTable))));
            forget.bindText(1, name);
            forget.run();
        }
    } catch (const core::EnvironmentError&) {
        throw; // it names the file already, and what to do
    } catch (const core::Error& e) {
        throw core::Error(database.failure(e.description()));
    }
    return WorkTable(std::move(d));
}

WorkTable WorkTable::open(WorkDatabase& database, const QString& name)
{
    const QString stored = database.storedName(name);
    if (stored.isEmpty())
        throw core::Error(database.failure(u"there is no table %1."_s.arg(name)));
    auto d = std::make_unique<Private>();
    d->database = &database;
    d->name = stored;
    d->quotedName = sqlite::quoted(stored);
    sqlite::Statement info(database.handle(), u"SELECT name, type, pk FROM pragma_table_info(?)"_s);
    info.bindText(1, stored);
    while (info.step()) {
        if (info.intAt(2) == 1 && d->recordColumn.isEmpty()) {
            d->recordColumn = info.textAt(0);
            continue;
        }
        d->columns.push_back({ info.textAt(0), info.textAt(1) });
        d->affinities.push_back(sqlite::affinityOf(info.textAt(1)));
    }
    if (d->recordColumn.isEmpty())
        throw core::Error(database.failure(u"the table %1 is not a work table of this program."_s.arg(name)));
    d->source = database.source(stored);
    return WorkTable(std::move(d));
}

const QString& WorkTable::name() const
{
    return d->name;
}

const std::vector<WorkColumn>& WorkTable::columns() const
{
    return d->columns;
}

int WorkTable::columnIndex(const QString& name) const
{
    for (std::size_t i = 0; i < d->columns.size(); ++i) {
        if (d->columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

void WorkTable::Private::prepareInserts()
{
    QStringList placeholders(static_cast<qsizetype>(columns.size()) + 1, u"?"_s);
    const QString row = u'(' + placeholders.join(u',') + u')';
    const QString head = u"INSERT INTO "_s + quotedName + u" VALUES"_s;
    insertOne = sqlite::Statement(db(), head + row);
    QStringList rows(kBatchRows, row);
    insertBatch = sqlite::Statement(db(), head + rows.join(u','));
    scratch.resize(columns.size() * kBatchRows);
}

void WorkTable::Private::bindRow(sqlite::Statement& statement, int firstParameter, std::size_t rowStart)
{
    const std::size_t width = columns.size();
    statement.bindInt(firstParameter, nextRecord++);
    for (std::size_t i = 0; i < width; ++i)
        bindCopyValue(statement, firstParameter + 1 + static_cast<int>(i), held[rowStart + i], affinities[i],
            scratch[rowStart + i]);
}

void WorkTable::insert(std::span<const paradox::Value> row)
{
    if (row.size() != d->columns.size())
        throw core::Error(d->database->failure(
            u"table %1 has %2 columns, but %3 values were given."_s.arg(d->name).arg(d->columns.size()).arg(row.size())));
    if (!d->insertOne.isPrepared())
        d->prepareInserts();
    const std::size_t start = static_cast<std::size_t>(d->heldRows) * row.size();
    if (d->held.size() < start + row.size())
        d->held.resize(start + row.size());
    for (std::size_t i = 0; i < row.size(); ++i)
        assignValue(d->held[start + i], row[i]);
    ++d->heldRows;
    // Outside a transaction every row runs at once, as a statement of its own would.
    if (d->heldRows == kBatchRows || sqlite3_get_autocommit(d->db()->get()))
        flush();
}

void WorkTable::flush()
{
    const int count = std::exchange(d->heldRows, 0);
    if (count == 0)
        return;
    const std::int64_t firstRecord = d->nextRecord;
    const int width = static_cast<int>(d->columns.size()) + 1;
    try {
        if (count == kBatchRows) {
            for (int r = 0; r < count; ++r)
                d->bindRow(d->insertBatch, r * width + 1, static_cast<std::size_t>(r) * d->columns.size());
            d->insertBatch.run();
            return;
        }
        for (int r = 0; r < count; ++r) {
            d->bindRow(d->insertOne, 1, static_cast<std::size_t>(r) * d->columns.size());
            d->insertOne.run();
        }
    } catch (const core::EnvironmentError&) {
        throw;
    } catch (const core::Error& e) {
        throw core::Error(d->database->failure(u"%1 (while inserting record %2 of %3, or one of the %4 after it)"_s
                                                   .arg(e.description())
                                                   .arg(firstRecord + 1)
                                                   .arg(d->name)
                                                   .arg(count - 1)));
    }
}

std::int64_t WorkTable::rowCount()
{
    flush();
    d->applyUpdates();
    // The records are numbered from 0 as they are copied and never removed: the highest
    // number tells the count without a walk over every row.
    sqlite::Statement count(
        d->db(), u"SELECT coalesce(max(%1) + 1, 0) FROM %2"_s.arg(sqlite::quoted(d->recordColumn), d->quotedName));
    count.step();
    return count.intAt(0);
}

std::unique_ptr<core::ValueCursor> WorkTable::values(int column)
{
    flush();
    d->applyUpdates();
    return std::make_unique<StoredValues>(sqlite::Statement(d->db(),
        u"SELECT %1 FROM main.%2 ORDER BY %3"_s.arg(d->column(column), d->quotedName, sqlite::quoted(d->recordColumn))));
}

std::unique_ptr<WorkTable::RowReader> WorkTable::rows()
{
    flush();
    d->applyUpdates();
    QStringList columns;
    for (std::size_t i = 0; i < d->columns.size(); ++i)
        columns << d->column(static_cast<int>(i));
    return std::make_unique<StoredRows>(sqlite::Statement(d->db(),
        u"SELECT %1 FROM main.%2 ORDER BY %3"_s.arg(columns.join(u", "_s), d->quotedName, sqlite::quoted(d->recordColumn))));
}

} // namespace data
