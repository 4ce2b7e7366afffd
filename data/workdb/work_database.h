#pragma once

// The work database: the SQLite file dbTemp.mdb beside the program, in which a run copies a
// Paradox table, changes it and from which it writes the table back. It is scratch space
// that the next copy rebuilds; the tables here are the work tables of Paradox tables, named
// as the table list names them, plus private tables whose names start with "~" (no table
// the table list shows can be called so).

#include "data/paradox/table.h"
#include "data/workdb/sqlite.h"

#include <QString>
#include <memory>
#include <optional>

namespace data {

// The work database's file name, in the application folder.
inline constexpr char16_t kWorkDatabaseFileName[] = u"dbTemp.mdb";

class WorkDatabase
{
public:
    // Opens (never creates: the file comes with the program) the work database of this
    // application folder. Throws core::Error.
    explicit WorkDatabase(const QString& applicationFolder);

    static QString fileIn(const QString& applicationFolder);
    const QString& file() const { return m_file; }

    // A work table whose name equals table after upper-casing both; private tables never count.
    bool hasTable(const QString& table);
    // The name the table has in the database (its own spelling); empty when there is none.
    QString storedName(const QString& table);
    // Drops the work table and what the database keeps about it.
    void dropTable(const QString& table);

    // The Paradox table a work table was copied from: its path, field types and sizes, code
    // page and the rest of its description, for the write-back.
    void rememberSource(const QString& table, const paradox::TableInfo& info);
    std::optional<paradox::TableInfo> source(const QString& table);

    void beginTransaction();
    void commitTransaction();

    const std::shared_ptr<sqlite::Handle>& handle() const { return m_db; }
    // "dbTemp.mdb: " + what, for error descriptions.
    QString failure(const QString& what) const;

private:
    std::shared_ptr<sqlite::Handle> m_db;
    QString m_file;
};

// True when the work database of this application folder holds a work table of this name
// (compared after upper-casing both). Opens and closes its own connection; throws core::Error.
bool TableExistsInWorkDb(const QString& tableName, const QString& applicationFolder);

} // namespace data
