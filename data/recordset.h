#pragma once

// The rows a statement gives, read one at a time, with the numbers of the database
// interface the program was written against (cursor type, lock type, state, field type).
//
// On the work database a record set with a lock type other than read-only is a snapshot
// taken when it opens, since the change run updates the table while it walks the values.
// A read-only one reads the rows as it reaches them. Paradox tables are always streamed.

#include "data/ado.h"
#include "data/paradox/table.h"

#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>

namespace data {

class Connection;
class Cursor;

class Recordset
{
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    void setCursorLocation(int location) { m_cursorLocation = location; }

    // Throws core::Error when the statement fails or is not understood.
    void open(const QString& sql, Connection& connection, int cursorType = ado::kOpenForwardOnly,
        int lockType = ado::kLockReadOnly);
    int state() const { return m_cursor ? ado::kStateOpen : ado::kStateClosed; }
    void close();

    // The rest throws core::Error when the record set is closed, an index is out of range,
    // or (moveNext) the next row cannot be read.
    bool isEof() const;
    std::int64_t recordCount() const; // exact
    int fieldCount() const;
    QString fieldName(int index) const;
    int fieldIndex(const QString& name) const; // -1 when there is no such field
    int fieldType(int index) const; // the ADO type number
    bool isNull(int index) const;
    // Null (an invalid QVariant) for a null; qint64, double, QString, QByteArray, bool, QDate,
    // QTime or QDateTime otherwise.
    QVariant value(int index) const;
    // The value's text, as paradox::valueText writes it: the empty text for a null.
    QString valueText(int index) const;
    // The value as read, on a record set of a Paradox table; null on any other.
    const paradox::Value* paradoxValue(int index) const;
    void moveNext();
    // Back to the first row: snapshots only (throws core::Error on a streamed record set).
    void moveFirst();

    // The Paradox table behind a record set on a Paradox table; null otherwise.
    const paradox::TableInfo* sourceTable() const;

    Cursor& cursor() const; // throws when closed
    void adopt(std::unique_ptr<Cursor> cursor); // e.g. a table list

private:
    int checkedIndex(int index) const;

    std::unique_ptr<Cursor> m_cursor;
    int m_cursorLocation = 2;
};

} // namespace data
