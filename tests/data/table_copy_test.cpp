// The copy of a Paradox table into the work database: its statements, its column types,
// and whether it tells its caller the truth about being complete.

#include "data/connection_strings.h"
#include "data/insert_statement.h"
#include "data/recordset.h"
#include "data/table_copy.h"
#include "tests/data/work_database_fixture.h"

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

    // The Paradox table T, read from its first record.
    void openSource(data::Connection& folder, data::Recordset& source)
    {
        folder.open(data::paradoxConnectionString(paradoxFolder()));
        source.open(u"SELECT * FROM `T`"_s, folder);
    }

    // The insert of the source's current record into table, every field of it.
    static void buildInsert(data::InsertStatement& insert, const QString& table, const data::Recordset& source)
    {
        insert.start(table);
        for (int i = 0; i < source.fieldCount(); ++i)
            insert.appendValue(source, i);
        insert.chopSeparator();
        insert.closeValues();
    }

    std::int64_t workRowCount(const QString& table)
    {
        data::Connection work;
        work.open(data::workDatabaseConnectionString(appFolder()));
        data::Recordset rows;
        rows.open(u"SELECT count(*) FROM ["_s + table + u']', work);
        return rows.value(0).toLongLong();
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

// The copy binds each record's values without writing its statement out; what it stores
// must be exactly what its statement text stores, storage class and all.
TEST_F(TableCopy, StoresWhatItsStatementTextsWouldStore)
{
    const std::vector<paradox::Field> fields { { u"Name"_s, FieldType::Alpha, 20 },
        { u"Qty"_s, FieldType::Short, 2 }, { u"Big"_s, FieldType::Long, 4 },
        { u"Price"_s, FieldType::Money, 8 }, { u"Ratio"_s, FieldType::Number, 8 },
        { u"Born"_s, FieldType::Date, 4 }, { u"Paid"_s, FieldType::Logical, 1 },
        { u"Note"_s, FieldType::Memo, 11 }, { u"Code"_s, FieldType::Bytes, 2 },
        { u"Data"_s, FieldType::Blob, 11 }, { u"Amount"_s, FieldType::Bcd, 2 },
        { u"At"_s, FieldType::Time, 4 }, { u"Stamp"_s, FieldType::Timestamp, 8 },
        { u"Id"_s, FieldType::Autoincrement, 4 } };
    std::vector<paradox::Row> rows;
    const std::vector<double> numbers { 0.0, -0.0, 0.1, -2.25, 1e21, 9.999999999999999e20, 1e-7,
        9.99999999999999e-8, 5e-324, 1.7976931348623157e308, -4.967155202240894e-297, 123456789.125,
        2.2250738585072014e-308 };
    const std::vector<QString> texts { u"O'Neil"_s, u"1e5"_s, u"0012"_s, u"12"_s, u"-3.5"_s, u" 7"_s,
        u"0x1F"_s, u"Ärger"_s, u"''"_s, u" "_s, QString(), u"NULL"_s, u"9223372036854775808"_s };
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const auto small = static_cast<std::int32_t>(i % 2 == 0 ? 32767 - i : -32767 + i);
        const std::int32_t big = i == 0 ? 2'147'483'647 : i == 1 ? -2'147'483'647 : static_cast<std::int32_t>(i);
        const paradox::Value text = texts[i].isNull() ? paradox::Value(Null {}) : paradox::Value(texts[i]);
        rows.push_back({ text, small, big, numbers[i], numbers[numbers.size() - 1 - i],
            paradox::Date { static_cast<std::int32_t>(1 + i * 250'000) },
            i % 3 == 0 ? paradox::Value(Null {}) : paradox::Value(i % 2 == 0), text,
            QByteArray("\x00\x12", 2), QByteArray(static_cast<qsizetype>(i), '\x30'),
            paradox::Bcd { i % 2 == 0 ? u"-12.30"_s : u"5"_s },
            paradox::TimeOfDay { static_cast<std::int32_t>(i * 3'600'001) },
            paradox::Timestamp { 63'766'094'400'123.0 + static_cast<double>(i) }, static_cast<std::int32_t>(i + 1) });
    }
    writeTable(u"ORDERS"_s, fields, rows);
    ASSERT_TRUE(data::sendTableToAccess(u"ORDERS"_s, context()).isComplete) << errors.reports.join(u'\n').toStdString();

    data::Connection work;
    work.open(data::workDatabaseConnectionString(appFolder()));
    work.execute(u"ALTER TABLE `ORDERS` RENAME TO `BOUND`"_s);
    for (const QString& statement : statements.filter(QRegularExpression(u"^(CREATE|INSERT) "_s)))
        work.execute(statement);
    const auto stored = [&](const QString& table) {
        QStringList cells;
        data::Recordset all;
        QStringList columns;
        for (const paradox::Field& field : fields)
            columns << u"typeof(`%1`) || ':' || quote(`%1`)"_s.arg(field.name);
        all.open(u"SELECT "_s + columns.join(u", "_s) + u" FROM `"_s + table + u'`', work);
        while (!all.isEof()) {
            for (int i = 0; i < all.fieldCount(); ++i)
                cells << all.valueText(i);
            all.moveNext();
        }
        return cells;
    };
    const QStringList bound = stored(u"BOUND"_s);
    EXPECT_EQ(bound.size(), static_cast<qsizetype>(rows.size() * fields.size()));
    EXPECT_EQ(bound, stored(u"ORDERS"_s));
}

TEST_F(TableCopy, ARefusedRecordIsReportedWithItsStatementText)
{
    writeTable(u"T"_s, { { u"A"_s, FieldType::Alpha, 5 }, { u"B"_s, FieldType::Alpha, 5 } },
        { { u"it's"_s, Null {} } });
    data::Connection folder;
    data::Recordset rows;
    openSource(folder, rows);
    data::Connection work;
    work.open(data::workDatabaseConnectionString(appFolder()));
    work.execute(u"CREATE TABLE `T`(`A` TEXT, `B` TEXT NOT NULL)"_s);
    data::InsertStatement insert;
    insert.start(u"T"_s);
    insert.appendValue(rows, 0);
    EXPECT_EQ(insert.text(), u"INSERT INTO `T` VALUES('it''s', '"_s);
    insert.appendValue(rows, 1);
    insert.chopSeparator();
    insert.closeValues();
    try {
        work.execute(insert);
        ADD_FAILURE() << "the NULL was accepted";
    } catch (const core::Error& e) {
        EXPECT_TRUE(e.description().contains(u"NOT NULL"_s)) << e.description().toStdString();
        EXPECT_TRUE(e.description().endsWith(u"(in the statement INSERT INTO `T` VALUES('it''s', NULL))"_s))
            << e.description().toStdString();
    }
}

// Inside a transaction the inserts wait to run many to a statement; nothing done with the
// connection may see them missing, and none may be lost or reordered.
TEST_F(TableCopy, HeldInsertsRunBeforeAnythingElseAndInOrder)
{
    std::vector<paradox::Row> records;
    for (int i = 0; i < 70; ++i)
        records.push_back({ u"r%1"_s.arg(i), std::int32_t { i } });
    writeTable(u"T"_s, { { u"A"_s, FieldType::Alpha, 5 }, { u"N"_s, FieldType::Long, 4 } }, records);
    data::Connection folder;
    data::Recordset source;
    openSource(folder, source);
    data::Connection work;
    work.open(data::workDatabaseConnectionString(appFolder()));
    work.execute(u"CREATE TABLE `T`(`A` TEXT,`N` INT);"_s);
    work.execute(u"BEGIN"_s);
    const auto count = [&] {
        data::Recordset rows;
        rows.open(u"SELECT count(*) FROM `T`"_s, work);
        return rows.value(0).toLongLong();
    };
    data::InsertStatement insert;
    for (int i = 0; i < 70; ++i, source.moveNext()) {
        buildInsert(insert, u"T"_s, source);
        work.execute(insert);
        if (i == 4 || i == 40) {
            EXPECT_EQ(count(), i + 1);
        }
    }
    work.execute(u"COMMIT"_s);
    data::Recordset rows;
    rows.open(u"SELECT A, N, typeof(N) FROM `T` ORDER BY rowid"_s, work);
    for (int i = 0; i < 70; ++i, rows.moveNext()) {
        ASSERT_FALSE(rows.isEof());
        EXPECT_EQ(rows.valueText(0), u"r%1"_s.arg(i));
        EXPECT_EQ(rows.value(1).toLongLong(), i);
        EXPECT_EQ(rows.valueText(2), u"integer"_s);
    }
    EXPECT_TRUE(rows.isEof());
}

TEST_F(TableCopy, ARefusedHeldInsertFailsTheCopy)
{
    std::vector<paradox::Row> records;
    for (int i = 0; i < 40; ++i)
        records.push_back({ i == 3 ? paradox::Value(Null {}) : paradox::Value(u"r%1"_s.arg(i)) });
    writeTable(u"T"_s, { { u"A"_s, FieldType::Alpha, 5 } }, records);
    {
        // A work table that refuses one of the records: the copy must not end as complete.
        data::Connection work;
        work.open(data::workDatabaseConnectionString(appFolder()));
        work.execute(u"CREATE TABLE `X`(`A` TEXT NOT NULL);"_s);
    }
    data::Connection folder;
    data::Recordset source;
    openSource(folder, source);
    data::Connection work;
    work.open(data::workDatabaseConnectionString(appFolder()));
    work.execute(u"BEGIN"_s);
    data::InsertStatement insert;
    bool isRefused = false;
    for (int i = 0; i < 40 && !isRefused; ++i, source.moveNext()) {
        buildInsert(insert, u"X"_s, source);
        try {
            work.execute(insert);
        } catch (const core::Error& e) {
            isRefused = true;
            EXPECT_TRUE(e.description().contains(u"NOT NULL"_s)) << e.description().toStdString();
            EXPECT_TRUE(e.description().contains(u"INSERT INTO `X` VALUES('r0')"_s)) << e.description().toStdString();
        }
    }
    if (!isRefused) {
        EXPECT_THROW(work.execute(u"COMMIT"_s), core::Error);
    }
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
        data::Connection work;
        work.open(data::workDatabaseConnectionString(appFolder()));
        work.execute(u"update T set A='changed'"_s); // what an interrupted run leaves behind
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
        data::Connection work;
        work.open(data::workDatabaseConnectionString(appFolder()));
        work.execute(u"CREATE TABLE other(A TEXT)"_s);
        work.execute(u"CREATE VIEW T AS SELECT * FROM other"_s); // not a table: the copy does not drop it
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
