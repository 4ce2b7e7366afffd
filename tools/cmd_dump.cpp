#include "tools/commands.h"

namespace tools {

int runDump(const QStringList&)
{
    printErr(QStringLiteral("fieldwright-cli: dump is not available yet"));
    return 2;
}

} // namespace tools
