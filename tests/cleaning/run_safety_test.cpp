// Runs beside other programs, other runs and odd tables: each either cleans the table as
// asked or leaves it as it was and says why, and never damages another table.

#include "cleaning/change_run.h"
#include "cleaning/operation_catalogue.h"
#include "core/freed_aside.h"
#include "core/helpers.h"
#include "data/safety/table_lock.h"
#include "data/table_copy.h"
#include "data/workdb/work_database.h"
#include "data/write_back.h"
#include "tests/data/paradox/keys_support.h"
#include "tests/support/scratch_install.h"
#include "tests/support/scripted_view.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using testsupport::texts;

namespace {

class Reports : public core::ErrorSink
{
public:
    void showErrorReport(const QString& report) override { reports << report; }
    QStringList reports;
};

class RunSafety : public ::testing::Test
{
protected:
    testsupport::ScratchInstall install;
    core::PlainFolderBox folderBox { install.paradoxFolder() };
    testsupport::ScriptedView view;

    cleaning::ChangeRunResult run(const QString& table, const QString& field, int operation)
    {
        view.table = table;
        view.field = field;
        view.operation = cleaning::operations()[static_cast<std::size_t>(operation - 1)].captionText();
        view.messages.clear();
        return cleaning::PushButton1_Click(view, { folderBox, install.appFolder(), install.backupRoot() });
    }

    void makeCustomers(const QString& name = u"CUSTOMER"_s)
    {
        install.writeTable(name,
            { testsupport::alphaField(u"Name"_s, 20), { u"Note"_s, paradox::FieldType::Memo, 11 } },
            { { u"Ann Lee"_s, u"a note long enough to live in the memo file"_s },
                { u"Bo Ek"_s, paradox::Null {} } });
    }

    QString file(const QString& name) const { return install.paradoxFolder() + u'/' + name; }

