#include "tools/commands.h"

namespace tools {

int runClean(const QStringList&)
{
    printErr(QStringLiteral("fieldwright-cli: clean is not available yet"));
    return 2;
}

} // namespace tools
