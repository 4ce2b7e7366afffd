#pragma once

// The statement texts hold names as they are, between backquotes or square brackets; a name
// that holds either closing delimiter would make them say something else than what is
// done, so such a name is refused. A table name is also a file name, listed one per line and
// written into the names of its temporary files and backups, so it is held to more.

#include <QString>

namespace data {

// The longest table name, in bytes of the file system's encoding: the temporary files and
// journal beside the table and its backup folders add up to 40 bytes to it, and a file name
// has at most 255.
inline constexpr int kLongestTableName = 200;

// The empty text for a name that can be sent, else the user's description of the problem.
QString unsafeNameProblem(const QString& name);

// Throws core::Error with that description.
void refuseUnsafeName(const QString& name);

// As unsafeNameProblem, and also a name with a line break or another control character (no
// list shows it whole), with a backslash (another system's separator: the name would not
// lead back to its file), or longer than kLongestTableName.
QString tableNameProblem(const QString& table);
void refuseUnsafeTableName(const QString& table);

// Whether a table file's name may be listed: no line break or other control character, no
// backslash (tableNameProblem says why not).
bool isListableTableName(const QString& fileName);

} // namespace data
