#include "core/error_report.h"
#include "core/procedure.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <cerrno>
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

// A failure of the machine is the user's to mend: a plain message with what to do, no request
// to mail a screenshot, also after a layer has added what it means to the table.
TEST(Procedure, AFailureOfTheMachineIsAPlainMessageWithWhatToDo)
{
    CollectingSink sink;
    core::Procedure proc(sink, QStringLiteral("Tidewell2021/08/31.Paradox.CopyDB"));
    EXPECT_FALSE(proc.step(100, [] { core::throwFileError(ENOSPC, QStringLiteral("cannot write t.DB")); }));
    EXPECT_FALSE(proc.step(102, [] {
        try {
            core::throwFileError(ENAMETOOLONG, QStringLiteral("cannot create t.DB"));
        } catch (const core::Error& e) {
            core::throwLike(e, e.description() + QStringLiteral(" The table t was left as it was."));
        }
    }));
    EXPECT_FALSE(proc.step(104, [] { core::throwFileError(EINVAL, QStringLiteral("cannot seek t.DB")); }));
    ASSERT_EQ(sink.reports.size(), 3);
    EXPECT_EQ(sink.reports[0],
        QStringLiteral("cannot write t.DB. The disk is full: free some space on it and start again."));
    EXPECT_TRUE(sink.reports[1].startsWith(QStringLiteral("cannot create t.DB. The name is too long")));
    EXPECT_TRUE(sink.reports[1].endsWith(QStringLiteral("The table t was left as it was.")));
    EXPECT_TRUE(sink.reports[2].contains(QStringLiteral("Please email")))
        << "a fault of the program stays a report";
    EXPECT_EQ(proc.reportCount(), 3);
}

} // namespace
