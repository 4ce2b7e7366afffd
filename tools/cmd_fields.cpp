#include "tools/commands.h"

namespace tools {

int runFields(const QStringList&)
{
    printErr(QStringLiteral("fieldwright-cli: fields is not available yet"));
    return 2;
}

} // namespace tools
