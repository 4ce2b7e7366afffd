// The write-back: a run that changes nothing touches no file; a change touches only its own
// value's bytes; what a field cannot hold is refused before anything is written; backups are
// kept per table.

#include "data/backups/backups.h"
#include "data/digests/table_state.h"
#include "data/table_copy.h"
#include "data/write_back.h"
#include "tests/data/workdb/work_database_fixture.h"
#include "tests/support/pxlib_reader.h"
#include "tests/support/pxlib_writer.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

using datatest::DataTest;
using paradox::FieldType;
using paradox::Null;

std::vector<paradox::Field> everyType(bool withOpaqueBlobs)
{
    std::vector<paradox::Field> fields { { u"Name"_s, FieldType::Alpha, 20 },
        { u"Born"_s, FieldType::Date, 4 }, { u"Small"_s, FieldType::Short, 2 },
        { u"Big"_s, FieldType::Long, 4 }, { u"Price"_s, FieldType::Money, 8 },
        { u"Ratio"_s, FieldType::Number, 8 }, { u"Paid"_s, FieldType::Logical, 1 },
        { u"Note"_s, FieldType::Memo, 20 }, { u"Data"_s, FieldType::Blob, 14 },
        { u"At"_s, FieldType::Time, 4 }, { u"Stamp"_s, FieldType::Timestamp, 8 },
        { u"Id"_s, FieldType::Autoincrement, 4 }, { u"Amount"_s, FieldType::Bcd, 2 },
        { u"Code"_s, FieldType::Bytes, 4 } };
    if (withOpaqueBlobs) {
        fields.push_back({ u"Styled"_s, FieldType::FormattedMemo, 12 });
        fields.push_back({ u"Object"_s, FieldType::Ole, 12 });
        fields.push_back({ u"Picture"_s, FieldType::Graphic, 12 });
    }
    return fields;
}

