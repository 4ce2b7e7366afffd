// fieldwright-cli check FOLDER [TABLE]: the health check of every table of a folder (or of
// one), a line each: "NAME ok" or "NAME damaged: PROBLEM; PROBLEM ..." (each problem with its
// file and place). Exits 0 when every table is whole.

#include "tools/cli_support.h"

#include "data/paradox/check/table_check.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

int usageError(const QString& problem)
{
    printErr(u"fieldwright-cli: "_s + problem);
    printErr(u"usage: fieldwright-cli check FOLDER [TABLE]"_s);
    return 2;
}

} // namespace

int runCheck(const QStringList& args)
{
    if (args.isEmpty() || args.size() > 2)
        return usageError(args.isEmpty() ? u"check needs a folder"_s : u"too many arguments"_s);
    const QString folder = args[0];
    if (!QFileInfo(folder).isDir())
        return usageError(u"no such folder: "_s + folder);
    const QString table = args.size() == 2 ? tableArgument(args[1]) : QString();
    const std::vector<paradox::TableCheck> checks = paradox::checkFolder(folder, table);
    if (!table.isEmpty() && checks.empty())
        return usageError(u"no such table: "_s + table);
    bool isAllWhole = true;
    for (const paradox::TableCheck& check : checks) {
        printOut(terminalText(check.table + u' ' + check.summary()));
        isAllWhole = isAllWhole && check.isWhole();
    }
    return isAllWhole ? 0 : 1;
}

} // namespace tools