    void expectRefusedAndUntouched(
        const cleaning::ChangeRunResult& result, const QByteArray& before, const char* why)
    {
        EXPECT_NE(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack) << why;
        EXPECT_EQ(install.fingerprint(), before) << why;
        ASSERT_FALSE(view.messages.isEmpty()) << why;
        EXPECT_FALSE(view.messages.last().startsWith(u"Done."_s)) << why;
        EXPECT_TRUE(view.messages.last().contains(u"not"_s))
            << why << ": " << view.messages.last().toStdString();
    }
};

TEST_F(RunSafety, AWriteBackTakesBackOnlyItsOwnRunsCopy)
{
    makeCustomers();
    testsupport::ScratchInstall other;
    other.writeTable(u"CUSTOMER"_s, { testsupport::alphaField(u"Name"_s, 20) }, { texts({ u"Y Y" }) });
    Reports reports;
    core::NoEvents events;
    const data::DataContext runA { install.paradoxFolder(), install.appFolder(), reports, events,
        install.backupRoot(), u"A"_s };
    const data::DataContext runB { other.paradoxFolder(), install.appFolder(), reports, events,
        install.backupRoot(), u"B"_s };
    ASSERT_TRUE(data::sendTableToAccess(u"CUSTOMER"_s, runA).isComplete);
    ASSERT_TRUE(data::sendTableToAccess(u"CUSTOMER"_s, runB).isComplete); // the same work table name
    const QByteArray before = install.fingerprint();
    const data::WriteBackResult result = data::sendTableToParadox(u"CUSTOMER"_s, runA);
    EXPECT_FALSE(result.isWrittenBack);
    EXPECT_EQ(install.fingerprint(), before);
    EXPECT_TRUE(result.problem.contains(u"made by another run"_s)) << result.problem.toStdString();

    // Two runs of the program never hold the work database at once.
    data::RunLock first(install.appFolder());
    data::RunLock second(install.appFolder());
    EXPECT_TRUE(first.problem().isEmpty());
    EXPECT_TRUE(second.problem().contains(u"Another Fieldwright run"_s)) << second.problem().toStdString();
}

TEST_F(RunSafety, FieldsNamedLikeSqlitesRowIdDoNotConfuseWhichRowsChanged)
{
    using paradox::FieldType;
    install.writeTable(u"T"_s,
        { { u"rowid"_s, FieldType::Long, 4 }, { u"oid"_s, FieldType::Long, 4 },
            { u"_rowid_"_s, FieldType::Long, 4 }, testsupport::alphaField(u"F"_s) },
        { { std::int32_t { 1 }, std::int32_t { 1 }, std::int32_t { 1 }, u"abc"_s },
            { std::int32_t { 1 }, std::int32_t { 1 }, std::int32_t { 1 }, u"bc"_s },
            { std::int32_t { 1 }, std::int32_t { 1 }, std::int32_t { 1 }, u"c"_s },
            { std::int32_t { 1 }, std::int32_t { 1 }, std::int32_t { 1 }, u"abc"_s } });
    view.answers = { u"1"_s };
    run(u"T"_s, u"F"_s, 24);
    EXPECT_EQ(install.column(u"T"_s, 3), (QStringList { u"bc"_s, u"c"_s, u"<null>"_s, u"bc"_s }));
}

TEST_F(RunSafety, AnotherTableWhoseNameDiffersOnlyInCaseIsNeverTouched)
{
    makeCustomers(u"CUSTOMER"_s);
    // Another table whose files differ only in case, as a case-sensitive file system allows.
    testsupport::ScratchInstall other;
    other.writeTable(u"customer"_s,
        { testsupport::alphaField(u"Name"_s, 20), { u"Note"_s, paradox::FieldType::Memo, 11 } },
        { { u"x y"_s, u"another note long enough to live in the memo file"_s } });
    for (const QString& name : { u"customer.DB"_s, u"customer.MB"_s })
        ASSERT_TRUE(QFile::copy(other.paradoxFolder() + u'/' + name, file(name)));
    QStringList others { u"customer.DB"_s, u"customer.MB"_s };
    QByteArray before;
    for (const QString& name : others) {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        before += f.readAll();
    }
    view.answers = { u"_"_s };
    run(u"CUSTOMER"_s, u"Note"_s, 2);
    EXPECT_EQ(install.column(u"CUSTOMER"_s, 1).first(), u"a_note_long_enough_to_live_in_the_memo_file"_s);
    QByteArray after;
    for (const QString& name : others) {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        after += f.readAll();
    }
    EXPECT_EQ(after, before);
}

TEST_F(RunSafety, LockFilesAndLocksOfOtherProgramsLeaveTheTableAsItWas)
{
    makeCustomers();
    const QByteArray clean = install.fingerprint();
    for (const QString& lockFile : { u"CUSTOMER.LCK"_s, u"PDOXUSRS.LCK"_s, u"pdoxusrs.net"_s }) {
        QFile lock(file(lockFile));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.close();
        const QByteArray before = install.fingerprint();
        expectRefusedAndUntouched(run(u"CUSTOMER"_s, u"Name"_s, 1), before, qPrintable(lockFile));
        EXPECT_TRUE(view.messages.last().contains(lockFile)) << view.messages.last().toStdString();
        QFile::remove(file(lockFile));
    }
    ASSERT_EQ(install.fingerprint(), clean);

    // A record lock on the .DB, then a whole-file lock on the .MB, held by another process.
    for (const QString& held : { u"CUSTOMER.DB"_s, u"CUSTOMER.MB"_s }) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t holder = ::fork();
        if (holder == 0) {
            const int fd = ::open(QFile::encodeName(file(held)).constData(), O_RDWR);
            struct flock range
            {
            };
            range.l_type = F_WRLCK;
            range.l_whence = SEEK_SET;
            const bool isLocked
                = held.endsWith(u"DB"_s) ? ::fcntl(fd, F_SETLK, &range) == 0 : ::flock(fd, LOCK_EX) == 0;
            const char answer = isLocked ? 'y' : 'n';
            [[maybe_unused]] const auto written = ::write(ready[1], &answer, 1);
            ::pause();
            ::_exit(0);
        }
        char answer = 0;
        ASSERT_EQ(::read(ready[0], &answer, 1), 1);
        ASSERT_EQ(answer, 'y');
        expectRefusedAndUntouched(run(u"CUSTOMER"_s, u"Name"_s, 1), clean, qPrintable(held));
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
    }

    // An edit by another program between the copy and the write-back (while a prompt is open).
    view.onPause = [&] {
        QFile db(file(u"CUSTOMER.DB"_s));
        ASSERT_TRUE(db.open(QIODevice::ReadWrite));
        db.seek(db.size() - 1);
        db.write("x");
    };
    const QByteArray edited = [&] {
        run(u"CUSTOMER"_s, u"Name"_s, 1);
        return install.fingerprint();
    }();
    EXPECT_NE(edited, clean) << "the other program's edit stays";
    EXPECT_FALSE(view.messages.last().startsWith(u"Done."_s));
    EXPECT_TRUE(view.messages.last().contains(u"changed by another program"_s))
        << view.messages.last().toStdString();
}

