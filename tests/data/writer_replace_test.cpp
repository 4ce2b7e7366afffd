// Putting a new table in place of an old one, and dropping whole table families.

#include "tests/data/writer_test_support.h"
#include "tests/support/pxlib_reader.h"

#include <QFile>
#include <QStorageInfo>
#include <csignal>
#include <map>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace paradox;
using namespace writertest;

namespace {

void writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

// Every file of a folder with its contents: "nothing changed" means this stays equal.
std::map<QString, QByteArray> snapshot(const QString& folder)
{
    std::map<QString, QByteArray> files;
    for (const QString& name : filesIn(folder)) {
        QFile file(QDir(folder).filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files[name] = file.readAll();
    }
    return files;
}

const std::vector<Field> kFields { { u"ID"_s, FieldType::Long, 0 }, { u"NOTE"_s, FieldType::Memo, 11 } };

std::vector<Row> rowsWithMemos(int count, const QString& prefix)
{
    std::vector<Row> rows;
    for (int i = 1; i <= count; ++i)
        rows.push_back({ std::int32_t { i }, u"%1 number %2"_s.arg(prefix).arg(i) });
    return rows;
}

// An existing table with a memo file and the index and settings files a real one carries.
void writeOldOrders(const QString& folder)
{
    ASSERT_EQ(writeTable(newTable(folder, u"ORDERS"_s, kFields), rowsWithMemos(3, u"old"_s)), QString());
    for (const char* extra : { "ORDERS.PX", "ORDERS.X02", "ORDERS.Y02", "ORDERS.VAL", "ORDERS.TV" })
        writeFile(QDir(folder).filePath(QString::fromLatin1(extra)), QByteArray("old ") + extra);
}

class WriterReplace : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.filePath(u"data"_s);
        m_backup = m_dir.filePath(u"backup"_s);
        ASSERT_TRUE(QDir().mkpath(m_folder));
    }
    QTemporaryDir m_dir;
    QString m_folder;
    QString m_backup;
};

TEST_F(WriterReplace, MovesTheOldFamilyToTheBackupFolder)
{
    writeOldOrders(m_folder);
    writeFile(QDir(m_folder).filePath(u"ORDERS2.DB"_s), "another table");
    writeFile(QDir(m_folder).filePath(u"ORDERS.LCK"_s), "a lock of another program");
    const auto before = snapshot(m_folder);

    // The new table has no memo field: no .MB may be left over from the old one.
    const std::vector<Field> fields { { u"ID"_s, FieldType::Long, 0 } };
    ASSERT_EQ(writeTable(newTable(m_folder, u"ORDERS"_s, fields), { { std::int32_t { 42 } } }, m_backup),
        QString());

    EXPECT_EQ(filesIn(m_folder), QStringList({ u"ORDERS.DB"_s, u"ORDERS.LCK"_s, u"ORDERS2.DB"_s }));
    const auto read = testsupport::readWithPxlib(QDir(m_folder).filePath(u"ORDERS.DB"_s));
    ASSERT_EQ(read.error, QString());
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0][0], Value(std::int32_t { 42 }));

    const auto backedUp = snapshot(m_backup);
    ASSERT_EQ(backedUp.size(), 7u);
    for (const auto& [name, contents] : backedUp)
        EXPECT_EQ(contents, before.at(name)) << name.toStdString();
    const auto old = testsupport::readWithPxlib(
        QDir(m_backup).filePath(u"ORDERS.DB"_s), QDir(m_backup).filePath(u"ORDERS.MB"_s));
    ASSERT_EQ(old.error, QString());
    EXPECT_EQ(old.rows, rowsWithMemos(3, u"old"_s));
}

// Other programs may open the table by its old spelling.
TEST_F(WriterReplace, KeepsTheSpellingOfTheOldFiles)
{
    ASSERT_EQ(writeTable(newTable(m_folder, u"ORDERS"_s, kFields), {}), QString());
    ASSERT_TRUE(
        QFile::rename(QDir(m_folder).filePath(u"ORDERS.DB"_s), QDir(m_folder).filePath(u"Orders.db"_s)));
    ASSERT_TRUE(
        QFile::rename(QDir(m_folder).filePath(u"ORDERS.MB"_s), QDir(m_folder).filePath(u"Orders.mb"_s)));

    ASSERT_EQ(writeTable(newTable(m_folder, u"ORDERS"_s, kFields), rowsWithMemos(2, u"new"_s), m_backup),
        QString());
    EXPECT_EQ(filesIn(m_folder), QStringList({ u"Orders.db"_s, u"Orders.mb"_s }));
    EXPECT_EQ(filesIn(m_backup), QStringList({ u"Orders.db"_s, u"Orders.mb"_s }));
}

