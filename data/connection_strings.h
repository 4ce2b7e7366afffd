#pragma once

// The two connection strings, and what a connection reads back out of them.

#include <QString>

namespace data {

// The work database's file name, in the application folder.
inline constexpr char16_t kWorkDatabaseFileName[] = u"dbTemp.mdb";

// For the Paradox folder exactly as typed: it occurs twice, nothing is added or trimmed.
QString paradoxConnectionString(const QString& folder);

// For the application folder: Data Source is the folder, a separator and dbTemp.mdb.
QString workDatabaseConnectionString(const QString& applicationFolder);

// What a connection string points at. Unknown strings give Kind::Unknown.
struct ConnectionTarget
{
    enum class Kind { Unknown, ParadoxFolder, WorkDatabase };
    Kind kind = Kind::Unknown;
    QString location; // the Paradox folder (DefaultDir) or the database file (Data Source)
};

ConnectionTarget parseConnectionString(const QString& connectionString);

} // namespace data
