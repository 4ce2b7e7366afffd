// The change run when the disk under the work database fails between the copy and the
// write-back (a full disk, an I/O error at COMMIT): the table stays as it was, the run says so
// in plain words and never "Done.", and the next run finds a usable work database.
//
// The faults come from a VFS over SQLite's own that the test makes the default: once armed,
// every write that would grow a main database file fails with SQLITE_FULL, or every sync
// fails with an I/O error.

#include "cleaning/change_run.h"
#include "cleaning/operation_catalogue.h"
#include "data/workdb/work_database.h"
#include "tests/support/scratch_install.h"
#include "tests/support/scripted_view.h"

#include <atomic>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using testsupport::texts;

namespace {

std::atomic<int> g_writeFailure { SQLITE_OK };
std::atomic<int> g_syncFailure { SQLITE_OK };

sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_vfs;
sqlite3_io_methods g_methods;

struct FaultFile
{
    sqlite3_file base;
    sqlite3_file* real; // SQLite's own file, in the storage right after this one
    bool isMainDatabase;
};

sqlite3_file* realOf(sqlite3_file* file)
{
    return reinterpret_cast<FaultFile*>(file)->real;
}

// clang-format off
int faultClose(sqlite3_file* f) { return realOf(f)->pMethods->xClose(realOf(f)); }
int faultRead(sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return realOf(f)->pMethods->xRead(realOf(f), b, n, o); }
int faultTruncate(sqlite3_file* f, sqlite3_int64 s) { return realOf(f)->pMethods->xTruncate(realOf(f), s); }
int faultFileSize(sqlite3_file* f, sqlite3_int64* s) { return realOf(f)->pMethods->xFileSize(realOf(f), s); }
int faultLock(sqlite3_file* f, int l) { return realOf(f)->pMethods->xLock(realOf(f), l); }
int faultUnlock(sqlite3_file* f, int l) { return realOf(f)->pMethods->xUnlock(realOf(f), l); }
int faultCheckLock(sqlite3_file* f, int* r) { return realOf(f)->pMethods->xCheckReservedLock(realOf(f), r); }
int faultControl(sqlite3_file* f, int op, void* a) { return realOf(f)->pMethods->xFileControl(realOf(f), op, a); }
int faultSectorSize(sqlite3_file* f) { return realOf(f)->pMethods->xSectorSize(realOf(f)); }
int faultCharacteristics(sqlite3_file* f) { return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f)); }
int faultShmMap(sqlite3_file* f, int p, int s, int e, void volatile** m) { return realOf(f)->pMethods->xShmMap(realOf(f), p, s, e, m); }
int faultShmLock(sqlite3_file* f, int o, int n, int fl) { return realOf(f)->pMethods->xShmLock(realOf(f), o, n, fl); }
void faultShmBarrier(sqlite3_file* f) { realOf(f)->pMethods->xShmBarrier(realOf(f)); }
int faultShmUnmap(sqlite3_file* f, int d) { return realOf(f)->pMethods->xShmUnmap(realOf(f), d); }
int faultFetch(sqlite3_file* f, sqlite3_int64 o, int n, void** p) { return realOf(f)->pMethods->xFetch(realOf(f), o, n, p); }
int faultUnfetch(sqlite3_file* f, sqlite3_int64 o, void* p) { return realOf(f)->pMethods->xUnfetch(realOf(f), o, p); }
// clang-format on

int faultWrite(sqlite3_file* f, const void* bytes, int size, sqlite3_int64 offset)
{
    // A full disk refuses new blocks; pages already there can still be written over.
    sqlite3_int64 fileSize = 0;
    if (reinterpret_cast<FaultFile*>(f)->isMainDatabase && g_writeFailure != SQLITE_OK
        && realOf(f)->pMethods->xFileSize(realOf(f), &fileSize) == SQLITE_OK && offset + size > fileSize)
        return g_writeFailure;
    return realOf(f)->pMethods->xWrite(realOf(f), bytes, size, offset);
}

int faultSync(sqlite3_file* f, int flags)
{
    if (g_syncFailure != SQLITE_OK)
        return g_syncFailure;
    return realOf(f)->pMethods->xSync(realOf(f), flags);
}

int faultOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    auto* fault = reinterpret_cast<FaultFile*>(file);
    fault->real = reinterpret_cast<sqlite3_file*>(fault + 1);
    fault->isMainDatabase = (flags & SQLITE_OPEN_MAIN_DB) != 0;
    const int result = g_real->xOpen(g_real, name, fault->real, flags, outFlags);
    if (fault->real->pMethods && g_methods.iVersion == 0) {
        g_methods = { fault->real->pMethods->iVersion, faultClose, faultRead, faultWrite, faultTruncate,
            faultSync, faultFileSize, faultLock, faultUnlock, faultCheckLock, faultControl, faultSectorSize,
            faultCharacteristics, faultShmMap, faultShmLock, faultShmBarrier, faultShmUnmap, faultFetch,
            faultUnfetch };
    }
    fault->base.pMethods = fault->real->pMethods ? &g_methods : nullptr;
    return result;
}

