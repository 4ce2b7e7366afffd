#include "tools/cli_support.h"

#include "data/paradox_folder.h"
#include "data/replace/interrupted_write_backs.h"
#include "data/replace/table_replace.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace tools {

std::unique_ptr<paradox::TableReader> openTableArgument(
    const QStringList& args, const QString& command, const QString& description, int* status)
{
    CommandLine line(command, description);
    line.addArgument(u"FILE.db"_s, u"The table's .db file."_s);
    if (const auto parsed = line.parse(args)) {
        *status = *parsed;
        return nullptr;
    }
    const QString file = line.argument(0);
    if (!QFileInfo::exists(file)) {
        *status = line.usageError(u"the file %1 does not exist"_s.arg(QDir::toNativeSeparators(file)));
        return nullptr;
    }
    QString error;
    try {
        data::finishInterruptedWriteBacks(QFileInfo(file).absolutePath()); // the table is whole
    } catch (const core::Error&) { }
    auto reader = paradox::openTable(file, &error);
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

void printCsvRow(const QStringList& fields)
{
    QStringList line;
    for (const QString& field : fields) {
        const bool needsQuotes
            = field.contains(u',') || field.contains(u'"') || field.contains(u'\n') || field.contains(u'\r');
        line << (needsQuotes ? csvField(field, false) : field);
    }
    printOut(line.join(u','));
}

QString jsonText(const QJsonArray& array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

std::optional<TablePlace> findTablePlace(
    const CommandLine& line, const QString& folder, const QString& tableArgument, bool mustExist, int* status)
{
    *status = 2;
    if (!QFileInfo(folder).isDir()) {
        line.usageError(u"the folder %1 does not exist"_s.arg(QDir::toNativeSeparators(folder)));
        return std::nullopt;
    }
    QStringList parts = tableArgument.split(u'/');
    const QString name = tools::tableArgument(parts.takeLast());
    for (const QString& part : std::as_const(parts)) {
        // The table must lie inside the folder: no way up and out of it.
        if (part.isEmpty() || part == u"."_s || part == u".."_s) {
            line.usageError(u"\"%1\" is not a table of the folder %2 (give it as \"tables\" lists it)"_s.arg(
                tableArgument, QDir::toNativeSeparators(folder)));
            return std::nullopt;
        }
    }
    TablePlace place { parts.isEmpty() ? folder : QDir(folder).filePath(parts.join(u'/')), name };
    if (mustExist && (name.isEmpty() || paradox::findTableFile(place.folder, name).isEmpty())) {
        line.usageError(
            u"the folder %1 has no table %2"_s.arg(QDir::toNativeSeparators(folder), tableArgument));
        return std::nullopt;
    }
    *status = 0;
    return place;
}

std::optional<int> checkField(const CommandLine& line, const TablePlace& place, const QString& field)
{
    try {
        for (const paradox::Field& each : data::tableFields(place.folder, place.table)) {
            if (each.name.compare(field, Qt::CaseInsensitive) == 0)
                return std::nullopt;
        }
    } catch (const core::Error& e) {
        printErr(u"fieldwright-cli: "_s + e.description());
        return 1;
    }
    return line.usageError(u"the table %1 has no field %2"_s.arg(place.table, field));
}

} // namespace tools
