#include "tools/commands.h"

namespace tools {

int runSchema(const QStringList&)
{
    printErr(QStringLiteral("fieldwright-cli: schema is not available yet"));
    return 2;
}

} // namespace tools