void installFaultVfs()
{
    if (g_real)
        return;
    g_real = sqlite3_vfs_find(nullptr);
    g_vfs = *g_real;
    g_vfs.zName = "fieldwright-faults";
    g_vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + g_real->szOsFile;
    g_vfs.xOpen = faultOpen;
    sqlite3_vfs_register(&g_vfs, 1);
}

struct Fault
{
    const char* name;
    std::atomic<int>* failure;
    int code;
    const char16_t* said;
};

void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.name;
}

class WorkDatabaseFaults : public ::testing::TestWithParam<Fault>
{
protected:
    testsupport::ScratchInstall install;
    core::PlainFolderBox folderBox { install.paradoxFolder() };
    testsupport::ScriptedView view;
    static constexpr int kRecords = 3000;

    void SetUp() override
    {
        installFaultVfs();
        // Enough records that noting their changes needs new pages of the work database.
        std::vector<paradox::Row> rows;
        for (int i = 0; i < kRecords; ++i)
            rows.push_back({ u"Ann Lee %1"_s.arg(i) });
        rows.push_back(texts({ nullptr }));
        install.writeTable(u"PEOPLE"_s, { testsupport::alphaField(u"Name"_s) }, rows);
    }
    void TearDown() override
    {
        g_writeFailure = SQLITE_OK;
        g_syncFailure = SQLITE_OK;
    }

    cleaning::ChangeRunResult run()
    {
        view.table = u"PEOPLE"_s;
        view.field = u"Name"_s;
        view.operation = cleaning::operations()[1].captionText(); // replace every space
        view.answers = { u"_"_s };
        view.messages.clear();
        view.reports.clear();
        return cleaning::PushButton1_Click(view, { folderBox, install.appFolder(), install.backupRoot() });
    }
};

TEST_P(WorkDatabaseFaults, ARunWhoseWorkDatabaseFailsLeavesTheTableAndNeverSaysDone)
{
    const Fault fault = GetParam();
    const QByteArray before = install.fingerprint();
    // Armed after the copy, at the change loop's first pause: the changes reach the disk only
    // when the loop's end commits them.
    view.onPause = [&] { *fault.failure = fault.code; };
    const cleaning::ChangeRunResult failed = run();
    view.onPause = nullptr;
    *fault.failure = SQLITE_OK;

    EXPECT_EQ(failed.outcome, cleaning::ChangeRunResult::Outcome::WriteBackFailed);
    EXPECT_EQ(install.fingerprint(), before);
    EXPECT_FALSE(QFileInfo::exists(install.backupRoot()));
    ASSERT_FALSE(view.messages.isEmpty());
    for (const QString& message : std::as_const(view.messages))
        EXPECT_FALSE(message.startsWith(u"Done."_s)) << message.toStdString();
    EXPECT_TRUE(view.messages.last().startsWith(u"The table PEOPLE was left as it was"_s))
        << view.messages.last().toStdString();
    EXPECT_TRUE(view.messages.last().contains(QString::fromUtf16(fault.said)))
        << view.messages.last().toStdString();
    // A disk's failure is the user's to mend, not the program's to be mailed about.
    for (const QString& report : std::as_const(view.reports))
        EXPECT_FALSE(report.contains(u"Please email"_s)) << report.toStdString();

    EXPECT_FALSE(data::TableExistsInWorkDb(u"PEOPLE"_s, install.appFolder()))
        << "the failed run's work table is gone";

    const cleaning::ChangeRunResult next = run();
    EXPECT_EQ(next.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack)
        << view.messages.join(u'|').toStdString();
    const QStringList names = install.column(u"PEOPLE"_s);
    ASSERT_EQ(names.size(), kRecords + 1);
    EXPECT_EQ(names.first(), u"Ann_Lee_0"_s);
    EXPECT_EQ(names[kRecords - 1], u"Ann_Lee_%1"_s.arg(kRecords - 1));
    EXPECT_EQ(names.last(), u"<null>"_s);
}

INSTANTIATE_TEST_SUITE_P(DiskFaults, WorkDatabaseFaults,
    ::testing::Values(Fault { "FullDisk", &g_writeFailure, SQLITE_FULL, u"the disk is full" },
        Fault { "IoErrorAtCommit", &g_syncFailure, SQLITE_IOERR_FSYNC, u"I/O error" }),
    [](const ::testing::TestParamInfo<Fault>& fault) { return std::string(fault.param.name); });

} // namespace
