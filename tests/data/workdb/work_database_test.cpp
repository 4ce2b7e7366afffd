// The work database and its tables: what the copy stores, the snapshot of distinct values,
// the updates that change each row once, and the names of the statements' types.

#include "core/helpers.h"
#include "data/ado.h"
#include "data/statements.h"
#include "data/workdb/distinct_texts.h"
#include "data/workdb/text_map.h"
#include "data/workdb/work_table.h"
#include "data/write_back.h"
#include "tests/support/scratch_install.h"
#include "tests/support/scripted_view.h"

#include <limits>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using paradox::Value;

namespace {

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

class WorkDatabase : public ::testing::Test
{
protected:
    testsupport::ScratchInstall install;

    // A work table T with the given columns and rows of texts (a null pointer is a null).
    data::WorkTable makeTable(data::WorkDatabase& db, std::vector<data::WorkColumn> columns,
        std::initializer_list<std::initializer_list<const char16_t*>> rows)
    {
        data::WorkTable table = data::WorkTable::create(db, u"T"_s, std::move(columns));
        for (const auto& row : rows) {
            const paradox::Row values = testsupport::texts(row);
            table.insert(values);
        }
        table.flush();
        return table;
    }

    static QStringList valuesOf(data::WorkTable& table, int column)
    {
        QStringList values;
        for (auto cursor = table.values(column); !cursor->atEnd(); cursor->moveNext())
            values << (cursor->isNull() ? u"<null>"_s : cursor->text());
        return values;
    }
};

TEST_F(WorkDatabase, IsNeverCreatedAndFindsOnlyItsWorkTables)
{
    const QString elsewhere = install.path(u"nowhere"_s);
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    EXPECT_THROW(data::WorkDatabase { elsewhere }, core::Error);
    EXPECT_FALSE(QFileInfo::exists(elsewhere + u"/dbTemp.mdb"_s));

    data::WorkDatabase db(install.appFolder());
    makeTable(db, { { u"A"_s, u"TEXT"_s } }, {});
    data::sqlite::execute(*db.handle(), u"CREATE VIEW ORDERS AS SELECT * FROM T"_s);
    db.rememberSource(u"T"_s, paradox::TableInfo {}, u"run"_s);
    EXPECT_TRUE(data::TableExistsInWorkDb(u"t"_s, install.appFolder()));
    EXPECT_FALSE(data::TableExistsInWorkDb(u"orders"_s, install.appFolder())) << "a view is no table";
    EXPECT_FALSE(data::TableExistsInWorkDb(u"~fieldwright_sources"_s, install.appFolder()));
    db.dropTable(u"t"_s);
    EXPECT_FALSE(db.hasTable(u"T"_s));
    EXPECT_FALSE(db.source(u"T"_s).has_value()) << "what is kept about a table goes with it";
}

// An installed program (PREFIX/bin beside PREFIX/share/fieldwright) supplies the empty work
// database; each user, the administrator too, works in an own copy in the user's data folder, made
// without a word, locked and set aside when damaged as the one beside a built program is.
TEST_F(WorkDatabase, OfAnInstalledProgramIsEachUsersOwnCopy)
{
    const QString installed = install.path(u"usr/share/fieldwright"_s);
    ASSERT_TRUE(QDir().mkpath(installed));
    ASSERT_TRUE(QFile::copy(install.appFolder() + u"/dbTemp.mdb"_s, installed + u"/dbTemp.mdb"_s));
    ASSERT_TRUE(core::isInstalledFolder(installed + u'/'));
    ASSERT_FALSE(core::isInstalledFolder(install.appFolder()));

    const QString own = core::userDataFolder() + u"/dbTemp.mdb"_s;
    {
        data::WorkDatabase db(installed);
        EXPECT_EQ(db.file(), own);
        makeTable(db, { { u"A"_s, u"TEXT"_s } }, { { u"x" } });
        const data::RunLock first(installed);
        EXPECT_EQ(first.problem(), QString());
        EXPECT_TRUE(data::RunLock(installed).problem().contains(u"is in use"_s));
    }
    EXPECT_TRUE(data::TableExistsInWorkDb(u"T"_s, installed));
    EXPECT_EQ(QDir(installed).entryList(QDir::Files | QDir::Hidden), QStringList { u"dbTemp.mdb"_s });
    EXPECT_EQ(QFileInfo(installed + u"/dbTemp.mdb"_s).size(), 0);

    // Another user has a copy of their own.
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(install.path(u"other"_s)));
    EXPECT_FALSE(data::TableExistsInWorkDb(u"T"_s, installed));
    EXPECT_EQ(data::workDatabaseFile(installed), install.path(u"other/Vantorel/Fieldwright/dbTemp.mdb"_s));
    qputenv("XDG_DATA_HOME", dataHome);

