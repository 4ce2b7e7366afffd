#include "tools/cli_support.h"

#include "data/ado.h"
#include "data/connection.h"
#include "data/connection_strings.h"
#include "data/recordset.h"

using namespace Qt::StringLiterals;

namespace tools {

// The field names of a table, in the table's order: what the field list shows.
int runFields(const QStringList& args)
{
    if (args.size() != 2) {
        printErr(u"usage: fieldwright-cli fields FOLDER TABLE"_s);
        return 2;
    }
    try {
        data::Connection connection;
        connection.setMode(data::ado::kModeReadWrite);
        connection.open(data::paradoxConnectionString(args[0]));
        data::Recordset rows;
        rows.open(u"SELECT * FROM `"_s + args[1] + u'`', connection, data::ado::kOpenStatic,
            data::ado::kLockOptimistic);
        for (int i = 0; i < rows.fieldCount(); ++i)
            printOut(rows.fieldName(i));
        return 0;
    } catch (const app::Error& e) {
        printErr(e.description());
        return 1;
    }
}

} // namespace tools
