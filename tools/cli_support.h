#pragma once

// Pieces the subcommands share: error reports to standard error, counted.

#include "app/error_report.h"
#include "tools/commands.h"

namespace tools {

class PrintedErrorReports : public app::ErrorSink
{
public:
    void showErrorReport(const QString& report) override
    {
        printErr(report);
        ++m_count;
    }
    int count() const { return m_count; }

private:
    int m_count = 0;
};

// A value as one CSV field: quoted with inner quotes doubled; a null is the empty field.
QString csvField(const QString& text, bool isNull);

} // namespace tools
