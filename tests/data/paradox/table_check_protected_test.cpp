// The health check and the salvage reader on password-protected tables: the engine's own and
// one that pxlib scrambles (its memo file scrambled as the engine does). Read through their
// keys they are whole, and salvage gives back what the reader gives.

#include "data/paradox/check/table_check.h"
#include "data/paradox/read/table_salvage.h"
#include "tests/data/paradox/keys_support.h"
#include "tests/support/print_qt.h"
#include "tests/support/pxlib_writer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace keystest;
using paradox::FieldType;
using paradox::Row;

namespace {

std::vector<Row> readRows(const QString& path)
{
    QString error;
    auto reader = paradox::openTable(path, &error);
    EXPECT_TRUE(reader) << error.toStdString();
    std::vector<Row> rows;
    Row row;
    while (reader && reader->readNext(row))
        rows.push_back(row);
    EXPECT_TRUE(!reader || reader->error().isEmpty()) << reader->error().toStdString();
    return rows;
}

std::vector<Row> salvageRows(const QString& path, std::vector<paradox::TableProblem>& problems)
{
    QString error;
    auto reader = paradox::openTableForSalvage(path, &error);
    EXPECT_TRUE(reader) << error.toStdString();
    std::vector<Row> rows;
    Row row;
    std::vector<bool> isMissing;
    while (reader && reader->readNext(row, isMissing))
        rows.push_back(row);
    if (reader)
        problems = reader->takeProblems();
    return rows;
}

std::string describe(const paradox::TableCheck& check)
{
    return (check.table + u": "_s + check.summary()).toStdString();
}

// Memos both in their records and in the memo file; blocks of 2 KB hold 48 of its 42-byte
// records, so the last block of its three holds 24.
QString pxlibProtectedTable(const QString& folder)
{
    const std::vector<paradox::Field> fields = { { u"Id"_s, FieldType::Short, 2 },
        { u"Name"_s, FieldType::Alpha, 20 }, { u"Notes"_s, FieldType::Memo, 20 } };
    std::vector<Row> rows;
    for (int i = 1; i <= 120; ++i)
        rows.push_back({ std::int32_t { i }, u"name %1"_s.arg(i),
            i % 2 == 0 ? paradox::Value(u"short %1"_s.arg(i)) : paradox::Value(QString(2000 + i, u'm')) });
    const QString path = QDir(folder).filePath(u"P.db"_s);
    testsupport::PxlibTableOptions options;
    options.password = "secret";
    QString error;
    EXPECT_TRUE(testsupport::writeTableWithPxlib(path, fields, rows, 1252, &error, options))
        << error.toStdString();
    return path;
}

TEST(ProtectedTableCheck, IsWholeAndSalvageGivesEveryRecord)
{
    QTemporaryDir dir;
    QStringList tables { pxlibProtectedTable(dir.path()) };
    const QDir engine(QDir(realworldDir()).filePath(u"encrypt"_s));
    for (const QString& file : engine.entryList({ u"*.db"_s }, QDir::Files))
        tables << engine.filePath(file);
    for (const QString& path : tables) {
        SCOPED_TRACE(path.toStdString());
        const paradox::TableCheck check = paradox::checkTable(path);
        EXPECT_TRUE(check.isWhole()) << describe(check);
        const std::vector<Row> rows = readRows(path);
        EXPECT_FALSE(rows.empty());
        std::vector<paradox::TableProblem> problems;
        EXPECT_EQ(salvageRows(path, problems), rows);
        EXPECT_TRUE(problems.empty()) << problems.front().text().toStdString();
    }
    if (engine.exists()) {
        EXPECT_GE(tables.size(), 3);
    }
}

// Cut inside its last block, a protected table gives back the records of the block's whole
// chunks, as they were written, and none from the chunk the cut splits.
TEST(ProtectedTableCheck, SalvageOfACutBlockKeepsItsWholeChunks)
{
    QTemporaryDir dir;
    const QString path = pxlibProtectedTable(dir.path());
    const std::vector<Row> all = readRows(path);
    const QByteArray whole = readFile(path);
    const int blockSize = whole[5] * 1024;
    const int headerSize = qFromLittleEndian<quint16>(whole.constData() + 2);
    const int lastBlock = qFromLittleEndian<quint16>(whole.constData() + 0x10);
    ASSERT_EQ(all.size(), 120u);
    ASSERT_EQ(blockSize, 2048);
    ASSERT_EQ(lastBlock, 3);
    // Five 42-byte records fit the 250 bytes after the block header in the first chunk.
    for (const auto& [bytesIntoBlock, expected] : { std::pair { 200, 96 }, std::pair { 356, 101 } }) {
        SCOPED_TRACE(bytesIntoBlock);
        writeFile(path, whole.left(headerSize + (lastBlock - 1) * blockSize + bytesIntoBlock));
        std::vector<paradox::TableProblem> problems;
        const std::vector<Row> rows = salvageRows(path, problems);
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(expected));
        EXPECT_TRUE(std::equal(rows.begin(), rows.end(), all.begin()));
        ASSERT_FALSE(problems.empty());
        EXPECT_EQ(problems.front().where, u"block 3"_s) << problems.front().text().toStdString();
        EXPECT_FALSE(paradox::checkTable(path).isWhole());
    }
}

} // namespace
