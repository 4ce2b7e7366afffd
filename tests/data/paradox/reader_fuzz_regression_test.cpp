// Inputs the fuzzer found troublesome, read again on every test run. A new finding goes
// into fuzz_regressions/ as it is.

#include "tests/data/paradox/reader_builder.h"
#include "tests/fuzz/reader_fuzz_input.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

TEST(ReaderFuzzRegressions, ReadsEachFormerFindingToAnEnd)
{
    const QDir folder(QStringLiteral(FW_FUZZ_REGRESSIONS));
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray input = file.readAll();
        SCOPED_TRACE(name.toStdString());
        fuzzing::readFuzzInput(
            reinterpret_cast<const std::uint8_t*>(input.constData()), static_cast<std::size_t>(input.size()));
    }
}

} // namespace

namespace {

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;
using readertest::blobField;
using readertest::hexBytes;

QByteArray fuzzInput(const QByteArray& db, const QByteArray& mb)
{
    QByteArray input(4, '\0');
    for (int i = 0; i < 4; ++i)
        input[i] = static_cast<char>((db.size() >> (8 * i)) & 0xFF);
    return input + db + mb;
}

// Writes the fuzzer's starting corpus into $FW_FUZZ_SEEDS (run by scripts/fuzz-reader.sh):
// small valid tables of several versions, every field type and a memo file.
TEST(ReaderFuzzSeeds, DISABLED_WriteSeeds)
{
    const QString folder = qEnvironmentVariable("FW_FUZZ_SEEDS");
    ASSERT_FALSE(folder.isEmpty());
    QDir().mkpath(folder);
    auto save = [&](const QString& name, const QByteArray& input) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(input);
    };

    readertest::TestTable everyType;
    everyType.blockSizeKb = 1;
    everyType.fields = { { u"A"_s, FieldType::Alpha, 4 }, { u"D"_s, FieldType::Date, 4 },
        { u"S"_s, FieldType::Short, 2 }, { u"I"_s, FieldType::Long, 4 }, { u"C"_s, FieldType::Money, 8 },
        { u"N"_s, FieldType::Number, 8 }, { u"L"_s, FieldType::Logical, 1 }, { u"T"_s, FieldType::Time, 4 },
        { u"TS"_s, FieldType::Timestamp, 8 }, { u"P"_s, FieldType::Autoincrement, 4 },
        { u"B"_s, FieldType::Bcd, 2 }, { u"Y"_s, FieldType::Bytes, 2 } };
    const QByteArray record
        = hexBytes("41424300 800B42F1 8001 80000001 3FFDFFFFFFFFFFFF BFF8000000000000 81 82932FF4 "
                   "C2CCFF59B3E50000 80000001 C200000000000000000000000000001234 0102");
    everyType.records = { record, QByteArray(record.size(), '\0'), record };
    save(u"every_type_7"_s, fuzzInput(everyType.build(), {}));
    everyType.version = 3;
    save(u"every_type_3"_s, fuzzInput(everyType.build(), {}));

    readertest::MemoBuilder memo;
    const auto slot = memo.addSmall("a memo in a slot");
    const auto single = memo.addSingle(QByteArray(2100, 'm'));
    readertest::TestTable memoTable;
    memoTable.blockSizeKb = 1;
    memoTable.version = 9;
    memoTable.fields = { { u"M"_s, FieldType::Memo, 13 }, { u"B"_s, FieldType::Blob, 10 } };
    memoTable.records
        = { blobField(3, "a memo in a slot", slot) + blobField(0, QByteArray(2100, 'm'), single),
              blobField(3, "ab", 0) + blobField(0, {}, 0) };
    save(u"memo_4"_s, fuzzInput(memoTable.build(), memo.bytes()));
}

} // namespace
