#include "tools/cli_support.h"

#include "data/paradox_folder.h"

using namespace Qt::StringLiterals;

namespace tools {

// The field names of a table, in the table's order: what the field list shows.
int runFields(const QStringList& args)
{
    CommandLine line(u"fields"_s, u"Lists the fields of a table, in the table's order."_s);
    line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
    line.addArgument(u"TABLE"_s, u"The table, as \"tables\" lists it."_s);
    if (const auto status = line.parse(args))
        return *status;
    int status = 0;
    const auto place = findTablePlace(line, line.argument(0), line.argument(1), true, &status);
    if (!place)
        return status;
    try {
        for (const paradox::Field& field : data::tableFields(place->folder, place->table))
            printOut(field.name);
        return 0;
    } catch (const core::Error& e) {
        printErr(u"fieldwright-cli: "_s + e.description());
        return 1;
    }
}

} // namespace tools
