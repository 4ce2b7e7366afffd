#include "tools/commands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>

using namespace Qt::StringLiterals;

namespace {

struct Command
{
    const char16_t* name;
    int (*run)(const QStringList& args); // the arguments after the command's name
    const char16_t* summary;
};

// One line per command. Each command reads its own arguments (tools/command_line.h).
constexpr Command kCommands[] = {
    { u"operations", tools::runOperations, u"Lists the operations, with the prompts each asks." },
    { u"tables", tools::runTables, u"Lists the tables of a folder and its sub-folders." },
    { u"fields", tools::runFields, u"Lists the fields of a table." },
    { u"preview", tools::runPreview, u"Shows up to 101 values of a field." },
    { u"clean", tools::runClean, u"Applies an operation to one field of a table." },
    { u"backups", tools::runBackups, u"Lists the kept versions of a table." },
    { u"restore", tools::runRestore, u"Puts a table back as it was before a run." },
    { u"schema", tools::runSchema, u"Shows a table file's header and fields." },
    { u"dump", tools::runDump, u"Writes a whole table file as CSV." },
    { u"history", tools::runHistory, u"Lists what was done to a folder's tables, or gives it as a recipe." },
    { u"apply", tools::runApply, u"Applies a recipe to the tables of a folder." },
    { u"check", tools::runCheck, u"Checks tables for damage: header, blocks, records, memos, indexes." },
    { u"values", tools::runValues, u"Lists every distinct value of a field with its records." },
    { u"clusters", tools::runClusters, u"Groups values of a field that are probably the same thing." },
    { u"merge", tools::runMerge, u"Replaces chosen values of a field by one value." },
};

QString commandList()
{
    QString text = u"usage: fieldwright-cli [--help] [--version] COMMAND [ARGUMENTS]\n\nCommands:\n"_s;
    for (const Command& command : kCommands)
        text += u"  %1%2\n"_s.arg(QString::fromUtf16(command.name), -12)
                    .arg(QString::fromUtf16(command.summary));
    return text + u"\nRun \"fieldwright-cli COMMAND --help\" for the arguments of a command."_s;
}

int usageError(const QString& problem)
{
    tools::printErr(u"fieldwright-cli: "_s + problem);
    tools::printErr(commandList());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(u"fieldwright-cli"_s);
    QCoreApplication::setApplicationVersion(QString::fromUtf8(FW_VERSION));

    QCommandLineParser parser;
    // Everything after the command's name is the command's own to read.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOption({ { u"h"_s, u"help"_s }, u"Shows this help."_s });
    parser.addOption({ u"version"_s, u"Shows the program's version."_s });
    if (!parser.parse(QCoreApplication::arguments())) {
        const QStringList unknown = parser.unknownOptionNames();
        return usageError(unknown.isEmpty()
                ? parser.errorText()
                : u"unknown option "_s + (unknown.first().size() == 1 ? u"-"_s : u"--"_s) + unknown.first());
    }
    if (parser.isSet(u"help"_s)) {
        tools::printOut(commandList());
        return 0;
    }
    if (parser.isSet(u"version"_s)) {
        tools::printOut(u"fieldwright-cli "_s + QCoreApplication::applicationVersion());
        return 0;
    }
    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(u"no command given"_s);
    const QString name = args.takeFirst();
    for (const Command& command : kCommands) {
        if (name == QStringView(command.name))
            return command.run(args);
    }
    return usageError(u"unknown command \""_s + name + u'"');
}
