// The copy of a Paradox table into the work database: its statements, its column types,
// and whether it tells its caller the truth about being complete.

#include "data/table_copy.h"
#include "data/workdb/work_table.h"
#include "tests/data/workdb/work_database_fixture.h"

#include <QFile>
#include <QRegularExpression>

namespace {

using datatest::DataTest;
using paradox::FieldType;
using paradox::Null;

struct TypeCase
{
    const char* name;
    QString typeName;
    QString expected;
};

class ColumnType : public ::testing::TestWithParam<TypeCase>
{
};

TEST_P(ColumnType, FollowsTheFirstMatchingRule)
{
    EXPECT_EQ(data::columnTypeText(GetParam().typeName), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(TypeNames, ColumnType,
    ::testing::Values(TypeCase { "varChar", u"advarchar"_s, u"` TEXT,"_s },
        TypeCase { "longVarCharIsNoMemo", u"adlongvarchar"_s, u"` TEXT,"_s },
        TypeCase { "decimal", u"addecimal"_s, u"` DECIMAL,"_s },
        TypeCase { "smallInt", u"adsmallint"_s, u"` INT,"_s },
        TypeCase { "unsignedBigInt", u"adunsignedbigint"_s, u"` INT,"_s },
        TypeCase { "longVarBinary", u"adlongvarbinary"_s, u"` OLEOBJECT,"_s },
        TypeCase { "date", u"addate"_s, u"` DATETIME,"_s },
        TypeCase { "timestamp", u"addbtimestamp"_s, u"` DATETIME,"_s },
        TypeCase { "double", u"addouble"_s, u"` FLOAT,"_s },
        TypeCase { "binary", u"adbinary"_s, u"` TEXT,"_s }, TypeCase { "guid", u"adguid"_s, u"` TEXT,"_s },
        TypeCase { "fileTime", u"adfiletime"_s, u"` TEXT,"_s },
        TypeCase { "noName", QString(), u"` TEXT,"_s },
        // Columns that keep the values the old table turned into whole numbers or text.
        TypeCase { "singleKeepsFractions", u"adsingle"_s, u"` REAL,"_s },
        TypeCase { "numericKeepsEveryDigit", u"adnumeric"_s, u"` TEXT,"_s },
        TypeCase { "varNumeric", u"advarnumeric"_s, u"` TEXT,"_s },
        TypeCase { "currency", u"adcurrency"_s, u"` FLOAT,"_s },
        TypeCase { "boolean", u"adboolean"_s, u"` BIT,"_s },
        TypeCase { "time", u"addbtime"_s, u"` TIME,"_s }),
    [](const auto& testCase) { return std::string(testCase.param.name); });

class TableCopy : public DataTest
{
protected:
    QStringList inserts() const { return statements.filter(u"INSERT INTO"_s); }

    std::int64_t workRowCount(const QString& table)
    {
        data::WorkDatabase work(appFolder());
        return data::WorkTable::open(work, table).rowCount();
    }
};

TEST_F(TableCopy, SendsOneCreateAndOneInsertPerRecord)
{
    writeTable(u"ORDERS"_s,
        { { u"Name"_s, FieldType::Alpha, 20 }, { u"Qty"_s, FieldType::Short, 2 },
            { u"Price"_s, FieldType::Money, 8 }, { u"Note"_s, FieldType::Memo, 15 },
            { u"Paid"_s, FieldType::Logical, 1 }, { u"Code"_s, FieldType::Bytes, 2 },
            { u"Amount"_s, FieldType::Bcd, 2 }, { u"At"_s, FieldType::Time, 4 } },
        {
            { Null {}, std::int32_t { 3 }, 2.5, u"x"_s, true, QByteArray("\x00\x12", 2),
                paradox::Bcd { u"-12.30"_s }, paradox::TimeOfDay { 45'296'789 } },
            { u"O''Brien's"_s, std::int32_t { -1 }, Null {}, Null {}, false, Null {}, Null {}, Null {} },
            { u" "_s, Null {}, Null {}, Null {}, Null {}, Null {}, Null {}, Null {} },
        });
    const data::CopyResult result = data::sendTableToAccess(u"ORDERS"_s, context());
    EXPECT_TRUE(result.isComplete) << result.problem.toStdString();
    EXPECT_EQ(result.recordsCopied, 3);
    EXPECT_TRUE(errors.reports.isEmpty()) << errors.reports.join(u'\n').toStdString();
    const QStringList expected {
        u"CREATE TABLE `ORDERS`(`Name` TEXT,`Qty` INT,`Price` FLOAT,`Note` TEXT,`Paid` BIT,"
        "`Code` TEXT,`Amount` TEXT,`At` TIME);"_s,
        u"INSERT INTO `ORDERS` VALUES(NULL, '3', '2.5', 'x', 'true', '0x0012', '-12.30', '12:34:56.789')"_s,
        u"INSERT INTO `ORDERS` VALUES('O''''Brien''s', '-1', NULL, NULL, 'false', NULL, NULL, NULL)"_s,
        u"INSERT INTO `ORDERS` VALUES(' ', NULL, NULL, NULL, NULL, NULL, NULL, NULL)"_s,
    };
    EXPECT_EQ(statements, expected);
}

TEST_F(TableCopy, TableWithoutRecordsGetsOnlyItsCreate)
{
    writeTable(u"EMPTY"_s, { { u"A"_s, FieldType::Alpha, 5 } }, {});
    const data::CopyResult result = data::sendTableToAccess(u"EMPTY"_s, context());
    EXPECT_TRUE(result.isComplete);
    EXPECT_EQ(statements, QStringList { u"CREATE TABLE `EMPTY`(`A` TEXT);"_s });
}

TEST_F(TableCopy, SecondCopyDropsTheStaleOne)
{
    writeTable(u"T"_s, { { u"A"_s, FieldType::Alpha, 5 } }, { { u"a"_s }, { u"b"_s } });
    ASSERT_TRUE(data::sendTableToAccess(u"T"_s, context()).isComplete);
    {
        // What an interrupted run leaves behind.
        data::WorkDatabase work(appFolder());
        data::WorkTable table = data::WorkTable::open(work, u"T"_s);
        table.snapshotDistinctValues(0);
        table.update(0, u"changed"_s);
        table.applyUpdates();
    }
    statements.clear();
    ASSERT_TRUE(data::sendTableToAccess(u"t"_s, context()).isComplete);
    ASSERT_FALSE(statements.isEmpty());
    EXPECT_EQ(statements.front(), u"DROP TABLE `t`"_s);
    EXPECT_EQ(workRowCount(u"T"_s), 2);
}

TEST_F(TableCopy, RefusesANameThatWouldEndItsQuotes)
{
    for (const QString& name : { u"A`B"_s, u"A]B"_s }) {
        errors.reports.clear();
        const data::CopyResult result = data::sendTableToAccess(name, context());
        EXPECT_FALSE(result.isComplete);
        EXPECT_TRUE(statements.isEmpty());
        ASSERT_EQ(errors.reports.size(), 1);
        EXPECT_TRUE(errors.reports.front().contains(
            u"in Tidewell2021/08/31.Paradox.sendTableToAccess at line 100"_s));
    }
}

TEST_F(TableCopy, SaysSoWhenTheWorkTableCannotBeMade)
{
    writeTable(u"T"_s, { { u"A"_s, FieldType::Alpha, 5 } }, { { u"a"_s } });
    {
        data::WorkDatabase work(appFolder());
        // Not a table: the copy does not drop it.
        data::sqlite::execute(
            *work.handle(), u"CREATE TABLE other(A TEXT); CREATE VIEW T AS SELECT * FROM other"_s);
    }
    const data::CopyResult result = data::sendTableToAccess(u"T"_s, context());
    EXPECT_FALSE(result.isComplete);
    EXPECT_FALSE(result.problem.isEmpty());
    ASSERT_EQ(errors.reports.size(), 1) << errors.reports.join(u'\n').toStdString();
    EXPECT_TRUE(errors.reports.front().contains(u"at line 182"_s));
    EXPECT_TRUE(inserts().isEmpty()); // no flood of reports, one per record
}

TEST_F(TableCopy, SaysSoWhenTheTableCannotBeRead)
{
    writeTable(u"T"_s, { { u"A"_s, FieldType::Alpha, 5 } }, { { u"a"_s }, { u"b"_s } });
    QFile file(paradoxFolder() + u"/T.DB"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek(6));
    ASSERT_EQ(file.write("\x05\x00\x00\x00", 4), 4); // the header claims 5 records
    file.close();
    const data::CopyResult result = data::sendTableToAccess(u"T"_s, context());
    EXPECT_FALSE(result.isComplete);
    EXPECT_FALSE(errors.reports.isEmpty());
    EXPECT_LT(errors.reports.size(), 5);
}

TEST_F(TableCopy, FailsWithoutTheWorkDatabase)
{
    writeTable(u"T"_s, { { u"A"_s, FieldType::Alpha, 5 } }, { { u"a"_s } });
    ASSERT_TRUE(QFile::remove(appFolder() + u"/dbTemp.mdb"_s));
    const data::CopyResult result = data::sendTableToAccess(u"T"_s, context());
    EXPECT_FALSE(result.isComplete);
    EXPECT_TRUE(errors.reports.front().contains(u"at line 114"_s));
    EXPECT_FALSE(QFile::exists(appFolder() + u"/dbTemp.mdb"_s));
}

} // namespace
