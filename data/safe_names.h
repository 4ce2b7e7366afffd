#pragma once

// Names go into statements as they are, between backquotes or square brackets; nothing
// escapes them. A name that holds either closing delimiter would end the quoted name early
// and let the rest of it be read as SQL, so it is refused instead of sent.

#include <QString>
#include <QStringList>

namespace data {

// The empty text for a name that can be sent, else the user's description of the problem.
QString unsafeNameProblem(const QString& name);

// Throws core::Error with that description.
void refuseUnsafeName(const QString& name);

// A name for the program's own helper statements (not the ones the user's statements
// fix): always in double quotes, inner double quotes doubled, so any name is safe.
QString delimitedName(const QString& name);

// The first of SQLite's names for a table's rowid (rowid, _rowid_, oid) that none of its
// columns takes; the empty text when the columns take all three.
QString rowIdName(const QStringList& columnNames);

} // namespace data
