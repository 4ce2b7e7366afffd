#include "data/workdb/sqlite.h"

#include "core/error_report.h"

#include <QDir>
#include <sqlite3.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace data::sqlite {
namespace {

QString shortened(const QString& sql)
{
    constexpr qsizetype kShown = 300;
    return sql.size() <= kShown ? sql : sql.left(kShown) + u"..."_s;
}

// What the user can do about a failure of the machine under the work database; empty for
// the failures that are the program's own.
QString environmentProblem(sqlite3* db, int code)
{
    const char* name = db ? sqlite3_db_filename(db, "main") : nullptr;
    const QString file = QDir::toNativeSeparators(name ? QString::fromLocal8Bit(name) : u"dbTemp.mdb"_s);
    switch (code & 0xff) {
    case SQLITE_FULL:
        return u"The work database %1 cannot grow: the disk is full. Free some space on that disk and start "
               "again."_s.arg(file);
    case SQLITE_IOERR:
        return u"The work database %1 could not be read or written: the disk reported an I/O error. "
               "Check the disk and start again."_s.arg(file);
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return u"The work database %1 cannot be written: no permission, or the disk is read-only. Make it "
               "writable and start again."_s.arg(file);
    default:
        return {};
    }
}

[[noreturn]] void fail(sqlite3* db, int code, const QString& message)
{
    if (const QString problem = environmentProblem(db, code); !problem.isEmpty())
        throw core::EnvironmentError(problem + u" ("_s + message + u')');
    throw core::Error(message);
}

} // namespace

Handle::~Handle()
{
    sqlite3_close_v2(m_db);
}

QString Handle::lastError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

Statement::Statement(std::shared_ptr<Handle> db, const QString& sql)
    : m_db(std::move(db))
{
    const int result = sqlite3_prepare16_v2(
        m_db->get(), sql.utf16(), static_cast<int>(sql.size() * 2), &m_statement, nullptr);
    if (result != SQLITE_OK)
        fail(m_db->get(), sqlite3_extended_errcode(m_db->get()),
            u"%1 (in the statement %2)"_s.arg(m_db->lastError(), shortened(sql)));
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
    const QString message = m_db->lastError();
    const int code = sqlite3_extended_errcode(m_db->get());
    sqlite3_reset(m_statement);
    fail(m_db->get(), code, message);
}

void Statement::run()
{
    while (step()) { }
    reset();
}

void Statement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

void Statement::bindNull(int parameter)
{
    sqlite3_bind_null(m_statement, parameter);
}

void Statement::bindInt(int parameter, qint64 value)
{
    sqlite3_bind_int64(m_statement, parameter, value);
}

void Statement::bindDouble(int parameter, double value)
{
    sqlite3_bind_double(m_statement, parameter, value);
}

void Statement::bindText(int parameter, QStringView text)
{
    sqlite3_bind_text16(m_statement, parameter, text.utf16(), static_cast<int>(text.size() * 2), SQLITE_STATIC);
}

void Statement::bindText(int parameter, QString&& text)
{
    sqlite3_bind_text16(
        m_statement, parameter, text.utf16(), static_cast<int>(text.size() * 2), SQLITE_TRANSIENT);
}

void Statement::bindValue(int parameter, const sqlite3_value* value)
{
    sqlite3_bind_value(m_statement, parameter, value);
}

qint64 Statement::intAt(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QString Statement::textAt(int column) const
{
    const void* text = sqlite3_column_text16(m_statement, column);
    return QString(static_cast<const QChar*>(text), sqlite3_column_bytes16(m_statement, column) / 2);
}

sqlite3_value* Statement::valueAt(int column) const
{
    return sqlite3_column_value(m_statement, column);
}

void execute(const Handle& db, const QString& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db.get(), sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = message ? QString::fromUtf8(message) : db.lastError();
        sqlite3_free(message);
        fail(db.get(), sqlite3_extended_errcode(db.get()),
            u"%1 (in the statement %2)"_s.arg(text, shortened(sql)));
    }
}

QString quoted(const QString& name)
{
    QString inner = name;
    return u'"' + inner.replace(u'"', u"\"\""_s) + u'"';
}

Affinity affinityOf(const QString& declaredType)
{
    const QString type = declaredType.toUpper();
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

} // namespace data::sqlite
