#include "data/work_database.h"

#include "data/ado.h"
#include "data/connection.h"
#include "data/connection_strings.h"
#include "data/recordset.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace data {

QString workDatabasePath(const QString& applicationFolder)
{
    return applicationFolder + QDir::separator() + QString::fromUtf16(kWorkDatabaseFileName);
}

bool TableExistsInWorkDb(const QString& tableName, const QString& applicationFolder)
{
    Connection connection;
    connection.open(workDatabaseConnectionString(applicationFolder));
    Recordset tables;
    connection.openSchema(ado::kSchemaTables, tables);
    const int typeColumn = tables.fieldIndex(u"TABLE_TYPE"_s);
    const int nameColumn = tables.fieldIndex(u"TABLE_NAME"_s);
    const QString wanted = tableName.toUpper();
    bool isFound = false;
    while (!tables.isEof() && !isFound) {
        isFound
            = tables.valueText(typeColumn) == u"TABLE"_s && tables.valueText(nameColumn).toUpper() == wanted;
        tables.moveNext();
    }
    tables.close();
    connection.close();
    return isFound;
}

} // namespace data