    // A damaged copy is set aside beside itself and a fresh one takes its place.
    QFile damaged(own);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, 'x'));
    damaged.close();
    EXPECT_TRUE(data::checkWorkDatabase(installed).contains(u"damaged"_s));
    EXPECT_EQ(QFileInfo(own).size(), 0);
    EXPECT_EQ(QDir(core::userDataFolder()).entryList({ u"dbTemp.mdb.damaged-*"_s }).size(), 1);
}

TEST_F(WorkDatabase, StoresEachValueAsItsQuotedTextWouldBeStored)
{
    data::WorkDatabase db(install.appFolder());
    data::WorkTable table = data::WorkTable::create(db, u"T"_s,
        { { u"N"_s, u"FLOAT"_s }, { u"I"_s, u"INT"_s }, { u"S"_s, u"TEXT"_s }, { u"B"_s, u"TEXT"_s },
            { u"D"_s, u"DATETIME"_s } });
    // Magnitudes at which SQLite's own text conversion misses the nearest double.
    const std::vector<double> numbers { -4.967155202240894e-297, 1.848898959587173e+270, 5e-324, 0.1, -2.25 };
    for (const double number : numbers)
        table.insert(std::vector<Value> {
            number, std::int32_t { -7 }, u"007"_s, QByteArray("\x00\x12", 2), paradox::Date { 738'033 } });
    table.insert(std::vector<Value>(5, paradox::Null {}));
    table.insert(std::vector<Value> {
        paradox::Null {}, paradox::Null {}, QString(), paradox::Null {}, paradox::Null {} });

    data::sqlite::Statement rows(db.handle(), u"SELECT N, typeof(I), S, B, D FROM T ORDER BY fw_record"_s);
    for (const double number : numbers) {
        ASSERT_TRUE(rows.step());
        EXPECT_EQ(sqlite3_value_double(rows.valueAt(0)), number) << paradox::valueText(number).toStdString();
        EXPECT_EQ(rows.textAt(1), u"integer"_s);
        EXPECT_EQ(rows.textAt(2), u"007"_s) << "a text column keeps the leading zeros";
        EXPECT_EQ(rows.textAt(3), u"0x0012"_s) << "bytes keep theirs as 0x hex";
        EXPECT_EQ(rows.textAt(4), u"2021-08-31"_s);
    }
    for (int emptyRow = 0; emptyRow < 2; ++emptyRow) {
        ASSERT_TRUE(rows.step());
        EXPECT_EQ(sqlite3_value_type(rows.valueAt(2)), SQLITE_NULL) << "an empty text is stored as NULL";
    }
}

TEST_F(WorkDatabase, UpdatesChangeEachRowOnceFromASnapshotOfItsValues)
{
    data::WorkDatabase db(install.appFolder());
    data::WorkTable table = makeTable(db, { { u"F"_s, u"TEXT"_s }, { u"G"_s, u"TEXT"_s } },
        { { u"abc", u"1" }, { u"bc", u"2" }, { nullptr, u"3" }, { u"c", u"4" }, { u"abc", u"5" } });
    ASSERT_EQ(table.snapshotDistinctValues(0), 4);
    // In the order of the records that first hold them, each with its number of records.
    const std::vector<std::pair<QString, std::int64_t>> expected { { u"abc"_s, 2 }, { u"bc"_s, 1 },
        { QString(), 1 }, { u"c"_s, 1 } };
    for (std::int64_t i = 0; i < 4; ++i) {
        const data::DistinctValue value = table.distinctValue(i);
        EXPECT_EQ(value.text, expected[static_cast<std::size_t>(i)].first);
        EXPECT_EQ(value.rows, expected[static_cast<std::size_t>(i)].second);
        EXPECT_EQ(value.isNull, i == 2);
    }
    EXPECT_THROW(table.distinctValue(4), core::Error);

    // Removing the first character: abc -> bc must not go on to c, nor bc -> c to "".
    EXPECT_EQ(table.update(0, u"bc"_s).rowsChanged, 2);
    EXPECT_EQ(table.update(1, u"c"_s).rowsChanged, 1);
    EXPECT_EQ(table.update(2, QString()).rowsChanged, 1);
    EXPECT_EQ(table.update(3, u""_s).rowsChanged, 1);
    EXPECT_EQ(valuesOf(table, 0), (QStringList { u"bc"_s, u"c"_s, u""_s, u""_s, u"bc"_s }));
    EXPECT_EQ(valuesOf(table, 1), (QStringList { u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s }));

    // A second round over a new snapshot changes rows again, once more each.
    ASSERT_EQ(table.snapshotDistinctValues(0), 3);
    EXPECT_EQ(table.update(0, u"c"_s).rowsChanged, 2);
    EXPECT_EQ(table.update(1, u"c"_s).rowsChanged, 0) << "an unchanged text changes no row";
    table.applyUpdates();
    EXPECT_EQ(valuesOf(table, 0), (QStringList { u"c"_s, u"c"_s, u""_s, u""_s, u"c"_s }));
}

// The run applies its updates in batches: a row changed in an earlier batch is left alone by
// a later one that now matches it, in text and in number columns, and however many batches.
TEST_F(WorkDatabase, EachRowChangesOnceAcrossBatchesOfUpdates)
{
    data::WorkDatabase db(install.appFolder());
    data::WorkTable text
        = makeTable(db, { { u"F"_s, u"TEXT"_s } }, { { u"aab" }, { u"ab" }, { u"b" }, { u"ab" } });
    ASSERT_EQ(text.snapshotDistinctValues(0), 3);
    for (std::int64_t i = 0; i < 3; ++i) {
        const QString value = text.distinctValue(i).text;
        text.update(i, value.mid(1));
        text.applyUpdates();
    }
    EXPECT_EQ(valuesOf(text, 0), (QStringList { u"ab"_s, u"b"_s, u""_s, u"b"_s }));

    data::WorkTable numbers = data::WorkTable::create(db, u"N"_s, { { u"N"_s, u"FLOAT"_s } });
    for (const double number : { 1.0, 2.0, 3.0, 2.0 })
        numbers.insert(std::vector<Value> { number });
    numbers.flush();
    ASSERT_EQ(numbers.snapshotDistinctValues(0), 3);
    // 1 -> 2, then 2 -> 3, then 3 -> 4, each in a batch of its own: every row moves up by one.
    for (std::int64_t i = 0; i < 3; ++i) {
        numbers.update(i, QString::number(i + 2));
        if (i != 1)
            numbers.applyUpdates();
    }
    EXPECT_EQ(valuesOf(numbers, 0), (QStringList { u"2"_s, u"3"_s, u"4"_s, u"3"_s }));
}

// A text column is changed a stretch of rows at a time: across the stretches' ends no row is
// skipped or changed twice, and the changes read back once each, in record order.
TEST_F(WorkDatabase, TextUpdatesOfManyRowsChangeEachOnceAndReadBackInOrder)
{
    data::WorkDatabase db(install.appFolder());
    data::WorkTable table = data::WorkTable::create(db, u"T"_s, { { u"F"_s, u"TEXT"_s } });
    constexpr int kRows = 20'000;
    db.beginTransaction();
    for (int i = 0; i < kRows; ++i)
        table.insert(std::vector<Value> { i % 2 == 0 ? u"a"_s : u"b"_s });
    table.flush();
    db.commitTransaction();
    ASSERT_EQ(table.snapshotDistinctValues(0), 2);
    table.update(0, u"b"_s);
    table.applyUpdates();
    table.update(1, u"c"_s);
    table.applyUpdates();
    const QStringList values = valuesOf(table, 0);
    ASSERT_EQ(values.size(), kRows);
    for (int i = 0; i < kRows; ++i)
        ASSERT_EQ(values[i], i % 2 == 0 ? u"b"_s : u"c"_s) << "row " << i;

    EXPECT_EQ(table.changedRecords(0), kRows);
    std::int64_t next = 0;
    for (const auto changes = table.changes(0); changes->next(); ++next)
        ASSERT_EQ(changes->record(), next);
    EXPECT_EQ(next, kRows);
}

// Enough texts that many share a first slot: each finds its own new text, an empty text and a
// null are told apart, and a text that was never noted (or only begins like one) finds none.
TEST(TextMap, FindsTheNewTextOfEachOldText)
{
    data::TextMap map;
    constexpr int kTexts = 50'000;
    map.reserve(kTexts, 0);
    for (int i = 0; i < kTexts; ++i)
        map.insert(u"old %1"_s.arg(i), i % 7 == 0, i % 5 == 0 ? QString() : u"new %1"_s.arg(i));
    map.insert(QString(), false, u"was empty"_s);
    map.index();
    data::TextMap::NewText found;
    for (int i = 0; i < kTexts; ++i) {
        const QString old = u"old %1"_s.arg(i);
        ASSERT_TRUE(map.find(std::u16string_view(reinterpret_cast<const char16_t*>(old.utf16()),
                                 static_cast<std::size_t>(old.size())),
            &found))
            << i;
        EXPECT_EQ(found.isNull, i % 7 == 0) << i;
        EXPECT_EQ(found.text, i % 5 == 0 ? QString() : u"new %1"_s.arg(i)) << i;
    }
    ASSERT_TRUE(map.find(std::u16string_view(), &found));
    EXPECT_EQ(found.text, u"was empty"_s);
    EXPECT_FALSE(map.find(u"old 50000", &found));
    EXPECT_FALSE(map.find(u"old", &found));
}

// Enough values to rehash many times: each keeps the place of its first row and counts its
// rows; an empty text, the null and texts that only begin alike are told apart; and a limit
// stops the counting rather than letting the values grow past it.
TEST(DistinctTexts, GroupsInTheOrderOfTheFirstRowsUpToTheLimit)
{
    data::DistinctTexts groups;
    constexpr int kValues = 30'000;
    const auto view = [](const QString& text) {
        return std::u16string_view(
            reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
    };
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < kValues; ++i) {
            if (i == 5) {
                ASSERT_TRUE(groups.addNull());
            }
            if (round == 0 || i % 3 == 0) {
                ASSERT_TRUE(groups.add(view(u"v%1"_s.arg(i))));
            }
        }
        ASSERT_TRUE(groups.add(std::u16string_view()));
    }
    ASSERT_EQ(groups.size(), std::size_t { kValues + 2 });
    for (int i = 0; i < kValues; ++i) {
        const std::size_t at = static_cast<std::size_t>(i < 5 ? i : i + 1);
        const data::DistinctTexts::Group group = groups.at(at);
        ASSERT_FALSE(group.isNull) << i;
        ASSERT_EQ(QStringView(group.text.data(), static_cast<qsizetype>(group.text.size())), u"v%1"_s.arg(i));
        ASSERT_EQ(group.rows, i % 3 == 0 ? 3 : 1) << i;
    }
    EXPECT_TRUE(groups.at(5).isNull);
    EXPECT_EQ(groups.at(5).rows, 3);
    EXPECT_FALSE(groups.at(kValues + 1).isNull) << "an empty text is no null";
    EXPECT_TRUE(groups.at(kValues + 1).text.empty());
    EXPECT_EQ(groups.at(kValues + 1).rows, 3);

    data::DistinctTexts limited(64 * 1024);
    int added = 0;
    while (added < kValues && limited.add(view(u"a longer value, number %1"_s.arg(added))))
        ++added;
    EXPECT_LT(added, kValues) << "the limit was never reached";
    EXPECT_EQ(limited.size(), std::size_t(added));
    EXPECT_TRUE(limited.add(view(u"a longer value, number 0"_s))) << "a value it holds is still counted";
}

TEST_F(WorkDatabase, NumbersAreMatchedAndStoredAsTheirTexts)
{
    data::WorkDatabase db(install.appFolder());
    data::WorkTable table = data::WorkTable::create(db, u"T"_s, { { u"N"_s, u"FLOAT"_s } });
    for (const double number : { 1.5, 2.0, 1.5 })
        table.insert(std::vector<Value> { number });
    table.flush();
    ASSERT_EQ(table.snapshotDistinctValues(0), 2);
    EXPECT_EQ(table.distinctValue(0).text, u"1.5"_s);
    EXPECT_EQ(table.update(0, u"15"_s).rowsChanged, 2);
    EXPECT_EQ(valuesOf(table, 0), (QStringList { u"15"_s, u"2"_s, u"15"_s }));
}

} // namespace
