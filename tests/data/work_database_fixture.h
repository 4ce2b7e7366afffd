#pragma once

// A scratch installation for the data layer's tests: an application folder with an empty
// work database, a Paradox folder, a backup root, error reports collected in a list, and
// every statement sent to the work database recorded.

#include "core/dialogs.h"
#include "core/folder_box.h"
#include "data/connection.h"
#include "data/data_context.h"
#include "data/paradox/table.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>

using namespace Qt::StringLiterals;

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

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
        ASSERT_TRUE(m_root.isValid());
        ASSERT_TRUE(QDir().mkpath(appFolder()));
        ASSERT_TRUE(QDir().mkpath(paradoxFolder()));
        QFile workDatabase(appFolder() + u"/dbTemp.mdb"_s);
        ASSERT_TRUE(workDatabase.open(QIODevice::WriteOnly)); // 0 bytes: an empty SQLite database
        workDatabase.close();
        m_folderBox.setText(paradoxFolder());
        data::setStatementObserver([this](const QString& sql) { statements << sql; });
    }
    void TearDown() override { data::setStatementObserver({}); }

    QString appFolder() const { return m_root.path() + u"/app"_s; }
    QString paradoxFolder() const { return m_root.path() + u"/paradox"_s; }
    QString backupRoot() const { return m_root.path() + u"/backups"_s; }
    QString path(const QString& name) const { return m_root.path() + u'/' + name; }

    data::DataContext context() { return { m_folderBox, appFolder(), errors, m_events, backupRoot() }; }
    core::PlainFolderBox& folderBox() { return m_folderBox; }

    // Writes a table with our own writer into the Paradox folder.
    void writeTable(const QString& name, const std::vector<paradox::Field>& fields,
        const std::vector<paradox::Row>& rows, int codePage = 1252)
    {
        paradox::NewTable table;
        table.folder = paradoxFolder();
        table.name = name;
        table.fields = fields;
        table.codePage = codePage;
        QString error;
        auto writer = paradox::createTable(table, &error);
        ASSERT_TRUE(writer) << error.toStdString();
        for (const paradox::Row& row : rows)
            ASSERT_TRUE(writer->append(row, &error)) << error.toStdString();
        ASSERT_TRUE(writer->commit(QString(), &error)) << error.toStdString();
    }

    ReportList errors;
    QStringList statements;

private:
    QTemporaryDir m_root;
    core::PlainFolderBox m_folderBox;
    core::NoEvents m_events;
};

} // namespace datatest
