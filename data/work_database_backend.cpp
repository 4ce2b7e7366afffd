#include "data/work_database_backend.h"

#include "data/work_database_internal.h"

#include "core/error_report.h"
#include "data/ado.h"
#include "data/memory_cursor.h"
#include "data/paradox_export.h"
#include "data/paradox_values.h"
#include "data/safe_names.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {
namespace {

// Starts with "~" like a Paradox temporary file, so no table the program lists can have
// this name.
constexpr char16_t kSourcesTable[] = u"~fieldwright_sources";

// The type number a Jet database would report for a column declared with this type.
int adoTypeOfDeclared(const QString& declared)
{
    const QString type = declared.toLower();
    if (type.contains(u"char"_s) || type.contains(u"text"_s))
        return ado::adVarWChar;
    if (type.contains(u"int"_s))
        return ado::adInteger;
    if (type.contains(u"real"_s) || type.contains(u"single"_s))
        return ado::adSingle;
    if (type.contains(u"float"_s) || type.contains(u"double"_s))
        return ado::adDouble;
    if (type.contains(u"decimal"_s) || type.contains(u"numeric"_s))
        return ado::adNumeric;
    if (type.contains(u"date"_s))
        return 7; // adDate
    if (type.contains(u"time"_s))
        return ado::adDBTime;
    if (type.contains(u"bit"_s) || type.contains(u"bool"_s))
        return ado::adBoolean;
    if (type.contains(u"currency"_s) || type.contains(u"money"_s))
        return ado::adCurrency;
    if (type.contains(u"oleobject"_s) || type.contains(u"blob"_s))
        return ado::adLongVarBinary;
    return 12; // adVariant: an expression without a declared type
}

QVariant columnValue(sqlite3_stmt* statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return static_cast<qint64>(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, column);
    case SQLITE_TEXT:
        return QString(reinterpret_cast<const QChar*>(sqlite3_column_text16(statement, column)),
            sqlite3_column_bytes16(statement, column) / 2);
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
            sqlite3_column_bytes(statement, column));
    default:
        return {};
    }
}

std::vector<MemoryCursor::Column> columnsOf(sqlite3_stmt* statement)
{
    std::vector<MemoryCursor::Column> columns;
    const int count = sqlite3_column_count(statement);
    for (int i = 0; i < count; ++i) {
        const char* declared = sqlite3_column_decltype(statement, i);
        columns.push_back({ QString::fromUtf8(sqlite3_column_name(statement, i)),
            adoTypeOfDeclared(declared ? QString::fromUtf8(declared) : QString()) });
    }
    return columns;
}

// Rows read as the cursor reaches them.
class StreamCursor : public Cursor
{
public:
    StreamCursor(Statement statement, std::int64_t count)
        : m_statement(std::move(statement))
        , m_columns(columnsOf(m_statement.get()))
        , m_count(count)
    {
        m_isAtEnd = !m_statement.step();
    }
    int fieldCount() const override { return static_cast<int>(m_columns.size()); }
    QString fieldName(int index) const override { return m_columns.at(static_cast<std::size_t>(index)).name; }
    int fieldType(int index) const override { return m_columns.at(static_cast<std::size_t>(index)).type; }
    bool atEnd() const override { return m_isAtEnd; }
    std::int64_t recordCount() const override { return m_count; }
    bool isNull(int index) const override { return value(index).isNull(); }
    QVariant value(int index) const override
    {
        if (m_isAtEnd)
            throw core::Error(u"Either BOF or EOF is True: there is no current record."_s);
        return columnValue(m_statement.get(), index);
    }
    QString valueText(int index) const override { return variantText(value(index)); }
    void moveNext() override
    {
        if (m_isAtEnd)
            throw core::Error(u"Either BOF or EOF is True: there is no next record."_s);
        m_isAtEnd = !m_statement.step();
    }

private:
    Statement m_statement;
    std::vector<MemoryCursor::Column> m_columns;
    std::int64_t m_count;
    bool m_isAtEnd = true;
};

} // namespace

QString sqliteText(const unsigned char* text)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

QString shortened(const QString& sql)
{
    constexpr qsizetype kShown = 300;
    return sql.size() <= kShown ? sql : sql.left(kShown) + u"..."_s;
}

