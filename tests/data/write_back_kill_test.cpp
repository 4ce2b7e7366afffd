// A write-back killed at any moment leaves the old table, the new table, or a complete
// backup of the old one: never a half-written table and nothing else.

#include "data/table_copy.h"
#include "data/write_back.h"
#include "tests/data/work_database_fixture.h"

#include <QElapsedTimer>
#include <chrono>
#include <csignal>
#include <iostream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using datatest::DataTest;
using paradox::FieldType;

constexpr int kRecords = 8000;
// Spread over the whole run, then packed into its last fifth, where the families move.
constexpr int kSpreadKills = 25;
constexpr int kLateKills = 25;

std::vector<paradox::Row> readAll(const QString& folder, const QString& table, QString* error)
{
    std::vector<paradox::Row> rows;
    const QString file = paradox::findTableFile(folder, table);
    auto reader = paradox::openTable(file, error);
    if (!reader)
        return rows;
    paradox::Row row;
    while (reader->readNext(row))
        rows.push_back(row);
    *error = reader->error();
    return rows;
}

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files | QDir::Hidden))
        QFile::copy(from + u'/' + name, to + u'/' + name);
}

class WriteBackKill : public DataTest
{
protected:
    // A run of the write-back in a child process over a fresh copy of the prepared folders,
    // killed after `delay` (or left to finish when delay is negative).
    void runChild(const QString& run, std::chrono::microseconds delay)
    {
        copyFolder(paradoxFolder(), run + u"/paradox"_s);
        copyFolder(appFolder(), run + u"/app"_s);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            datatest::ReportList reports;
            core::NoEvents events;
            data::setStatementObserver({});
            const data::WriteBackResult result = data::sendTableToParadox(
                u"STOCK"_s, { run + u"/paradox"_s, run + u"/app"_s, reports, events, run + u"/backups"_s });
            ::_exit(result.isWrittenBack ? 0 : 1);
        }
        if (delay.count() >= 0) {
            std::this_thread::sleep_for(delay);
            ::kill(child, SIGKILL);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (delay.count() < 0) {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
    }
};

TEST_F(WriteBackKill, LeavesOldNewOrACompleteBackup)
{
    std::vector<paradox::Row> oldRows;
    for (int i = 0; i < kRecords; ++i)
        oldRows.push_back({ u"item %1"_s.arg(i), std::int32_t { i },
            i % 50 == 0
                ? paradox::Value(u"a memo long enough for the memo file, number %1"_s.arg(i).repeated(8))
                : paradox::Value(paradox::Null {}) });
    writeTable(u"STOCK"_s,
        { { u"Name"_s, FieldType::Alpha, 20 }, { u"Qty"_s, FieldType::Long, 4 },
            { u"Note"_s, FieldType::Memo, 11 } },
        oldRows);
    // An old index file, which must leave with the old table.
    QFile index(paradoxFolder() + u"/STOCK.X02"_s);
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write(QByteArray(2048, '\x01'));
    index.close();
    ASSERT_TRUE(data::sendTableToAccess(u"STOCK"_s, context()).isComplete);
    changeWorkValue(u"STOCK"_s, u"Name"_s, u"item 7"_s, u"changed"_s);
    std::vector<paradox::Row> newRows = oldRows;
    newRows[7][0] = u"changed"_s;

    QElapsedTimer timer;
    timer.start();
    runChild(path(u"full"_s), std::chrono::microseconds(-1));
    const auto fullRun = std::chrono::microseconds(timer.nsecsElapsed() / 1000);
    QString error;
    ASSERT_EQ(readAll(path(u"full/paradox"_s), u"STOCK"_s, &error), newRows) << error.toStdString();

    int oldSeen = 0;
    int newSeen = 0;
    int backupSeen = 0;
    for (int k = 0; k < kSpreadKills + kLateKills; ++k) {
        SCOPED_TRACE(k);
        const QString run = path(u"run%1"_s.arg(k));
        const auto delay = k < kSpreadKills
            ? fullRun * k / kSpreadKills
            : fullRun * 8 / 10 + fullRun * (k - kSpreadKills) / (4 * kLateKills);
        runChild(run, delay);
        const QString folder = run + u"/paradox"_s;
        if (!paradox::findTableFile(folder, u"STOCK"_s).isEmpty()) {
            const std::vector<paradox::Row> rows = readAll(folder, u"STOCK"_s, &error);
            ASSERT_TRUE(error.isEmpty()) << error.toStdString();
            const bool isOld = rows == oldRows;
            ASSERT_TRUE(isOld || rows == newRows);
            // The old index file goes with the old table, never stays beside the new one.
            ASSERT_EQ(QFile::exists(folder + u"/STOCK.X02"_s), isOld);
            (isOld ? oldSeen : newSeen) += 1;
            continue;
        }
        const QStringList backups = QDir(run + u"/backups"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        ASSERT_EQ(backups.size(), 1);
        const QString backup = run + u"/backups/"_s + backups.front();
        ASSERT_EQ(readAll(backup, u"STOCK"_s, &error), oldRows) << error.toStdString();
        ASSERT_TRUE(QFile::exists(backup + u"/STOCK.X02"_s));
        ++backupSeen;
    }
    std::cout << "killed " << kSpreadKills + kLateKills << " write-backs: old table " << oldSeen
              << ", new table " << newSeen << ", backup only " << backupSeen << " (a full run takes "
              << fullRun.count() << " us)\n";
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
}

} // namespace
