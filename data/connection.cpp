#include "data/connection.h"

#include "core/error_report.h"
#include "data/backend.h"
#include "data/connection_strings.h"
#include "data/insert_statement.h"
#include "data/recordset.h"
#include "data/statement_observer.h"

using namespace Qt::StringLiterals;

namespace data {
namespace {

StatementObserver& observer()
{
    static StatementObserver instance;
    return instance;
}

bool& observesCopyInserts()
{
    static bool instance = true;
    return instance;
}

} // namespace

void setStatementObserver(StatementObserver newObserver, bool withCopyInserts)
{
    observer() = std::move(newObserver);
    observesCopyInserts() = withCopyInserts;
}

void notifyWorkStatement(const QString& sql)
{
    if (observer())
        observer()(sql);
}

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::open(const QString& connectionString)
{
    if (m_backend)
        throw core::Error(u"The connection is already open."_s);
    const ConnectionTarget target = parseConnectionString(connectionString);
    switch (target.kind) {
    case ConnectionTarget::Kind::ParadoxFolder:
        m_backend = openParadoxFolder(target.location);
        m_isWorkDatabase = false;
        return;
    case ConnectionTarget::Kind::WorkDatabase:
        m_backend = openWorkDatabase(target.location);
        m_isWorkDatabase = true;
        return;
    case ConnectionTarget::Kind::Unknown:
        break;
    }
    throw core::Error(
        u"The connection string names no database this program knows: %1"_s.arg(connectionString));
}

void Connection::execute(const QString& sql)
{
    if (m_isWorkDatabase)
        notifyWorkStatement(sql);
    backend().execute(sql, m_deferredDrops);
}

void Connection::execute(const InsertStatement& insert)
{
    if (m_isWorkDatabase && observer() && observesCopyInserts())
        notifyWorkStatement(insert.text());
    backend().execute(insert, m_deferredDrops);
}

void Backend::execute(const InsertStatement& insert, DeferredDrops* drops)
{
    execute(insert.text(), drops);
}

void Connection::openSchema(int schema, Recordset& rows)
{
    if (schema != ado::kSchemaTables)
        throw core::Error(u"Only the table list (schema 20) can be asked for, not schema %1."_s.arg(schema));
    rows.adopt(backend().tableList());
}

void Connection::close()
{
    if (!m_backend)
        throw core::Error(u"The connection is already closed."_s);
    m_backend.reset();
}

Backend& Connection::backend()
{
    if (!m_backend)
        throw core::Error(u"The connection is closed."_s);
    return *m_backend;
}

} // namespace data
