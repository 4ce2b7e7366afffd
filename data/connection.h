#pragma once

// A connection to one of the program's two databases, chosen by its connection string:
// the Paradox string opens a folder of Paradox tables on our own file code, the work
// database string opens the SQLite work database. Every failure throws core::Error with a
// description the user can read.

#include <QString>
#include <functional>
#include <memory>

namespace data {

class Backend;
class DeferredDrops;
class InsertStatement;
class Recordset;

class Connection
{
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Set before open; kept for the record sets of this connection.
    void setCursorLocation(int location) { m_cursorLocation = location; }
    int cursorLocation() const { return m_cursorLocation; }
    void setMode(int mode) { m_mode = mode; }
    int mode() const { return m_mode; }

    // The write-back's drops of Paradox tables wait here until the new table is complete
    // (see deferred_drops.h). Without it a Paradox drop removes the table's files.
    void setDeferredDrops(DeferredDrops* drops) { m_deferredDrops = drops; }

    void open(const QString& connectionString);
    bool isOpen() const { return m_backend != nullptr; }
    // Runs one statement; the caller needs no result, only success or an error.
    void execute(const QString& sql);
    // The same for the copy's insert of one record, which is written out as text only when
    // something reads it.
    void execute(const InsertStatement& insert);
    // The table list (schema 20 only): columns TABLE_NAME and TABLE_TYPE, one row per
    // table ("TABLE"), view ("VIEW") or table of the database itself ("SYSTEM TABLE").
    void openSchema(int schema, Recordset& rows);
    void close();

    Backend& backend(); // throws when the connection is not open
    bool isWorkDatabase() const { return m_backend && m_isWorkDatabase; }

private:
    std::unique_ptr<Backend> m_backend;
    int m_cursorLocation = 2;
    int m_mode = 0;
    DeferredDrops* m_deferredDrops = nullptr;
    bool m_isWorkDatabase = false;
};

// Sees every statement sent to the work database through a connection or a record set,
// before it runs. Process-wide, for tests and diagnostics; an empty function removes it.
using StatementObserver = std::function<void(const QString& sql)>;
// Without withCopyInserts the observer does not see the copy's INSERT per record, which
// then never needs its text written out (for timings).
void setStatementObserver(StatementObserver observer, bool withCopyInserts = true);

} // namespace data
