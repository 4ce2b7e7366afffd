#pragma once

// The work database: the SQLite file dbTemp.mdb of the application folder, in which a run copies a
// Paradox table, changes it and from which it writes the table back. It is scratch space
// that the next copy rebuilds; the tables here are the work tables of Paradox tables, named
// as the table list names them, plus private tables whose names start with "~" (no table
// the table list shows can be called so).

#include "data/paradox/paradox.h"
#include "data/workdb/sqlite.h"

#include <QJsonObject>
#include <QString>
#include <memory>
#include <optional>

namespace data {

// Records of a work table that a run changed, by field, kept beside the tables so that the
// write-back (on a connection of its own) writes back exactly those.
inline constexpr char16_t kChangesTable[] = u"~fieldwright_changes";

// The work database's file name, in the application folder.
inline constexpr char16_t kWorkDatabaseFileName[] = u"dbTemp.mdb";

// The work database of this installation: dbTemp.mdb in the application folder when that folder
// can be written and is not an installed program's (core::isInstalledFolder); otherwise the one in
// the user's data folder, made there from the supplied empty file when it is missing. Throws
// core::Error when neither can be had.
QString workDatabaseFile(const QString& applicationFolder);

// Makes sure the work database can be used before a run starts: one that is damaged (a
// kill or a full disk in the middle of an earlier run) is set aside under another name and
// a fresh, empty one takes its place. Returns what the user should be told, or the empty
// text. Throws core::Error when no work database can be had.
QString checkWorkDatabase(const QString& applicationFolder);

// Held by a run from its copy to its write-back: two runs of the program never share the
// work database's tables. Released when destroyed, or when the process ends however it ends.
class RunLock
{
public:
    explicit RunLock(const QString& applicationFolder);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    // The empty text when this run holds the lock; otherwise why it does not.
    const QString& problem() const { return m_problem; }

private:
    struct Holder;
    std::unique_ptr<Holder> m_holder;
    QString m_problem;
};

class WorkDatabase
{
public:
    // Opens (never creates: the file comes with the program) the work database of this
    // application folder (workDatabaseFile). Throws core::Error.
    explicit WorkDatabase(const QString& applicationFolder);

    const QString& file() const { return m_file; }

    // A work table whose name equals table after upper-casing both; private tables never count.
    bool hasTable(const QString& table);
    // The name the table has in the database (its own spelling); empty when there is none.
    QString storedName(const QString& table);
    // Drops the work table and what the database keeps about it.
    void dropTable(const QString& table);

    // The Paradox table a work table was copied from: its path, field types and sizes, code
    // page and the rest of its description, for the write-back.
    // runId names the run that made the copy: a write-back takes back only its own run's copy.
    // snapshot: the state of the table's files when the copy read them (table_checks.h).
    void rememberSource(const QString& table, const paradox::TableInfo& info, const QString& runId,
        const QJsonObject& snapshot = {});
    std::optional<paradox::TableInfo> source(const QString& table);
    QString sourceRunId(const QString& table);
    QJsonObject sourceSnapshot(const QString& table);
    // The snapshot again, once more is known of the files it describes.
    void rememberSnapshot(const QString& table, const QJsonObject& snapshot);

    void beginTransaction();
    void commitTransaction();
    // Ends a transaction that a failure left open, without what it had not committed.
    void rollbackTransaction();

    const std::shared_ptr<sqlite::Handle>& handle() const { return m_db; }
    // "dbTemp.mdb: " + what, for error descriptions.
    QString failure(const QString& what) const;

private:
    std::optional<QJsonObject> sourceObject(const QString& table);
    void storeSource(const QString& table, const QJsonObject& object); // the table of sources exists

    std::shared_ptr<sqlite::Handle> m_db;
    QString m_file;
};

// True when the work database of this application folder holds a work table of this name
// (compared after upper-casing both). Opens and closes its own connection; throws core::Error.
bool TableExistsInWorkDb(const QString& tableName, const QString& applicationFolder);

} // namespace data