// Other users of a shared folder must still be able to open the table.
TEST_F(WriterReplace, KeepsTheAccessBitsOfTheOldTable)
{
    ASSERT_EQ(writeTable(newTable(m_folder, u"ORDERS"_s, kFields), {}), QString());
    const QString db = QDir(m_folder).filePath(u"ORDERS.DB"_s);
    const auto shared
        = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(db, shared));
    ASSERT_EQ(writeTable(newTable(m_folder, u"ORDERS"_s, kFields), rowsWithMemos(1, u"new"_s), m_backup),
        QString());
    EXPECT_EQ(QFile::permissions(db) & 0x77, shared & 0x77); // group and others
    EXPECT_EQ(QFile::permissions(QDir(m_folder).filePath(u"ORDERS.MB"_s)) & 0x77,
        shared & 0x77); // group and others
}

TEST_F(WriterReplace, WithoutBackupFolderAnExistingTableIsLeftAlone)
{
    writeOldOrders(m_folder);
    const auto before = snapshot(m_folder);
    EXPECT_TRUE(writeTable(newTable(m_folder, u"orders"_s, kFields), rowsWithMemos(5, u"new"_s))
                    .contains(u"exists"_s));
    EXPECT_EQ(snapshot(m_folder), before);
}

// A stale index with no table beside it still counts: placing a table next to it would
// make the index look like the new table's.
TEST_F(WriterReplace, WithoutBackupFolderAStrayIndexBlocksTheCommit)
{
    writeFile(QDir(m_folder).filePath(u"ORDERS.X02"_s), "stale");
    EXPECT_NE(writeTable(newTable(m_folder, u"ORDERS"_s, kFields), {}), QString());
    EXPECT_EQ(filesIn(m_folder), QStringList({ u"ORDERS.X02"_s }));
}

TEST_F(WriterReplace, NeverOverwritesAnEarlierBackup)
{
    writeOldOrders(m_folder);
    ASSERT_TRUE(QDir().mkpath(m_backup));
    writeFile(QDir(m_backup).filePath(u"orders.db"_s), "an earlier backup");
    const auto before = snapshot(m_folder);
    const QString error = writeTable(newTable(m_folder, u"ORDERS"_s, kFields), {}, m_backup);
    EXPECT_TRUE(error.contains(u"already holds"_s)) << error.toStdString();
    EXPECT_EQ(snapshot(m_folder), before);
    EXPECT_EQ(snapshot(m_backup).at(u"orders.db"_s), QByteArray("an earlier backup"));
}

TEST_F(WriterReplace, RefusesTheTablesOwnFolderAsBackup)
{
    writeOldOrders(m_folder);
    const auto before = snapshot(m_folder);
    EXPECT_NE(writeTable(newTable(m_folder, u"ORDERS"_s, kFields), {}, m_folder + u"/."_s), QString());
    EXPECT_EQ(snapshot(m_folder), before);
}

TEST_F(WriterReplace, AWriterDroppedBeforeCommitLeavesNoFiles)
{
    QString error;
    auto writer = createTable(newTable(m_folder, u"ORDERS"_s, kFields), &error);
    ASSERT_TRUE(writer);
    for (const Row& row : rowsWithMemos(1000, u"unfinished"_s))
        ASSERT_TRUE(writer->append(row, &error));
    EXPECT_FALSE(filesIn(m_folder).isEmpty()); // the temporary files
    writer.reset();
    EXPECT_EQ(filesIn(m_folder), QStringList());
}

