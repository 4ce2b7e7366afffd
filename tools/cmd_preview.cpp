#include "tools/commands.h"

namespace tools {

int runPreview(const QStringList&)
{
    printErr(QStringLiteral("fieldwright-cli: preview is not available yet"));
    return 2;
}

} // namespace tools
