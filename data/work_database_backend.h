#pragma once

// The work database: an SQLite file, opened (never created) at the path a work database
// connection string names. It is scratch space that the next copy rebuilds, so it is tuned
// for speed (no journal, no sync), never for durability.

#include "data/backend.h"
#include "data/insert_statement.h"
#include "data/paradox/table.h"

#include <QHash>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace data {

struct UpdateStatement;

// Closes the database when the last connection or cursor that uses it lets go.
class SqliteHandle
{
public:
    explicit SqliteHandle(sqlite3* db)
        : m_db(db)
    { }
    ~SqliteHandle();
    SqliteHandle(const SqliteHandle&) = delete;
    SqliteHandle& operator=(const SqliteHandle&) = delete;
    sqlite3* get() const { return m_db; }

private:
    sqlite3* m_db;
};

// A prepared statement, finalized on destruction.
class Statement
{
public:
    Statement() = default;
    Statement(std::shared_ptr<SqliteHandle> db, const QString& sql); // throws core::Error
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    sqlite3_stmt* get() const { return m_statement; }
    // One step: true with a row, false when done; throws core::Error on failure.
    bool step();

private:
    std::shared_ptr<SqliteHandle> m_db;
    sqlite3_stmt* m_statement = nullptr;
};

class WorkDatabaseBackend : public Backend
{
public:
    explicit WorkDatabaseBackend(const QString& file); // throws core::Error
    ~WorkDatabaseBackend() override;

    void execute(const QString& sql, DeferredDrops* drops) override;
    void execute(const InsertStatement& insert, DeferredDrops* drops) override;
    std::unique_ptr<Cursor> query(const QString& sql, const CursorOptions& options) override;
    std::unique_ptr<Cursor> tableList() override;

    // One transaction around many statements (the copy's inserts).
    void beginTransaction();
    void commitTransaction();

    // The Paradox table a work table was copied from, kept beside it in a table that the
    // table list does not show, so that the write-back can give the new Paradox table the
    // old one's field types, sizes and code page. Forgotten when the work table is dropped.
    void rememberSource(const QString& table, const paradox::TableInfo& info);
    std::optional<paradox::TableInfo> source(const QString& table);

    bool hasTable(const QString& table);
    // Texts are kept in UTF-16 (an empty work database is made so when it opens).
    bool isUtf16() const { return m_isUtf16; }
    const std::shared_ptr<SqliteHandle>& handle() const { return m_db; }
    // "dbTemp.mdb: " + what SQLite says, for error descriptions.
    QString failure(const QString& what) const;

private:
    // The inserts (work_database_inserts.cpp).
    struct PreparedInsert;
    bool tryFastInsert(const QString& sql);
    PreparedInsert* preparedInsert(const QString& head, const QString& table, int valueCount);
    PreparedInsert* lastOrPreparedInsert(QStringView head, QStringView table, int valueCount);
    void bindValues(sqlite3_stmt* statement, int firstParameter, const InsertStatement& insert,
        const PreparedInsert& prepared);
    void runInsert(const InsertStatement& insert, const PreparedInsert& prepared);
    // Runs the held inserts; throws core::Error when the database refuses them.
    void flushInserts();
    void forgetPreparedInserts(); // after flushInserts

    // The change run's updates (work_database_updates.cpp).
    struct PreparedUpdate;
    struct RowsByValue;
    bool tryFastUpdate(const QString& sql);
    std::shared_ptr<PreparedUpdate> preparedUpdate(const QString& table, const QString& field, bool isNullTest);
    RowsByValue* rowsByValue(const QString& table, const QString& field);
    void findRows(const PreparedUpdate& prepared, const UpdateStatement& update, const QString& sql);

    // Runs a prepared statement whose values are bound, then makes it ready for the next
    // ones; returns SQLite's description of a failure, or the empty text.
    QString runBound(sqlite3_stmt* statement);
    void runStatements(const QString& sql);

    struct Literal
    {
        qsizetype start = 0;
        qsizetype length = 0;
        bool hasDoubledQuotes = false;
        bool isNull = false;
    };

    std::shared_ptr<SqliteHandle> m_db;
    QString m_fileName;
    bool m_isUtf16 = false;

    QHash<QString, std::shared_ptr<PreparedInsert>> m_inserts;
    PreparedInsert* m_lastInsert = nullptr;
    std::vector<Literal> m_literals; // kept between inserts to spare the allocations
    std::vector<QString> m_unquoted;
    std::vector<QString> m_valueTexts; // the first m_valueTextsUsed are bound
    std::size_t m_valueTextsUsed = 0;
    // The copy's inserts inside a transaction wait here until enough of them can run as one
    // statement; everything else done with the database runs them first. Only the first
    // m_pendingCount are waiting; the rest keep their memory for the next ones.
    std::vector<InsertStatement> m_pending;
    std::size_t m_pendingCount = 0;
    PreparedInsert* m_pendingInsert = nullptr;

    QHash<QString, std::shared_ptr<PreparedUpdate>> m_updates; // by form
    std::shared_ptr<RowsByValue> m_rowsByValue; // of the column the updates change; null when unknown
    std::vector<std::int64_t> m_rowIds; // of the rows one update may change
};

} // namespace data