// A full disk, simulated by a file size limit: the write fails, the old table stays as it
// was and no temporary file is left.
TEST_F(WriterReplace, AFailedWriteLeavesTheOldTableAndNoTemporaryFiles)
{
    writeOldOrders(m_folder);
    const auto before = snapshot(m_folder);

    rlimit original {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &original), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = original;
    small.rlim_cur = 256 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    QString error;
    bool isWritten = false;
    if (auto writer = createTable(newTable(m_folder, u"ORDERS"_s, kFields), &error)) {
        bool isAppended = true;
        for (const Row& row : rowsWithMemos(50'000, u"a memo that goes to the memo file"_s)) {
            if (!writer->append(row, &error)) {
                isAppended = false;
                break;
            }
        }
        isWritten = isAppended && writer->commit(m_backup, &error);
    }
    setrlimit(RLIMIT_FSIZE, &original);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(isWritten);
    EXPECT_TRUE(error.contains(u"cannot write"_s)) << error.toStdString();
    EXPECT_EQ(snapshot(m_folder), before);
    EXPECT_FALSE(QDir(m_backup).exists());
    // The writer stays failed; a second attempt with a normal limit works.
    ASSERT_EQ(writeTable(newTable(m_folder, u"ORDERS"_s, kFields), rowsWithMemos(2, u"new"_s), m_backup),
        QString());
}

std::optional<dev_t> deviceOf(const QString& path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return status.st_dev;
}

// A scratch folder on another file system than `folder`, or null when there is none: under
// FW_TEST_OTHER_FS when that is set (a tmpfs, say, which Qt does not list), else on any
// writable volume.
std::unique_ptr<QTemporaryDir> folderOnAnotherFileSystem(const QString& folder)
{
    const auto here = deviceOf(folder);
    QStringList candidates;
    if (qEnvironmentVariableIsSet("FW_TEST_OTHER_FS"))
        candidates << qEnvironmentVariable("FW_TEST_OTHER_FS");
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isReadOnly())
            candidates << volume.rootPath();
    }
    for (const QString& root : candidates) {
        const auto there = deviceOf(root);
        if (!here || !there || *there == *here)
            continue;
        auto dir = std::make_unique<QTemporaryDir>(QDir(root).filePath(u"writer-test-XXXXXX"_s));
        if (dir->isValid())
            return dir;
    }
    return nullptr;
}

// A backup folder on another file system cannot take hard links: the old files are copied.
TEST_F(WriterReplace, CopiesTheOldFamilyToABackupOnAnotherFileSystem)
{
    const auto otherDisk = folderOnAnotherFileSystem(m_folder);
    if (!otherDisk)
        GTEST_SKIP() << "no second writable file system to back up to (set FW_TEST_OTHER_FS)";
    const QString backup = otherDisk->filePath(u"backup"_s);

    writeOldOrders(m_folder);
    const auto before = snapshot(m_folder);
    ASSERT_EQ(
        writeTable(newTable(m_folder, u"ORDERS"_s, kFields), rowsWithMemos(2, u"new"_s), backup), QString());
    EXPECT_EQ(snapshot(backup), before);
    EXPECT_EQ(filesIn(m_folder), QStringList({ u"ORDERS.DB"_s, u"ORDERS.MB"_s }));
}

TEST(TableFamily, TakesTheExactBaseNameInAnyCase)
{
    QTemporaryDir dir;
    const QStringList family { u"CUST.DB"_s, u"cust.px"_s, u"Cust.Mb"_s, u"CUST.X01"_s, u"CUST.Y01"_s,
        u"CUST.xg0"_s, u"CUST.YG3"_s, u"CUST.VAL"_s, u"CUST.TV"_s, u"CUST.TVF"_s, u"CUST.FAM"_s,
        u"CUST.SET"_s, u"CUST.F"_s, u"CUST.F3"_s, u"CUST.R14"_s };
    const QStringList others { u"CUST2.DB"_s, u"CUST2.PX"_s, u"CUSTOMER.DB"_s, u"XCUST.DB"_s, u"CUST.LCK"_s,
        u"CUST.TXT"_s, u"CUST.F15"_s, u"CUST.X1"_s, u"CUST.DB.bak"_s, u"CUST"_s };
    for (const QString& name : family + others)
        writeFile(dir.filePath(name), "x");

    QStringList found;
    for (const QString& path : tableFamily(dir.path(), u"cust"_s))
        found << QFileInfo(path).fileName();
    found.sort();
    QStringList expected = family;
    expected.sort();
    EXPECT_EQ(found, expected);

    QString error;
    ASSERT_TRUE(dropTable(dir.path(), u"Cust"_s, &error)) << error.toStdString();
    QStringList left = others;
    left.sort();
    EXPECT_EQ(filesIn(dir.path()), left);
    EXPECT_TRUE(dropTable(dir.path(), u"NOSUCH"_s, &error));
}

} // namespace
