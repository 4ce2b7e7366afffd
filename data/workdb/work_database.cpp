#include "data/workdb/work_database.h"

#include "core/error_report.h"
#include "core/freed_aside.h"
#include "core/helpers.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace data {
namespace {

constexpr char16_t kSourcesTable[] = u"~fieldwright_sources";

QString sourcesTable()
{
    return sqlite::quoted(QString::fromUtf16(kSourcesTable));
}

QJsonObject describe(const paradox::TableInfo& info)
{
    QJsonArray fields;
    for (const paradox::Field& field : info.fields)
        fields.append(QJsonObject { { u"name"_s, field.name }, { u"type"_s, static_cast<int>(field.type) },
            { u"size"_s, field.size } });
    return { { u"path"_s, info.path }, { u"fileVersion"_s, info.fileVersion },
        { u"codePage"_s, info.codePage }, { u"blockSizeKb"_s, info.blockSizeKb },
        { u"isKeyed"_s, info.isKeyed }, { u"recordCount"_s, static_cast<qint64>(info.recordCount) },
        { u"autoIncrementNext"_s, info.autoIncrementNext }, { u"sortOrderCode"_s, info.sortOrderCode },
        { u"sortOrderName"_s, QString::fromLatin1(info.sortOrderName.toBase64()) }, { u"fields"_s, fields } };
}

paradox::TableInfo tableInfoOf(const QJsonObject& object)
{
    paradox::TableInfo info;
    info.path = object.value(u"path"_s).toString();
    info.fileVersion = object.value(u"fileVersion"_s).toInt();
    info.codePage = object.value(u"codePage"_s).toInt();
    info.blockSizeKb = object.value(u"blockSizeKb"_s).toInt();
    info.isKeyed = object.value(u"isKeyed"_s).toBool();
    info.recordCount = object.value(u"recordCount"_s).toInteger();
    info.autoIncrementNext = object.value(u"autoIncrementNext"_s).toInt();
    info.sortOrderCode = object.value(u"sortOrderCode"_s).toInt();
    info.sortOrderName = QByteArray::fromBase64(object.value(u"sortOrderName"_s).toString().toLatin1());
    for (const QJsonValue field : object.value(u"fields"_s).toArray()) {
        const QJsonObject f = field.toObject();
        info.fields.push_back({ f.value(u"name"_s).toString(),
            static_cast<paradox::FieldType>(f.value(u"type"_s).toInt()), f.value(u"size"_s).toInt() });
    }
    return info;
}

} // namespace

