// Putting a new table in place of an old one, and dropping whole table families.

#include "data/paradox/io/file_faults.h"
#include "data/paradox/io/find_table.h"
#include "data/paradox/patch/table_patch.h"
#include "tests/data/paradox/writer_test_support.h"
#include "tests/support/pxlib_reader.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <map>

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

QStringList namesOf(const std::vector<QString>& paths)
{
    QStringList names;
    for (const QString& path : paths)
        names << QFileInfo(path).fileName();
    names.sort();
    return names;
}

std::vector<Row> readRows(const QString& dbPath, QString* error)
{
    std::vector<Row> rows;
    auto reader = openTable(dbPath, error);
    for (Row row; reader && reader->readNext(row);)
        rows.push_back(row);
    if (reader)
        *error = reader->error();
    return rows;
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
    EXPECT_EQ(read.rows, std::vector<Row>({ { std::int32_t { 42 } } }));
    // The whole old family, byte for byte; the lock file is no part of it.
    auto expected = before;
    expected.erase(u"ORDERS.LCK"_s);
    expected.erase(u"ORDERS2.DB"_s);
    EXPECT_EQ(snapshot(m_backup), expected);
}

// Other programs may open the table by its old spelling, and other users of a shared folder
// must still be able to open it.
TEST_F(WriterReplace, KeepsTheSpellingAndAccessBitsOfTheOldTable)
{
    ASSERT_EQ(writeTable(newTable(m_folder, u"ORDERS"_s, kFields), {}), QString());
    const QDir folder(m_folder);
    ASSERT_TRUE(QFile::rename(folder.filePath(u"ORDERS.DB"_s), folder.filePath(u"ORDERS.db"_s)));
    ASSERT_TRUE(QFile::rename(folder.filePath(u"ORDERS.MB"_s), folder.filePath(u"orders.mb"_s)));
    const auto shared
        = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(folder.filePath(u"ORDERS.db"_s), shared));

    ASSERT_EQ(writeTable(newTable(m_folder, u"ORDERS"_s, kFields), rowsWithMemos(2, u"new"_s), m_backup),
        QString());
    EXPECT_EQ(filesIn(m_folder), QStringList({ u"ORDERS.db"_s, u"ORDERS.mb"_s }));
    EXPECT_EQ(filesIn(m_backup), QStringList({ u"ORDERS.db"_s, u"orders.mb"_s }));
    for (const QString& name : filesIn(m_folder))
        EXPECT_EQ(QFile::permissions(folder.filePath(name)) & 0x77, shared & 0x77) << name.toStdString();
}

// A commit that could lose a table, or make a stray file look like part of the new one, is
// refused before anything moves.
TEST_F(WriterReplace, RefusedCommitsLeaveTheFolderAsItWas)
{
    struct Refusal
    {
        const char* name;
        const char* staleFile; // in the table's folder instead of the old table
        const char* earlierBackup; // already in the backup folder
        QString backupFolder;
        const char* message;
    };
    const Refusal refusals[] = {
        { "existingTableWithoutBackupFolder", nullptr, nullptr, QString(), "exists" },
        // A stale index with no table beside it still counts: it would look like the new table's.
        { "strayIndexWithoutBackupFolder", "ORDERS.X02", nullptr, QString(), "" },
        { "earlierBackup", nullptr, "orders.db", m_backup, "already holds" },
        { "tablesOwnFolderAsBackup", nullptr, nullptr, m_folder + u"/."_s, "the table's own folder" },
    };
    for (const Refusal& r : refusals) {
        QDir(m_folder).removeRecursively();
        QDir(m_backup).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_folder) && QDir().mkpath(m_backup));
        if (r.staleFile)
            writeFile(QDir(m_folder).filePath(QString::fromLatin1(r.staleFile)), "stale");
        else
            writeOldOrders(m_folder);
        if (r.earlierBackup)
            writeFile(QDir(m_backup).filePath(QString::fromLatin1(r.earlierBackup)), "an earlier backup");
        const auto folder = snapshot(m_folder);
        const auto backup = snapshot(m_backup);
        const QString error = writeTable(newTable(m_folder, u"ORDERS"_s, kFields), {}, r.backupFolder);
        EXPECT_FALSE(error.isEmpty()) << r.name;
        EXPECT_TRUE(error.contains(QLatin1StringView(r.message))) << r.name << ": " << error.toStdString();
        EXPECT_EQ(snapshot(m_folder), folder) << r.name;
        EXPECT_EQ(snapshot(m_backup), backup) << r.name;
    }
}

