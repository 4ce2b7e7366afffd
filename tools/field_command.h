#pragma once

// The arguments FOLDER TABLE FIELD [options] that the values and clusters commands share,
// parsed and checked before any record is read, so that a wrong name is a usage error (2)
// and only an unreadable table a failure (1).

#include "tools/cli_support.h"

#include "data/paradox_folder.h"

#include <QCommandLineParser>
#include <optional>

namespace tools {

struct FieldCommand
{
    QString folder;
    QString table;
    QString field;
};

inline int usageError(const QString& problem, const QString& usage)
{
    using namespace Qt::StringLiterals;
    printErr(u"fieldwright-cli: "_s + problem);
    printErr(u"usage: fieldwright-cli "_s + usage);
    return 2;
}

// nullopt with *status set (and the reason on standard error) when the arguments are wrong
// or the table cannot be opened; nullopt with *status 0 after --help.
inline std::optional<FieldCommand> parseFieldCommand(
    QCommandLineParser& parser, const QStringList& args, const QString& usage, int* status)
{
    using namespace Qt::StringLiterals;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOption({ u"h"_s, u"help"_s }, u"Shows this help."_s);
    parser.addOption(helpOption);
    if (!parser.parse(QStringList { u"fieldwright-cli"_s } + args)) {
        *status = usageError(parser.errorText(), usage);
        return std::nullopt;
    }
    if (parser.isSet(helpOption)) {
        // Qt's own first line names the program by the path it was started with.
        const QString help = parser.helpText().trimmed();
        printOut(u"usage: fieldwright-cli "_s + usage + help.mid(help.indexOf(u'\n')));
        *status = 0;
        return std::nullopt;
    }
    const QStringList names = parser.positionalArguments();
    if (names.size() != 3) {
        *status = usageError(names.size() < 3 ? u"FOLDER, TABLE and FIELD are needed."_s
                                              : u"too many arguments: "_s + names.mid(3).join(u' '),
            usage);
        return std::nullopt;
    }
    FieldCommand command { names[0], tableArgument(names[1]), names[2] };
    QString tableFile;
    try {
        tableFile = data::paradoxTableFile(command.folder, command.table);
    } catch (const core::Error& e) {
        *status = usageError(e.description(), usage);
        return std::nullopt;
    }
    QString error;
    const auto reader = paradox::openTable(tableFile, &error);
    if (!reader) {
        printErr(u"fieldwright-cli: "_s + error);
        *status = 1;
        return std::nullopt;
    }
    try {
        data::fieldIndex(reader->info(), command.table, command.field);
    } catch (const core::Error& e) {
        *status = usageError(e.description(), usage);
        return std::nullopt;
    }
    return command;
}

} // namespace tools
