#include "tools/cli_support.h"

using namespace Qt::StringLiterals;

namespace tools {

QString csvField(const QString& text, bool isNull)
{
    if (isNull)
        return {};
    QString inner = text;
    return u'"' + inner.replace(u'"', u"\"\""_s) + u'"';
}

} // namespace tools
