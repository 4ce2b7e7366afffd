// Damaged files end in a clear error naming the file, never in a crash, a hang, a huge
// allocation or wrong data.

#include "data/paradox/format/encryption.h"
#include "tests/data/paradox/reader_builder.h"

#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;
using readertest::blobField;
using readertest::hexBytes;
using readertest::MemoBuilder;
using readertest::readBytes;
using readertest::TestTable;

namespace {

void putU16(QByteArray& bytes, int offset, int value)
{
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void putU32(QByteArray& bytes, int offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// ID Long, NAME Alpha 8, NOTES Memo 15 (leader 5), AMOUNT BCD 2; 100 records in 1 KB blocks
// (four records a block with room to spare), memos inline, in slots and in a single block.
struct Sample
{
    TestTable table;
    QByteArray db;
    QByteArray mb;
    int headerSize = 0;
    int recordSize = 0;
    int blockSize = 1024;
    int memoFieldOffset = 12; // of NOTES in a record
    std::uint32_t slotPointer = 0;
    std::uint32_t singlePointer = 0;

    int blockStart(int number) const { return headerSize + (number - 1) * blockSize; }
    int recordStart(int block, int index) const { return blockStart(block) + 6 + index * recordSize; }
};

Sample makeSample()
{
    Sample sample;
    MemoBuilder memo;
    sample.slotPointer = memo.addSmall("a memo in a slot");
    sample.singlePointer = memo.addSingle(QByteArray(3000, 'x'));
    TestTable& table = sample.table;
    table.blockSizeKb = 1;
    table.recordsPerBlock = 4;
    table.fields = { Field { u"ID"_s, FieldType::Long, 4 }, Field { u"NAME"_s, FieldType::Alpha, 8 },
        Field { u"NOTES"_s, FieldType::Memo, 15 }, Field { u"AMOUNT"_s, FieldType::Bcd, 2 } };
    for (int i = 0; i < 100; ++i) {
        QByteArray record = hexBytes("800000") + QByteArray(1, static_cast<char>(i + 1));
        record += QByteArray("name") + QByteArray(4, '\0');
        if (i == 0)
            record += blobField(5, "a memo in a slot", sample.slotPointer);
        else if (i == 1)
            record += blobField(5, QByteArray(3000, 'x'), sample.singlePointer);
        else
            record += blobField(5, "tiny", 0);
        record += hexBytes("C200000000000000000000000000001234");
        table.records.push_back(record);
    }
    sample.db = table.build();
    sample.mb = memo.bytes();
    sample.headerSize = table.headerSize();
    sample.recordSize = table.recordSize();
    return sample;
}

bool isComplete(const readertest::ReadResult& result, std::size_t rows)
{
    return result.isOpen && result.error.isEmpty() && result.rows.size() == rows;
}

TEST(ReaderCorruption, SampleIsReadable)
{
    const Sample sample = makeSample();
    const auto result = readBytes(sample.db, &sample.mb);
    ASSERT_TRUE(isComplete(result, 100)) << result.error.toStdString();
    EXPECT_EQ(result.rows[0][2], u"a memo in a slot"_s);
    EXPECT_EQ(result.rows[1][2], QString(3000, u'x'));
    EXPECT_EQ(result.rows[99][3], u"12.34"_s);
}

TEST(ReaderCorruption, EveryTruncatedTableFileIsAnError)
{
    const Sample sample = makeSample();
    for (qsizetype size = 0; size < sample.db.size(); ++size) {
        const auto result = readBytes(sample.db.left(size), &sample.mb);
        ASSERT_FALSE(result.error.isEmpty()) << "prefix of " << size << " bytes";
        ASSERT_TRUE(result.error.startsWith(u"test.db: "_s)) << result.error.toStdString();
    }
}

TEST(ReaderCorruption, TruncatedMemoFileGivesAnErrorOrTheSameData)
{
    const Sample sample = makeSample();
    const auto full = readBytes(sample.db, &sample.mb);
    int errors = 0;
    for (qsizetype size = 0; size < sample.mb.size(); size += 7) {
        const QByteArray mb = sample.mb.left(size);
        const auto result = readBytes(sample.db, &mb);
        if (!result.error.isEmpty()) {
            ++errors;
            continue;
        }
        ASSERT_EQ(result.rows, full.rows) << "memo file cut at " << size;
    }
    EXPECT_GT(errors, 0);
}

struct Corruption
{
    const char* name;
    std::function<void(Sample&)> damage;
    const char* message; // a part of the expected error
};

TEST(ReaderCorruption, SingleCorruptionsGiveClearErrors)
{
    const Corruption cases[] = {
        { "hugeRecordCount", [](Sample& s) { putU32(s.db, 0x06, 0x7FFFFFFF); },
            "records, but 25 blocks hold at most" },
        { "recordCountTooSmall", [](Sample& s) { putU32(s.db, 0x06, 10); }, "more records than the 10" },
        { "recordCountTooLarge", [](Sample& s) { putU32(s.db, 0x06, 101); },
            "gives 101 records, but the data blocks hold 100" },
        { "recordSizeWrong", [](Sample& s) { putU16(s.db, 0x00, s.recordSize + 1); }, "but the fields take" },
        { "recordSizeZero", [](Sample& s) { putU16(s.db, 0x00, 0); }, "does not fit" },
        { "recordSizeOverBlock", [](Sample& s) { putU16(s.db, 0x00, 2000); }, "does not fit in a block" },
        { "noFields", [](Sample& s) { putU16(s.db, 0x21, 0); }, "gives 0 fields" },
        { "tooManyFields", [](Sample& s) { putU16(s.db, 0x21, 300); }, "gives 300 fields" },
        { "negativeFieldCount", [](Sample& s) { putU16(s.db, 0x21, 0xFFFF); }, "gives -1 fields" },
        { "fieldSizeZero", [](Sample& s) { s.db[0x78 + 3] = 0; }, "field 2 has the size 0" },
        { "unknownFieldType", [](Sample& s) { s.db[0x78 + 2] = 0x07; }, "unknown type code 0x07" },
        { "headerSizePastEnd", [](Sample& s) { putU16(s.db, 0x02, 0xF800); }, "truncated" },
        { "headerSizeTiny", [](Sample& s) { putU16(s.db, 0x02, 0x20); }, "too small" },
        { "blockSizeZero", [](Sample& s) { s.db[0x05] = 0; }, "block size" },
        { "moreBlocksThanTheFileHolds", [](Sample& s) { putU16(s.db, 0x0C, 1000); }, "truncated" },
        { "firstBlockPastEnd", [](Sample& s) { putU16(s.db, 0x0E, 999); }, "first data block is 999" },
        { "noFirstBlock", [](Sample& s) { putU16(s.db, 0x0E, 0); }, "no first data block" },
        { "chainLoops", [](Sample& s) { putU16(s.db, s.blockStart(5), 2); },
            "data block 5 links back to block 2" },
        { "chainPointsToItself", [](Sample& s) { putU16(s.db, s.blockStart(1), 1); }, "loops" },
        { "linkPastEnd", [](Sample& s) { putU16(s.db, s.blockStart(12), 4096); },
            "data block 12 links to block 4096, but the file has 25 blocks" },
        { "blockClaimsTooMuch",
            [](Sample& s) { putU16(s.db, s.blockStart(3) + 4, 0x7FFF - 0x7FFF % s.recordSize); },
            "more than its 1024 bytes" },
        { "blockOffsetNotOfARecord", [](Sample& s) { putU16(s.db, s.blockStart(3) + 4, s.recordSize + 1); },
            "not a multiple of the record size" },
        { "encrypted7", [](Sample& s) { putU32(s.db, 0x5C, 0x12345678); }, "password-protected" },
        { "unknownVersion", [](Sample& s) { s.db[0x39] = 0x20; }, "unknown file version byte 0x20" },
        { "indexFile", [](Sample& s) { s.db[0x04] = 1; }, "file type 1" },
        { "keyFieldsOverFields", [](Sample& s) { putU16(s.db, 0x23, 9); }, "9 key fields" },
        { "unknownCodePage", [](Sample& s) { putU16(s.db, 0x6A, 9999); }, "code page 9999" },
        { "fieldNamesRunOff",
            [](Sample& s) {
                s.db.replace(0x78 + 6 * 4 + 4 + 261, s.headerSize - (0x78 + 6 * 4 + 4 + 261),
                    QByteArray(s.headerSize - (0x78 + 6 * 4 + 4 + 261), 'a'));
            },
            "inside the field names" },
        { "bcdDecimalsDisagree", [](Sample& s) { s.db[s.recordStart(1, 2) + 27] = static_cast<char>(0xC5); },
            "has 5 decimals, but its field has 2" },
        { "memoOffsetPastEnd",
            [](Sample& s) { putU32(s.db, s.recordStart(1, 0) + s.memoFieldOffset + 5, 0x00100000 | 0xFF); },
            "points to memo data at byte 1048576" },
        { "memoLengthDisagrees",
            [](Sample& s) { putU32(s.db, s.recordStart(1, 1) + s.memoFieldOffset + 9, 2999); },
            "holds 3000 bytes, but the record expects 2999" },
        { "memoPointsToHeader",
            [](Sample& s) { putU32(s.db, s.recordStart(1, 0) + s.memoFieldOffset + 5, 0); },
            "neither in the memo file nor" },
        { "memoPointsToFreeBlock", [](Sample& s) { s.mb[static_cast<int>(s.singlePointer & ~0xFFu)] = 4; },
            "type 4 and holds no memo data" },
        { "memoSlotUnused", [](Sample& s) { s.db[s.recordStart(1, 0) + s.memoFieldOffset + 5] = 10; },
            "unused" },
        { "memoSlotOutOfRange", [](Sample& s) { s.db[s.recordStart(1, 0) + s.memoFieldOffset + 5] = 64; },
            "64 slots" },
        { "memoLengthHuge",
            [](Sample& s) {
                putU32(s.db, s.recordStart(1, 1) + s.memoFieldOffset + 9, 0xFFFFFF00);
                putU32(s.mb, static_cast<int>(s.singlePointer & ~0xFFu) + 3, 0xFFFFFF00);
            },
            "past the end of the file" },
        { "memoFileNotAMemoFile", [](Sample& s) { s.mb[0] = 2; }, "test.mb: the file does not start" },
    };
    for (const Corruption& c : cases) {
        Sample sample = makeSample();
        c.damage(sample);
        const auto result = readBytes(sample.db, &sample.mb);
        EXPECT_FALSE(isComplete(result, 100)) << c.name;
        EXPECT_TRUE(result.error.contains(QString::fromUtf8(c.message)))
            << c.name << ": got \"" << result.error.toStdString() << "\"";
        EXPECT_TRUE(result.error.startsWith(u"test.db: "_s) || result.error.startsWith(u"test.mb: "_s))
            << c.name << ": " << result.error.toStdString();
    }
}

// Before 4.0 the key sits at 0x25. Blocks in clear under a key read as damage, and the error
// says that the table is password-protected.
TEST(ReaderCorruption, Protected3xTablesUnscrambleWithTheKeyAt25)
{
    TestTable table;
    table.version = 3;
    table.fields = { Field { u"A"_s, FieldType::Alpha, 4 } };
    table.records = { QByteArray("abcd") };
    QByteArray db = table.build();
    putU32(db, 0x25, 0x0BADF00D);
    const auto clear = readBytes(db);
    EXPECT_FALSE(isComplete(clear, 1));
    EXPECT_TRUE(clear.error.contains(u"password-protected"_s)) << clear.error.toStdString();

    const int headerSize = static_cast<unsigned char>(db[2]) | (static_cast<unsigned char>(db[3]) << 8);
    paradox::crypt::encryptBlock(
        0x0BADF00D, 1, reinterpret_cast<unsigned char*>(db.data() + headerSize), db[5] * 1024);
    const auto scrambled = readBytes(db);
    ASSERT_TRUE(isComplete(scrambled, 1)) << scrambled.error.toStdString();
    EXPECT_EQ(scrambled.rows[0][0], u"abcd"_s);
    EXPECT_TRUE(scrambled.info.isPasswordProtected);
}

} // namespace