TEST_F(RunSafety, ADamagedWorkDatabaseIsSetAsideAndTheRunGoesOn)
{
    makeCustomers();
    QFile work(install.appFolder() + u"/dbTemp.mdb"_s);
    ASSERT_TRUE(work.open(QIODevice::WriteOnly));
    work.write(QByteArray(70000, '\x5a'));
    work.close();
    const auto result = run(u"CUSTOMER"_s, u"Name"_s, 1);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack)
        << result.problem.toStdString();
    ASSERT_GE(view.messages.size(), 2);
    EXPECT_TRUE(view.messages.first().contains(u"was damaged"_s)) << view.messages.first().toStdString();
    EXPECT_EQ(install.column(u"CUSTOMER"_s), (QStringList { u"AnnLee"_s, u"BoEk"_s }));
    EXPECT_EQ(QDir(install.appFolder()).entryList({ u"dbTemp.mdb.damaged-*"_s }, QDir::Files).size(), 1);
}

TEST_F(RunSafety, ASymlinkedTableIsCleanedWhereItPointsAndTheLinkStays)
{
    const QString elsewhere = install.path(u"real"_s);
    QDir().mkpath(elsewhere);
    testsupport::ScratchInstall real;
    real.writeTable(u"T"_s, { testsupport::alphaField(u"F"_s) }, { texts({ u"a b" }) });
    ASSERT_TRUE(QFile::link(real.paradoxFolder() + u"/T.DB"_s, file(u"T.DB"_s)));
    run(u"T"_s, u"F"_s, 1);
    EXPECT_EQ(QFileInfo(file(u"T.DB"_s)).symLinkTarget(), real.paradoxFolder() + u"/T.DB"_s);
    EXPECT_EQ(real.column(u"T"_s), QStringList { u"ab"_s });
}

