// Restoring a backup: the table comes back byte for byte as it was before the chosen
// write-back, also when later write-backs replaced files that backup does not hold; the
// version replaced becomes a backup itself; a table that must not be written is left alone.

#include "data/backup_restore.h"
#include "data/backups.h"
#include "data/table_copy.h"
#include "data/write_back.h"
#include "tests/data/work_database_fixture.h"

#include <QFile>

namespace {

using paradox::FieldType;

class Restore : public datatest::DataTest
{
protected:
    void SetUp() override
    {
        DataTest::SetUp();
        data::setStatementObserver({});
        // Named in lower case on disk, as the table list never names it.
        writeTable(u"stock"_s, { { u"Name"_s, FieldType::Alpha, 20 }, { u"Note"_s, FieldType::Memo, 11 } },
            { { u"bolt"_s, u"short"_s }, { u"nut"_s, u"a note too long for its leader"_s.repeated(3) } });
    }

    // One write-back that changes one value of one field.
    data::WriteBackResult change(const QString& field, const QString& from, const QString& to)
    {
        EXPECT_TRUE(data::sendTableToAccess(u"STOCK"_s, context()).isComplete);
        changeWorkValue(u"STOCK"_s, field, from, to);
        const data::WriteBackResult result = data::sendTableToParadox(u"STOCK"_s, context());
        EXPECT_TRUE(result.isWrittenBack) << result.problem.toStdString();
        EXPECT_EQ(result.recordsChanged, 1);
        return result;
    }

    std::vector<data::Backup> backups()
    {
        return data::listBackups(backupRoot(), paradoxFolder(), u"STOCK"_s);
    }
    QStringList families() { return QDir(paradoxFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
};

TEST_F(Restore, BringsBackTheFilesByteForByteAndKeepsTheVersionItReplaces)
{
    const QByteArray original = install.fingerprint();
    const QStringList originalFiles = families();
    change(u"Name"_s, u"bolt"_s, u"screw"_s); // the .DB alone
    const QByteArray afterName = install.fingerprint();
    change(u"Note"_s, u"short"_s,
        u"a much longer note that needs its own memo block"_s.repeated(4)); // .DB and .MB
    const QByteArray afterNote = install.fingerprint();
    ASSERT_NE(afterName, afterNote);
    std::vector<data::Backup> kept = backups();
    ASSERT_EQ(kept.size(), 2u);
    ASSERT_EQ(kept[1].files.filter(u".MB"_s, Qt::CaseInsensitive).size(), 0)
        << "the first write-back changed no memo: its backup cannot give the memo file back by itself";

    // The oldest: its .DB, with the memo file as the second write-back found it.
    data::RestoreResult result = data::restoreBackup(paradoxFolder(), u"STOCK"_s, kept[1].id, backupRoot());
    ASSERT_TRUE(result.isRestored) << result.problem.toStdString();
    EXPECT_EQ(install.fingerprint(), original);
    EXPECT_EQ(families(), originalFiles) << "no temporary file or journal is left";

    kept = backups();
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].path, result.backupFolder);
    EXPECT_EQ(kept[0].note.operation, u"Restore"_s);
    EXPECT_EQ(kept[0].note.answers, QStringList { kept[2].id });
    EXPECT_EQ(kept[0].note.field, u"Name"_s);

    // The restore is taken back like any write-back.
    result = data::restoreBackup(paradoxFolder(), u"STOCK"_s, kept[0].id, backupRoot());
    ASSERT_TRUE(result.isRestored) << result.problem.toStdString();
    EXPECT_EQ(install.fingerprint(), afterNote);
    // And the newest write-back alone, to the state between the two.
    result = data::restoreBackup(paradoxFolder(), u"STOCK"_s, backups()[2].id, backupRoot());
    ASSERT_TRUE(result.isRestored) << result.problem.toStdString();
    EXPECT_EQ(install.fingerprint(), afterName);
}

TEST_F(Restore, LeavesTheTableAloneWhenItMustNotBeWrittenOrTheBackupIsUnknown)
{
    change(u"Name"_s, u"bolt"_s, u"screw"_s);
    const QString id = backups().front().id;
    const QByteArray before = install.fingerprint();

    data::RestoreResult result
        = data::restoreBackup(paradoxFolder(), u"STOCK"_s, u"20000101-000000-000-STOCK"_s, backupRoot());
    EXPECT_FALSE(result.isRestored);
    EXPECT_TRUE(result.problem.contains(u"no backup"_s)) << result.problem.toStdString();

    QFile lock(paradoxFolder() + u"/PDOXUSRS.LCK"_s);
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    const QByteArray locked = install.fingerprint();
    result = data::restoreBackup(paradoxFolder(), u"STOCK"_s, id, backupRoot());
    EXPECT_FALSE(result.isRestored);
    EXPECT_TRUE(result.problem.contains(u"PDOXUSRS.LCK"_s)) << result.problem.toStdString();
    EXPECT_EQ(install.fingerprint(), locked);
    EXPECT_EQ(backups().size(), 1u);
    ASSERT_TRUE(lock.remove());
    EXPECT_EQ(install.fingerprint(), before);

    // A table whose .DB is gone from its folder is put back there.
    ASSERT_TRUE(QFile::remove(paradox::findTableFile(paradoxFolder(), u"STOCK"_s)));
    result = data::restoreBackup(paradoxFolder(), u"STOCK"_s, id, backupRoot());
    ASSERT_TRUE(result.isRestored) << result.problem.toStdString();
    EXPECT_EQ(install.column(u"STOCK"_s), (QStringList { u"bolt"_s, u"nut"_s }));
}

} // namespace