namespace {

QString suppliedFile(const QString& applicationFolder)
{
    return applicationFolder + QDir::separator() + QString::fromUtf16(kWorkDatabaseFileName);
}

// SQLite writes its journal beside the database, so the folder must take new files too.
bool isWritableHere(const QString& file)
{
    const QFileInfo info(file);
    return QFileInfo(info.absolutePath()).isWritable() && (!info.exists() || info.isWritable());
}

std::shared_ptr<sqlite::Handle> openFile(const QString& file)
{
    // SQLite counts every allocation under a process-wide lock unless told not to, before
    // its first use; nothing here reads those counts. Later calls are refused harmlessly.
    static const bool isConfigured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    Q_UNUSED(isConfigured);
    if (!QFileInfo::exists(file))
        throw core::Error(
            u"The work database %1 is missing; it comes with the program and is never made "
            "anew by it, so the installation is incomplete."_s.arg(QDir::toNativeSeparators(file)));
    sqlite3* db = nullptr;
    // Never SQLITE_OPEN_CREATE: a missing work database means the installation is broken,
    // not that an empty one should appear somewhere.
    const int result = sqlite3_open_v2(
        QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    auto handle = std::make_shared<sqlite::Handle>(db);
    if (result != SQLITE_OK)
        throw core::Error(u"The work database %1 cannot be opened: %2"_s.arg(
            QDir::toNativeSeparators(file), QString::fromUtf8(sqlite3_errstr(result))));
    try {
        // UTF-16 and the large page take effect only in a database without tables (the one
        // the build supplies): no conversion of every text that goes in and out, and far
        // fewer page splits while a copy appends a million rows. The rollback journal lets a
        // statement cut short by a kill or a full disk leave the database as it was.
        sqlite::execute(*handle,
            u"PRAGMA encoding='UTF-16le'; PRAGMA page_size=32768; PRAGMA journal_mode=DELETE; "
            "PRAGMA synchronous=NORMAL; PRAGMA cache_size=-16384;"_s);
    } catch (const core::Error& e) {
        throw core::Error(u"The work database %1 cannot be used: %2"_s.arg(
            QDir::toNativeSeparators(file), e.description()));
    }
    return handle;
}

// SQLite's own verdict on a file that could not be checked.
bool isDamage(const QString& file)
{
    sqlite3* db = nullptr;
    const int opened
        = sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    int code = opened;
    if (opened == SQLITE_OK)
        code = sqlite3_exec(db, "PRAGMA quick_check(1)", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        code = sqlite3_errcode(db);
    sqlite3_close_v2(db);
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

} // namespace

QString workDatabaseFile(const QString& applicationFolder)
{
    const QString supplied = suppliedFile(applicationFolder);
    // An installed program's folder is every user's, its administrator's too: a run there would
    // leave its lock and journal among the package's files.
    if (!core::isInstalledFolder(applicationFolder) && isWritableHere(supplied))
        return supplied;
    // A folder that is not the user's to write: the user's own copy.
    const QString own
        = core::userDataFolder() + QDir::separator() + QString::fromUtf16(kWorkDatabaseFileName);
    if (QFileInfo::exists(own))
        return own;
    if (!QFileInfo::exists(supplied))
        return supplied; // opening it says that the installation is incomplete
    if (!QDir().mkpath(QFileInfo(own).absolutePath()) || !QFile::copy(supplied, own))
        throw core::Error(u"The work database cannot be set up in %1: the folder cannot be written."_s.arg(
            QDir::toNativeSeparators(QFileInfo(own).absolutePath())));
    QFile(own).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return own;
}

QString checkWorkDatabase(const QString& applicationFolder)
{
    const QString file = workDatabaseFile(applicationFolder);
    QString damage;
    try {
        const auto handle = openFile(file);
        sqlite::Statement check(handle, u"PRAGMA quick_check(1)"_s);
        if (check.step() && check.textAt(0) != u"ok"_s)
            damage = check.textAt(0);
    } catch (const core::Error& e) {
        // Only a file that is no database, or a damaged one, is set aside; one that another
        // program has open is not damaged.
        if (!QFileInfo::exists(file) || !isDamage(file))
            throw;
        damage = e.description();
    }
    if (damage.isEmpty())
        return {};
    const QString aside = file + QDateTime::currentDateTime().toString(u".'damaged'-yyyyMMdd-HHmmss"_s);
    const QString journal = file + u"-journal"_s;
    if (!QFile::rename(file, aside))
        throw core::Error(u"The work database %1 is damaged (%2) and cannot be set aside."_s.arg(
            QDir::toNativeSeparators(file), damage));
    if (QFileInfo::exists(journal))
        QFile::rename(journal, aside + u"-journal"_s);
    QFile fresh(file);
    if (!fresh.open(QIODevice::WriteOnly)) // 0 bytes: an empty SQLite database
        throw core::Error(
            u"The work database %1 was damaged and set aside, but no new one can be made: %2"_s.arg(
                QDir::toNativeSeparators(file), fresh.errorString()));
    return u"The work database was damaged (%1). It is kept as %2, and a new, empty one took its place; "
           "no table of yours was touched."_s.arg(damage, QDir::toNativeSeparators(aside));
}

// A lock the system drops when its process ends, however it ends: a lock file whose
// contents say who holds it would stay behind, half written, after a kill.
struct RunLock::Holder
{
    ~Holder()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
};

RunLock::RunLock(const QString& applicationFolder)
{
    try {
        const QString file = workDatabaseFile(applicationFolder);
        auto holder = std::make_unique<Holder>();
        holder->fd
            = ::open(QFile::encodeName(file + u".lock"_s).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (holder->fd >= 0 && ::flock(holder->fd, LOCK_EX | LOCK_NB) == 0) {
            m_holder = std::move(holder);
            return;
        }
        m_problem = holder->fd >= 0 && errno == EWOULDBLOCK
            ? u"Another Fieldwright run is changing a table: its work database %1 is in use. Start again "
              "when that run has finished; no table was changed."_s.arg(QDir::toNativeSeparators(file))
            : u"The work database %1 cannot be locked for this run; no table was changed."_s.arg(
                QDir::toNativeSeparators(file));
    } catch (const core::Error& e) {
        m_problem = e.description();
    }
}

RunLock::~RunLock() = default;

WorkDatabase::WorkDatabase(const QString& applicationFolder)
    : m_file(workDatabaseFile(applicationFolder))
{
    m_db = openFile(m_file);
}

QString WorkDatabase::failure(const QString& what) const
{
    return u"%1: %2"_s.arg(QFileInfo(m_file).fileName(), what);
}

QString WorkDatabase::storedName(const QString& table)
{
    sqlite::Statement statement(m_db,
        u"SELECT name FROM sqlite_schema WHERE type = 'table' AND upper(name) = upper(?) "
        "AND name NOT LIKE '~%' AND name NOT LIKE 'sqlite~_%' ESCAPE '~'"_s);
    statement.bindText(1, table);
    return statement.step() ? statement.textAt(0) : QString();
}

bool WorkDatabase::hasTable(const QString& table)
{
    return !storedName(table).isEmpty();
}

void WorkDatabase::dropTable(const QString& table)
{
    const QString name = storedName(table);
    if (name.isEmpty())
        throw core::Error(failure(u"there is no table %1."_s.arg(table)));
    // When it is the only work table, the database is emptied as a whole: dropping a large
    // table walks every page of it, and the next copy would then reuse them one by one.
    sqlite::Statement others(m_db,
        u"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name <> ? AND name NOT LIKE '~%' "
        "AND name NOT LIKE 'sqlite~_%' ESCAPE '~'"_s);
    others.bindText(1, name);
    const bool isAlone = !others.step();
    others = sqlite::Statement();
    if (isAlone && m_db.use_count() == 1 && sqlite3_get_autocommit(m_db->get())) {
        m_db.reset(); // closes the connection
        if (!core::emptyAside(m_file))
            throw core::Error(failure(u"the work database cannot be emptied: %1"_s.arg(
                QString::fromLocal8Bit(std::strerror(errno)))));
        m_db = openFile(m_file);
        return;
    }
    sqlite::execute(*m_db, u"DROP TABLE "_s + sqlite::quoted(name));
    for (const char16_t* privateTable : { kSourcesTable, kChangesTable }) {
        const QString quotedName = sqlite::quoted(QString::fromUtf16(privateTable));
        sqlite::Statement exists(m_db, u"SELECT 1 FROM sqlite_schema WHERE name = ?"_s);
        exists.bindText(1, QString::fromUtf16(privateTable));
        if (!exists.step())
            continue;
        sqlite::Statement forget(m_db, u"DELETE FROM %1 WHERE name = upper(?)"_s.arg(quotedName));
        forget.bindText(1, name);
        forget.run();
    }
}

void WorkDatabase::rememberSource(
    const QString& table, const paradox::TableInfo& info, const QString& runId, const QJsonObject& snapshot)
{
    sqlite::execute(
        *m_db, u"CREATE TABLE IF NOT EXISTS %1(name TEXT PRIMARY KEY, info TEXT)"_s.arg(sourcesTable()));
    QJsonObject object = describe(info);
    object.insert(u"runId"_s, runId);
    object.insert(u"snapshot"_s, snapshot);
    storeSource(table, object);
}

void WorkDatabase::storeSource(const QString& table, const QJsonObject& object)
{
    sqlite::Statement statement(
        m_db, u"INSERT OR REPLACE INTO %1(name, info) VALUES(upper(?), ?)"_s.arg(sourcesTable()));
    statement.bindText(1, table);
    statement.bindText(2, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    statement.run();
}

std::optional<QJsonObject> WorkDatabase::sourceObject(const QString& table)
{
    sqlite::Statement exists(m_db, u"SELECT 1 FROM sqlite_schema WHERE name = ?"_s);
    exists.bindText(1, QString::fromUtf16(kSourcesTable));
    if (!exists.step())
        return std::nullopt;
    sqlite::Statement statement(m_db, u"SELECT info FROM %1 WHERE name = upper(?)"_s.arg(sourcesTable()));
    statement.bindText(1, table);
    if (!statement.step())
        return std::nullopt;
    return QJsonDocument::fromJson(statement.textAt(0).toUtf8()).object();
}

std::optional<paradox::TableInfo> WorkDatabase::source(const QString& table)
{
    const auto object = sourceObject(table);
    return object ? std::optional(tableInfoOf(*object)) : std::nullopt;
}

QJsonObject WorkDatabase::sourceSnapshot(const QString& table)
{
    const auto object = sourceObject(table);
    return object ? object->value(u"snapshot"_s).toObject() : QJsonObject();
}

void WorkDatabase::rememberSnapshot(const QString& table, const QJsonObject& snapshot)
{
    std::optional<QJsonObject> object = sourceObject(table);
    if (!object)
        throw core::Error(failure(u"there is no table %1."_s.arg(table)));
    object->insert(u"snapshot"_s, snapshot);
    storeSource(table, *object);
}

QString WorkDatabase::sourceRunId(const QString& table)
{
    const auto object = sourceObject(table);
    return object ? object->value(u"runId"_s).toString() : QString();
}

void WorkDatabase::beginTransaction()
{
    sqlite::execute(*m_db, u"BEGIN"_s);
}

void WorkDatabase::commitTransaction()
{
    if (!sqlite3_get_autocommit(m_db->get()))
        sqlite::execute(*m_db, u"COMMIT"_s);
}

void WorkDatabase::rollbackTransaction()
{
    if (!sqlite3_get_autocommit(m_db->get()))
        sqlite::execute(*m_db, u"ROLLBACK"_s);
}

bool TableExistsInWorkDb(const QString& tableName, const QString& applicationFolder)
{
    WorkDatabase database(applicationFolder);
    return database.hasTable(tableName);
}

} // namespace data
