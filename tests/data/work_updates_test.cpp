// The change run's update statements on the work database, which runs them its own way
// (prepared, rows found by a look-up of its own): every sequence of statements must leave
// the table exactly as SQLite itself leaves it for the same texts.

#include "data/connection_strings.h"
#include "data/recordset.h"
#include "tests/data/work_database_fixture.h"

#include <sqlite3.h>

namespace {

using datatest::DataTest;

struct UpdateCase
{
    const char* name;
    QString create;
    QStringList rows; // the values as SQL literals
    QStringList statements;
};

void PrintTo(const UpdateCase& c, std::ostream* os)
{
    *os << c.name;
}

class WorkUpdates : public DataTest, public ::testing::WithParamInterface<UpdateCase>
{
protected:
    // Every row as "type:value", in rowid order.
    static QStringList contents(sqlite3* db)
    {
        QStringList cells;
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, "SELECT typeof(F) || ':' || quote(F) FROM T ORDER BY rowid", -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW)
            cells << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        return cells;
    }

    // SQLite on its own, statement by statement, in one transaction like the change run.
    QStringList expected(const UpdateCase& c)
    {
        sqlite3* db = nullptr;
        sqlite3_open(path(u"reference.db"_s).toUtf8().constData(), &db);
        const auto run = [&](const QString& sql) {
            char* message = nullptr;
            EXPECT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message), SQLITE_OK) << message;
            sqlite3_free(message);
        };
        run(c.create);
        run(u"BEGIN"_s);
        for (const QString& row : c.rows)
            run(u"INSERT INTO T(F) VALUES("_s + row + u')');
        for (const QString& sql : c.statements)
            run(sql);
        run(u"COMMIT"_s);
        const QStringList cells = contents(db);
        sqlite3_close(db);
        return cells;
    }

    QStringList actual(const UpdateCase& c)
    {
        data::Connection work;
        work.open(data::workDatabaseConnectionString(appFolder()));
        work.execute(c.create);
        work.execute(u"BEGIN"_s);
        for (const QString& row : c.rows)
            work.execute(u"INSERT INTO T(F) VALUES("_s + row + u')');
        for (const QString& sql : c.statements)
            work.execute(sql);
        work.execute(u"COMMIT"_s);
        work.close();
        sqlite3* db = nullptr;
        sqlite3_open((appFolder() + u"/dbTemp.mdb"_s).toUtf8().constData(), &db);
        const QStringList cells = contents(db);
        sqlite3_close(db);
        return cells;
    }
};

TEST_P(WorkUpdates, LeaveWhatSqliteLeaves)
{
    const QStringList want = expected(GetParam());
    ASSERT_FALSE(want.isEmpty());
    EXPECT_EQ(actual(GetParam()), want);
}

QStringList manyRows()
{
    QStringList rows;
    for (int i = 0; i < 300; ++i)
        rows << (i % 11 == 0 ? u"NULL"_s : u"'v%1'"_s.arg(i % 7));
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Sequences, WorkUpdates,
    ::testing::Values(
        // A row changed to a value that a later statement looks for changes again.
        UpdateCase { "changedRowsAreFoundUnderTheirNewValue", u"CREATE TABLE T(F TEXT)"_s,
            { u"'a'"_s, u"'b'"_s, u"'a'"_s, u"NULL"_s, u"'c'"_s },
            { u"update T set F='b' where F='a'"_s, u"update T set F='c' where F='b'"_s,
                u"update T set F='a' where F is null "_s, u"update T set F='d' where F='a'"_s,
                u"update T set F='e' where F='zzz'"_s } },
        UpdateCase { "manyRowsPerValue", u"CREATE TABLE T(F TEXT)"_s, manyRows(),
            { u"update T set F='v1' where F='v0'"_s, u"update T set F='v2' where F='v1'"_s,
                u"update T set F='' where F is null "_s, u"update T set F='v9' where F=''"_s,
                u"update T set F='v6' where F='v6'"_s } },
        // Another statement between the updates changes rows they must then see.
        UpdateCase { "otherStatementsInBetween", u"CREATE TABLE T(F TEXT)"_s,
            { u"'a'"_s, u"'b'"_s, u"'a'"_s },
            { u"update T set F='b' where F='a'"_s, u"UPDATE T SET F = F || '!' WHERE rowid = 2"_s,
                u"update T set F='c' where F='b!'"_s, u"INSERT INTO T(F) VALUES('c')"_s,
                u"update T set F='d' where F='c'"_s } },
        UpdateCase { "quotesAndDelimitedNames", u"CREATE TABLE T(F TEXT, `First Name` TEXT)"_s,
            { u"'O''Neil'"_s, u"'x'''"_s },
            { u"update `T` set `F`='O''Neill' where `F`='O''Neil'"_s,
                u"update T set F='''' where F='x'''"_s } },
        // Bytes never equal a text; a number column compares by its affinity.
        UpdateCase { "bytesInATextColumn", u"CREATE TABLE T(F TEXT)"_s, { u"x'61'"_s, u"'a'"_s },
            { u"update T set F='z' where F='a'"_s } },
        UpdateCase { "wholeNumberColumn", u"CREATE TABLE T(F INT)"_s,
            { u"12"_s, u"'12'"_s, u"13"_s, u"'x'"_s, u"NULL"_s },
            { u"update T set F='13' where F='12'"_s, u"update T set F='14.0' where F='13'"_s,
                u"update T set F='0' where F is null "_s } },
        UpdateCase { "caseBlindColumnKeepsItsCollation", u"CREATE TABLE T(F TEXT COLLATE NOCASE)"_s,
            { u"'Abc'"_s, u"'abc'"_s, u"'ABD'"_s }, { u"update T set F='x' where F='aBc'"_s } }),
    [](const auto& testCase) { return std::string(testCase.param.name); });

} // namespace
