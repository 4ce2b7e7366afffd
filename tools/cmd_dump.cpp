// fieldwright-cli dump FILE.db: the whole table as CSV (RFC 4180 quoting, UTF-8, LF line ends).
// A header row of field names; every non-null value in double quotes with inner quotes
// doubled; a null as an empty unquoted field.
//
// dump --salvage FILE.db: every record of a damaged table that can be read whole, a value
// that cannot be read (its memo file is missing) as an unquoted <missing>; what could not be
// read goes to standard error. Exits 1 when anything was left out.

#include "tools/cli_support.h"

#include "data/paradox/paradox.h"
#include "data/paradox/read/table_salvage.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

void appendQuoted(QByteArray& line, const QString& text)
{
    line.append('"');
    QByteArray utf8 = text.toUtf8();
    line.append(utf8.replace('"', "\"\""));
    line.append('"');
}

bool flush(QByteArray& buffer)
{
    const auto size = static_cast<std::size_t>(buffer.size());
    const bool isWritten = std::fwrite(buffer.constData(), 1, size, stdout) == size;
    buffer.clear();
    return isWritten;
}

void appendHeaderRow(QByteArray& buffer, const std::vector<paradox::Field>& fields)
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            buffer.append(',');
        appendQuoted(buffer, fields[i].name);
    }
    buffer.append('\n');
}

int runSalvage(const QStringList& args)
{
    if (args.size() != 1) {
        printErr(u"usage: fieldwright-cli dump [--salvage] FILE.db"_s);
        return 2;
    }
    QString error;
    const auto reader = paradox::openTableForSalvage(args.first(), &error);
    if (!reader) {
        printErr(u"fieldwright-cli: "_s + error);
        return 1;
    }
    QByteArray buffer;
    appendHeaderRow(buffer, reader->info().fields);
    paradox::Row row;
    std::vector<bool> isMissing;
    bool isWritten = true;
    bool isWhole = true;
    const auto reportProblems = [&] {
        for (const paradox::TableProblem& problem : reader->takeProblems()) {
            isWritten = flush(buffer) && isWritten; // the records before it come first
            std::fflush(stdout);
            printErr(u"fieldwright-cli: not read: "_s + problem.text());
            isWhole = false;
        }
    };
    reportProblems();
    while (reader->readNext(row, isMissing)) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0)
                buffer.append(',');
            if (isMissing[i])
                buffer.append("<missing>");
            else if (!paradox::isNull(row[i]))
                appendQuoted(buffer, paradox::valueText(row[i]));
        }
        buffer.append('\n');
        reportProblems();
        if (buffer.size() >= (1 << 16))
            isWritten = flush(buffer) && isWritten;
    }
    reportProblems();
    isWritten = flush(buffer) && isWritten;
    isWritten = std::fflush(stdout) == 0 && isWritten;
    if (!isWritten) {
        printErr(u"fieldwright-cli: cannot write the output"_s);
        return 1;
    }
    return isWhole ? 0 : 1;
}

} // namespace

int runDump(const QStringList& args)
{
    if (!args.isEmpty() && args.first() == u"--salvage"_s)
        return runSalvage(args.mid(1));
    int status = 0;
    const auto reader = openTableArgument(args, u"dump"_s,
        u"Writes a whole table file as CSV, with a header row of its field names."_s, &status);
    if (!reader)
        return status;
    constexpr qsizetype kFlushSize = 1 << 16;
    QByteArray buffer;
    buffer.reserve(kFlushSize * 2);
    appendHeaderRow(buffer, reader->info().fields);

    paradox::Row row;
    bool isWritten = true;
    while (reader->readNext(row)) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0)
                buffer.append(',');
            if (!paradox::isNull(row[i]))
                appendQuoted(buffer, paradox::valueText(row[i]));
        }
        buffer.append('\n');
        if (buffer.size() >= kFlushSize)
            isWritten = flush(buffer) && isWritten;
    }
    isWritten = flush(buffer) && isWritten;
    isWritten = std::fflush(stdout) == 0 && isWritten;
    if (!reader->error().isEmpty()) {
        printErr(u"fieldwright-cli: "_s + reader->error());
        return 1;
    }
    if (!isWritten) {
        printErr(u"fieldwright-cli: cannot write the output"_s);
        return 1;
    }
    return 0;
}

} // namespace tools
