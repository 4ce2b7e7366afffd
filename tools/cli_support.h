#pragma once

// Pieces the subcommands share: error reports to standard error, counted.

#include "core/error_report.h"
#include "data/paradox/table.h"
#include "tools/commands.h"

#include <memory>

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

// The table named by the one argument of a subcommand that takes FILE.db. On a usage
// error or an unreadable table, says so on standard error, sets *status (2 or 1) and
// returns null.
std::unique_ptr<paradox::TableReader> openTableArgument(
    const QStringList& args, const QString& command, int* status);

// A TABLE argument as the table list names the table: a trailing ".db" (any case) is left
// off, so "CUSTOMER.DB" names the table CUSTOMER, not a table CUSTOMER.DB.
QString tableArgument(const QString& argument);

// A value as one CSV field: quoted with inner quotes doubled; a null is the empty field.
QString csvField(const QString& text, bool isNull);

} // namespace tools