Affinity affinityOf(const QString& declared)
{
    // SQLite's rules, in its order.
    const QString type = declared.toUpper();
    if (type.contains(u"INT"_s))
        return Affinity::Integer;
    if (type.contains(u"CHAR"_s) || type.contains(u"CLOB"_s) || type.contains(u"TEXT"_s))
        return Affinity::Text;
    if (type.contains(u"BLOB"_s) || type.isEmpty())
        return Affinity::Blob;
    if (type.contains(u"REAL"_s) || type.contains(u"FLOA"_s) || type.contains(u"DOUB"_s))
        return Affinity::Real;
    return Affinity::Numeric;
}

SqliteHandle::~SqliteHandle()
{
    sqlite3_close_v2(m_db);
}

Statement::Statement(std::shared_ptr<SqliteHandle> db, const QString& sql)
    : m_db(std::move(db))
{
    if (sqlite3_prepare16_v2(
            m_db->get(), sql.utf16(), static_cast<int>(sql.size() * 2), &m_statement, nullptr)
        != SQLITE_OK)
        throw core::Error(u"%1 (in the statement %2)"_s.arg(
            sqliteText(reinterpret_cast<const unsigned char*>(sqlite3_errmsg(m_db->get()))), shortened(sql)));
    if (!m_statement)
        throw core::Error(u"The statement is empty."_s);
}

Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

Statement::Statement(Statement&& other) noexcept
    : m_db(std::move(other.m_db))
    , m_statement(std::exchange(other.m_statement, nullptr))
{ }

Statement& Statement::operator=(Statement&& other) noexcept
{
    std::swap(m_db, other.m_db);
    std::swap(m_statement, other.m_statement);
    return *this;
}

bool Statement::step()
{
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    throw core::Error(sqliteText(reinterpret_cast<const unsigned char*>(sqlite3_errmsg(m_db->get()))));
}

