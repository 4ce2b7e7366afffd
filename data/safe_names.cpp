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

QString delimitedName(const QString& name)
{
    QString inner = name;
    return u'"' + inner.replace(u'"', u"\"\""_s) + u'"';
}

QString rowIdName(const QStringList& columnNames)
{
    for (const QString& alias : { u"rowid"_s, u"_rowid_"_s, u"oid"_s }) {
        if (!columnNames.contains(alias, Qt::CaseInsensitive))
            return alias;
    }
    return {};
}

} // namespace data
