// fieldwright-cli check FOLDER [TABLE]: the health check of every table of a folder (or of
// one), a line each: "NAME ok" or "NAME damaged: PROBLEM; PROBLEM ..." (each problem with its
// file and place). Exits 0 when every table is whole.

#include "tools/cli_support.h"
#include "tools/command_line.h"

#include "data/paradox/check/table_check.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tools {

int runCheck(const QStringList& args)
{
    CommandLine line(u"check"_s,
        u"Checks the tables of a folder, or one, for damage, and prints a line per table: NAME ok, or NAME "
        "damaged: and its problems.\nExit status: 0 when every table is whole, 1 when one is damaged."_s);
    line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
    line.addOptionalArgument(u"TABLE"_s, u"Only this table, as \"tables\" lists it."_s);
    if (const auto status = line.parse(args))
        return *status;
    const QString folder = line.argument(0);
    if (!QFileInfo(folder).isDir())
        return line.usageError(u"no such folder: "_s + folder);
    const QString table = tableArgument(line.argument(1));
    const std::vector<paradox::TableCheck> checks = paradox::checkFolder(folder, table);
    if (!table.isEmpty() && checks.empty())
        return line.usageError(u"no such table: "_s + table);
    bool isAllWhole = true;
    for (const paradox::TableCheck& check : checks) {
        printOut(terminalText(check.table + u' ' + check.summary()));
        isAllWhole = isAllWhole && check.isWhole();
    }
    return isAllWhole ? 0 : 1;
}

} // namespace tools
