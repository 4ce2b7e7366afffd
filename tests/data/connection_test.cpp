// Connection strings, the two back ends behind a connection, record sets and the table list.

#include "data/ado.h"
#include "data/connection_strings.h"
#include "data/recordset.h"
#include "data/work_database.h"
#include "data/write_back.h"
#include "tests/data/work_database_fixture.h"

#include <QFileInfo>
#include <limits>

namespace {

using datatest::DataTest;

struct ConnectionStringCase
{
    const char* name;
    QString folder;
    QString expected;
};

class ParadoxConnectionString : public ::testing::TestWithParam<ConnectionStringCase>
{
};

TEST_P(ParadoxConnectionString, KeepsTheFolderAsTyped)
{
    EXPECT_EQ(data::paradoxConnectionString(GetParam().folder), GetParam().expected);
    const data::ConnectionTarget target = data::parseConnectionString(GetParam().expected);
    EXPECT_EQ(target.kind, data::ConnectionTarget::Kind::ParadoxFolder);
    EXPECT_EQ(target.location, GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(Folders, ParadoxConnectionString,
    ::testing::Values(ConnectionStringCase { "plain", u"/data"_s,
                          u"Driver={Microsoft Paradox Driver (*.db )};DriverID=538;Fil=Paradox "
                          u"5.X;DefaultDir=/data;Dbq=/data;"
                          "CollatingSequence=ASCII;"_s },
        ConnectionStringCase { "trailingSeparator", u"/data/"_s,
            u"Driver={Microsoft Paradox Driver (*.db )};DriverID=538;Fil=Paradox "
            u"5.X;DefaultDir=/data/;Dbq=/data/;"
            "CollatingSequence=ASCII;"_s },
        ConnectionStringCase { "blanksAndSemicolon", u" /my data;old "_s,
            u"Driver={Microsoft Paradox Driver (*.db )};DriverID=538;Fil=Paradox 5.X;DefaultDir= /my "
            u"data;old ;"
            "Dbq= /my data;old ;CollatingSequence=ASCII;"_s }),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(WorkDatabaseConnectionString, EndsWithAnEmptyPassword)
{
    const QString text = data::workDatabaseConnectionString(u"/opt/tools"_s);
    EXPECT_EQ(text,
        u"PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/tools/dbTemp.mdb;JET OLEDB:Database Password="_s);
    const data::ConnectionTarget target = data::parseConnectionString(text);
    EXPECT_EQ(target.kind, data::ConnectionTarget::Kind::WorkDatabase);
    EXPECT_EQ(target.location, u"/opt/tools/dbTemp.mdb"_s);
}

TEST(AdoTypeName, NamesEveryMemberButAdArray)
{
    int named = 0;
    for (int number = std::numeric_limits<std::int16_t>::min();
         number <= std::numeric_limits<std::int16_t>::max(); ++number)
        named += data::AdoTypeName(static_cast<std::int16_t>(number)).isEmpty() ? 0 : 1;
    EXPECT_EQ(named, 39);
    EXPECT_EQ(data::AdoTypeName(3), u"adInteger"_s);
    EXPECT_EQ(data::AdoTypeName(135), u"adDBTimeStamp"_s);
    EXPECT_EQ(data::AdoTypeName(202), u"adVarWChar"_s);
    EXPECT_EQ(data::AdoTypeName(205), u"adLongVarBinary"_s);
    EXPECT_EQ(data::AdoTypeName(0x2000), QString()); // adArray
}

struct CollapseCase
{
    const char* name;
    QString path;
    QString expected;
};

class CollapseBackslashes : public ::testing::TestWithParam<CollapseCase>
{
};

TEST_P(CollapseBackslashes, Collapses)
{
    EXPECT_EQ(data::CollapseBackslashes(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, CollapseBackslashes,
    ::testing::Values(CollapseCase { "noPairs", u"data/x/"_s, u"data/x/"_s },
        CollapseCase { "twoBecomeOne", u"data//x/"_s, u"data/x/"_s },
        CollapseCase { "threeBecomeTwo", u"data///x"_s, u"data//x"_s },
        CollapseCase { "fourBecomeTwo", u"data////x"_s, u"data//x"_s },
        CollapseCase { "oneLeadingBecomesTwo", u"/Data/"_s, u"//Data/"_s },
        CollapseCase { "leadingPairStays", u"//server/share/Data/"_s, u"//server/share/Data/"_s },
        CollapseCase { "leadingRunBecomesTwo", u"/////server//x"_s, u"//server/x"_s },
        CollapseCase { "onlySeparators", u"///"_s, u"//"_s }, CollapseCase { "empty", QString(), QString() }),
    [](const auto& testCase) { return std::string(testCase.param.name); });

class Connections : public DataTest
{
};

TEST_F(Connections, WorkDatabaseIsNeverCreated)
{
    data::Connection connection;
    const QString elsewhere = path(u"nowhere"_s);
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    EXPECT_THROW(connection.open(data::workDatabaseConnectionString(elsewhere)), core::Error);
    EXPECT_FALSE(QFileInfo::exists(elsewhere + u"/dbTemp.mdb"_s));
    EXPECT_THROW(connection.open(u"Provider=Something.Else;"_s), core::Error);
}

TEST_F(Connections, TableListTellsTablesViewsAndSystemTablesApart)
{
    data::Connection work;
    work.open(data::workDatabaseConnectionString(appFolder()));
    work.execute(u"CREATE TABLE `CUSTOMER`(`A` TEXT)"_s);
    work.execute(u"CREATE VIEW `ORDERS` AS SELECT * FROM `CUSTOMER`"_s);
    work.execute(u"CREATE TABLE seq(id INTEGER PRIMARY KEY AUTOINCREMENT)"_s);
    work.execute(u"INSERT INTO seq VALUES(NULL)"_s); // makes SQLite create sqlite_sequence
    data::Recordset tables;
    work.openSchema(data::ado::kSchemaTables, tables);
    QStringList seen;
    while (!tables.isEof()) {
        seen << tables.valueText(tables.fieldIndex(u"TABLE_NAME"_s)) + u':'
                + tables.valueText(tables.fieldIndex(u"TABLE_TYPE"_s));
        tables.moveNext();
    }
    seen.sort();
    EXPECT_EQ(seen,
        (QStringList {
            u"CUSTOMER:TABLE"_s, u"ORDERS:VIEW"_s, u"seq:TABLE"_s, u"sqlite_sequence:SYSTEM TABLE"_s }));

    EXPECT_TRUE(data::TableExistsInWorkDb(u"customer"_s, appFolder()));
    EXPECT_FALSE(data::TableExistsInWorkDb(u"orders"_s, appFolder()));
    EXPECT_FALSE(data::TableExistsInWorkDb(u"SQLITE_SEQUENCE"_s, appFolder()));
}

TEST_F(Connections, OptimisticRecordSetIsASnapshot)
{
    data::Connection work;
    work.setMode(data::ado::kModeReadWrite);
    work.open(data::workDatabaseConnectionString(appFolder()));
    work.execute(u"CREATE TABLE `T`(`CITY` TEXT);"_s);
    for (const char16_t* city : { u"'New York'", u"'Boston'", u"NULL" })
        work.execute(u"INSERT INTO `T` VALUES("_s + QString::fromUtf16(city) + u')');
    data::Recordset values;
    values.open(
        u"SELECT distinct `CITY` FROM `T`"_s, work, data::ado::kOpenStatic, data::ado::kLockOptimistic);
    ASSERT_EQ(values.recordCount(), 3);
    QStringList seen;
    while (!values.isEof()) {
        // The change run rewrites the rows while it walks the values; a live cursor would
        // meet the new values again.
        work.execute(u"update T set CITY='X'"_s);
        seen << (values.isNull(0) ? u"<null>"_s : values.valueText(0));
        values.moveNext();
    }
    seen.sort();
    EXPECT_EQ(seen, (QStringList { u"<null>"_s, u"Boston"_s, u"New York"_s }));
    EXPECT_THROW(values.value(0), core::Error);
    values.close();
    EXPECT_EQ(values.state(), data::ado::kStateClosed);
}

TEST_F(Connections, NumbersSurviveTheWorkDatabaseExactly)
{
    data::Connection work;
    work.open(data::workDatabaseConnectionString(appFolder()));
    work.execute(u"CREATE TABLE `T`(`N` FLOAT);"_s);
    // Magnitudes at which SQLite's own text conversion misses the nearest double.
    const std::vector<double> numbers { -4.967155202240894e-297, 1.848898959587173e+270,
        6.449645412599608e-280, 5e-324, 1.7976931348623157e308, 0.1, -2.25 };
    for (const double number : numbers)
        work.execute(u"INSERT INTO `T` VALUES('"_s + paradox::valueText(number) + u"')"_s);
    data::Recordset rows;
    rows.open(u"SELECT `N` FROM `T`"_s, work);
    for (const double number : numbers) {
        ASSERT_FALSE(rows.isEof());
        EXPECT_EQ(rows.value(0).toDouble(), number) << paradox::valueText(number).toStdString();
        rows.moveNext();
    }
}

TEST_F(Connections, ParadoxFolderAnswersOnlyItsStatements)
{
    writeTable(u"Orders"_s,
        { { u"City"_s, paradox::FieldType::Alpha, 20 }, { u"Qty"_s, paradox::FieldType::Short, 2 } },
        { { u"Paris"_s, std::int32_t { 3 } }, { paradox::Null {}, paradox::Null {} } });
    data::Connection folder;
    folder.open(data::paradoxConnectionString(paradoxFolder() + u'/'));
    data::Recordset rows;
    rows.open(u"SELECT `city` FROM `ORDERS`"_s, folder, data::ado::kOpenStatic, data::ado::kLockOptimistic);
    EXPECT_EQ(rows.recordCount(), 2);
    EXPECT_EQ(rows.fieldName(0), u"City"_s);
    EXPECT_EQ(rows.fieldType(0), data::ado::adVarChar);
    EXPECT_EQ(rows.valueText(0), u"Paris"_s);
    rows.moveNext();
    EXPECT_TRUE(rows.isNull(0));
    rows.moveNext();
    EXPECT_TRUE(rows.isEof());

    for (const QString& sql : { u"SELECT * FROM `ORDERS` WHERE 1"_s, u"DELETE FROM `ORDERS`"_s,
             u"SELECT `x` FROM `ORDERS`"_s, u"SELECT * FROM `MISSING`"_s }) {
        data::Recordset refused;
        EXPECT_THROW(refused.open(sql, folder), core::Error) << sql.toStdString();
    }
    EXPECT_THROW(folder.execute(u"UPDATE ORDERS SET City='x'"_s), core::Error);
    folder.execute(u"DROP TABLE [orders]"_s);
    EXPECT_TRUE(paradox::findTableFile(paradoxFolder(), u"ORDERS"_s).isEmpty());

    data::Connection none;
    EXPECT_THROW(none.open(data::paradoxConnectionString(QString())), core::Error);
}

} // namespace
