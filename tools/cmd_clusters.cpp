// fieldwright-cli clusters FOLDER TABLE FIELD [--method ...]: the field's variants, one CSV
// line per value (cluster,value,records,proposed), clusters largest first. The file, with
// the proposed values edited, is what a merge of clusters reads back.

#include "tools/field_command.h"

#include "cleaning/values/clusters.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tools {

int runClusters(const QStringList& args)
{
    const QString usage
        = u"clusters FOLDER TABLE FIELD [--method fingerprint|ngram[:N]|phonetic[:english|german]|levenshtein[:R]]"_s;
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Groups the values of a field that are probably the same thing "
                                     "(CSV: cluster,value,records,proposed)."_s);
    const QCommandLineOption methodOption(u"method"_s, u"how values are grouped"_s, u"METHOD"_s);
    parser.addOption(methodOption);
    int status = 0;
    const auto command = parseFieldCommand(parser, args, usage, &status);
    if (!command)
        return status;
    QString problem;
    const auto options = cleaning::values::parseClusterMethod(
        parser.isSet(methodOption) ? parser.value(methodOption) : u"fingerprint"_s, &problem);
    if (!options)
        return usageError(problem, usage);

    std::optional<std::vector<cleaning::values::Cluster>> clusters;
    try {
        const auto values
            = cleaning::values::countFieldValues(command->folder, command->table, command->field);
        clusters = cleaning::values::findClusters(*values, *options);
    } catch (const core::Error& e) {
        printErr(u"fieldwright-cli: "_s + e.description());
        return 1;
    }
    printOut(u"cluster,value,records,proposed"_s);
    int number = 0;
    for (const cleaning::values::Cluster& cluster : *clusters) {
        const QString start = QString::number(++number) + u',';
        const QString end = u',' + csvField(cluster.proposed, false);
        for (const cleaning::values::ValueCount& member : cluster.members)
            printOut(start + csvField(*member.value, false) + u',' + QString::number(member.records) + end);
    }
    if (std::fflush(stdout) != 0) {
        printErr(u"fieldwright-cli: cannot write the output"_s);
        return 1;
    }
    return 0;
}

} // namespace tools
