#pragma once

// The arguments of one command, read by QCommandLineParser, with the same habits for every
// command: --help and -h print the command's help to standard output (exit 0); an unknown
// option, a missing or an extra argument is named in one line on standard error, followed by
// the usage (exit 2).
//
//     CommandLine line(u"values"_s, u"Lists the distinct values of a field."_s);
//     line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
//     line.addOption({ u"json"_s, u"One JSON document instead of CSV."_s });
//     if (const auto status = line.parse(args))
//         return *status;
//     ... line.argument(0), line.isSet(u"json"_s) ...

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

namespace tools {

class CommandLine
{
public:
    CommandLine(const QString& command, const QString& description);

    // Positional arguments, in order: the required ones first, then the optional ones.
    void addArgument(const QString& name, const QString& description);
    void addOptionalArgument(const QString& name, const QString& description);
    void addOption(const QCommandLineOption& option);

    // nullopt when the command goes on; otherwise the exit status, with everything said:
    // 0 after the help, 2 after a usage error.
    std::optional<int> parse(const QStringList& args);

    // The index-th positional argument; empty when an optional one was not given.
    QString argument(qsizetype index) const;
    bool isSet(const QString& option) const { return m_parser.isSet(option); }
    QString value(const QString& option) const { return m_parser.value(option); }
    QStringList values(const QString& option) const { return m_parser.values(option); }

    // Says a usage fault found after parsing (e.g. an answer the operation does not ask for):
    // the problem in one line, then the usage. Returns 2.
    int usageError(const QString& problem) const;

    QString usageLine() const;
    QString helpText() const;

private:
    QCommandLineParser m_parser;
    QString m_command;
    QString m_syntax;
    qsizetype m_required = 0;
    qsizetype m_optional = 0;
};

} // namespace tools
