#include "data/safe_names.h"

#include "core/error_report.h"

using namespace Qt::StringLiterals;

namespace data {

QString unsafeNameProblem(const QString& name)
{
    if (name.contains(u'`') || name.contains(u']'))
        return u"The name %1 holds a backquote or a closing square bracket, which cannot stand in a "
               "statement; rename it first."_s.arg(name);
    return {};
}

void refuseUnsafeName(const QString& name)
{
    if (const QString problem = unsafeNameProblem(name); !problem.isEmpty())
        throw core::Error(problem);
}

} // namespace data
