#include "tools/cli_support.h"

#include "data/table_replace.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tools {

std::unique_ptr<paradox::TableReader> openTableArgument(
    const QStringList& args, const QString& command, int* status)
{
    if (args.size() != 1) {
        printErr(u"usage: fieldwright-cli "_s + command + u" FILE.db"_s);
        *status = 2;
        return nullptr;
    }
    QString error;
    try {
        data::finishInterruptedWriteBacks(QFileInfo(args.first()).absolutePath()); // the table is whole
    } catch (const core::Error&) { }
    auto reader = paradox::openTable(args.first(), &error);
    if (!reader) {
        printErr(u"fieldwright-cli: "_s + error);
        *status = 1;
    }
    return reader;
}

QString tableArgument(const QString& argument)
{
    return argument.endsWith(u".db"_s, Qt::CaseInsensitive) ? argument.chopped(3) : argument;
}

QString terminalText(const QString& text)
{
    QString lines = text;
    lines.replace(u"\r\n"_s, u"\n"_s);
    lines.replace(u'\r', u'\n');
    return lines;
}

QString csvField(const QString& text, bool isNull)
{
    if (isNull)
        return {};
    QString inner = text;
    return u'"' + inner.replace(u'"', u"\"\""_s) + u'"';
}

} // namespace tools
