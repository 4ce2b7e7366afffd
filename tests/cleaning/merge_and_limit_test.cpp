// Runs of the operations after the 27 on tables of several code pages, merges and limited runs,
// all through the copy, the work database and the write-back, on tables of our own.

#include "cleaning/change_preview.h"
#include "cleaning/change_run.h"
#include "cleaning/merge_run.h"
#include "cleaning/operation_catalogue.h"
#include "data/backup_restore.h"
#include "data/backups/backups.h"
#include "tests/data/paradox/keys_support.h"
#include "tests/support/scratch_install.h"
#include "tests/support/scripted_view.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using paradox::Row;
using Outcome = cleaning::ChangeRunResult::Outcome;

namespace {

class MoreRuns : public ::testing::Test
{
protected:
    testsupport::ScratchInstall install;
    core::PlainFolderBox folderBox { install.paradoxFolder() };
    testsupport::ScriptedView view;

    cleaning::RunPlaces places() { return { folderBox, install.appFolder(), install.backupRoot() }; }
    QString file(const QString& name) const { return install.paradoxFolder() + u'/' + name; }

    cleaning::ChangeRunResult run(
        const QString& table, const QString& field, int operation, const cleaning::RecordLimit& limit = {})
    {
        view.table = table;
        view.field = field;
        view.operation = cleaning::operationAt(operation)->captionText();
        view.messages.clear();
        return cleaning::PushButton1_Click(view, places(), limit);
    }

