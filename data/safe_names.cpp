#include "data/safe_names.h"

#include "core/error_report.h"

#include <QFile>
#include <algorithm>

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

namespace {

bool hasControlCharacter(const QString& name)
{
    return std::any_of(
        name.cbegin(), name.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

bool isListableTableName(const QString& fileName)
{
    return !hasControlCharacter(fileName) && !fileName.contains(u'\\');
}

QString tableNameProblem(const QString& table)
{
    if (hasControlCharacter(table)) {
        QString shown = table;
        shown.replace(u'\n', u"\\n"_s).replace(u'\r', u"\\r"_s).replace(u'\t', u"\\t"_s);
        return u"The table name %1 holds a line break or another control character, which this program does "
               "not work with; rename the table's files first."_s.arg(shown);
    }
    if (table.contains(u'\\'))
        return u"The table name %1 holds a backslash, which this program does not work with; rename the "
               "table's files first."_s.arg(table);
    if (const auto size = QFile::encodeName(table).size(); size > kLongestTableName)
        return u"The table name %1... is too long (%2 bytes; this program works with names of up to %3); "
               "rename the table's files first."_s.arg(table.left(40))
                   .arg(size)
                   .arg(kLongestTableName);
    return unsafeNameProblem(table);
}

void refuseUnsafeTableName(const QString& table)
{
    if (const QString problem = tableNameProblem(table); !problem.isEmpty())
        throw core::Error(problem);
}

} // namespace data
