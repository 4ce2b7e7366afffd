// Password-protected tables: the engine's own, pxlib's, and tables of ours scrambled here, read,
// changed and read back by pxlib, which unscrambles them with its own code.

#include "data/paradox/format/encryption.h"
#include "tests/data/paradox/patch_test_support.h"
#include "tests/support/pxlib_reader.h"
#include "tests/support/pxlib_writer.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <functional>

using namespace paradox;
using namespace patchtest;

// pxlib's own scrambling, exported by the library though no header declares it.
extern "C" {
void px_encrypt_db_block(
    unsigned char* src, unsigned char* dst, long encryption, long size, long blockNumber);
void px_encrypt_mb_block(unsigned char* src, unsigned char* dst, long encryption, long size);
}

namespace {

constexpr std::uint32_t kKey = 0x6E25449A;

QString realWorldFolder()
{
    const QByteArray fromEnvironment = qgetenv("FW_REALWORLD_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral(FW_REALWORLD_DIR)
                                     : QString::fromLocal8Bit(fromEnvironment);
}

#define SKIP_WITHOUT_REAL_WORLD_TABLES()                                                                     \
    if (!QFileInfo(realWorldFolder() + u"/encrypt"_s).isDir())                                               \
    GTEST_SKIP() << "no tables of the engine in " << realWorldFolder().toStdString()

int u16At(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

void putU32(QByteArray& bytes, qsizetype at, std::uint32_t value)
{
    qToLittleEndian<quint32>(value, bytes.data() + at);
}

unsigned char* bytesAt(QByteArray& bytes, qsizetype at)
{
    return reinterpret_cast<unsigned char*>(bytes.data() + at);
}

QString memoFileOf(const QString& dbPath)
{
    const QFileInfo db(dbPath);
    const QStringList found = db.dir().entryList({ db.completeBaseName() + u".mb"_s }, QDir::Files);
    return found.isEmpty() ? QString() : db.dir().filePath(found.front());
}

// Protects a table in clear with key as the engine does: the key in the header, every data
// block of the .DB and the whole .MB scrambled.
void protect(const QString& dbPath, std::uint32_t key)
{
    QByteArray db = fileBytes(dbPath);
    if (db[0x39] >= 5) {
        putU32(db, 0x25, 0xFF00FF00);
        putU32(db, 0x5C, key);
    } else {
        putU32(db, 0x25, key);
    }
    const int blockSize = db[0x05] * 1024;
    for (int number = 1; number <= u16At(db, 0x0C); ++number)
        crypt::encryptBlock(key, number, bytesAt(db, u16At(db, 0x02) + (number - 1) * blockSize), blockSize);
    ASSERT_TRUE(writeFile(dbPath, db));
    const QString mbPath = memoFileOf(dbPath);
    if (mbPath.isEmpty())
        return;
    QByteArray mb = fileBytes(mbPath);
    crypt::encryptMemo(key, bytesAt(mb, 0), static_cast<std::size_t>(mb.size()));
    ASSERT_TRUE(writeFile(mbPath, mb));
}

QString copyFamily(const QString& dbPath, const QString& folder)
{
    const QFileInfo db(dbPath);
    for (const QString& file : db.dir().entryList({ db.completeBaseName() + u".*"_s }, QDir::Files)) {
        QFile::copy(db.dir().filePath(file), QDir(folder).filePath(file));
        QFile(QDir(folder).filePath(file)).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    return QDir(folder).filePath(db.fileName());
}

qsizetype differingBytes(const QByteArray& a, const QByteArray& b)
{
    qsizetype count = std::abs(a.size() - b.size());
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
        count += a[i] != b[i] ? 1 : 0;
    return count;
}

struct Change
{
    std::int64_t record;
    int field;
    Value value;
};

// Patches a copy of the table in folder and places it as NEW: every changed value reads back,
// through our reader and pxlib's, and nothing else changed. The .DB differs in at most the
// changed fields' bytes (scrambling moves a byte within its chunk, but never spreads it), its
// header not at all; the .MB before its old end in at most the counter and the old values'
// type bytes or slots.
void expectChangesReadBack(const QString& dbPath, const QString& folder, const std::vector<Change>& changes)
{
    const Table before = readAll(dbPath);
    ASSERT_TRUE(before.error.isEmpty()) << before.error.toStdString();
    QString error;
    auto patch = openTablePatch(dbPath, &error);
    ASSERT_TRUE(patch) << error.toStdString();
    EXPECT_TRUE(patch->info().isPasswordProtected);
    Table expected = before;
    qsizetype changedWidth = 0;
    int memoChanges = 0;
    for (const Change& change : changes) {
        ASSERT_TRUE(patch->change(change.record, change.field, change.value, &error)) << error.toStdString();
        expected.rows.at(static_cast<std::size_t>(change.record)).at(static_cast<std::size_t>(change.field))
            = change.value;
        const Field& field = patch->info().fields.at(static_cast<std::size_t>(change.field));
        changedWidth += field.size;
        memoChanges += field.type == FieldType::Memo ? 1 : 0;
    }
    ASSERT_TRUE(patch->write(&error)) << error.toStdString();

    const QByteArray dbBefore = fileBytes(dbPath);
    const QByteArray dbAfter = fileBytes(patch->temporaryDbPath());
    const int headerSize = u16At(dbBefore, 0x02);
    EXPECT_EQ(dbAfter.left(headerSize), dbBefore.left(headerSize));
    EXPECT_GT(differingBytes(dbBefore, dbAfter), 0);
    EXPECT_LE(differingBytes(dbBefore, dbAfter), changedWidth);
    const QString mbPath = memoFileOf(dbPath);
    if (!patch->temporaryMbPath().isEmpty()) {
        const QByteArray mbBefore = fileBytes(mbPath);
        const QByteArray mbAfter = fileBytes(patch->temporaryMbPath());
        EXPECT_LE(differingBytes(mbBefore, mbAfter.left(mbBefore.size())), 2 + 5 * memoChanges);
        EXPECT_EQ(mbAfter.size() % 4096, 0);
    }

    placeCopy(*patch, mbPath, folder, u"NEW"_s);
    const QString newDb = QDir(folder).filePath(u"NEW.DB"_s);
    const Table after = readAll(newDb);
    ASSERT_TRUE(after.error.isEmpty()) << after.error.toStdString();
    EXPECT_EQ(after.rows, expected.rows);
    const auto pxlib = testsupport::readWithPxlib(newDb, QDir(folder).filePath(u"NEW.MB"_s));
    ASSERT_TRUE(pxlib.error.isEmpty()) << pxlib.error.toStdString();
    EXPECT_EQ(pxlib.rows, expected.rows);
}

// A patch that changes nothing, or sets values they already hold, copies every byte.
void expectSameValuesChangeNothing(const QString& dbPath, int field)
{
    const Table table = readAll(dbPath);
    ASSERT_FALSE(table.rows.empty());
    QString error;
    auto patch = openTablePatch(dbPath, &error);
    ASSERT_TRUE(patch) << error.toStdString();
    for (std::size_t i = 0; i < table.rows.size(); ++i)
        ASSERT_TRUE(patch->change(
            static_cast<std::int64_t>(i), field, table.rows[i].at(static_cast<std::size_t>(field)), &error))
            << error.toStdString();
    ASSERT_TRUE(patch->write(&error)) << error.toStdString();
    EXPECT_EQ(fileBytes(patch->temporaryDbPath()), fileBytes(dbPath));
    EXPECT_TRUE(patch->temporaryMbPath().isEmpty());
}

// Every byte of every chunk, against pxlib's scrambling: keys that run through both key bytes,
// block numbers past 255, every chunk of the largest block.
TEST(Scrambling, EqualsPxlibsAndUndoesItself)
{
    QByteArray plain(32 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<char>((i * 7919) >> 3);
    for (std::uint32_t key : { 0x00000001U, 0x0000FF00U, 0x6E25449AU, 0xFFFFFFFFU, 0x12345678U }) {
        for (int block : { 1, 2, 255, 256, 4097, 65535 }) {
            QByteArray ours = plain;
            QByteArray theirs(plain.size(), '\0');
            crypt::encryptBlock(key, block, bytesAt(ours, 0), static_cast<int>(ours.size()));
            px_encrypt_db_block(
                bytesAt(plain, 0), bytesAt(theirs, 0), static_cast<long>(key), plain.size(), block);
            ASSERT_EQ(ours, theirs) << std::hex << key << " block " << std::dec << block;
            crypt::decryptBlock(key, block, bytesAt(ours, 0), static_cast<int>(ours.size()));
            ASSERT_EQ(ours, plain);
        }
        QByteArray ours = plain;
        QByteArray theirs(plain.size(), '\0');
        crypt::encryptMemo(key, bytesAt(ours, 0), static_cast<std::size_t>(ours.size()));
        px_encrypt_mb_block(bytesAt(plain, 0), bytesAt(theirs, 0), static_cast<long>(key), plain.size());
        ASSERT_EQ(ours, theirs) << std::hex << key;
        crypt::decryptMemo(key, bytesAt(ours, 0), static_cast<std::size_t>(ours.size()));
        ASSERT_EQ(ours, plain);
        // One byte written alone lands where the whole chunk puts it.
        const crypt::ChunkKey chunk = crypt::memoChunkKey(key);
        for (int at : { 0, 3, 200, 255 }) {
            const crypt::ScrambledByte one
                = crypt::scrambleByte(chunk, at, static_cast<unsigned char>(plain[at]));
            EXPECT_EQ(static_cast<unsigned char>(theirs[one.position]), one.value);
        }
    }
}

TEST(EngineProtectedTables, ReadAsPxlibReadsThemAndChangeOnlyTheirValues)
{
    SKIP_WITHOUT_REAL_WORLD_TABLES();
    const QString encrypted = realWorldFolder() + u"/encrypt/encrypted.db"_s;
    const QString withMemo = realWorldFolder() + u"/encrypt/encryptedmemo.db"_s;
    const Table table = readAll(encrypted);
    ASSERT_TRUE(table.error.isEmpty()) << table.error.toStdString();
    const std::vector<Row> expected
        = { { std::int32_t { 1 }, u"Value 1"_s }, { std::int32_t { 2 }, u"Value 2"_s },
              { std::int32_t { 3 }, u"Value 3"_s }, { std::int32_t { 4 }, u"Last one"_s } };
    EXPECT_EQ(table.rows, expected);
    for (const QString& path : { encrypted, withMemo }) {
        const Table ours = readAll(path);
        ASSERT_TRUE(ours.error.isEmpty()) << ours.error.toStdString();
        const auto pxlib = testsupport::readWithPxlib(path, memoFileOf(path));
        ASSERT_TRUE(pxlib.error.isEmpty()) << pxlib.error.toStdString();
        EXPECT_EQ(ours.rows, pxlib.rows) << path.toStdString();
    }
    const Table memos = readAll(withMemo);
    ASSERT_EQ(memos.rows.size(), 2u);
    EXPECT_TRUE(std::get<QString>(memos.rows[0][0]).contains(u"The PARADOX File Structure"_s));

    QTemporaryDir dir;
    const QString encryptedCopy = copyFamily(encrypted, dir.path());
    expectSameValuesChangeNothing(encryptedCopy, 1);
    expectChangesReadBack(encryptedCopy, dir.path(), { { 2, 1, u"Zürich Öst"_s }, { 0, 1, Null {} } });
    QTemporaryDir memoDir;
    const QString memoCopy = copyFamily(withMemo, memoDir.path());
    expectChangesReadBack(memoCopy, memoDir.path(),
        { { 0, 0, QString(5000, u'é') + u" end"_s }, { 1, 0, u"A short memo of a few words"_s } });
}

// Tables read with the key where their version keeps it: at 0x25 before 4.0.
TEST(EngineProtectedTables, A35TableProtectedHereReadsInPxlib)
{
    SKIP_WITHOUT_REAL_WORLD_TABLES();
    QTemporaryDir dir;
    const QString path = copyFamily(realWorldFolder() + u"/fields/date35.db"_s, dir.path());
    const Table clear = readAll(path);
    ASSERT_TRUE(clear.error.isEmpty()) << clear.error.toStdString();
    protect(path, kKey);
    const auto pxlib = testsupport::readWithPxlib(path);
    ASSERT_TRUE(pxlib.error.isEmpty()) << pxlib.error.toStdString();
    EXPECT_EQ(pxlib.rows, clear.rows);
    EXPECT_EQ(readAll(path).rows, clear.rows);
}

const std::vector<Field> kFields = { { u"Id"_s, FieldType::Short, 2 }, { u"Name"_s, FieldType::Alpha, 20 },
    { u"Notes"_s, FieldType::Memo, 20 } };

// Memos in the record and in blocks of their own. (pxlib stores small memos that share a
// block each over the last, so the changes below add those.)
std::vector<Row> sampleRows()
{
    std::vector<Row> rows;
    for (int i = 1; i <= 120; ++i) {
        Value notes = Null {};
        if (i % 3 == 1)
            notes = u"note %1"_s.arg(i);
        else if (i % 3 == 2)
            notes = QString(3000 + i, QChar(u'a' + i % 26));
        rows.push_back({ std::int32_t { i }, u"name %1"_s.arg(i), notes });
    }
    return rows;
}

// Tables of versions 4.x, 5.x and 7 with memos, keyed and not: pxlib's own, protected by
// pxlib with a password, and ours (pxlib writes 7 only), protected here with a key.
TEST(ProtectedTables, EveryVersionReadsAndChangesAsPxlibReadsIt)
{
    struct Maker
    {
        const char* name;
        std::function<QString(const QString& folder)> make;
    };
    const auto pxlibTable = [](int keyFields) {
        return [keyFields](const QString& folder) {
            const QString path = QDir(folder).filePath(u"T.db"_s);
            QString error;
            testsupport::PxlibTableOptions options;
            options.keyFields = keyFields;
            options.password = "secret";
            EXPECT_TRUE(testsupport::writeTableWithPxlib(path, kFields, sampleRows(), 1252, &error, options))
                << error.toStdString();
            return path;
        };
    };
    const auto ownTable = [](int version) {
        return [version](const QString& folder) {
            paradox::NewTable table = writertest::newTable(folder, u"T"_s, kFields);
            table.fileVersion = version;
            EXPECT_EQ(writertest::writeTable(table, sampleRows()), QString());
            const QString path = QDir(folder).filePath(u"T.DB"_s);
            protect(path, kKey);
            return path;
        };
    };
    const Maker makers[] = { { "pxlib7", pxlibTable(0) }, { "pxlib7Keyed", pxlibTable(1) },
        { "own4", ownTable(0x09) }, { "own5", ownTable(0x0B) } };
    for (const Maker& maker : makers) {
        SCOPED_TRACE(maker.name);
        QTemporaryDir dir;
        const QString path = maker.make(dir.path());
        const Table ours = readAll(path);
        ASSERT_TRUE(ours.error.isEmpty()) << ours.error.toStdString();
        EXPECT_EQ(ours.rows, sampleRows());
        const auto pxlib = testsupport::readWithPxlib(path, memoFileOf(path));
        ASSERT_TRUE(pxlib.error.isEmpty()) << pxlib.error.toStdString();
        EXPECT_EQ(pxlib.rows, sampleRows());
        expectSameValuesChangeNothing(path, 1);
        expectChangesReadBack(path, dir.path(),
            { { 4, 1, u"Zoë"_s }, { 100, 1, u"name 100, changed"_s }, { 1, 2, QString(5000, u'x') },
                { 2, 2, u"now short"_s }, { 7, 2, QString(300, u'y') }, { 9, 2, Null {} } });
    }
}

// pxlib leaves the .MB of a table it protects in clear (the test writer scrambles it as the
// engine does). Left so, it is read in clear, and new values go into it in clear.
TEST(ProtectedTables, AMemoFileLeftInClearStaysInClear)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"T.db"_s);
    QString error;
    testsupport::PxlibTableOptions options;
    options.password = "secret";
    ASSERT_TRUE(testsupport::writeTableWithPxlib(path, kFields, sampleRows(), 1252, &error, options))
        << error.toStdString();
    const QString mbPath = memoFileOf(path);
    QByteArray mb = fileBytes(mbPath);
    crypt::decryptMemo(qFromLittleEndian<quint32>(fileBytes(path).constData() + 0x5C), bytesAt(mb, 0),
        static_cast<std::size_t>(mb.size()));
    ASSERT_TRUE(writeFile(mbPath, mb));
    EXPECT_EQ(readAll(path).rows, sampleRows());

    auto patch = openTablePatch(path, &error);
    ASSERT_TRUE(patch) << error.toStdString();
    ASSERT_TRUE(patch->change(1, 2, QString(5000, u'q'), &error)) << error.toStdString();
    ASSERT_TRUE(patch->change(7, 2, QString(300, u'y'), &error)) << error.toStdString();
    ASSERT_TRUE(patch->write(&error)) << error.toStdString();
    const QByteArray copy = fileBytes(patch->temporaryMbPath());
    EXPECT_TRUE(copy.contains(QByteArray(5000, 'q')));
    EXPECT_TRUE(copy.contains(QByteArray(300, 'y')));
    placeCopy(*patch, mbPath, dir.path(), u"NEW"_s);
    std::vector<Row> expected = sampleRows();
    expected[1][2] = QString(5000, u'q');
    expected[7][2] = QString(300, u'y');
    EXPECT_EQ(readAll(dir.filePath(u"NEW.DB"_s)).rows, expected);
}

} // namespace