    cleaning::ChangeRunResult merge(const QString& table, const QString& field,
        const QList<cleaning::MergeRequest>& merges, const cleaning::RecordLimit& limit = {})
    {
        view.table = table;
        view.field = field;
        view.operation = u"not read by a merge"_s;
        view.messages.clear();
        return cleaning::mergeValues(view, places(), merges, limit);
    }
};

// Each code page's own letters through case, accents and punctuation; a new text the code page
// lacks leaves its value alone and the others change.
TEST_F(MoreRuns, NewOperationsOnTextInFourCodePages)
{
    struct Column
    {
        int operation;
        QStringList values;
        QStringList expected; // the value itself where the new text is rejected
        int rejected;
    };
    struct Table
    {
        int codePage;
        std::vector<Column> columns;
    };
    const std::vector<Table> tables {
        { 1252,
            { { 28, { u"élan vital"_s, u"straße"_s, u"µ"_s }, { u"ÉLAN VITAL"_s, u"STRASSE"_s, u"µ"_s }, 1 },
                { 30, { u"élan vital"_s, u"straße"_s, u"ÿ"_s }, { u"Élan Vital"_s, u"Straße"_s, u"Ÿ"_s }, 0 },
                { 34, { u"Crème Brûlée"_s, u"straße"_s, u"Æ"_s },
                    { u"Creme Brulee"_s, u"strasse"_s, u"AE"_s }, 0 },
                { 32, { u"Zürich, 8001!"_s, u"«a»"_s, u"x"_s }, { u"Zürich 8001"_s, u"a"_s, u"x"_s }, 0 } } },
        { 850,
            { { 28, { u"élan vital"_s, u"straße"_s, u"ÿ"_s }, { u"ÉLAN VITAL"_s, u"STRASSE"_s, u"ÿ"_s }, 1 },
                { 29, { u"ÉLAN VITAL"_s, u"STRAßE"_s, u"x"_s }, { u"élan vital"_s, u"straße"_s, u"x"_s }, 0 },
                { 34, { u"Crème Brûlée"_s, u"ß"_s, u"Ø"_s }, { u"Creme Brulee"_s, u"ss"_s, u"O"_s }, 0 },
                { 32, { u"Zürich, 8001!"_s, u"½ü"_s, u"x"_s }, { u"Zürich 8001"_s, u"½ü"_s, u"x"_s }, 0 } } },
        { 866,
            { { 28, { u"ёлка"_s, u"щука"_s, u"x"_s }, { u"ЁЛКА"_s, u"ЩУКА"_s, u"X"_s }, 0 },
                { 30, { u"ЁЛКА МОРЕ"_s, u"x"_s, u"y"_s }, { u"Ёлка Море"_s, u"X"_s, u"Y"_s }, 0 },
                { 34, { u"Ёлка"_s, u"Й"_s, u"x"_s }, { u"Елка"_s, u"И"_s, u"x"_s }, 0 },
                { 32, { u"Москва, 1!"_s, u"x"_s, u"y"_s }, { u"Москва 1"_s, u"x"_s, u"y"_s }, 0 } } },
        { 932,
            { { 28, { u"ｅｌａｎ"_s, u"ёлка"_s, u"東京"_s }, { u"ＥＬＡＮ"_s, u"ЁЛКА"_s, u"東京"_s }, 0 },
                { 29, { u"ΟΔΟΣ"_s, u"ΑΒ"_s, u"x"_s }, { u"ΟΔΟΣ"_s, u"αβ"_s, u"x"_s }, 1 },
                { 34, { u"Ёлка"_s, u"ガス"_s, u"x"_s }, { u"Елка"_s, u"ガス"_s, u"x"_s }, 0 },
                { 32, { u"東京・大阪（本社）"_s, u"x"_s, u"y"_s }, { u"東京大阪本社"_s, u"x"_s, u"y"_s },
                    0 } } },
    };
    for (const Table& table : tables) {
        const QString name = u"CP%1"_s.arg(table.codePage);
        std::vector<paradox::Field> fields;
        std::vector<Row> rows(3);
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            fields.push_back(testsupport::alphaField(u"F%1"_s.arg(c), 40));
            for (std::size_t r = 0; r < rows.size(); ++r)
                rows[r].push_back(table.columns[c].values[static_cast<qsizetype>(r)]);
        }
        install.writeTable(name, fields, rows, table.codePage);
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            const Column& column = table.columns[c];
            const auto result = run(name, fields[c].name, column.operation);
            SCOPED_TRACE(testing::Message() << table.codePage << " operation " << column.operation);
            EXPECT_EQ(result.outcome, Outcome::WrittenBack) << result.problem.toStdString();
            EXPECT_EQ(result.valuesRejected, column.rejected);
            EXPECT_EQ(install.column(name, static_cast<int>(c)), column.expected);
        }
    }
    // Each value left alone is reported, by itself, as the 27's are.
    ASSERT_EQ(view.reports.size(), 3);
    EXPECT_TRUE(view.reports[0].contains(u"'Μ' (U+039c) has no place in code page 1252"_s));
    EXPECT_TRUE(view.reports[2].contains(u"'ς' (U+03c2) has no place in code page 932"_s));
}

// A mistyped pattern is said before the copy: the work database never sees the table.
TEST_F(MoreRuns, ABadPatternIsRefusedBeforeAnythingIsCopied)
{
    install.writeTable(u"T"_s, { testsupport::alphaField(u"Name"_s) }, { testsupport::texts({ u"a" }) });
    const QByteArray workBefore = install.fingerprint(install.appFolder());
    const QByteArray before = install.fingerprint();
    view.answers = { u"[a-"_s, u"x"_s };
    const auto result = run(u"T"_s, u"Name"_s, 36);
    EXPECT_TRUE(result.wasAbandoned);
    EXPECT_EQ(result.recordCount, 0) << "nothing was copied";
    ASSERT_EQ(view.messages.size(), 2);
    EXPECT_TRUE(view.messages[0].startsWith(u"The pattern \"[a-\" is not a valid regular expression"_s));
    EXPECT_TRUE(view.messages[1].contains(u"abandoned"_s));
    EXPECT_EQ(install.fingerprint(install.appFolder()), workBefore);
    EXPECT_EQ(install.fingerprint(), before);
}

