// fieldwright-cli values FOLDER TABLE FIELD [--sort count|value] [--match REGEX]: every
// distinct value of the field with its number of records, as CSV (value,records).

#include "tools/field_command.h"

#include "cleaning/values/value_counts.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tools {

int runValues(const QStringList& args)
{
    const QString usage = u"values FOLDER TABLE FIELD [--sort count|value] [--match REGEX]"_s;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Lists every distinct value of a field with its number of records (CSV: value,records)."_s);
    const QCommandLineOption sortOption(u"sort"_s, u"count (most records first) or value"_s, u"ORDER"_s);
    const QCommandLineOption matchOption(
        u"match"_s, u"only values the regular expression finds"_s, u"REGEX"_s);
    parser.addOption(sortOption);
    parser.addOption(matchOption);
    int status = 0;
    const auto command = parseFieldCommand(parser, args, usage, &status);
    if (!command)
        return status;
    const QString sort = parser.isSet(sortOption) ? parser.value(sortOption) : u"count"_s;
    if (sort != u"count"_s && sort != u"value"_s)
        return usageError(u"--sort takes count or value, not \"%1\"."_s.arg(sort), usage);
    const cleaning::values::ValueMatch match(parser.value(matchOption), cleaning::values::MatchKind::Pattern);
    if (!match.isValid())
        return usageError(match.problem(), usage);

    std::optional<std::vector<cleaning::values::ValueCount>> values;
    try {
        values = cleaning::values::countFieldValues(command->folder, command->table, command->field);
    } catch (const core::Error& e) {
        printErr(u"fieldwright-cli: "_s + e.description());
        return 1;
    }
    std::vector<cleaning::values::ValueCount> shown = cleaning::values::matchingValues(*values, match);
    if (sort == u"value"_s)
        cleaning::values::sortValues(shown, cleaning::values::ValueOrder::ByValue);
    printOut(u"value,records"_s);
    for (const cleaning::values::ValueCount& value : shown)
        printOut(
            csvField(value.value.value_or(QString()), !value.value) + u',' + QString::number(value.records));
    if (std::fflush(stdout) != 0) {
        printErr(u"fieldwright-cli: cannot write the output"_s);
        return 1;
    }
    return 0;
}

} // namespace tools
