#pragma once

// A scratch installation for the data layer's tests (tests/support/scratch_install.h), with
// error reports collected in a list and every statement the steps stand for recorded.

#include "data/data_context.h"
#include "data/statements.h"
#include "data/workdb/work_table.h"
#include "tests/support/scratch_install.h"
#include "tests/support/scripted_view.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace datatest {

class ReportList : public core::ErrorSink
{
public:
    void showErrorReport(const QString& report) override { reports << report; }
    QStringList reports;
};

class DataTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        data::setStatementObserver([this](const QString& sql) { statements << sql; });
    }
    void TearDown() override { data::setStatementObserver({}); }

    QString appFolder() const { return install.appFolder(); }
    QString paradoxFolder() const { return install.paradoxFolder(); }
    QString backupRoot() const { return install.backupRoot(); }
    QString path(const QString& name) const { return install.path(name); }

    // The folder the copy and the write-back are given (the Paradox folder unless a test
    // says otherwise).
    QString folderText;
    data::DataContext context()
    {
        return { folderText.isNull() ? paradoxFolder() : folderText, appFolder(), errors, m_events,
            backupRoot() };
    }

    // Sets the column of the work table's rows that hold oldText to newText, as the change
    // run's update of that value would.
    void changeWorkValue(
        const QString& table, const QString& column, const QString& oldText, const QString& newText)
    {
        data::WorkDatabase database(appFolder());
        data::WorkTable work = data::WorkTable::open(database, table);
        const int index = work.columnIndex(column);
        const std::int64_t count = work.snapshotDistinctValues(index);
        for (std::int64_t i = 0; i < count; ++i) {
            if (work.distinctValue(i).text == oldText)
                work.update(i, newText);
        }
        work.applyUpdates();
    }

    void writeTable(const QString& name, const std::vector<paradox::Field>& fields,
        const std::vector<paradox::Row>& rows, int codePage = 1252)
    {
        install.writeTable(name, fields, rows, codePage);
    }

    testsupport::ScratchInstall install;
    ReportList errors;
    QStringList statements;

private:
    core::NoEvents m_events;
};

} // namespace datatest
