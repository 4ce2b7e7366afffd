// Restoring a backup: the table comes back byte for byte as it was before the chosen
// write-back, also when later write-backs replaced files that backup does not hold; the
// version replaced becomes a backup itself; a table that must not be written is left alone.

#include "data/backup_restore.h"
#include "data/backups/backups.h"
#include "data/digests/table_state.h"
#include "data/paradox/io/find_table.h"
#include "data/safety/safe_files.h"
#include "data/table_copy.h"
#include "data/write_back.h"
#include "tests/data/paradox/keys_support.h"
#include "tests/data/workdb/work_database_fixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

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

    std::vector<data::Backup> backups(const QString& folder = {})
    {
        return data::listBackups(backupRoot(), folder.isEmpty() ? paradoxFolder() : folder, u"STOCK"_s);
    }
    data::RestoreResult restore(const QString& id, const QString& folder = {})
    {
        return data::restoreBackup(folder.isEmpty() ? paradoxFolder() : folder, u"STOCK"_s, id, backupRoot());
    }
    QString tableFile(const QString& extension) const
    {
        return paradox::findFileIgnoringCase(paradoxFolder(), u"stock."_s + extension);
    }
    static void editNote(const QString& backup, const QString& key, const QString& value)
    {
        QFile note(backup + u"/backup.json"_s);
        ASSERT_TRUE(note.open(QIODevice::ReadOnly));
        QJsonObject object = QJsonDocument::fromJson(note.readAll()).object();
        note.close();
        object.insert(key, value);
        ASSERT_TRUE(note.open(QIODevice::WriteOnly | QIODevice::Truncate));
        note.write(QJsonDocument(object).toJson());
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
    ASSERT_EQ(kept[1].files.filter(u".MB"_s, Qt::CaseInsensitive).size(), 1)
        << "the first write-back changed no memo, but its backup holds the memo file it goes with";

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

// A backup notes a new memo file as it is once its old values are freed and it is cut back:
// the digest foretold from the file and the writes is that of the file they are made in, across
// the reading's chunks, past the file's end, and with the cut shorter or longer than the file.
TEST_F(Restore, NotesAFileFinishedInPlaceAsItWillBe)
{
    QByteArray bytes((1 << 20) + 5000, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char& byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    const QString path = paradoxFolder() + u"/finished.bin"_s;
    const data::InPlaceWrites writes { { 10, "first" }, { (1 << 20) - 2, "across the chunk" }, { 12, "over" },
        { static_cast<std::uint64_t>(bytes.size()) + 100, "past the end" } };
    for (const std::int64_t length : { std::int64_t { -1 }, std::int64_t { 4000 },
             std::int64_t { (1 << 20) + 1 }, static_cast<std::int64_t>(bytes.size()) + 500 }) {
        SCOPED_TRACE(length);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        const QString foretold = data::fileDigest(path, writes, length);
        data::files::writeInPlace(path, writes);
        if (length >= 0)
            data::files::truncate(path, length);
        EXPECT_EQ(foretold, data::fileDigest(path));
    }
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

// A restore puts back only a version it can vouch for: the backup's files as they were kept,
// of this folder, over a table that is as this program last left it. Otherwise nothing changes.
TEST_F(Restore, RefusesADamagedOrForeignBackupAndATableChangedSince)
{
    change(u"Name"_s, u"bolt"_s, u"screw"_s);
    const data::Backup kept = backups().front();
    ASSERT_EQ(kept.files.filter(u".MB"_s, Qt::CaseInsensitive).size(), 1)
        << "the memo file is kept with the table";
    const QString keptDb = kept.path + u'/' + kept.files.filter(u".DB"_s, Qt::CaseInsensitive).front();
    const auto refused = [&](const char* what, const QString& expected) {
        const QByteArray before = install.fingerprint();
        const data::RestoreResult result = restore(kept.id);
        EXPECT_FALSE(result.isRestored) << what;
        EXPECT_TRUE(result.problem.contains(expected)) << what << ": " << result.problem.toStdString();
        EXPECT_EQ(install.fingerprint(), before) << what;
    };

    QFile db(keptDb);
    ASSERT_TRUE(db.open(QIODevice::ReadWrite));
    const QByteArray whole = db.readAll();
    ASSERT_TRUE(db.resize(whole.size() - 100));
    refused("truncated", u"damaged"_s);
    ASSERT_TRUE(db.remove());
    QFile outside(path(u"outside.db"_s));
    ASSERT_TRUE(outside.open(QIODevice::WriteOnly));
    outside.write(whole);
    outside.close();
    ASSERT_TRUE(QFile::link(outside.fileName(), keptDb));
    refused("a link, even to the right bytes", u"no regular file"_s);
    ASSERT_TRUE(QFile::remove(keptDb));
    ASSERT_TRUE(QFile::copy(outside.fileName(), keptDb));

    // Said to be of another folder that has a table of that name.
    const QString other = path(u"other"_s);
    ASSERT_TRUE(QDir().mkpath(other));
    ASSERT_TRUE(QFile::copy(tableFile(u"db"_s), other + u"/STOCK.DB"_s));
    editNote(kept.path, u"folder"_s, other);
    EXPECT_TRUE(backups().empty());
    refused("another folder's", u"another folder"_s);
    editNote(kept.path, u"folder"_s, paradoxFolder());

    // Another program wrote the memo file since.
    QFile memo(tableFile(u"mb"_s));
    ASSERT_TRUE(memo.open(QIODevice::ReadWrite));
    const QByteArray memoBytes = memo.readAll();
    ASSERT_TRUE(memo.seek(memoBytes.size() - 1));
    memo.write("x");
    memo.close();
    refused("a memo file changed", u"STOCK was changed since"_s);
    ASSERT_TRUE(memo.open(QIODevice::WriteOnly));
    memo.write(memoBytes);
    memo.close();

    // Or added an index to it.
    QFile index(paradoxFolder() + u"/stock.X05"_s);
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write(QByteArray(2048, 'i'));
    index.close();
    refused("an index added", u"stock.X05"_s);

    ASSERT_TRUE(index.remove());
    const data::RestoreResult result = restore(kept.id);
    EXPECT_TRUE(result.isRestored) << "once all is as it was: " << result.problem.toStdString();
}

// Backups are filed under the table's real folder, so any spelling of it finds them; a folder
// moved since still leads to them, and an unfinished restore's backup is never taken back.
TEST_F(Restore, FindsTheVersionsOfATableWhateverItsFolderIsCalledAndWhereverItMoved)
{
    const QByteArray original = install.fingerprint();
    change(u"Name"_s, u"bolt"_s, u"screw"_s);
    const QString id = backups().front().id;
    const QString link = path(u"link"_s);
    ASSERT_TRUE(QFile::link(paradoxFolder(), link));
    const QString root = QFileInfo(paradoxFolder()).absolutePath();
    for (const QString& spelling :
        { link, paradoxFolder() + u'/', root + u"//paradox"_s, root + u"/./paradox/../paradox"_s }) {
        const auto found = backups(spelling);
        ASSERT_EQ(found.size(), 1u) << spelling.toStdString();
        EXPECT_EQ(found.front().id, id);
    }

    // A restore cut short after it kept the table, before the first rename: its backup holds
    // the table as it is, and taking "the newest" back must not pick it.
    const QString stale = data::newBackupFolder(backupRoot(), u"STOCK"_s);
    const data::Backup kept = backups().front();
    const QString keptDb = kept.path + u'/' + kept.files.filter(u".DB"_s, Qt::CaseInsensitive).front();
    data::writeBackup(stale, paradoxFolder(), { { tableFile(u"db"_s), keptDb } },
        { u"STOCK"_s, paradoxFolder(), u"Name"_s, u"Restore"_s, { id }, 0, QDateTime::currentDateTime(), {},
            {} });
    ASSERT_TRUE(data::isCompleteBackup(stale, u"STOCK"_s));
    ASSERT_EQ(backups().size(), 1u);
    EXPECT_EQ(backups().front().id, id);
    const data::RestoreResult unfinished = restore(QFileInfo(stale).fileName());
    EXPECT_TRUE(unfinished.problem.contains(u"holds the table as it is now"_s))
        << unfinished.problem.toStdString();

    ASSERT_TRUE(QFile::remove(link));
    const QString moved = path(u"moved"_s);
    const QString wasIn = paradox::canonicalFolder(paradoxFolder());
    ASSERT_TRUE(QDir().rename(paradoxFolder(), moved));
    EXPECT_TRUE(restore(id).problem.contains(u"no folder"_s));
    const auto found = backups(moved);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front().id, id);
    EXPECT_EQ(found.front().movedFrom, wasIn);
    const data::RestoreResult result = restore(id, moved);
    ASSERT_TRUE(result.isRestored) << result.problem.toStdString();
    EXPECT_EQ(install.fingerprint(moved), original);
    // The versions made here since lead back to those made before the move.
    const auto history = backups(moved);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_TRUE(history[0].movedFrom.isEmpty());
    EXPECT_EQ(history[1].movedFrom, wasIn);
}

// Backups of older versions of the program hold only the files their write-back replaced and
// note no digests; they are still taken back, the other files as they are now.
TEST_F(Restore, TakesBackABackupOfAnOlderVersion)
{
    const QByteArray original = install.fingerprint();
    change(u"Name"_s, u"bolt"_s, u"screw"_s);
    const data::Backup kept = backups().front();
    const QString old = backupRoot() + u"/20000101-000000-000-STOCK"_s;
    ASSERT_TRUE(QDir().mkpath(old));
    const QString db = kept.files.filter(u".DB"_s, Qt::CaseInsensitive).front();
    ASSERT_TRUE(QFile::copy(kept.path + u'/' + db, old + u'/' + db));
    QFile note(old + u"/backup.json"_s);
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.write(QJsonDocument(QJsonObject { { u"table"_s, u"STOCK"_s }, { u"folder"_s, paradoxFolder() },
                                 { u"field"_s, u"Name"_s }, { u"operation"_s, u"Remove All Spaces"_s } })
                   .toJson());
    note.close();
    ASSERT_TRUE(QDir(kept.path).removeRecursively());

    const data::RestoreResult result = restore(u"20000101-000000-000-STOCK"_s);
    ASSERT_TRUE(result.isRestored) << result.problem.toStdString();
    EXPECT_EQ(install.fingerprint(), original);
}

// An index added to a table after a write-back is no part of the version before it: a
// restore to that version takes the index away (into its own backup), and taking the
// restore back brings it back.
TEST_F(Restore, TakesAwayAnIndexTheRestoredVersionDidNotHave)
{
    keystest::KeyedTableRecipe recipe;
    recipe.folder = paradoxFolder();
    recipe.name = u"K"_s;
    recipe.fields = { testsupport::alphaField(u"Code"_s, 10), testsupport::alphaField(u"Name"_s, 10) };
    recipe.rows = { { u"a"_s, u"one"_s }, { u"b"_s, u"two"_s }, { u"c"_s, u"three"_s } };
    ASSERT_EQ(keystest::writeKeyedTable(recipe), QString());
    ASSERT_EQ(keystest::buildIndexes(paradoxFolder() + u"/K.DB"_s), QString());
    const auto changeName = [&](const QString& from, const QString& to) {
        ASSERT_TRUE(data::sendTableToAccess(u"K"_s, context()).isComplete);
        changeWorkValue(u"K"_s, u"Name"_s, from, to);
        const data::WriteBackResult result = data::sendTableToParadox(u"K"_s, context());
        ASSERT_TRUE(result.isWrittenBack) << result.problem.toStdString();
    };
    const QByteArray original = install.fingerprint();
    changeName(u"one"_s, u"uno"_s);
    const QString first = data::listBackups(backupRoot(), paradoxFolder(), u"K"_s).front().id;

    // Another program adds an index on Name; a later run rebuilds it.
    keystest::writeEmptyIndex(recipe, { u"X02"_s, { 1 }, {} });
    ASSERT_EQ(keystest::buildIndexes(paradoxFolder() + u"/K.DB"_s), QString());
    changeName(u"two"_s, u"dos"_s);
    const QByteArray indexed = install.fingerprint();

    data::RestoreResult result = data::restoreBackup(paradoxFolder(), u"K"_s, first, backupRoot());
    ASSERT_TRUE(result.isRestored) << result.problem.toStdString();
    EXPECT_EQ(install.fingerprint(), original) << "no index file is left beside the old table";
    result = data::restoreBackup(paradoxFolder(), u"K"_s,
        data::listBackups(backupRoot(), paradoxFolder(), u"K"_s).front().id, backupRoot());
    ASSERT_TRUE(result.isRestored) << result.problem.toStdString();
    EXPECT_EQ(install.fingerprint(), indexed);
    EXPECT_EQ(keystest::verifyTree(paradoxFolder() + u"/K.Y02"_s, paradoxFolder() + u"/K.X02"_s), QString());
}

// A note is never read whole when it is too big to be one: the listing passes it over at once.
// A backup a kill cut short while it was filled is cleared away once it is a day old.
TEST_F(Restore, RefusesAnOversizedNoteAndClearsOldHalfMadeBackups)
{
    const QString halfMade = backupRoot() + u"/.20000101-000000-000-STOCK.part"_s;
    const QString filling = backupRoot() + u'/' + u'.'
        + QFileInfo(data::newBackupFolder(backupRoot(), u"STOCK"_s)).fileName() + u".part"_s;
    ASSERT_TRUE(QDir().mkpath(halfMade) && QDir().mkpath(filling));
    change(u"Name"_s, u"bolt"_s, u"screw"_s);
    EXPECT_FALSE(QFileInfo::exists(halfMade));
    EXPECT_TRUE(QFileInfo::exists(filling));

    const data::Backup kept = backups().front();
    QFile note(kept.path + u"/backup.json"_s);
    ASSERT_TRUE(note.open(QIODevice::Append));
    note.write(QByteArray(data::kLargestBackupNote, ' '));
    note.close();
    EXPECT_TRUE(backups().empty());
    const QByteArray before = install.fingerprint();
    const data::RestoreResult result = restore(kept.id);
    EXPECT_FALSE(result.isRestored);
    EXPECT_TRUE(result.problem.contains(u"larger than"_s)) << result.problem.toStdString();
    EXPECT_EQ(install.fingerprint(), before);
}

} // namespace
