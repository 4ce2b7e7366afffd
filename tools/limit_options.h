#pragma once

// The options that limit a run to some records, shared by `clean` and `merge`.

#include "cleaning/run_request.h"

#include <QStringList>

namespace tools {

// Takes args[*i] (and its value, moving *i past it) when it is --where-value TEXT or
// --where-match REGEX; false when it is neither or its value is missing.
inline bool takeLimitOption(const QStringList& args, qsizetype* i, cleaning::RecordLimit& limit)
{
    if (*i + 1 >= args.size())
        return false;
    if (args[*i] == QLatin1StringView("--where-value")) {
        limit.values << args[++*i];
        return true;
    }
    if (args[*i] == QLatin1StringView("--where-match") && limit.pattern.isEmpty()) {
        limit.pattern = args[++*i];
        return true;
    }
    return false;
}

} // namespace tools
