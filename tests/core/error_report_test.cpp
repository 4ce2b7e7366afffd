#include "core/error_report.h"
#include "core/procedure.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <stdexcept>

namespace {

struct CollectingSink : core::ErrorSink
{
    QStringList reports;
    void showErrorReport(const QString& report) override { reports << report; }
};

TEST(ErrorReport, TextIsExact)
{
    EXPECT_EQ(core::errorReportText(QStringLiteral("Disk full"),
                  QStringLiteral("Tidewell2021/08/31.Form2.PushButton1_Click"), 746),
        QStringLiteral("Disk full\r\nin Tidewell2021/08/31.Form2.PushButton1_Click at line 746\r\r"
                       "Please email screenshot of this message to support@fieldwright.example"));
}

TEST(Procedure, FailingStepIsReportedAndTheNextStepRuns)
{
    CollectingSink sink;
    core::Procedure proc(sink, QStringLiteral("Tidewell2021/08/31.Paradox.CopyDB"));
    QStringList ran;
    proc.step(100, [&] { throw core::Error(QStringLiteral("first")); });
    proc.step(102, [&] { throw std::runtime_error("second"); });
    proc.step(104, [&] { ran << QStringLiteral("104"); });
    ASSERT_EQ(sink.reports.size(), 2);
    EXPECT_TRUE(sink.reports[0].startsWith(
        QStringLiteral("first\r\nin Tidewell2021/08/31.Paradox.CopyDB at line 100\r\r")));
    EXPECT_TRUE(sink.reports[1].startsWith(QStringLiteral("second\r\n")));
    EXPECT_EQ(ran, QStringList { QStringLiteral("104") });
    EXPECT_EQ(proc.reportCount(), 2);
}

TEST(Procedure, FailingTestCountsAsPassed)
{
    CollectingSink sink;
    core::Procedure proc(sink, QStringLiteral("X.Y.Z"));
    EXPECT_TRUE(proc.test(116, []() -> bool { throw core::Error(QStringLiteral("cannot tell")); }));
    EXPECT_FALSE(proc.test(118, [] { return false; }));
    EXPECT_EQ(sink.reports.size(), 1);
}

} // namespace