// A merge writes back only the records it changed, keeps the key and its index, notes what it
// merged into what, and one restore takes the table back byte for byte.
TEST_F(MoreRuns, AMergeWritesBackOnlyItsRecordsAndOneRestoreUndoesIt)
{
    keystest::KeyedTableRecipe recipe;
    recipe.folder = install.paradoxFolder();
    recipe.name = u"K"_s;
    recipe.fields = { testsupport::alphaField(u"Code"_s, 8), testsupport::alphaField(u"Company"_s, 20) };
    recipe.rows = { { u"a1"_s, u"Acme Inc."_s }, { u"a2"_s, u"ACME inc"_s }, { u"a3"_s, u"Bolt Ltd"_s },
        { u"a4"_s, paradox::Null {} }, { u"a5"_s, u"Acme, Inc"_s }, { u"a6"_s, u"Acme Inc."_s },
        { u"a7"_s, u"Cog GmbH"_s }, { u"a8"_s, u"Bolt Ltd"_s } };
    ASSERT_EQ(keystest::writeKeyedTable(recipe), QString());
    ASSERT_EQ(keystest::buildIndexes(file(u"K.DB"_s)), QString());
    const auto original = keystest::snapshot(install.paradoxFolder());
    const auto recordsBefore = keystest::chainRecords(file(u"K.DB"_s));

    const QList<cleaning::MergeRequest> merges { { { u"ACME inc"_s, u"Acme Inc."_s, u"Acme, Inc"_s },
                                                     u"Acme, Inc."_s },
        { { std::nullopt }, u"(unknown)"_s } };
    std::vector<cleaning::ValueChange> previewed;
    view.table = u"K"_s;
    view.field = u"Company"_s;
    const auto preview = cleaning::previewMerge(
        view, places(), merges, [&](const cleaning::ValueChange& change) { previewed.push_back(change); });
    EXPECT_EQ(preview.recordsChanged, 5);
    ASSERT_EQ(previewed.size(), 4u);
    EXPECT_EQ(keystest::snapshot(install.paradoxFolder()), original) << "a preview writes nothing";

    const auto result = merge(u"K"_s, u"Company"_s, merges);
    ASSERT_EQ(result.outcome, Outcome::WrittenBack) << result.problem.toStdString();
    EXPECT_EQ(result.recordsChanged, 5);
    EXPECT_EQ(view.messages.last(),
        u"Done.\r\n5 of the table's 8 records changed. The previous version is kept in %1."_s.arg(
            data::shownBackupFolder(result.backupFolder)));
    EXPECT_EQ(install.column(u"K"_s, 1),
        (QStringList { u"Acme, Inc."_s, u"Acme, Inc."_s, u"Bolt Ltd"_s, u"(unknown)"_s, u"Acme, Inc."_s,
            u"Acme, Inc."_s, u"Cog GmbH"_s, u"Bolt Ltd"_s }));
    // Every byte of the folder is as it was but those of the records the merge changed.
    const auto recordsAfter = keystest::chainRecords(file(u"K.DB"_s));
    ASSERT_EQ(recordsAfter.size(), recordsBefore.size());
    const auto merged = keystest::snapshot(install.paradoxFolder());
    QByteArray expected = original.at(u"K.DB"_s);
    for (std::size_t i = 0; i < recordsBefore.size(); ++i) {
        EXPECT_EQ(recordsAfter[i] != recordsBefore[i], i != 2 && i < 6) << "record " << i;
        const qsizetype at = expected.indexOf(recordsBefore[i]);
        ASSERT_GE(at, 0);
        expected.replace(at, recordsAfter[i].size(), recordsAfter[i]);
    }
    EXPECT_EQ(merged.at(u"K.DB"_s), expected);
    for (const auto& [name, bytes] : original) {
        if (!name.endsWith(u".DB"_s)) {
            EXPECT_EQ(merged.at(name), bytes) << name.toStdString();
        }
    }
    EXPECT_EQ(keystest::verifyTree(file(u"K.PX"_s), file(u"K.DB"_s)), QString());

    const auto kept = data::listBackups(install.backupRoot(), install.paradoxFolder(), u"K"_s);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].note.operation, u"Merge Values"_s);
    EXPECT_EQ(kept[0].note.answers,
        (QStringList { u"\"ACME inc\", \"Acme Inc.\", \"Acme, Inc\" into \"Acme, Inc.\""_s,
            u"(null) into \"(unknown)\""_s }));
    const auto restored
        = data::restoreBackup(install.paradoxFolder(), u"K"_s, kept[0].id, install.backupRoot());
    ASSERT_TRUE(restored.isRestored) << restored.problem.toStdString();
    EXPECT_EQ(keystest::snapshot(install.paradoxFolder()), original);
    EXPECT_TRUE(view.reports.isEmpty()) << view.reports.join(u'\n').toStdString();
}