// A write that fails while records are appended (a full or broken disk), to the memo file or
// to the table: the writer stays failed, the old table stays as it was and no temporary file
// is left.
TEST_F(WriterReplace, AFailedWriteLeavesTheOldTableAndNoTemporaryFiles)
{
    writeOldOrders(m_folder);
    const auto before = snapshot(m_folder);
    for (const bool hasMemos : { true, false }) {
        QString error;
        auto writer = createTable(newTable(m_folder, u"ORDERS"_s, kFields), &error);
        ASSERT_TRUE(writer) << error.toStdString();
        io::planFault({ 1, false }); // the first write: a full memo block, or the first megabyte of records
        bool isAppended = true;
        for (std::int32_t i = 1; isAppended && i <= 100'000; ++i)
            isAppended
                = writer->append({ i, hasMemos ? Value(u"a memo for the memo file"_s) : Null {} }, &error);
        io::planFault({});
        EXPECT_FALSE(isAppended) << hasMemos;
        EXPECT_FALSE(writer->commit(m_backup, &error)) << hasMemos;
        EXPECT_TRUE(error.contains(u"cannot write"_s)) << error.toStdString();
        writer.reset();
        EXPECT_EQ(snapshot(m_folder), before) << hasMemos;
        EXPECT_FALSE(QDir(m_backup).exists()) << hasMemos;
    }
    ASSERT_EQ(writeTable(newTable(m_folder, u"ORDERS"_s, kFields), rowsWithMemos(2, u"new"_s), m_backup),
        QString());
}

// A commit cut short at any of its file operations (a full or broken disk): the old table
// stays whole, in its folder or in the backup folder, and no temporary file is left behind.
TEST_F(WriterReplace, AFailureAtAnyFileOperationOfACommitKeepsTheOldTable)
{
    const auto commitWithFaultAt = [&](std::int64_t point, QString* error) {
        auto writer = createTable(newTable(m_folder, u"ORDERS"_s, kFields), error);
        for (const Row& row : rowsWithMemos(40, u"new"_s))
            EXPECT_TRUE(writer && writer->append(row, error));
        io::planFault({ point, false });
        const bool isCommitted = writer && writer->commit(m_backup, error);
        const std::int64_t seen = io::operationsSeen();
        io::planFault({});
        return isCommitted ? seen : -1;
    };
    writeOldOrders(m_folder);
    const auto before = snapshot(m_folder);
    QString error;
    const std::int64_t points = commitWithFaultAt(0, &error);
    ASSERT_GT(points, 20) << error.toStdString();

    for (std::int64_t point = 1; point <= points; ++point) {
        QDir(m_folder).removeRecursively();
        QDir(m_backup).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_folder));
        writeOldOrders(m_folder);
        // Worked around (a failed link falls back to a copy, as on another file system): the
        // backup holds the old table, the folder the new one.
        if (commitWithFaultAt(point, &error) >= 0) {
            EXPECT_EQ(snapshot(m_backup), before) << "at operation " << point;
            EXPECT_EQ(readRows(QDir(m_folder).filePath(u"ORDERS.DB"_s), &error), rowsWithMemos(40, u"new"_s))
                << "at operation " << point;
            continue;
        }
        EXPECT_FALSE(error.isEmpty()) << "at operation " << point;
        EXPECT_TRUE(snapshot(m_folder) == before || snapshot(m_backup) == before) << "at operation " << point;
        // In the folder: what is left of the old table, or the new one whole (when only the
        // last flush failed), never a piece of the new one.
        const auto now = snapshot(m_folder);
        const bool isPartOfTheOld = std::all_of(now.begin(), now.end(), [&](const auto& file) {
            return before.count(file.first) != 0 && before.at(file.first) == file.second;
        });
        const bool isTheNew = filesIn(m_folder) == QStringList({ u"ORDERS.DB"_s, u"ORDERS.MB"_s })
            && readRows(QDir(m_folder).filePath(u"ORDERS.DB"_s), &error) == rowsWithMemos(40, u"new"_s);
        EXPECT_TRUE(isPartOfTheOld || isTheNew) << "at operation " << point;
        const QStringList left = filesIn(m_folder) + filesIn(m_backup);
        EXPECT_TRUE(left.filter(QRegularExpression(u"^\\."_s)).isEmpty())
            << "at operation " << point << ": " << left.join(u' ').toStdString();
    }
    RecordProperty("points", static_cast<int>(points));
}