std::vector<paradox::Row> everyTypeRows(bool withOpaqueBlobs)
{
    const QString longNote = u"A memo that is longer than its leader, with 'quotes' and ü. "_s.repeated(5);
    QByteArray bigBlob(3000, '\0');
    for (int i = 0; i < bigBlob.size(); ++i)
        bigBlob[i] = static_cast<char>(i * 7);
    std::vector<paradox::Row> rows {
        { u"O'Neil"_s, paradox::Date { 738'033 }, std::int32_t { -32767 }, std::int32_t { 2'147'483'647 },
            -2.25, 1.848898959587173e+270, true, longNote, QByteArray("\x00\x12", 2),
            paradox::TimeOfDay { 45'296'789 }, paradox::Timestamp { 63'766'094'400'123.0 },
            std::int32_t { 1 }, paradox::Bcd { u"-12.34"_s }, QByteArray("\x00\x12\x00\x01", 4) },
        { Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {},
            std::int32_t { 2 }, Null {}, Null {} },
        { u"Ärger über Öl"_s, paradox::Date { 1 }, std::int32_t { 0 }, std::int32_t { -1 }, 0.0, 5e-324,
            false, u"short"_s, bigBlob, paradox::TimeOfDay { 0 }, paradox::Timestamp { 86'400'000.0 },
            std::int32_t { 3 }, paradox::Bcd { u"123456789012345678901234.50"_s },
            QByteArray("\xff\xfe\xfd\xfc", 4) },
        { u"1e5"_s, paradox::Date { 3'652'059 }, std::int32_t { 32767 }, std::int32_t { -2'147'483'647 }, 0.1,
            -0.30000000000000004, Null {}, u"0012"_s, QByteArray("1234", 4),
            paradox::TimeOfDay { 86'399'999 }, paradox::Timestamp { 315'537'811'199'999.0 },
            std::int32_t { 7 }, paradox::Bcd { u"0.5"_s }, QByteArray("0012", 4) },
    };
    if (withOpaqueBlobs) {
        rows[0].insert(
            rows[0].end(), { u"{\\rtf1 styled}"_s, QByteArray("\x01\x00\x02", 3), QByteArray(40, '\x7f') });
        for (std::size_t i = 1; i < rows.size(); ++i)
            rows[i].insert(rows[i].end(), { Null {}, Null {}, Null {} });
    }
    return rows;
}

class WriteBack : public DataTest
{
protected:
    QString dbPath(const QString& table) const { return paradoxFolder() + u'/' + table + u".DB"_s; }
    QString mbPath(const QString& table) const { return paradoxFolder() + u'/' + table + u".MB"_s; }

    testsupport::PxlibTable readBack(const QString& table) { return readTable(paradoxFolder(), table); }

    static testsupport::PxlibTable readTable(const QString& folder, const QString& table)
    {
        QString memos;
        for (const QString& file : paradox::tableFamily(folder, table)) {
            if (file.endsWith(u".mb"_s, Qt::CaseInsensitive))
                memos = file;
        }
        return testsupport::readWithPxlib(paradox::findTableFile(folder, table), memos);
    }

    void expectSameTable(const testsupport::PxlibTable& before, const testsupport::PxlibTable& after)
    {
        ASSERT_TRUE(before.error.isEmpty()) << before.error.toStdString();
        ASSERT_TRUE(after.error.isEmpty()) << after.error.toStdString();
        EXPECT_EQ(after.codePage, before.codePage);
        EXPECT_EQ(after.fileVersion, before.fileVersion);
        EXPECT_EQ(after.blockSizeKb, before.blockSizeKb);
        EXPECT_EQ(after.sortOrderCode, before.sortOrderCode);
        // pxlib leaves the counter at 0 whatever its values; a rewrite keeps it at least as high
        // as the largest value present.
        EXPECT_GE(after.autoIncrement, before.autoIncrement);
        ASSERT_EQ(after.fields.size(), before.fields.size());
        for (std::size_t i = 0; i < before.fields.size(); ++i) {
            EXPECT_EQ(after.fields[i].name, before.fields[i].name);
            EXPECT_EQ(after.fields[i].type, before.fields[i].type) << before.fields[i].name.toStdString();
            EXPECT_EQ(after.fields[i].size, before.fields[i].size) << before.fields[i].name.toStdString();
        }
        ASSERT_EQ(after.rows.size(), before.rows.size());
        for (std::size_t r = 0; r < before.rows.size(); ++r) {
            for (std::size_t i = 0; i < before.fields.size(); ++i)
                EXPECT_TRUE(after.rows[r][i] == before.rows[r][i])
                    << "row " << r << ", field " << before.fields[i].name.toStdString() << ": "
                    << paradox::valueText(before.rows[r][i]).toStdString() << " became "
                    << paradox::valueText(after.rows[r][i]).toStdString();
        }
    }

    void copyAndWriteBack(const QString& table, data::WriteBackResult* result)
    {
        const data::CopyResult copy = data::sendTableToAccess(table, context());
        ASSERT_TRUE(copy.isComplete) << copy.problem.toStdString();
        *result = data::sendTableToParadox(table, context());
    }
};

class UnchangedRoundTrip : public WriteBack, public ::testing::WithParamInterface<bool>
{
};

TEST_P(UnchangedRoundTrip, GivesBackEveryValueTypeAndSize)
{
    const bool isWrittenByPxlib = GetParam();
    const auto fields = everyType(!isWrittenByPxlib);
    const auto rows = everyTypeRows(!isWrittenByPxlib);
    if (isWrittenByPxlib) {
        QString error;
        ASSERT_TRUE(testsupport::writeTableWithPxlib(dbPath(u"PEOPLE"_s), fields, rows, 1252, &error))
            << error.toStdString();
    } else {
        writeTable(u"PEOPLE"_s, fields, rows);
    }
    const testsupport::PxlibTable before = readBack(u"PEOPLE"_s);
    ASSERT_EQ(before.rows.size(), rows.size()) << before.error.toStdString();
    ASSERT_TRUE(before.rows[0][0] == paradox::Value(u"O'Neil"_s));

    const QByteArray filesBefore = install.fingerprint();
    data::WriteBackResult result;
    copyAndWriteBack(u"PEOPLE"_s, &result);
    EXPECT_TRUE(result.isWrittenBack) << result.problem.toStdString();
    EXPECT_TRUE(errors.reports.isEmpty()) << errors.reports.join(u'\n').toStdString();
    EXPECT_EQ(result.recordsChanged, 0);
    EXPECT_EQ(install.fingerprint(), filesBefore) << "no file of the folder is touched";
    EXPECT_TRUE(result.backupFolder.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(backupRoot())) << "and no backup is kept";
    EXPECT_FALSE(data::TableExistsInWorkDb(u"PEOPLE"_s, appFolder()));
}

INSTANTIATE_TEST_SUITE_P(Writers, UnchangedRoundTrip, ::testing::Values(true, false),
    [](const auto& testCase) { return testCase.param ? std::string("pxlib") : std::string("ours"); });

TEST_F(WriteBack, SendsItsStatements)
{
    writeTable(u"CUSTOMER"_s, { { u"A"_s, FieldType::Alpha, 5 } }, { { u"a"_s }, { u"b"_s }, { Null {} } });
    for (const QString& folder : { paradoxFolder(), paradoxFolder() + u'/' }) {
        folderText = folder;
        ASSERT_TRUE(data::sendTableToAccess(u"CUSTOMER"_s, context()).isComplete);
        statements.clear();
        const data::WriteBackResult result = data::sendTableToParadox(u"CUSTOMER"_s, context());
        EXPECT_TRUE(result.isWrittenBack) << result.problem.toStdString();
        // The folder is absolute, so it begins with a separator, and a leading run becomes two.
        const QStringList expected { u"select * from [CUSTOMER]"_s,
            u"select top 3 * into [Paradox 5.x;Database=/"_s + paradoxFolder()
                + u"/].[CUSTOMER.db] from [CUSTOMER]"_s,
            u"DROP TABLE [CUSTOMER]"_s };
        EXPECT_EQ(statements, expected);
    }
}

TEST_F(WriteBack, TableWithoutRowsStaysEmpty)
{
    writeTable(u"EMPTY"_s, { { u"A"_s, FieldType::Alpha, 7 }, { u"N"_s, FieldType::Number, 8 } }, {});
    const testsupport::PxlibTable before = readBack(u"EMPTY"_s);
    data::WriteBackResult result;
    copyAndWriteBack(u"EMPTY"_s, &result);
    EXPECT_TRUE(result.isWrittenBack);
    ASSERT_EQ(statements.filter(u"select top"_s).size(), 1);
    EXPECT_TRUE(statements.filter(u"select top"_s).front().startsWith(u"select top 0 "_s));
    expectSameTable(before, readBack(u"EMPTY"_s));
}

TEST_F(WriteBack, AChangeTouchesOnlyItsOwnBytesAndKeepsTheOldFilesInABackup)
{
    std::vector<paradox::Row> rows;
    for (int i = 0; i < 300; ++i)
        rows.push_back({ u"Boston"_s, QString::number(10'000 + i) });
    rows.push_back({ u"New York"_s, u"10001"_s });
    writeTable(u"T"_s, { { u"City"_s, FieldType::Alpha, 8 }, { u"Zip"_s, FieldType::Alpha, 5 } }, rows);
    // Other files of the table stay as they are.
    QFile validity(paradoxFolder() + u"/T.VAL"_s);
    ASSERT_TRUE(validity.open(QIODevice::WriteOnly));
    validity.write("checks");
    validity.close();
    QFile original(paradoxFolder() + u"/T.DB"_s);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();

    ASSERT_TRUE(data::sendTableToAccess(u"T"_s, context()).isComplete);
    changeWorkValue(u"T"_s, u"City"_s, u"New York"_s, u"NYC"_s);
    const data::WriteBackResult result = data::sendTableToParadox(u"T"_s, context());
    ASSERT_TRUE(result.isWrittenBack) << result.problem.toStdString();
    EXPECT_EQ(result.recordsChanged, 1);

    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray after = original.readAll();
    ASSERT_EQ(after.size(), before.size());
    int differing = 0;
    for (qsizetype i = 0; i < after.size(); ++i)
        differing += after[i] != before[i] ? 1 : 0;
    EXPECT_EQ(differing, 7) << "\"New York\" became \"NYC\": seven bytes of one slot (the N stays)";
    EXPECT_TRUE(readBack(u"T"_s).rows.back()[0] == paradox::Value(u"NYC"_s));
    QFile kept(paradoxFolder() + u"/T.VAL"_s);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("checks"));
    EXPECT_TRUE(QDir(paradoxFolder()).entryList(QDir::Hidden | QDir::Files).filter(u".tmp"_s).isEmpty());

    QFile backup(result.backupFolder + u"/T.DB"_s);
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_EQ(backup.readAll(), before) << "the backup is a copy of the old table, not a link to the new";
    const data::BackupNote note = data::readBackupNote(result.backupFolder);
    EXPECT_EQ(note.field, u"City"_s);
    EXPECT_EQ(note.recordsChanged, 1);
}

// The note of a backup holds the table as it was and as the write-back left it, whether the
// new .DB was written from its start to its end (changes in most blocks) or patched in places.
TEST_F(WriteBack, ABackupNotesTheTableAsItWasAndAsTheWriteBackLeftIt)
{
    std::vector<paradox::Row> rows;
    for (int i = 0; i < 30'000; ++i)
        rows.push_back({ i % 2 == 0 ? u"Rome"_s : u"Boston"_s });
    rows.push_back({ u"Oslo"_s });
    writeTable(u"T"_s, { { u"City"_s, FieldType::Alpha, 8 } }, rows);
    // The second write-back's copy knows no SHA-256 of the table (as a copy made by an older
    // version would not): the backup digests its own copy.
    const std::pair<QString, QString> changes[] = { { u"Rome"_s, u"Roma"_s }, { u"Oslo"_s, u"Osl"_s } };
    for (const auto& [from, to] : changes) {
        SCOPED_TRACE(from.toStdString());
        const data::TableState before = data::tableState(paradoxFolder(), u"T"_s);
        ASSERT_TRUE(data::sendTableToAccess(u"T"_s, context()).isComplete);
        if (from == u"Oslo"_s) {
            data::WorkDatabase database(appFolder());
            QJsonObject snapshot = database.sourceSnapshot(u"T"_s);
            QJsonArray files = snapshot.value(u"files"_s).toArray();
            for (QJsonValueRef file : files) {
                QJsonObject state = file.toObject();
                ASSERT_EQ(state.contains(u"sha256"_s), state.contains(u"digest"_s));
                state.remove(u"sha256"_s);
                file = state;
            }
            snapshot.insert(u"files"_s, files);
            database.rememberSnapshot(u"T"_s, snapshot);
        }
        changeWorkValue(u"T"_s, u"City"_s, from, to);
        const data::WriteBackResult result = data::sendTableToParadox(u"T"_s, context());
        ASSERT_TRUE(result.isWrittenBack) << result.problem.toStdString();
        const data::BackupNote note = data::readBackupNote(result.backupFolder);
        EXPECT_EQ(note.before(), before);
        EXPECT_EQ(note.after(), data::tableState(paradoxFolder(), u"T"_s));
        EXPECT_NE(note.after(), before);
    }
}

TEST_F(WriteBack, WhatAFieldCannotHoldIsRefusedAndNothingIsWritten)
{
    writeTable(u"T"_s, { { u"City"_s, FieldType::Alpha, 8 }, { u"N"_s, FieldType::Short, 2 } },
        { { u"Paris"_s, std::int32_t { 1 } }, { u"Rome"_s, std::int32_t { 2 } } });
    const QByteArray filesBefore = install.fingerprint();
    struct Change
    {
        const char* why;
        QString column;
        QString newText;
    };
    const Change changes[] = {
        { "longerThanTheField", u"City"_s, u"Paris, France"_s },
        { "notAWholeNumber", u"N"_s, u"many"_s },
        { "outOfRange", u"N"_s, u"40000"_s },
        { "outsideTheCodePage", u"City"_s, u"\u4e2d"_s },
        { "emptiedNumber", u"N"_s, u""_s },
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.why);
        ASSERT_TRUE(data::sendTableToAccess(u"T"_s, context()).isComplete);
        data::WorkDatabase database(appFolder());
        data::WorkTable work = data::WorkTable::open(database, u"T"_s);
        ASSERT_GT(work.snapshotDistinctValues(work.columnIndex(change.column)), 0);
        const data::UpdateOutcome outcome = work.update(0, change.newText);
        EXPECT_FALSE(outcome.rejected.isEmpty());
        EXPECT_EQ(outcome.rowsChanged, 0);
        work.applyUpdates();
        const data::WriteBackResult result = data::sendTableToParadox(u"T"_s, context());
        EXPECT_TRUE(result.isWrittenBack) << result.problem.toStdString();
        EXPECT_EQ(result.recordsChanged, 0);
        EXPECT_EQ(install.fingerprint(), filesBefore);
    }
}

// Another program edits the table while the new files are written: the check right before they
// go in place finds it, nothing is moved, and the edit stays.
TEST_F(WriteBack, AnEditMadeWhileTheNewFilesAreWrittenIsKept)
{
    writeTable(u"T"_s, { { u"City"_s, FieldType::Alpha, 8 } }, { { u"Boston"_s }, { u"Rome"_s } });
    ASSERT_TRUE(data::sendTableToAccess(u"T"_s, context()).isComplete);
    changeWorkValue(u"T"_s, u"City"_s, u"Rome"_s, u"Roma"_s);
    QByteArray edited;
    data::DataContext ctx = context();
    ctx.progress = [&](data::DataContext::Stage, std::int64_t done, std::int64_t) {
        if (done != 2) // the new files are written next
            return;
        QFile db(paradoxFolder() + u"/T.DB"_s);
        ASSERT_TRUE(db.open(QIODevice::ReadWrite | QIODevice::Append));
        db.write("edit");
        ASSERT_TRUE(db.seek(0));
        edited = db.readAll();
    };
    const data::WriteBackResult result = data::sendTableToParadox(u"T"_s, ctx);
    EXPECT_FALSE(result.isWrittenBack);
    EXPECT_TRUE(result.isRefused);
    EXPECT_TRUE(result.problem.contains(u"changed by another program"_s)) << result.problem.toStdString();
    ASSERT_FALSE(edited.isEmpty());
    QFile db(paradoxFolder() + u"/T.DB"_s);
    ASSERT_TRUE(db.open(QIODevice::ReadOnly));
    EXPECT_EQ(db.readAll(), edited);
    EXPECT_EQ(QDir(paradoxFolder()).entryList(QDir::Files | QDir::Hidden), (QStringList { u"T.DB"_s }));
    EXPECT_EQ(
        QDir(backupRoot()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList())
        << "no backup, whole or begun";
}

TEST_F(WriteBack, WithoutAWorkTableNothingChanges)
{
    writeTable(u"T"_s, { { u"A"_s, FieldType::Alpha, 5 } }, { { u"a"_s } });
    const testsupport::PxlibTable before = readBack(u"T"_s);
    const data::WriteBackResult result = data::sendTableToParadox(u"T"_s, context());
    EXPECT_FALSE(result.isWrittenBack);
    EXPECT_FALSE(errors.reports.isEmpty());
    expectSameTable(before, readBack(u"T"_s));
    EXPECT_TRUE(result.backupFolder.isEmpty());
}

TEST_F(WriteBack, KeepsTheLastTenBackupsOfEachTable)
{
    writeTable(u"T"_s, { { u"A"_s, FieldType::Alpha, 5 } }, { { u"a0"_s } });
    writeTable(u"U"_s, { { u"A"_s, FieldType::Alpha, 5 } }, { { u"a0"_s } });
    const auto changeAndWriteBack = [&](const QString& table, int i) {
        ASSERT_TRUE(data::sendTableToAccess(table, context()).isComplete);
        changeWorkValue(table, u"A"_s, u"a%1"_s.arg(i), u"a%1"_s.arg(i + 1));
        const data::WriteBackResult result = data::sendTableToParadox(table, context());
        ASSERT_EQ(result.recordsChanged, 1) << result.problem.toStdString();
    };
    changeAndWriteBack(u"U"_s, 0);
    for (int i = 0; i < 12; ++i)
        changeAndWriteBack(u"T"_s, i);
    const auto backups = data::listBackups(backupRoot(), paradoxFolder(), u"T"_s);
    ASSERT_EQ(backups.size(), 10u);
    EXPECT_TRUE(data::listBackups(backupRoot(), paradoxFolder(), u"T"_s).front().note.time
        >= backups.back().note.time)
        << "newest first";
    EXPECT_EQ(data::listBackups(backupRoot(), paradoxFolder(), u"U"_s).size(), 1u) << "another table's stays";
}

TEST_F(WriteBack, RefusesANameThatWouldEndItsQuotes)
{
    const data::WriteBackResult result = data::sendTableToParadox(u"T]; DROP TABLE [X"_s, context());
    EXPECT_FALSE(result.isWrittenBack);
    EXPECT_TRUE(statements.isEmpty());
    ASSERT_EQ(errors.reports.size(), 1);
}

} // namespace
