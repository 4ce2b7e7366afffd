#include "tools/cli_support.h"

#include "data/ado.h"
#include "data/connection_strings.h"

using namespace Qt::StringLiterals;

namespace tools {

std::unique_ptr<ParadoxRows> openParadoxRows(const QString& folder, const QString& sql)
{
    auto opened = std::make_unique<ParadoxRows>();
    opened->connection.setMode(data::ado::kModeReadWrite);
    opened->connection.open(data::paradoxConnectionString(folder));
    opened->rows.open(sql, opened->connection, data::ado::kOpenStatic, data::ado::kLockOptimistic);
    return opened;
}

QString csvField(const QString& text, bool isNull)
{
    if (isNull)
        return {};
    QString inner = text;
    return u'"' + inner.replace(u'"', u"\"\""_s) + u'"';
}

} // namespace tools
