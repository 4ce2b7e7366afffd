#include "tools/cli_support.h"

#include "data/paradox_folder.h"

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
        for (const paradox::Field& field : data::tableFields(args[0], tableArgument(args[1])))
            printOut(field.name);
        return 0;
    } catch (const core::Error& e) {
        printErr(e.description());
        return 1;
    }
}

} // namespace tools