// A limit keeps a run, and a merge, to the records of the values it takes in, and says how
// many those were; the preview counts alike.
TEST_F(MoreRuns, ALimitedRunChangesOnlyTheRecordsItTakesIn)
{
    install.writeTable(u"P"_s, { testsupport::alphaField(u"Name"_s) },
        { testsupport::texts({ u"ann lee" }), testsupport::texts({ u"bo ek" }),
            testsupport::texts({ u"ann lee" }), testsupport::texts({ nullptr }),
            testsupport::texts({ u"cy ax" }) });
    const cleaning::RecordLimit limit { { u"bo ek"_s, std::nullopt }, u"^a"_s };
    std::int64_t previewed = 0;
    view.table = u"P"_s;
    view.field = u"Name"_s;
    view.operation = cleaning::operationAt(28)->captionText();
    const auto preview = cleaning::previewChange(
        view, places(), [&](const cleaning::ValueChange& change) { previewed += change.records; }, limit);
    EXPECT_EQ(preview.recordsInLimit, 4);
    EXPECT_EQ(previewed, 3);
    EXPECT_TRUE(cleaning::outcomeLine(preview).endsWith(u" The limit took in 4 of the table's 5 records."_s))
        << cleaning::outcomeLine(preview).toStdString();

    auto result = run(u"P"_s, u"Name"_s, 28, limit);
    ASSERT_EQ(result.outcome, Outcome::WrittenBack) << result.problem.toStdString();
    EXPECT_EQ(result.recordsInLimit, 4);
    EXPECT_EQ(result.recordsChanged, 3);
    EXPECT_EQ(install.column(u"P"_s),
        (QStringList { u"ANN LEE"_s, u"BO EK"_s, u"ANN LEE"_s, u"<null>"_s, u"cy ax"_s }));
    EXPECT_TRUE(view.messages.last().contains(u"The limit took in 4 of the table's 5 records."_s));

    result = merge(u"P"_s, u"Name"_s, { { { u"ANN LEE"_s, u"cy ax"_s }, u"Ann Lee"_s } }, { {}, u"^c"_s });
    EXPECT_EQ(result.recordsInLimit, 1);
    EXPECT_EQ(install.column(u"P"_s),
        (QStringList { u"ANN LEE"_s, u"BO EK"_s, u"ANN LEE"_s, u"<null>"_s, u"Ann Lee"_s }));
    // A merge's text the field cannot hold leaves that value alone, as an operation's does.
    result
        = merge(u"P"_s, u"Name"_s, { { { u"BO EK"_s }, QString(41, u'x') }, { { std::nullopt }, u"-"_s } });
    EXPECT_EQ(result.valuesRejected, 1);
    EXPECT_EQ(install.column(u"P"_s),
        (QStringList { u"ANN LEE"_s, u"BO EK"_s, u"ANN LEE"_s, u"-"_s, u"Ann Lee"_s }));
    const auto kept = data::listBackups(install.backupRoot(), install.paradoxFolder(), u"P"_s);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_TRUE(kept[1].note.answers.contains(u"Only the records of the values matching ^c"_s))
        << kept[1].note.answers.join(u" | "_s).toStdString();
}

} // namespace