WorkDatabaseBackend::WorkDatabaseBackend(const QString& file)
    : m_fileName(QFileInfo(file).fileName())
{
    // SQLite counts every allocation under a process-wide lock unless told not to, before
    // its first use; nothing here reads those counts. Later calls are refused harmlessly.
    static const bool isConfigured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    Q_UNUSED(isConfigured);
    sqlite3* db = nullptr;
    // Never SQLITE_OPEN_CREATE: the work database comes with the program, and a missing one
    // means the installation is broken, not that an empty one should appear somewhere.
    const int result = sqlite3_open_v2(
        QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    m_db = std::make_shared<SqliteHandle>(db);
    if (result != SQLITE_OK)
        throw core::Error(u"The work database %1 cannot be opened: %2"_s.arg(
            file, sqliteText(reinterpret_cast<const unsigned char*>(sqlite3_errstr(result)))));
    char* message = nullptr;
    // UTF-16 and the large page take effect only in a database without tables (the one the
    // build supplies): no conversion of every text that goes in and out, and far fewer page
    // splits while a copy appends a million rows. A cache of up to 256 MB keeps a big table's
    // pages in memory while the change run's updates jump around its index.
    if (sqlite3_exec(db,
            "PRAGMA encoding='UTF-16le'; PRAGMA page_size=32768; PRAGMA journal_mode=OFF; PRAGMA "
            "synchronous=OFF; "
            "PRAGMA temp_store=MEMORY; PRAGMA cache_size=-262144;",
            nullptr, nullptr, &message)
        != SQLITE_OK) {
        const QString text = QString::fromUtf8(message);
        sqlite3_free(message);
        throw core::Error(u"The work database %1 cannot be used: %2"_s.arg(file, text));
    }
    Statement encoding(m_db, u"PRAGMA encoding"_s);
    m_isUtf16 = encoding.step()
        && sqliteText(sqlite3_column_text(encoding.get(), 0)).startsWith(u"UTF-16"_s, Qt::CaseInsensitive);
}

WorkDatabaseBackend::~WorkDatabaseBackend() = default;

QString WorkDatabaseBackend::failure(const QString& what) const
{
    return u"%1: %2"_s.arg(m_fileName, what);
}

void WorkDatabaseBackend::execute(const QString& sql, DeferredDrops* drops)
{
    flushInserts();
    if (tryFastUpdate(sql))
        return;
    // Whatever else runs may change the rows the updates' look-up knows.
    m_rowsByValue.reset();
    if (isParadoxExportStatement(sql)) {
        exportToParadox(*this, sql, drops);
        return;
    }
    if (tryFastInsert(sql))
        return;
    // Anything else may change the schema under the prepared statements.
    forgetPreparedInserts();
    m_updates.clear();
    runStatements(sql);
    static const QRegularExpression drop(u"^\\s*DROP\\s+TABLE\\s+[`\\[\"]?([^`\\]\"]*)[`\\]\"]?\\s*;?\\s*$"_s,
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = drop.match(sql);
    if (match.hasMatch() && hasTable(QString::fromUtf16(kSourcesTable))) {
        Statement forget(m_db, u"DELETE FROM \"%1\" WHERE name = ?"_s.arg(QString::fromUtf16(kSourcesTable)));
        const QString name = match.captured(1).toUpper();
        sqlite3_bind_text16(
            forget.get(), 1, name.utf16(), static_cast<int>(name.size() * 2), SQLITE_TRANSIENT);
        forget.step();
    }
}

void WorkDatabaseBackend::runStatements(const QString& sql)
{
    // SQLite's own loop over the statements of a text; the statements the program executes
    // give no rows worth keeping.
    char* message = nullptr;
    if (sqlite3_exec(m_db->get(), sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = message ? QString::fromUtf8(message) : QString();
        sqlite3_free(message);
        throw core::Error(failure(u"%1 (in the statement %2)"_s.arg(text, shortened(sql))));
    }
}

// Runs a prepared statement whose values are bound, then makes it ready for the next ones.
// Returns SQLite's description of a failure, or the empty text.
QString WorkDatabaseBackend::runBound(sqlite3_stmt* statement)
{
    QString failureText;
    const int result = sqlite3_step(statement);
    if (result != SQLITE_DONE && result != SQLITE_ROW)
        failureText = sqliteText(reinterpret_cast<const unsigned char*>(sqlite3_errmsg(m_db->get())));
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return failureText;
}

std::unique_ptr<Cursor> WorkDatabaseBackend::query(const QString& sql, const CursorOptions& options)
{
    forgetPreparedInserts();
    m_rowsByValue.reset();
    try {
        if (options.lockType != ado::kLockReadOnly) {
            // A snapshot: the change run updates the table while it walks these rows.
            Statement statement(m_db, sql);
            std::vector<std::vector<QVariant>> rows;
            const int count = sqlite3_column_count(statement.get());
            while (statement.step()) {
                std::vector<QVariant> row;
                row.reserve(static_cast<std::size_t>(count));
                for (int i = 0; i < count; ++i)
                    row.push_back(columnValue(statement.get(), i));
                rows.push_back(std::move(row));
            }
            return std::make_unique<MemoryCursor>(columnsOf(statement.get()), std::move(rows));
        }
        QString inner = sql.trimmed();
        while (inner.endsWith(u';'))
            inner.chop(1);
        Statement counting(m_db, u"SELECT count(*) FROM ("_s + inner + u')');
        counting.step();
        const std::int64_t count = sqlite3_column_int64(counting.get(), 0);
        return std::make_unique<StreamCursor>(Statement(m_db, sql), count);
    } catch (const core::Error& e) {
        throw core::Error(failure(e.description()));
    }
}

std::unique_ptr<Cursor> WorkDatabaseBackend::tableList()
{
    flushInserts();
    Statement statement(
        m_db, u"SELECT type, name FROM sqlite_schema WHERE type IN ('table', 'view') ORDER BY name"_s);
    std::vector<std::vector<QVariant>> rows;
    while (statement.step()) {
        const QString type = sqliteText(sqlite3_column_text(statement.get(), 0));
        const QString name = sqliteText(sqlite3_column_text(statement.get(), 1));
        if (name == QString::fromUtf16(kSourcesTable))
            continue;
        QString kind = u"TABLE"_s;
        if (type == u"view"_s)
            kind = u"VIEW"_s;
        else if (name.startsWith(u"sqlite_"_s, Qt::CaseInsensitive))
            kind = u"SYSTEM TABLE"_s;
        rows.push_back({ QVariant(), QVariant(), name, kind });
    }
    std::vector<MemoryCursor::Column> columns { { u"TABLE_CATALOG"_s, ado::adVarWChar },
        { u"TABLE_SCHEMA"_s, ado::adVarWChar }, { u"TABLE_NAME"_s, ado::adVarWChar },
        { u"TABLE_TYPE"_s, ado::adVarWChar } };
    return std::make_unique<MemoryCursor>(std::move(columns), std::move(rows));
}

void WorkDatabaseBackend::beginTransaction()
{
    runStatements(u"BEGIN"_s);
}

void WorkDatabaseBackend::commitTransaction()
{
    try {
        forgetPreparedInserts();
    } catch (const core::Error&) {
        // The records before the refused ones stay, as they would have one by one.
        if (!sqlite3_get_autocommit(m_db->get()))
            runStatements(u"COMMIT"_s);
        throw;
    }
    if (!sqlite3_get_autocommit(m_db->get()))
        runStatements(u"COMMIT"_s);
}

bool WorkDatabaseBackend::hasTable(const QString& table)
{
    flushInserts();
    Statement statement(
        m_db, u"SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ? COLLATE NOCASE"_s);
    sqlite3_bind_text16(
        statement.get(), 1, table.utf16(), static_cast<int>(table.size() * 2), SQLITE_TRANSIENT);
    return statement.step();
}

void WorkDatabaseBackend::rememberSource(const QString& table, const paradox::TableInfo& info)
{
    flushInserts();
    QJsonArray fields;
    for (const paradox::Field& field : info.fields)
        fields.append(QJsonObject { { u"name"_s, field.name }, { u"type"_s, static_cast<int>(field.type) },
            { u"size"_s, field.size } });
    const QJsonObject object { { u"path"_s, info.path }, { u"fileVersion"_s, info.fileVersion },
        { u"codePage"_s, info.codePage }, { u"blockSizeKb"_s, info.blockSizeKb },
        { u"autoIncrementNext"_s, info.autoIncrementNext }, { u"sortOrderCode"_s, info.sortOrderCode },
        { u"sortOrderName"_s, QString::fromLatin1(info.sortOrderName.toBase64()) }, { u"fields"_s, fields } };
    const QString sources = QString::fromUtf16(kSourcesTable);
    runStatements(u"CREATE TABLE IF NOT EXISTS \"%1\"(name TEXT PRIMARY KEY, info TEXT)"_s.arg(sources));
    Statement statement(m_db, u"INSERT OR REPLACE INTO \"%1\"(name, info) VALUES(?, ?)"_s.arg(sources));
    const QString name = table.toUpper();
    const QString json = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    sqlite3_bind_text16(
        statement.get(), 1, name.utf16(), static_cast<int>(name.size() * 2), SQLITE_TRANSIENT);
    sqlite3_bind_text16(
        statement.get(), 2, json.utf16(), static_cast<int>(json.size() * 2), SQLITE_TRANSIENT);
    statement.step();
}

std::optional<paradox::TableInfo> WorkDatabaseBackend::source(const QString& table)
{
    flushInserts();
    const QString sources = QString::fromUtf16(kSourcesTable);
    if (!hasTable(sources))
        return std::nullopt;
    Statement statement(m_db, u"SELECT info FROM \"%1\" WHERE name = ?"_s.arg(sources));
    const QString name = table.toUpper();
    sqlite3_bind_text16(
        statement.get(), 1, name.utf16(), static_cast<int>(name.size() * 2), SQLITE_TRANSIENT);
    if (!statement.step())
        return std::nullopt;
    const QJsonObject object = QJsonDocument::fromJson(
        QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0))))
                                   .object();
    paradox::TableInfo info;
    info.path = object.value(u"path"_s).toString();
    info.fileVersion = object.value(u"fileVersion"_s).toInt();
    info.codePage = object.value(u"codePage"_s).toInt();
    info.blockSizeKb = object.value(u"blockSizeKb"_s).toInt();
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

std::unique_ptr<Backend> openWorkDatabase(const QString& databaseFile)
{
    return std::make_unique<WorkDatabaseBackend>(databaseFile);
}

} // namespace data