TEST(TableFamily, TakesTheExactBaseNameWithTheExtensionInAnyCase)
{
    QTemporaryDir dir;
    // cust.px and Cust.Mb came back from a system that ignores case: no other table claims them.
    const QStringList family { u"CUST.DB"_s, u"cust.px"_s, u"Cust.Mb"_s, u"CUST.X01"_s, u"CUST.Y01"_s,
        u"CUST.xg0"_s, u"CUST.YG3"_s, u"CUST.VAL"_s, u"CUST.TV"_s, u"CUST.TVF"_s, u"CUST.FAM"_s,
        u"CUST.SET"_s, u"CUST.F"_s, u"CUST.F3"_s, u"CUST.R14"_s };
    const QStringList others { u"CUST2.DB"_s, u"CUST2.PX"_s, u"CUSTOMER.DB"_s, u"XCUST.DB"_s, u"CUST.LCK"_s,
        u"CUST.TXT"_s, u"CUST.F15"_s, u"CUST.X1"_s, u"CUST.DB.bak"_s, u"CUST"_s };
    for (const QString& name : family + others)
        writeFile(dir.filePath(name), "x");

    QStringList expected = family;
    expected.sort();
    EXPECT_EQ(namesOf(tableFamily(dir.path(), u"CUST"_s)), expected);
    // No table is named "cust": only the files spelled so are.
    ASSERT_EQ(tableFamily(dir.path(), u"cust"_s).size(), 1u);

    QString error;
    ASSERT_TRUE(dropTable(dir.path(), u"CUST"_s, &error)) << error.toStdString();
    QStringList left = others;
    left.sort();
    EXPECT_EQ(filesIn(dir.path()), left);
    EXPECT_TRUE(dropTable(dir.path(), u"NOSUCH"_s, &error));
}

