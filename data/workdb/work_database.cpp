#include "data/workdb/work_database.h"

#include "core/error_report.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {
namespace {

constexpr char16_t kSourcesTable[] = u"~fieldwright_sources";
constexpr char16_t kChangesTable[] = u"~fieldwright_changes";

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
    return { { u"path"_s, info.path }, { u"fileVersion"_s, info.fileVersion }, { u"codePage"_s, info.codePage },
        { u"blockSizeKb"_s, info.blockSizeKb }, { u"isKeyed"_s, info.isKeyed },
        { u"recordCount"_s, static_cast<qint64>(info.recordCount) },
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

WorkDatabase::WorkDatabase(const QString& applicationFolder)
    : m_file(fileIn(applicationFolder))
{
    // SQLite counts every allocation under a process-wide lock unless told not to, before
    // its first use; nothing here reads those counts. Later calls are refused harmlessly.
    static const bool isConfigured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    Q_UNUSED(isConfigured);
    sqlite3* db = nullptr;
    // Never SQLITE_OPEN_CREATE: the work database comes with the program, and a missing one
    // means the installation is broken, not that an empty one should appear somewhere.
    const int result = sqlite3_open_v2(
        QFile::encodeName(m_file).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    m_db = std::make_shared<sqlite::Handle>(db);
    if (result != SQLITE_OK)
        throw core::Error(
            u"The work database %1 cannot be opened: %2"_s.arg(m_file, QString::fromUtf8(sqlite3_errstr(result))));
    try {
        // UTF-16 and the large page take effect only in a database without tables (the one the
        // build supplies): no conversion of every text that goes in and out, and far fewer
        // page splits while a copy appends a million rows.
        sqlite::execute(*m_db,
            u"PRAGMA encoding='UTF-16le'; PRAGMA page_size=32768; PRAGMA journal_mode=OFF; "
            "PRAGMA synchronous=OFF; PRAGMA temp_store=MEMORY; PRAGMA cache_size=-262144;"_s);
    } catch (const core::Error& e) {
        throw core::Error(u"The work database %1 cannot be used: %2"_s.arg(m_file, e.description()));
    }
}

QString WorkDatabase::fileIn(const QString& applicationFolder)
{
    return applicationFolder + QDir::separator() + QString::fromUtf16(kWorkDatabaseFileName);
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

void WorkDatabase::rememberSource(const QString& table, const paradox::TableInfo& info)
{
    sqlite::execute(*m_db, u"CREATE TABLE IF NOT EXISTS %1(name TEXT PRIMARY KEY, info TEXT)"_s.arg(sourcesTable()));
    sqlite::Statement statement(m_db, u"INSERT OR REPLACE INTO %1(name, info) VALUES(upper(?), ?)"_s.arg(sourcesTable()));
    const QString json = QString::fromUtf8(QJsonDocument(describe(info)).toJson(QJsonDocument::Compact));
    statement.bindText(1, table);
    statement.bindText(2, json);
    statement.run();
}

std::optional<paradox::TableInfo> WorkDatabase::source(const QString& table)
{
    sqlite::Statement exists(m_db, u"SELECT 1 FROM sqlite_schema WHERE name = ?"_s);
    exists.bindText(1, QString::fromUtf16(kSourcesTable));
    if (!exists.step())
        return std::nullopt;
    sqlite::Statement statement(m_db, u"SELECT info FROM %1 WHERE name = upper(?)"_s.arg(sourcesTable()));
    statement.bindText(1, table);
    if (!statement.step())
        return std::nullopt;
    return tableInfoOf(QJsonDocument::fromJson(statement.textAt(0).toUtf8()).object());
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

bool TableExistsInWorkDb(const QString& tableName, const QString& applicationFolder)
{
    WorkDatabase database(applicationFolder);
    return database.hasTable(tableName);
}

} // namespace data
