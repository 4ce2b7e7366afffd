#include "tools/command_line.h"

#include "tools/commands.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace tools {

CommandLine::CommandLine(const QString& command, const QString& description)
    : m_command(command)
{
    m_parser.setApplicationDescription(description);
    m_parser.addOption({ { u"h"_s, u"help"_s }, u"Shows this help."_s });
}

void CommandLine::addArgument(const QString& name, const QString& description)
{
    m_parser.addPositionalArgument(name, description);
    m_syntax += u' ' + name;
    ++m_required;
}

void CommandLine::addOptionalArgument(const QString& name, const QString& description)
{
    m_parser.addPositionalArgument(name, description, u"["_s + name + u']');
    m_syntax += u" ["_s + name + u']';
    ++m_optional;
}

void CommandLine::addOption(const QCommandLineOption& option)
{
    m_parser.addOption(option);
}

std::optional<int> CommandLine::parse(const QStringList& args)
{
    // The parser takes the first argument for the program's name.
    if (!m_parser.parse(QStringList { u"fieldwright-cli"_s } + args)) {
        const QStringList unknown = m_parser.unknownOptionNames();
        if (unknown.isEmpty())
            return usageError(m_parser.errorText());
        const QString& name = unknown.first();
        return usageError(u"unknown option "_s + (name.size() == 1 ? u"-"_s : u"--"_s) + name);
    }
    if (m_parser.isSet(u"help"_s)) {
        printOut(helpText());
        return 0;
    }
    const QStringList given = m_parser.positionalArguments();
    if (given.size() < m_required) {
        const QStringList names = m_syntax.split(u' ', Qt::SkipEmptyParts);
        return usageError(u"missing argument "_s + names.value(given.size()));
    }
    if (given.size() > m_required + m_optional)
        return usageError(u"unexpected argument \""_s + given.value(m_required + m_optional) + u'"');
    return std::nullopt;
}

QString CommandLine::argument(qsizetype index) const
{
    return m_parser.positionalArguments().value(index);
}

int CommandLine::usageError(const QString& problem) const
{
    printErr(u"fieldwright-cli %1: %2"_s.arg(m_command, problem));
    printErr(usageLine());
    printErr(u"Run \"fieldwright-cli %1 --help\" for more."_s.arg(m_command));
    return 2;
}

QString CommandLine::usageLine() const
{
    return u"usage: fieldwright-cli %1 [options]%2"_s.arg(m_command, m_syntax);
}

QString CommandLine::helpText() const
{
    // Qt's own first line names the program by the path it was started with.
    QString text = m_parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    text.replace(0, firstLineEnd, usageLine());
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

} // namespace tools
