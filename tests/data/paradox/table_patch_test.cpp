// The patch write-back: copies in which only the changed values differ, read back by our
// reader and by pxlib, an independent one.

#include "data/paradox/io/uncached_io.h"
#include "tests/data/paradox/patch_test_support.h"
#include "tests/data/paradox/reader_builder.h"
#include "tests/support/pxlib_reader.h"
#include "tests/support/pxlib_writer.h"

#include <QtEndian>

using namespace paradox;
using namespace patchtest;
using writertest::newTable;
using writertest::writeTable;

namespace {

struct Change
{
    std::int64_t record;
    int field;
    Value value;
};

int u16At(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

std::uint32_t u32At(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// Patches dbPath; the patch, or the first error.
std::unique_ptr<TablePatch> patchTable(
    const QString& dbPath, const std::vector<Change>& changes, QString* error)
{
    auto patch = openTablePatch(dbPath, error);
    if (!patch)
        return nullptr;
    for (const Change& change : changes) {
        if (!patch->change(change.record, change.field, change.value, error))
            return nullptr;
    }
    return patch->write(error) ? std::move(patch) : nullptr;
}

// Changes handed to the patch one at a time, as a run reads them from its work table.
class ListSource : public TablePatch::ChangeSource
{
public:
    explicit ListSource(const std::vector<Change>& changes)
        : m_changes(changes)
    { }
    bool next(std::int64_t* record, int* field, Value* value) override
    {
        if (m_next == m_changes.size())
            return false;
        const Change& change = m_changes[m_next++];
        *record = change.record;
        *field = change.field;
        *value = change.value;
        return true;
    }

private:
    const std::vector<Change>& m_changes;
    std::size_t m_next = 0;
};

// Where field `field` of record `record` lies in a table whose blocks are in file order, each as
// full as it goes (as our writer and pxlib make them), worked out from the header alone.
qsizetype slotOffset(const QByteArray& db, const std::vector<Field>& fields, std::int64_t record, int field)
{
    const int recordSize = u16At(db, 0x00);
    const int blockSize = static_cast<unsigned char>(db[0x05]) * 1024;
    const int perBlock = (blockSize - 6) / recordSize;
    qsizetype offset
        = u16At(db, 0x02) + (record / perBlock) * blockSize + 6 + (record % perBlock) * recordSize;
    for (int i = 0; i < field; ++i)
        offset += fields[static_cast<std::size_t>(i)].type == FieldType::Bcd
            ? 17
            : fields[static_cast<std::size_t>(i)].size;
    return offset;
}

const std::vector<Field> kFields = { { u"Id"_s, FieldType::Long, 4 }, { u"Name"_s, FieldType::Alpha, 12 },
    { u"Amount"_s, FieldType::Number, 8 }, { u"Born"_s, FieldType::Date, 4 },
    { u"Done"_s, FieldType::Logical, 1 }, { u"Exact"_s, FieldType::Bcd, 2 },
    { u"Notes"_s, FieldType::Memo, 15 }, { u"Data"_s, FieldType::Blob, 10 } };

std::vector<Row> sampleRows(int count)
{
    std::vector<Row> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({ std::int32_t { i + 1 }, u"name %1"_s.arg(i), i * 0.5, Date { 730'000 + i },
            i % 2 == 0, Bcd { u"%1.25"_s.arg(i) }, i % 3 == 0 ? Value(u"memo %1"_s.arg(i)) : Value(Null {}),
            Null {} });
    return rows;
}

// A table pxlib wrote, so that another writer's layout is patched.
TEST(TablePatch, ChangesOnlyTheBytesOfTheChangedValues)
{
    QTemporaryDir dir;
    std::vector<Row> rows = sampleRows(100);
    const QString dbPath = dir.filePath(u"T.DB"_s);
    QString error;
    ASSERT_TRUE(testsupport::writeTableWithPxlib(dbPath, kFields, rows, 1252, &error)) << error.toStdString();
    const QByteArray before = fileBytes(dbPath);
    const std::vector<Change> changes
        = { { 57, 1, u"Zoë"_s }, { 3, 2, 2.5 }, { 99, 3, Null {} }, { 0, 4, true },
              { 57, 5, Bcd { u"-1.5"_s } }, { 10, 0, std::int32_t { 12345 } }, { 41, 1, u"full length!"_s } };
    auto patch = patchTable(dbPath, changes, &error);
    ASSERT_TRUE(patch) << error.toStdString();
    EXPECT_TRUE(patch->temporaryMbPath().isEmpty());
    EXPECT_TRUE(QFileInfo(patch->temporaryDbPath()).fileName().startsWith(u".T."_s));
    EXPECT_EQ(fileBytes(dbPath), before) << "the original stays as it was";

    const QByteArray after = fileBytes(patch->temporaryDbPath());
    ASSERT_EQ(after.size(), before.size());
    for (const auto& range : differences(before, after)) {
        // Plain copies: clang 14 cannot capture structured bindings in a lambda.
        const auto first = range.first;
        const auto last = range.second;
        const bool isInAChangedSlot = std::any_of(changes.begin(), changes.end(), [&](const Change& c) {
            const qsizetype slot = slotOffset(before, kFields, c.record, c.field);
            const Field& field = kFields[static_cast<std::size_t>(c.field)];
            return first >= slot && last < slot + (field.type == FieldType::Bcd ? 17 : field.size);
        });
        EXPECT_TRUE(isInAChangedSlot) << "bytes " << first << ".." << last << " changed";
    }
    for (const Change& c : changes)
        rows[static_cast<std::size_t>(c.record)][static_cast<std::size_t>(c.field)] = c.value;
    rows[57][5] = Bcd { u"-1.50"_s };

    QTemporaryDir placed;
    placeCopy(*patch, dir.filePath(u"T.mb"_s), placed.path(), u"T"_s);
    const Table ours = readAll(placed.filePath(u"T.DB"_s));
    ASSERT_TRUE(ours.error.isEmpty()) << ours.error.toStdString();
    EXPECT_EQ(ours.rows, rows);
    const auto pxlib = testsupport::readWithPxlib(placed.filePath(u"T.DB"_s), placed.filePath(u"T.MB"_s));
    ASSERT_TRUE(pxlib.error.isEmpty()) << pxlib.error.toStdString();
    EXPECT_EQ(pxlib.rows, rows);
}

// A table of a few megabytes with changes in most blocks streams to the disk in pieces, past
// the page cache where the file system allows it (or through it); its 2 KB blocks start off the
// disk's 4 KB units. The copy differs only in the changed values, and its follower is handed
// every byte of it, in order, as a digest worked out beside the writing needs.
class StreamedPatch : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override { paradox::uncached::allowBypass(GetParam()); }
    void TearDown() override { paradox::uncached::allowBypass(true); }
};

INSTANTIATE_TEST_SUITE_P(Cache, StreamedPatch, ::testing::Bool(),
    [](const auto& param) { return param.param ? std::string("Bypassed") : std::string("Through"); });

TEST_P(StreamedPatch, ALargeCopyHandsItsFollowerEveryByte)
{
    QTemporaryDir dir;
    const std::vector<Field> fields
        = { { u"Id"_s, FieldType::Long, 4 }, { u"Name"_s, FieldType::Alpha, 45 } };
    std::vector<Row> rows;
    for (int i = 0; i < 60'000; ++i)
        rows.push_back({ std::int32_t { i + 1 }, u"name %1"_s.arg(i) });
    NewTable table = newTable(dir.path(), u"T"_s, fields);
    table.blockSizeKb = 2;
    ASSERT_EQ(writeTable(table, rows), QString());
    const QString dbPath = dir.filePath(u"T.DB"_s);
    const QByteArray before = fileBytes(dbPath);
    ASSERT_GT(before.size(), 2 << 20);

    QString error;
    auto patch = openTablePatch(dbPath, &error);
    ASSERT_TRUE(patch) << error.toStdString();
    QByteArray followed;
    bool isLost = false;
    patch->followDbCopy([&](std::int64_t end, const char* data, std::size_t size) {
        isLost = isLost || end < 0;
        followed.append(data, static_cast<qsizetype>(size));
        EXPECT_TRUE(isLost || end == followed.size());
    });
    std::vector<qsizetype> changedSlots;
    for (int i = 0; i < 60'000; i += 7) {
        rows[static_cast<std::size_t>(i)][1] = u"changed %1"_s.arg(i);
        ASSERT_TRUE(patch->change(i, 1, rows[static_cast<std::size_t>(i)][1], &error)) << error.toStdString();
        changedSlots.push_back(slotOffset(before, fields, i, 1));
    }
    ASSERT_TRUE(patch->write(&error)) << error.toStdString();
    const QByteArray after = fileBytes(patch->temporaryDbPath());
    EXPECT_FALSE(isLost);
    EXPECT_TRUE(followed == after) << "the follower was handed " << followed.size() << " bytes";
    ASSERT_EQ(after.size(), before.size());
    for (const auto& range : differences(before, after)) {
        const auto first = range.first;
        const auto slot = std::upper_bound(changedSlots.begin(), changedSlots.end(), first);
        EXPECT_TRUE(slot != changedSlots.begin() && range.second < *std::prev(slot) + 45)
            << "bytes " << first << ".." << range.second << " changed";
    }
    QTemporaryDir placed;
    placeCopy(*patch, dir.filePath(u"T.mb"_s), placed.path(), u"T"_s);
    const Table ours = readAll(placed.filePath(u"T.DB"_s));
    ASSERT_TRUE(ours.error.isEmpty()) << ours.error.toStdString();
    EXPECT_TRUE(ours.rows == rows);
}

// 200 records, four to a block; the chain runs forward, backward (block 50 first, so only
// its end is met in file order), or forward past a block it leaves out.
TEST(TablePatch, FindsRecordsAlongTheChainInAnyOrder)
{
    QTemporaryDir dir;
    enum class Chain { forward, backward, skipsABlock };
    for (const Chain chain : { Chain::forward, Chain::backward, Chain::skipsABlock }) {
        readertest::TestTable table;
        table.blockSizeKb = 1;
        table.recordsPerBlock = 4;
        table.reverseBlocks = chain == Chain::backward;
        table.fields = { { u"Id"_s, FieldType::Long, 4 }, { u"Name"_s, FieldType::Alpha, 8 } };
        std::vector<Row> rows;
        for (int i = 0; i < 200; ++i) {
            table.records.push_back(readertest::hexBytes("8000") + QByteArray(1, static_cast<char>(i / 256))
                + QByteArray(1, static_cast<char>(i % 256))
                + u"n%1"_s.arg(i).toLatin1().leftJustified(8, '\0'));
            rows.push_back({ std::int32_t { i }, u"n%1"_s.arg(i) });
        }
        QByteArray db = table.build();
        const qsizetype block2 = table.headerSize() + 1024;
        if (chain == Chain::skipsABlock) { // 2 -> 4; block 3 holds stale records
            db[block2] = 4;
            db[block2 + 2048 + 2] = 2;
            db[6] = static_cast<char>(196);
            rows.erase(rows.begin() + 8, rows.begin() + 12);
        }
        const QString dbPath = dir.filePath(u"C.DB"_s);
        ASSERT_TRUE(writeFile(dbPath, db));
        for (const int count : { 3, 20 }) { // the kernel's copy, or streaming
            std::vector<Change> changes;
            std::vector<Row> expected = rows;
            for (int k = 0; k < count; ++k) {
                const int record = (k * 37 + 5) % static_cast<int>(rows.size());
                changes.push_back({ record, 1, u"new %1"_s.arg(k) });
                expected[static_cast<std::size_t>(record)][1] = u"new %1"_s.arg(k);
            }
            QString error;
            auto patch = patchTable(dbPath, changes, &error);
            ASSERT_TRUE(patch) << error.toStdString();
            const Table read = readAll(patch->temporaryDbPath());
            ASSERT_TRUE(read.error.isEmpty()) << read.error.toStdString();
            EXPECT_EQ(read.rows, expected) << static_cast<int>(chain) << " with " << count << " changes";
            const auto changed = differences(db, fileBytes(patch->temporaryDbPath()));
            EXPECT_EQ(changed.size(), static_cast<std::size_t>(count)) << "only the names changed";
        }
    }
}

// Records 0-3: an inline memo and a small blob, a memo in a slot, one in a block of its
// own, and a blank one. The memo file ends where its last value ends, unpadded, as pxlib
// leaves it: new blocks still start on a 4 KB boundary.
TEST(TablePatch, MemosMoveBetweenLeaderAndMemoFileAndFreeTheirOldBlocks)
{
    QTemporaryDir dir;
    const std::vector<Field> fields = { { u"Id"_s, FieldType::Long, 4 }, { u"Notes"_s, FieldType::Memo, 15 },
        { u"Data"_s, FieldType::Blob, 10 } };
    std::vector<Row> rows = { { std::int32_t { 1 }, u"tiny"_s, QByteArray(100, 'b') },
        { std::int32_t { 2 }, u"a memo in a slot of the file"_s, Null {} },
        { std::int32_t { 3 }, QString(3000, u'x'), Null {} }, { std::int32_t { 4 }, Null {}, Null {} } };
    ASSERT_EQ(writeTable(newTable(dir.path(), u"M"_s, fields), rows), QString());
    const QString dbPath = dir.filePath(u"M.DB"_s);
    const QString mbPath = dir.filePath(u"M.MB"_s);
    const QByteArray dbBefore = fileBytes(dbPath);
    ASSERT_TRUE(writeFile(mbPath, fileBytes(mbPath).left(fileBytes(mbPath).lastIndexOf('x') + 1)));
    const QByteArray mbBefore = fileBytes(mbPath);
    const qsizetype first = u16At(dbBefore, 0x02) + 6;
    const qsizetype recordSize = u16At(dbBefore, 0x00);
    const auto pointerOf = [&](const QByteArray& db, int record, int at) {
        return u32At(db, first + record * recordSize + at);
    };
    const std::uint32_t slotOfRecord1 = pointerOf(dbBefore, 1, 4 + 5);
    const std::uint32_t blockOfRecord2 = pointerOf(dbBefore, 2, 4 + 5);
    const std::uint32_t slotOfBlob = pointerOf(dbBefore, 0, 19);

    const std::vector<Change> changes = { { 0, 1, QString(5000, u'y') }, { 1, 1, u"hi"_s },
        { 2, 1, u"now small enough for a slot"_s }, { 3, 1, u"another small one"_s }, { 0, 2, Null {} } };
    QString error;
    auto patch = patchTable(dbPath, changes, &error);
    ASSERT_TRUE(patch) << error.toStdString();
    ASSERT_FALSE(patch->temporaryMbPath().isEmpty());
    const std::vector<Row> oldRows = rows;
    for (const Change& c : changes)
        rows[static_cast<std::size_t>(c.record)][static_cast<std::size_t>(c.field)] = c.value;
    QTemporaryDir placed;
    placeCopy(*patch, mbPath, placed.path(), u"M"_s);
    const Table ours = readAll(placed.filePath(u"M.DB"_s));
    ASSERT_TRUE(ours.error.isEmpty()) << ours.error.toStdString();
    EXPECT_EQ(ours.rows, rows);
    const auto pxlib = testsupport::readWithPxlib(placed.filePath(u"M.DB"_s), placed.filePath(u"M.MB"_s));
    ASSERT_TRUE(pxlib.error.isEmpty()) << pxlib.error.toStdString();
    EXPECT_EQ(pxlib.rows, rows);

    // The old memo file is still there byte for byte but for the counter, so the old .DB reads
    // whole beside the new .MB while the files are put in place; the new values follow it in
    // whole blocks. The old values are freed by the writes that come once the new .DB is in place.
    const QByteArray mbAfter = fileBytes(patch->temporaryMbPath());
    ASSERT_GT(mbAfter.size(), mbBefore.size());
    EXPECT_EQ(mbAfter.size() % 4096, 0);
    const int counterBefore = u16At(mbBefore, 3);
    EXPECT_EQ(u16At(mbAfter, 3), counterBefore + 3) << "three values were stored";
    QByteArray expected = mbBefore;
    expected[3] = mbAfter[3];
    expected[4] = mbAfter[4];
    EXPECT_EQ(mbAfter.left(mbBefore.size()), expected);
    QTemporaryDir mixed;
    ASSERT_TRUE(
        writeFile(mixed.filePath(u"M.DB"_s), dbBefore) && writeFile(mixed.filePath(u"M.MB"_s), mbAfter));
    EXPECT_EQ(readAll(mixed.filePath(u"M.DB"_s)).rows, oldRows);
    EXPECT_EQ(testsupport::readWithPxlib(mixed.filePath(u"M.DB"_s), mixed.filePath(u"M.MB"_s)).rows, oldRows);

    QByteArray freed = mbAfter;
    for (const auto& [offset, bytes] : patch->memoLaterWrites())
        freed.replace(static_cast<qsizetype>(offset), bytes.size(), bytes);
    expected[static_cast<qsizetype>(blockOfRecord2 & ~0xFFu)] = 4; // a free block now
    for (const std::uint32_t slot : { slotOfRecord1, slotOfBlob })
        expected.replace((slot & ~0xFFu) + 0x0C + 5 * (slot & 0xFF), 5, QByteArray(5, '\0'));
    EXPECT_EQ(freed.left(mbBefore.size()), expected);

    // Each new pointer carries the modification number stored with its value.
    const QByteArray dbAfter = fileBytes(patch->temporaryDbPath());
    const std::uint32_t bigPointer = pointerOf(dbAfter, 0, 9);
    EXPECT_EQ((bigPointer & 0xFF), 0xFFu);
    EXPECT_EQ(
        u16At(mbAfter, static_cast<qsizetype>(bigPointer & ~0xFFu) + 7), u16At(dbAfter, first + 4 + 13));
    EXPECT_GT(u16At(dbAfter, first + 4 + 13), counterBefore);
    EXPECT_EQ(pointerOf(dbAfter, 1, 9), 0u) << "an inline value has no offset";
}

TEST(TablePatch, RefusesTheWholePatchAndLeavesNothingBehind)
{
    QTemporaryDir dir;
    NewTable table = newTable(dir.path(), u"T"_s, kFields);
    table.blockSizeKb = 1;
    ASSERT_EQ(writeTable(table, sampleRows(100)), QString());
    const QString dbPath = dir.filePath(u"T.DB"_s);
    const QByteArray db = fileBytes(dbPath);
    const qsizetype block3 = u16At(db, 0x02) + 2 * 1024;
    struct Refusal
    {
        const char* name;
        std::vector<Change> changes;
        const char* message;
        qsizetype damageAt = 0; // of the .DB; 0: none
        QByteArray damage = {};
    };
    const Refusal refusals[] = {
        { "tooLong", { { 0, 6, QString(3000, u'm') }, { 5, 1, u"thirteen char"_s } },
            "T.DB: record 6, field Name: the text is 13 bytes long in code page 1252; the field holds 12" },
        { "notInCodePage", { { 1, 6, u"Жук"_s } }, "record 2, field Notes: the character 'Ж'" },
        { "wrongKind", { { 1, 2, u"12"_s } }, "field Amount: a Number field cannot hold" },
        { "noSuchRecord", { { 100, 1, u"x"_s } }, "there is no record 101; the table has 100" },
        { "twice", { { 7, 1, u"a"_s }, { 2, 1, u"b"_s }, { 7, 1, u"c"_s } },
            "record 8, field Name is changed twice" },
        { "writeProtected", { { 0, 1, u"x"_s } }, "write-protected", 0x38, QByteArray(1, '\1') },
        { "encrypted", { { 0, 1, u"x"_s } }, "password-protected", 0x5C, QByteArray("\x01\x02\x03\x04") },
        { "chainLoops", { { 0, 1, u"x"_s } }, "links back to block 2", block3, QByteArray("\x02\x00", 2) },
    };
    for (const Refusal& r : refusals) {
        ASSERT_TRUE(writeFile(dbPath, QByteArray(db).replace(r.damageAt, r.damage.size(), r.damage)));
        QString error;
        EXPECT_FALSE(patchTable(dbPath, r.changes, &error)) << r.name;
        EXPECT_TRUE(error.contains(QString::fromUtf8(r.message))) << r.name << ": " << error.toStdString();
        EXPECT_TRUE(temporaryFilesIn(dir.path()).isEmpty()) << r.name;
    }
}

// Byte 0x81 is undefined in 1252 and "ü" in 437, the code page of 3.x tables; a Short of
// 2 and engine-style BCD digits complete the record that is not to change.
TEST(TablePatch, KeepsBytesOfUntouchedValuesItCouldNotWriteItself)
{
    QTemporaryDir dir;
    for (const int version : { 0x03, 0x04, 0x0B }) {
        const bool isNew = version >= 5;
        readertest::TestTable table;
        table.version = version;
        table.fields = { { u"A"_s, FieldType::Alpha, 4 }, { u"L"_s, FieldType::Short, 2 } };
        if (isNew)
            table.fields.push_back({ u"B"_s, FieldType::Bcd, 32 });
        const QByteArray kept = readertest::hexBytes("61 81 62 00 80 02")
            + (isNew ? readertest::hexBytes("E01229999999999999980B00E00000BF4A") : QByteArray());
        table.records = { kept,
            readertest::hexBytes("78 79 7A 00 80 03")
                + (isNew ? readertest::hexBytes("E0 1000000000000000 0000000000000000") : QByteArray()) };
        const QString dbPath = dir.filePath(u"K%1.DB"_s.arg(version));
        ASSERT_TRUE(writeFile(dbPath, table.build()));
        const QString oddText = isNew ? u"\u0081"_s : u"ü"_s;
        QString error;
        auto patch
            = patchTable(dbPath, { { 1, 0, u"c"_s + oddText }, { 1, 1, std::int32_t { -1 } } }, &error);
        ASSERT_TRUE(patch) << error.toStdString();
        const QByteArray after = fileBytes(patch->temporaryDbPath());
        const qsizetype first = table.headerSize() + 6;
        EXPECT_EQ(after.mid(first, table.recordSize()), kept) << version;
        EXPECT_EQ(after.mid(first + table.recordSize(), 6), readertest::hexBytes("63 81 00 00 7F FF"))
            << version;
        EXPECT_EQ(after.at(0x39), static_cast<char>(version)) << "the version stays";
        const Table read = readAll(patch->temporaryDbPath());
        ASSERT_TRUE(read.error.isEmpty()) << read.error.toStdString();
        EXPECT_EQ(read.rows.at(0).at(0), Value(u"a"_s + oddText + u"b"_s)) << version;
        // The engine's digits end at the first nibble above 9.
        if (isNew) {
            EXPECT_EQ(read.rows.at(0).at(2), Value(Bcd { u"0.12299999999999999800000000000000"_s }));
        }
    }
}

// Values read as the copy comes to their records write the same files as values given first:
// the .DB, through the kernel's copy and streamed, the .MB with values moved into it, and what
// frees the old ones. A change out of order, or one that does not fit halfway through, fails
// the whole patch and leaves nothing behind.
TEST(TablePatch, ChangesReadInRecordOrderWriteWhatChangesGivenFirstWrite)
{
    QTemporaryDir dir;
    NewTable table = newTable(dir.path(), u"T"_s, kFields);
    table.blockSizeKb = 1;
    ASSERT_EQ(writeTable(table, sampleRows(100)), QString());
    const QString dbPath = dir.filePath(u"T.DB"_s);
    for (const int every : { 40, 3 }) {
        std::vector<Change> changes;
        for (int record = 1; record < 100; record += every) {
            changes.push_back({ record, 1, u"new %1"_s.arg(record) });
            changes.push_back({ record, 6, record % 2 == 0 ? Value(QString(400, u'm')) : Value(u"short"_s) });
        }
        QString error;
        auto listed = patchTable(dbPath, changes, &error);
        ASSERT_TRUE(listed) << error.toStdString();
        auto streamed = openTablePatch(dbPath, &error);
        ListSource source(changes);
        ASSERT_TRUE(streamed && streamed->write(static_cast<std::int64_t>(changes.size()), source, &error))
            << error.toStdString();
        EXPECT_EQ(fileBytes(streamed->temporaryDbPath()), fileBytes(listed->temporaryDbPath())) << every;
        EXPECT_EQ(fileBytes(streamed->temporaryMbPath()), fileBytes(listed->temporaryMbPath())) << every;
        EXPECT_EQ(streamed->memoLaterWrites(), listed->memoLaterWrites()) << every;
    }

    const std::pair<std::vector<Change>, const char*> refusals[] = {
        { { { 10, 1, u"a"_s }, { 50, 1, u"thirteen char"_s }, { 90, 1, u"b"_s } }, "record 51, field Name" },
        { { { 10, 1, u"a"_s }, { 9, 1, u"b"_s } }, "record 10 comes after record 11" },
        { { { 10, 1, u"a"_s }, { 10, 1, u"b"_s } }, "record 11, field Name is changed twice" },
    };
    for (const auto& [changes, message] : refusals) {
        QString error;
        auto patch = openTablePatch(dbPath, &error);
        ListSource source(changes);
        ASSERT_TRUE(patch);
        EXPECT_FALSE(patch->write(3, source, &error)) << message;
        EXPECT_TRUE(error.contains(QString::fromUtf8(message))) << error.toStdString();
        EXPECT_TRUE(temporaryFilesIn(dir.path()).isEmpty()) << message;
    }
}

} // namespace