// The old table and the work database's old pages are freed aside, after the run: the table
// can be claimed at once, the work database is an empty file of the same permissions (a
// symbolic link to it stays one), and no descriptor of the old files stays open.
TEST_F(RunSafety, ARunLeavesTheTableAndAnEmptyWorkDatabaseFreeForTheNext)
{
    makeCustomers();
    const QString workDatabase = install.appFolder() + u"/dbTemp.mdb"_s;
    ASSERT_TRUE(QFile::setPermissions(workDatabase, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QFile::Permissions permissions = QFile::permissions(workDatabase);
    const auto openedDeletedFiles = [] {
        core::waitForClosesAside();
        QStringList deleted;
        for (const QFileInfo& fd : QDir(u"/proc/self/fd"_s).entryInfoList(QDir::Files | QDir::System)) {
            if (const QString target = fd.symLinkTarget(); target.endsWith(u" (deleted)"_s))
                deleted << target;
        }
        return deleted;
    };
    const QStringList deletedBefore = openedDeletedFiles();
    run(u"CUSTOMER"_s, u"Name"_s, 1);
    EXPECT_TRUE(data::TableLock(paradox::findTablePlace(install.paradoxFolder(), u"CUSTOMER"_s)).problem().isEmpty());
    EXPECT_EQ(QFileInfo(workDatabase).size(), 0);
    EXPECT_EQ(QFile::permissions(workDatabase), permissions);
    EXPECT_EQ(QDir(install.appFolder()).entryList(QDir::Files),
        (QStringList { u"dbTemp.mdb"_s, u"dbTemp.mdb.lock"_s }));
    EXPECT_EQ(openedDeletedFiles(), deletedBefore);

    const QString elsewhere = install.path(u"dbTemp.mdb"_s);
    ASSERT_TRUE(QFile::rename(workDatabase, elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, workDatabase));
    run(u"CUSTOMER"_s, u"Note"_s, 1);
    EXPECT_EQ(install.column(u"CUSTOMER"_s), (QStringList { u"AnnLee"_s, u"BoEk"_s }));
    EXPECT_EQ(install.column(u"CUSTOMER"_s, 1).first(), u"anotelongenoughtoliveinthememofile"_s);
    EXPECT_EQ(QFileInfo(workDatabase).symLinkTarget(), elsewhere);
    EXPECT_EQ(QFileInfo(elsewhere).size(), 0);
}

TEST_F(RunSafety, AReadOnlyTableIsRefusedAndAnotherUsersTableKeepsItsOwner)
{
    makeCustomers();
    ASSERT_TRUE(
        QFile::setPermissions(file(u"CUSTOMER.DB"_s), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    const QByteArray before = install.fingerprint();
    expectRefusedAndUntouched(run(u"CUSTOMER"_s, u"Name"_s, 1), before, "read-only");
    EXPECT_TRUE(view.messages.last().contains(u"read-only"_s)) << view.messages.last().toStdString();
    ASSERT_TRUE(QFile::setPermissions(file(u"CUSTOMER.DB"_s),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::WriteGroup));

    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    ASSERT_EQ(::chown(QFile::encodeName(file(u"CUSTOMER.DB"_s)).constData(), 4321, 4321), 0);
    run(u"CUSTOMER"_s, u"Name"_s, 1);
    EXPECT_EQ(install.column(u"CUSTOMER"_s), (QStringList { u"AnnLee"_s, u"BoEk"_s }));
    struct stat status
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(file(u"CUSTOMER.DB"_s)).constData(), &status), 0);
    EXPECT_EQ(status.st_uid, 4321u);
    EXPECT_EQ(status.st_gid, 4321u);
    EXPECT_EQ(status.st_mode & 0777, 0660u);
}

TEST_F(RunSafety, LongAndForeignTableNamesAreCleaned)
{
    for (const QString& name : { QString(80, u'L'), u"T\u4e2d"_s }) {
        // The engine names files as the user does; the header keeps a name of its own.
        install.writeTable(u"T"_s, { testsupport::alphaField(u"F"_s) }, { texts({ u"a b" }) });
        ASSERT_TRUE(QFile::rename(file(u"T.DB"_s), file(name + u".DB"_s)));
        const auto result = run(name, u"F"_s, 1);
        EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack)
            << result.problem.toStdString();
        EXPECT_EQ(install.column(name), QStringList { u"ab"_s });
    }
}

TEST(UserDataFolder, IsFoundWithoutHome)
{
    const QByteArray home = qgetenv("HOME");
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qunsetenv("HOME");
    qunsetenv("XDG_DATA_HOME");
    const QString folder = core::userDataFolder();
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", dataHome);
    const passwd* user = ::getpwuid(::getuid());
    ASSERT_TRUE(user);
    EXPECT_EQ(
        folder, QDir::cleanPath(QFile::decodeName(user->pw_dir)) + u"/.local/share/Vantorel/Fieldwright"_s);
}

} // namespace

namespace {

TEST_F(RunSafety, AKeyFieldChangeKeepsTheKeyOrIsRefusedWithOneMessage)
{
    keystest::KeyedTableRecipe recipe;
    recipe.folder = install.paradoxFolder();
    recipe.name = u"K"_s;
    recipe.fields = { testsupport::alphaField(u"Code"_s, 10), testsupport::alphaField(u"Name"_s, 10) };
    recipe.rows = { { u"a b"_s, u"one"_s }, { u"c d"_s, u"two"_s }, { u"e f"_s, u"three"_s } };
    ASSERT_EQ(keystest::writeKeyedTable(recipe), QString());
    ASSERT_EQ(keystest::buildIndexes(file(u"K.DB"_s)), QString());
    const auto result = run(u"K"_s, u"Code"_s, 1);
    ASSERT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack)
        << result.problem.toStdString();
    EXPECT_EQ(install.column(u"K"_s), (QStringList { u"ab"_s, u"cd"_s, u"ef"_s }));
    EXPECT_EQ(keystest::verifyTree(file(u"K.PX"_s), file(u"K.DB"_s)), QString());

    // "x y" and "xy" would share a key: nothing is written, one message names it.
    recipe.name = u"C"_s;
    recipe.rows = { { u"x y"_s, u"one"_s }, { u"xy"_s, u"two"_s } };
    ASSERT_EQ(keystest::writeKeyedTable(recipe), QString());
    ASSERT_EQ(keystest::buildIndexes(file(u"C.DB"_s)), QString());
    const QByteArray before = install.fingerprint();
    expectRefusedAndUntouched(run(u"C"_s, u"Code"_s, 1), before, "collision");
    EXPECT_TRUE(view.reports.isEmpty()) << view.reports.join(u'\n').toStdString();
    EXPECT_TRUE(view.messages.last().contains(u"xy"_s)) << view.messages.last().toStdString();
}

} // namespace
