#include "tools/cli_support.h"

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
        const auto opened = openParadoxRows(args[0], u"SELECT * FROM `"_s + args[1] + u'`');
        for (int i = 0; i < opened->rows.fieldCount(); ++i)
            printOut(opened->rows.fieldName(i));
        return 0;
    } catch (const core::Error& e) {
        printErr(e.description());
        return 1;
    }
}

} // namespace tools
