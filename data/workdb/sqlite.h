#pragma once

// Thin RAII wrappers over the SQLite C interface, shared by the work database's files.

#include <QString>
#include <QStringView>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_value;

namespace data::sqlite {

// Closes the database when the last statement or table that uses it lets go.
class Handle
{
public:
    explicit Handle(sqlite3* db)
        : m_db(db)
    { }
    ~Handle();
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    sqlite3* get() const { return m_db; }
    QString lastError() const; // SQLite's message for the last failure

private:
    sqlite3* m_db;
};

// A prepared statement, finalized on destruction. Failures throw core::Error.
class Statement
{
public:
    Statement() = default;
    Statement(std::shared_ptr<Handle> db, const QString& sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    sqlite3_stmt* get() const { return m_statement; }
    bool isPrepared() const { return m_statement != nullptr; }

    // One step: true with a row, false when done.
    bool step();
    // Runs the statement to its end, then makes it ready for new values.
    void run();
    void reset();

    // Parameters count from 1. A text bound by view or by reference must outlive the next
    // step (it is not copied); a temporary text is copied.
    void bindNull(int parameter);
    void bindInt(int parameter, qint64 value);
    void bindDouble(int parameter, double value);
    void bindText(int parameter, QStringView text);
    void bindText(int parameter, const QString& text) { bindText(parameter, QStringView(text)); }
    void bindText(int parameter, QString&& text);
    void bindValue(int parameter, const sqlite3_value* value);

    // Columns count from 0; valid until the next step.
    qint64 intAt(int column) const;
    QString textAt(int column) const;
    sqlite3_value* valueAt(int column) const;

private:
    std::shared_ptr<Handle> m_db;
    sqlite3_stmt* m_statement = nullptr;
};

// Runs statements that give no rows; throws core::Error with SQLite's message.
void execute(const Handle& db, const QString& sql);

// A name as SQLite reads it whatever it holds: in double quotes, inner ones doubled.
QString quoted(const QString& name);

// SQLite's affinity of a column declared with this type (its own rules, in its order).
enum class Affinity { Integer, Text, Blob, Real, Numeric };
Affinity affinityOf(const QString& declaredType);

} // namespace data::sqlite
