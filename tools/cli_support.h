#pragma once

// Pieces the subcommands share: error reports to standard error, counted.

#include "cleaning/windowless_view.h"
#include "core/error_report.h"
#include "data/paradox/paradox.h"
#include "tools/command_line.h"
#include "tools/commands.h"

#include <QJsonArray>

#include <memory>
#include <optional>

namespace tools {

// A text of the windows (CR LF and CR as line breaks) with the line breaks a terminal shows:
// a bare CR would send the cursor back over the line before it.
QString terminalText(const QString& text);

class PrintedErrorReports : public core::ErrorSink
{
public:
    void showErrorReport(const QString& report) override
    {
        printErr(terminalText(report));
        ++m_count;
    }
    int count() const { return m_count; }

private:
    int m_count = 0;
};

// The change run's view on the command line: the selection and answers come from the
// arguments, messages go to standard output, error reports (counted) to standard error.
class PrintingRunView : public cleaning::WindowlessView
{
public:
    PrintedErrorReports reports;

    void messageBox(const QString& text) override { printOut(terminalText(text)); }
    void showErrorReport(const QString& report) override { reports.showErrorReport(report); }
};

// Prints only what failed, for the subcommands that read and show a table and stop at
// its first fault.
class PrintedDescriptions : public PrintedErrorReports
{
public:
    void reportError(const QString& description, const QString&, int) override
    {
        showErrorReport(description);
    }
};

// The table named by the one argument of a command that takes FILE.db. After the help, a
// usage error or an unreadable table, sets *status (0, 2 or 1: all said) and returns null.
std::unique_ptr<paradox::TableReader> openTableArgument(
    const QStringList& args, const QString& command, const QString& description, int* status);

// A TABLE argument as the table list names the table: a trailing ".db" (any case) is left
// off, so "CUSTOMER.DB" names the table CUSTOMER, not a table CUSTOMER.DB.
QString tableArgument(const QString& argument);

// A value as one CSV field: quoted with inner quotes doubled; a null is the empty field.
QString csvField(const QString& text, bool isNull);

// One CSV line to standard output, each field quoted only when it holds a comma, a quote or a
// line break. Every CSV the commands write starts with such a header row.
void printCsvRow(const QStringList& fields);

// Compact JSON text, for a list inside one CSV field.
QString jsonText(const QJsonArray& array);

// Where a TABLE argument names a table: "NAME" in FOLDER itself, "SUB/NAME" in a sub-folder,
// as `tables FOLDER` prints them.
struct TablePlace
{
    QString folder;
    QString table;
};

// The place of the table, or nullopt (after saying so as a usage error, *status 2) when the
// folder does not exist, the argument leads out of it, or, with mustExist, no such table is there.
std::optional<TablePlace> findTablePlace(const CommandLine& line, const QString& folder,
    const QString& tableArgument, bool mustExist, int* status);

// nullopt when the table has the field (in any case); otherwise the exit status, all said:
// 2 when it has no such field, 1 when the table cannot be read.
std::optional<int> checkField(const CommandLine& line, const TablePlace& place, const QString& field);

} // namespace tools
