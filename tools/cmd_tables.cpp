#include "tools/commands.h"

namespace tools {

int runTables(const QStringList&)
{
    printErr(QStringLiteral("fieldwright-cli: tables is not available yet"));
    return 2;
}

} // namespace tools
