#include "data/recordset.h"

#include "core/error_report.h"
#include "data/backend.h"
#include "data/connection.h"
#include "data/statement_observer.h"

using namespace Qt::StringLiterals;

namespace data {

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::open(const QString& sql, Connection& connection, int cursorType, int lockType)
{
    if (m_cursor)
        throw core::Error(u"The record set is already open."_s);
    if (connection.isWorkDatabase())
        notifyWorkStatement(sql);
    m_cursor = connection.backend().query(sql, CursorOptions { cursorType, lockType });
}

void Recordset::adopt(std::unique_ptr<Cursor> cursor)
{
    if (m_cursor)
        throw core::Error(u"The record set is already open."_s);
    m_cursor = std::move(cursor);
}

void Recordset::close()
{
    if (!m_cursor)
        throw core::Error(u"The record set is already closed."_s);
    m_cursor.reset();
}

Cursor& Recordset::cursor() const
{
    if (!m_cursor)
        throw core::Error(u"The record set is closed."_s);
    return *m_cursor;
}

bool Recordset::isEof() const
{
    return cursor().atEnd();
}

std::int64_t Recordset::recordCount() const
{
    return cursor().recordCount();
}

int Recordset::fieldCount() const
{
    return cursor().fieldCount();
}

int Recordset::checkedIndex(int index) const
{
    if (index < 0 || index >= cursor().fieldCount())
        throw core::Error(
            u"There is no field %1: the record set has %2."_s.arg(index).arg(cursor().fieldCount()));
    return index;
}

QString Recordset::fieldName(int index) const
{
    return cursor().fieldName(checkedIndex(index));
}

int Recordset::fieldIndex(const QString& name) const
{
    for (int i = 0; i < cursor().fieldCount(); ++i) {
        if (cursor().fieldName(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int Recordset::fieldType(int index) const
{
    return cursor().fieldType(checkedIndex(index));
}

bool Recordset::isNull(int index) const
{
    return cursor().isNull(checkedIndex(index));
}

QVariant Recordset::value(int index) const
{
    return cursor().value(checkedIndex(index));
}

QString Recordset::valueText(int index) const
{
    return cursor().valueText(checkedIndex(index));
}

const paradox::Value* Recordset::paradoxValue(int index) const
{
    return cursor().paradoxValue(checkedIndex(index));
}

void Recordset::moveFirst()
{
    if (!cursor().moveFirst())
        throw core::Error(u"This record set reads its rows only once and cannot go back to the first."_s);
}

void Recordset::moveNext()
{
    cursor().moveNext();
}

const paradox::TableInfo* Recordset::sourceTable() const
{
    return cursor().sourceTable();
}

} // namespace data