// On a case-sensitive file system CUSTOMER.DB and customer.db are two tables: each is found,
// read, replaced and dropped with its own memo file and index, never with the other's.
TEST(TableFamily, TablesThatDifferOnlyInCaseKeepTheirOwnFiles)
{
    QTemporaryDir dir;
    const QDir folder(dir.path());
    ASSERT_EQ(
        writeTable(newTable(folder.path(), u"CUSTOMER"_s, kFields), rowsWithMemos(2, u"upper"_s)), QString());
    ASSERT_EQ(
        writeTable(newTable(folder.path(), u"customer"_s, kFields), rowsWithMemos(3, u"lower"_s)), QString());
    ASSERT_TRUE(QFile::rename(folder.filePath(u"customer.DB"_s), folder.filePath(u"customer.db"_s)));
    ASSERT_TRUE(QFile::rename(folder.filePath(u"customer.MB"_s), folder.filePath(u"customer.mb"_s)));
    writeFile(folder.filePath(u"CUSTOMER.PX"_s), "upper index");
    writeFile(folder.filePath(u"customer.px"_s), "lower index");

    EXPECT_EQ(namesOf(tableFamily(folder.path(), u"CUSTOMER"_s)),
        QStringList({ u"CUSTOMER.DB"_s, u"CUSTOMER.MB"_s, u"CUSTOMER.PX"_s }));
    EXPECT_EQ(namesOf(tableFamily(folder.path(), u"customer"_s)),
        QStringList({ u"customer.db"_s, u"customer.mb"_s, u"customer.px"_s }));
    const QString upper = findTableFile(folder.path(), u"CUSTOMER"_s);
    const QString lower = findTableFile(folder.path(), u"customer"_s);
    EXPECT_EQ(upper, folder.filePath(u"CUSTOMER.DB"_s));
    EXPECT_EQ(lower, folder.filePath(u"customer.db"_s));
    EXPECT_EQ(findTableFile(folder.path(), u"customer.DB"_s), lower);
    EXPECT_EQ(
        findTableFile(folder.path(), u"Customer"_s), upper); // no exact match: the first in code-unit order

    QString error;
    EXPECT_EQ(readRows(upper, &error), rowsWithMemos(2, u"upper"_s)) << error.toStdString();
    EXPECT_EQ(readRows(lower, &error), rowsWithMemos(3, u"lower"_s)) << error.toStdString();

    // Without its own memo file a table must not read (or patch) the other's.
    ASSERT_TRUE(QFile::remove(folder.filePath(u"CUSTOMER.MB"_s)));
    EXPECT_FALSE(openTable(upper, &error));
    EXPECT_TRUE(error.contains(u"memo file CUSTOMER.mb is missing"_s)) << error.toStdString();
    EXPECT_FALSE(openTablePatch(upper, &error));

    ASSERT_TRUE(dropTable(folder.path(), u"customer"_s, &error)) << error.toStdString();
    EXPECT_EQ(filesIn(folder.path()), QStringList({ u"CUSTOMER.DB"_s, u"CUSTOMER.PX"_s }));
}

// A table whose other files came back from a system that ignores case keeps them, as long as
// no other table can claim them; two tables that could both claim a file get neither.
TEST(TableFamily, FilesSpelledInAnotherCaseBelongToTheOnlyTableThatCanClaimThem)
{
    QTemporaryDir dir;
    const QDir folder(dir.path());
    ASSERT_EQ(
        writeTable(newTable(folder.path(), u"ORDERS"_s, kFields), rowsWithMemos(2, u"memo"_s)), QString());
    ASSERT_TRUE(QFile::rename(folder.filePath(u"ORDERS.MB"_s), folder.filePath(u"orders.mb"_s)));
    writeFile(folder.filePath(u"Orders.X02"_s), "index");
    const QString db = folder.filePath(u"ORDERS.DB"_s);

    EXPECT_EQ(namesOf(tableFamily(folder.path(), u"ORDERS"_s)),
        QStringList({ u"ORDERS.DB"_s, u"Orders.X02"_s, u"orders.mb"_s }));
    EXPECT_EQ(findFileIgnoringCase(folder.path(), u"ORDERS.mb"_s), folder.filePath(u"orders.mb"_s));
    QString error;
    EXPECT_EQ(readRows(db, &error), rowsWithMemos(2, u"memo"_s)) << error.toStdString();
    // A stray ORDERS.db beside ORDERS.DB is no second table.
    writeFile(folder.filePath(u"ORDERS.db"_s), "stray");
    EXPECT_EQ(findFileIgnoringCase(folder.path(), u"ORDERS.mb"_s), folder.filePath(u"orders.mb"_s));
    ASSERT_TRUE(QFile::remove(folder.filePath(u"ORDERS.db"_s)));

    // A second table spelled like it: which one orders.mb belongs to can no longer be told.
    writeFile(folder.filePath(u"Orders.db"_s), "another table");
    EXPECT_EQ(namesOf(tableFamily(folder.path(), u"ORDERS"_s)), QStringList({ u"ORDERS.DB"_s }));
    EXPECT_EQ(findFileIgnoringCase(folder.path(), u"ORDERS.mb"_s), QString());
    EXPECT_FALSE(openTable(db, &error));
}

} // namespace
