#include "cleaning/change_preview.h"
#include "cleaning/change_run.h"
#include "cleaning/operation_catalogue.h"
#include "data/backups/backups.h"
#include "data/statements.h"
#include "data/workdb/work_database.h"
#include "tests/support/scratch_install.h"
#include "tests/support/scripted_view.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <tuple>
#include <unistd.h>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::Row;
using testsupport::texts;

namespace {

class ChangeRunTest : public ::testing::Test
{
protected:
    testsupport::ScratchInstall install;
    core::PlainFolderBox folderBox { install.paradoxFolder() };
    testsupport::ScriptedView view;
    QStringList statements;
    // The scratch installation gives the run a data folder of its own.
    void SetUp() override
    {
        data::setStatementObserver([this](const QString& sql) { statements << sql; });
    }
    void TearDown() override { data::setStatementObserver({}); }

    cleaning::RunPlaces places() { return { folderBox, install.appFolder(), install.backupRoot() }; }

    void makeTable(const QString& name, const std::vector<Field>& fields, const std::vector<Row>& rows,
        int codePage = 1252)
    {
        install.writeTable(name, fields, rows, codePage);
    }
    QStringList column(const QString& name, int index = 0) { return install.column(name, index); }
    QByteArray folderFingerprint() { return install.fingerprint(); }

    QStringList updates() const
    {
        QStringList result;
        for (const QString& sql : statements) {
            if (sql.startsWith(u"update "_s))
                result << sql;
        }
        return result;
    }

    // The bar's values from the first value of the change loop to the reset after it.
    QList<double> loopProgress() const
    {
        QList<double> values;
        bool isInLoop = false;
        for (const QString& entry : view.log) {
            if (entry.startsWith(u"bar text "_s))
                isInLoop = entry.startsWith(u"bar text Changing"_s)
                    || (isInLoop && entry == u"bar text Progress Bar"_s);
            if (isInLoop && entry.startsWith(u"progress "_s))
                values << entry.mid(9).toDouble();
            if (entry == u"bar text Progress Bar"_s)
                isInLoop = false;
        }
        return values;
    }

    cleaning::ChangeRunResult run(const QString& table, const QString& field, int operation)
    {
        view.table = table;
        view.field = field;
        view.operation = cleaning::operations()[static_cast<std::size_t>(operation - 1)].captionText();
        return cleaning::PushButton1_Click(view, places());
    }
};

Field alpha(const QString& name, int size = 40)
{
    return testsupport::alphaField(name, size);
}

TEST_F(ChangeRunTest, EmptyFieldListSaysSoAndDoesNothingElse)
{
    makeTable(u"ORDERS"_s, { alpha(u"City"_s) }, { texts({ u"a b" }) });
    const QByteArray before = folderFingerprint();
    view.fields = 0;
    const auto result = run(u"ORDERS"_s, QString(), 1);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::NoFields);
    EXPECT_EQ(view.log, QStringList { u"message Please select a field."_s });
    EXPECT_TRUE(statements.isEmpty());
    EXPECT_EQ(folderFingerprint(), before);
}

TEST_F(ChangeRunTest, OrdersCityStatementsAreExactAndTheTableIsWrittenBack)
{
    makeTable(u"Orders"_s, { alpha(u"City"_s), alpha(u"Note"_s) },
        { texts({ u"New York", u"x" }), texts({ nullptr, u"y" }), texts({ u"O'Neil  Town", u"z" }),
            texts({ u"New York", u"w" }) });
    view.answers = { u"_"_s };
    const auto result = run(u"Orders"_s, u"City"_s, 2);
    ASSERT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack)
        << result.problem.toStdString();
    EXPECT_TRUE(view.reports.isEmpty()) << view.reports.join(u'\n').toStdString();
    EXPECT_TRUE(updates().contains(u"update Orders set City='' where City is null "_s))
        << updates().join(u'\n').toStdString();
    EXPECT_TRUE(updates().contains(u"update Orders set City='New_York' where City='New York'"_s));
    EXPECT_TRUE(updates().contains(u"update Orders set City='O''Neil__Town' where City='O''Neil  Town'"_s));
    EXPECT_EQ(updates().size(), 3);
    const QString kept = QDir::toNativeSeparators(result.backupFolder);
    EXPECT_EQ(view.messages,
        QStringList { u"Done.\r\n3 of the table's 4 records changed. The previous version is kept in "_s
            + kept + u'.' });
    EXPECT_EQ(
        column(u"Orders"_s), (QStringList { u"New_York"_s, u"<null>"_s, u"O'Neil__Town"_s, u"New_York"_s }));
    // The backup says what replaced it, with the answers as typed.
    const auto backups = data::listBackups(install.backupRoot(), install.paradoxFolder(), u"Orders"_s);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].path, result.backupFolder);
    EXPECT_EQ(backups[0].note.field, u"City"_s);
    EXPECT_EQ(backups[0].note.operation, u"Replace All Spaces in Selected Field With..."_s);
    EXPECT_EQ(backups[0].note.answers, QStringList { u"_"_s });
    EXPECT_EQ(backups[0].note.recordsChanged, 3);
    EXPECT_EQ(column(u"Orders"_s, 1), (QStringList { u"x"_s, u"y"_s, u"z"_s, u"w"_s }));
    EXPECT_EQ(view.preview, (QStringList { u"New_York"_s, QString(), u"O'Neil__Town"_s, u"New_York"_s }));
    EXPECT_FALSE(view.isBusy);
}

TEST_F(ChangeRunTest, OperationOneGivesTheDocumentedStatement)
{
    makeTable(u"Orders"_s, { alpha(u"City"_s) }, { texts({ u"New York" }) });
    run(u"Orders"_s, u"City"_s, 1);
    EXPECT_EQ(updates(), QStringList { u"update Orders set City='NewYork' where City='New York'"_s });
    EXPECT_TRUE(view.reports.isEmpty()) << view.reports.join(u'\n').toStdString();
    EXPECT_TRUE(loopProgress() == QList<double> { 0.0 }) << "one value: the bar moves only at the finish";
    EXPECT_EQ(column(u"Orders"_s), QStringList { u"NewYork"_s });
}

TEST_F(ChangeRunTest, TheBarSaysWhatTheRunDoesAndEndsAsProgressBar)
{
    makeTable(
        u"T"_s, { alpha(u"F"_s) }, { texts({ u"a" }), texts({ u"b" }), texts({ u"c" }), texts({ u"a" }) });
    run(u"T"_s, u"F"_s, 1);
    EXPECT_TRUE((loopProgress() == QList<double> { 0.0, 50.0, 100.0, 0.0 }));
    const QStringList texts = view.log.filter(u"bar text "_s);
    for (const QString& stage : { u"bar text Copying record 1 of 4"_s, u"bar text Copying record 4 of 4"_s,
             u"bar text Changing value 1 of 3"_s, u"bar text Changing value 3 of 3"_s,
             u"bar text Writing back"_s })
        EXPECT_TRUE(texts.contains(stage)) << stage.toStdString() << "\n" << texts.join(u'\n').toStdString();
    EXPECT_LT(texts.indexOf(u"bar text Copying record 4 of 4"_s),
        texts.indexOf(u"bar text Changing value 1 of 3"_s));
    EXPECT_LT(texts.indexOf(u"bar text Changing value 3 of 3"_s), texts.indexOf(u"bar text Writing back"_s));
    EXPECT_EQ(texts.last(), u"bar text Progress Bar"_s);
    EXPECT_EQ(view.progress.last(), 0.0);
}

TEST_F(ChangeRunTest, TableWithoutRowsAsksNothingAndIsWrittenBack)
{
    makeTable(u"EMPTY"_s, { alpha(u"F"_s) }, {});
    const auto result = run(u"EMPTY"_s, u"F"_s, 2);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack);
    EXPECT_FALSE(view.log.join(u'\n').contains(u"prompt"_s));
    EXPECT_TRUE(view.preview.isEmpty());
    EXPECT_EQ(view.messages, QStringList { u"Done.\r\nNo record changed, so the table was not written."_s });
    EXPECT_TRUE(column(u"EMPTY"_s).isEmpty());
}

TEST_F(ChangeRunTest, CancelNonNumberAndNothingMatchedSayThatNoRecordChanged)
{
    makeTable(u"T"_s, { alpha(u"F"_s) }, { texts({ u"abc" }), texts({ u" d " }) });
    const QByteArray before = folderFingerprint();
    const QString abandoned
        = u"Done.\r\nThe operation was abandoned: no record changed, so the table was not written."_s;
    view.answers = { QString() };
    auto result = run(u"T"_s, u"F"_s, 24);
    EXPECT_TRUE(result.wasAbandoned);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack);
    EXPECT_EQ(view.messages, QStringList { abandoned });

    view.messages.clear();
    view.answers = { u"1x"_s };
    result = run(u"T"_s, u"F"_s, 24);
    EXPECT_TRUE(result.wasAbandoned);
    EXPECT_EQ(view.messages, (QStringList { u"Must enter number"_s, abandoned }));
    EXPECT_TRUE(updates().isEmpty());
    EXPECT_EQ(view.preview, (QStringList { u"abc"_s, u" d "_s }));

    view.messages.clear();
    view.answers = { u"#"_s };
    result = run(u"T"_s, u"F"_s, 18); // no value holds "#"
    EXPECT_FALSE(result.wasAbandoned);
    EXPECT_EQ(result.recordsChanged, 0);
    EXPECT_EQ(view.messages, QStringList { u"Done.\r\nNo record changed, so the table was not written."_s });
    EXPECT_EQ(folderFingerprint(), before);
    EXPECT_TRUE(data::listBackups(install.backupRoot(), install.paradoxFolder(), u"T"_s).empty());
}

TEST_F(ChangeRunTest, EveryRowEndsWithTheTransformOfItsOwnOldValue)
{
    makeTable(u"T"_s, { alpha(u"F"_s) },
        { texts({ u"abc" }), texts({ u"bc" }), texts({ u"abc" }), texts({ u"c" }) });
    view.answers = { u"1"_s };
    run(u"T"_s, u"F"_s, 24);
    EXPECT_TRUE(view.reports.isEmpty()) << view.reports.join(u'\n').toStdString();
    EXPECT_EQ(column(u"T"_s), (QStringList { u"bc"_s, u"c"_s, u"bc"_s, u"<null>"_s }));
}

TEST_F(ChangeRunTest, FieldAndTableNamesWithSpacesAreCleaned)
{
    makeTable(u"MY TABLE"_s, { alpha(u"First Name"_s), alpha(u"Order"_s) }, { texts({ u" Ann ", u" x " }) });
    run(u"MY TABLE"_s, u"First Name"_s, 3);
    EXPECT_TRUE(view.reports.isEmpty()) << view.reports.join(u'\n').toStdString();
    EXPECT_EQ(
        updates(), QStringList { u"update `MY TABLE` set `First Name`='Ann ' where `First Name`=' Ann '"_s });
    EXPECT_EQ(column(u"MY TABLE"_s), QStringList { u"Ann "_s });

    statements.clear();
    run(u"MY TABLE"_s, u"Order"_s, 4);
    EXPECT_EQ(updates(), QStringList { u"update `MY TABLE` set `Order`=' x' where `Order`=' x '"_s });
    EXPECT_EQ(column(u"MY TABLE"_s, 1), QStringList { u" x"_s });
}

TEST_F(ChangeRunTest, FailedCopyLeavesTheFolderUntouchedAndSaysSo)
{
    makeTable(u"T"_s, { alpha(u"F"_s) }, { texts({ u"a b" }), texts({ u"c d" }) });
    // Cut the table file short: the copy cannot read every record.
    const QString path = paradox::findTableFile(install.paradoxFolder(), u"T"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() - 1));
    file.close();
    const QByteArray before = folderFingerprint();

    const auto result = run(u"T"_s, u"F"_s, 1);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::CopyFailed);
    EXPECT_EQ(folderFingerprint(), before);
    EXPECT_FALSE(view.messages.contains(u"Done."_s));
    ASSERT_FALSE(view.messages.isEmpty());
    EXPECT_TRUE(view.messages.last().contains(u"left unchanged"_s)) << view.messages.last().toStdString();
    EXPECT_TRUE(updates().isEmpty());
    EXPECT_FALSE(view.isBusy);
}

TEST_F(ChangeRunTest, AValueTheFieldCannotHoldIsReportedAndTheOthersChange)
{
    // "€" has no place in code page 437, and "yyyyy" does not fit an Alpha field of 4.
    makeTable(u"T"_s, { alpha(u"F"_s, 4) },
        { texts({ u"a b" }), texts({ u"x" }), texts({ u"yy y" }), texts({ u"a b" }) }, 437);
    view.answers = { u"€"_s };
    auto result = run(u"T"_s, u"F"_s, 2);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack)
        << result.problem.toStdString();
    ASSERT_EQ(view.reports.size(), 2) << view.reports.join(u'\n').toStdString();
    EXPECT_TRUE(view.reports[0].contains(u"has no place in code page 437"_s))
        << view.reports[0].toStdString();
    EXPECT_EQ(view.messages.first(),
        u"Done.\r\nNo record changed, so the table was not written. The field cannot hold the new text of 2 "
        u"values; "
        "their records were left as they were."_s);
    EXPECT_EQ(column(u"T"_s), (QStringList { u"a b"_s, u"x"_s, u"yy y"_s, u"a b"_s }));

    view.reports.clear();
    view.messages.clear();
    view.answers = { u" "_s, u"yy"_s };
    result = run(u"T"_s, u"F"_s, 19); // every space becomes "yy": "yy y" outgrows its field
    ASSERT_EQ(view.reports.size(), 1) << view.log.join(u'\n').toStdString();
    EXPECT_TRUE(view.reports[0].contains(u"the field holds 4"_s)) << view.reports[0].toStdString();
    EXPECT_TRUE(view.messages.first().startsWith(u"Done.\r\n2 of the table's 4 records changed."_s));
    EXPECT_TRUE(view.messages.first().endsWith(
        u"The field cannot hold the new text of 1 value; its records were left "
        "as they were."_s));
    EXPECT_EQ(column(u"T"_s), (QStringList { u"ayyb"_s, u"x"_s, u"yy y"_s, u"ayyb"_s }));
}

TEST_F(ChangeRunTest, FailedWriteBackIsNeverReportedAsDoneAndSaysWhyOnce)
{
    makeTable(u"T"_s, { alpha(u"F"_s) }, { texts({ u"a b" }) });
    // Another program takes the table away while the run pauses.
    view.onPause = [&] { QFile::remove(paradox::findTableFile(install.paradoxFolder(), u"T"_s)); };
    auto result = run(u"T"_s, u"F"_s, 1);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WriteBackFailed);
    ASSERT_EQ(view.messages.size(), 1);
    EXPECT_FALSE(view.messages[0].startsWith(u"Done."_s));
    EXPECT_EQ(view.messages[0].count(u"was not written back"_s), 1) << view.messages[0].toStdString();

    // A Paradox program opens the folder while the run pauses: the refusal is the whole message.
    makeTable(u"T"_s, { alpha(u"F"_s) }, { texts({ u"a b" }) });
    const QByteArray before = folderFingerprint();
    view.messages.clear();
    view.onPause = [&] { QFile(install.paradoxFolder() + u"/PDOXUSRS.LCK"_s).open(QIODevice::WriteOnly); };
    result = run(u"T"_s, u"F"_s, 1);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WriteBackFailed);
    ASSERT_EQ(view.messages.size(), 1);
    EXPECT_EQ(view.messages[0], result.problem);
    EXPECT_EQ(view.messages[0].count(u"The table T "_s), 1) << view.messages[0].toStdString();
    QFile::remove(install.paradoxFolder() + u"/PDOXUSRS.LCK"_s);
    EXPECT_EQ(folderFingerprint(), before);
}

TEST_F(ChangeRunTest, SecondStartDuringAYieldIsIgnoredAndSelectionIsTakenOnce)
{
    makeTable(u"T"_s, { alpha(u"F"_s) }, { texts({ u"a b" }) });
    makeTable(u"U"_s, { alpha(u"F"_s) }, { texts({ u"c d" }) });
    cleaning::ChangeRunResult inner;
    view.onPause = [&] {
        view.table = u"U"_s; // the user clicks another table during the pause...
        inner = cleaning::PushButton1_Click(view, places()); // ...and presses Start again
    };
    view.table = u"T"_s;
    view.field = u"F"_s;
    view.operation = cleaning::operations()[0].captionText();
    const auto result = cleaning::PushButton1_Click(view, places());
    EXPECT_EQ(inner.outcome, cleaning::ChangeRunResult::Outcome::AlreadyRunning);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack);
    EXPECT_EQ(column(u"T"_s), QStringList { u"ab"_s });
    EXPECT_EQ(column(u"U"_s), QStringList { u"c d"_s });
}

TEST_F(ChangeRunTest, SwitchingTheFolderDuringARunKeepsTheWriteBackWhereTheCopyCameFrom)
{
    makeTable(u"T"_s, { alpha(u"F"_s) }, { texts({ u"a b" }) });
    testsupport::ScratchInstall other;
    other.writeTable(u"T"_s, { alpha(u"F"_s) }, { texts({ u"x y" }), texts({ u"z w" }) });
    const QByteArray otherBefore = other.fingerprint();
    view.onPause = [&] { folderBox.setText(other.paradoxFolder()); };
    const auto result = run(u"T"_s, u"F"_s, 1);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack)
        << result.problem.toStdString();
    EXPECT_EQ(column(u"T"_s), QStringList { u"ab"_s });
    EXPECT_EQ(other.fingerprint(), otherBefore);
}

TEST_F(ChangeRunTest, ClosingTheWindowDuringARunWritesNothingBack)
{
    makeTable(u"T"_s, { alpha(u"F"_s) }, { texts({ u"a b" }), texts({ u"c d" }) });
    const QByteArray before = folderFingerprint();
    view.onPause = [&] { view.closing = true; };
    const auto result = run(u"T"_s, u"F"_s, 1);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::Closed);
    EXPECT_EQ(folderFingerprint(), before);
    EXPECT_TRUE(view.messages.isEmpty());
}

TEST_F(ChangeRunTest, AStopBeforeTheWriteBackKeepsNothingAndTheNextRunIsNotStopped)
{
    std::vector<Row> rows;
    for (int i = 0; i < 700; ++i)
        rows.push_back({ paradox::Value(u"value %1"_s.arg(i)) });
    makeTable(u"T"_s, { alpha(u"F"_s) }, rows);
    const QByteArray before = folderFingerprint();
    // At the second pause 501 updates are held in the work table's open transaction.
    int pauses = 0;
    view.onPause = [&] {
        if (++pauses == 2 && view.isStoppable)
            view.stopRequested = true;
    };
    const auto stopped = run(u"T"_s, u"F"_s, 1);
    EXPECT_EQ(stopped.outcome, cleaning::ChangeRunResult::Outcome::Stopped);
    EXPECT_EQ(folderFingerprint(), before);
    EXPECT_EQ(view.messages,
        QStringList {
            u"Stopped.\r\nNothing was written to the table T, and no previous version was kept."_s });
    EXPECT_TRUE(view.reports.isEmpty()) << view.reports.join(u'\n').toStdString();
    EXPECT_FALSE(view.isStoppable);
    EXPECT_FALSE(data::WorkDatabase(install.appFolder()).hasTable(u"T"_s));
    EXPECT_TRUE(data::listBackups(install.backupRoot(), install.paradoxFolder(), u"T"_s).empty());

    view.onPause = {};
    const auto next = run(u"T"_s, u"F"_s, 1);
    EXPECT_EQ(next.outcome, cleaning::ChangeRunResult::Outcome::WrittenBack);
    EXPECT_EQ(next.recordsChanged, 700);
    EXPECT_FALSE(view.isStoppable);
}

TEST_F(ChangeRunTest, ACountNoValueCanTakeIsReportedOnceAndChangesNothing)
{
    std::vector<Row> rows { texts({ nullptr }) };
    for (int i = 0; i < 600; ++i)
        rows.push_back({ paradox::Value(u"value %1"_s.arg(i)) });
    makeTable(u"T"_s, { alpha(u"F"_s) }, rows);
    const QByteArray before = folderFingerprint();
    for (const auto& [operation, answer, line] :
        { std::tuple { 24, u"-3"_s, 610 }, std::tuple { 25, u"40000"_s, 638 } }) {
        view.reports.clear();
        view.messages.clear();
        view.answers = { answer };
        const auto result = run(u"T"_s, u"F"_s, operation);
        EXPECT_TRUE(result.wasAbandoned);
        ASSERT_EQ(view.reports.size(), 1) << view.reports.join(u'\n').toStdString();
        EXPECT_TRUE(view.reports[0].contains(
            u"in Tidewell2021/08/31.Form2.PushButton1_Click at line %1\r"_s.arg(line)))
            << view.reports[0].toStdString();
        EXPECT_EQ(view.messages,
            QStringList {
                u"Done.\r\nThe operation was abandoned: no record changed, so the table was not written."_s });
        EXPECT_TRUE(updates().isEmpty());
        EXPECT_EQ(folderFingerprint(), before);
    }
}

TEST_F(ChangeRunTest, APreviewWritesNothingAndPromisesWhatTheRunThenDoes)
{
    // "€" has no place in code page 437: the value that would take it is rejected.
    const QStringList values { u"a b"_s, u"<null>"_s, u"ab"_s, u"x y z"_s, u"a b"_s, u"€"_s, u"  "_s,
        u"a b"_s };
    std::vector<Row> rows;
    for (const QString& value : values)
        rows.push_back({ value == u"<null>"_s ? paradox::Value(paradox::Null {}) : paradox::Value(value),
            paradox::Value(u"other"_s) });
    makeTable(u"T"_s, { alpha(u"F"_s, 5), alpha(u"G"_s) }, rows, 1252);
    const QByteArray before = folderFingerprint();

    std::vector<cleaning::ValueChange> changes;
    view.table = u"T"_s;
    view.field = u"F"_s;
    view.operation = cleaning::operations()[1].captionText(); // Replace All Spaces ... With...
    view.answers = { u"__"_s };
    const auto preview = cleaning::previewChange(
        view, places(), [&](const cleaning::ValueChange& change) { changes.push_back(change); });
    ASSERT_EQ(preview.outcome, cleaning::ChangeRunResult::Outcome::Previewed)
        << preview.problem.toStdString();
    EXPECT_EQ(view.log.filter(u"prompt "_s), QStringList { u"prompt Replace With:"_s });
    EXPECT_TRUE(view.messages.isEmpty()) << view.messages.join(u'\n').toStdString();
    EXPECT_TRUE(updates().isEmpty());
    EXPECT_EQ(folderFingerprint(), before);
    EXPECT_FALSE(data::TableExistsInWorkDb(u"T"_s, install.appFolder())) << "the work table is gone again";
    EXPECT_FALSE(QFileInfo::exists(install.backupRoot()));
    EXPECT_EQ(view.log.filter(u"bar text "_s).last(), u"bar text Progress Bar"_s);

    // Old, new, records; the one value the field cannot hold ("x__y__z" is too long) stays.
    QStringList told;
    for (const auto& change : changes)
        told << u"%1>%2:%3%4"_s.arg(change.oldText, change.newText)
                    .arg(change.records)
                    .arg(change.rejected.isEmpty() ? u""_s : u"!"_s);
    EXPECT_EQ(told, (QStringList { u"a b>a__b:3"_s, u"x y z>x__y__z:1!"_s, u"  >____:1"_s }));
    EXPECT_EQ(preview.recordsChanged, 4);
    EXPECT_EQ(preview.recordCount, 8);
    EXPECT_EQ(cleaning::outcomeLine(preview),
        u"4 of the table's 8 records would change (2 values). The field cannot hold the new text of 1 value; "
        u"its "
        "records would stay as they are."_s);

    view.answers = { u"__"_s };
    const auto result = run(u"T"_s, u"F"_s, 2);
    EXPECT_EQ(result.recordsChanged, preview.recordsChanged);
    EXPECT_EQ(result.valuesChanged, preview.valuesChanged);
    EXPECT_EQ(result.valuesRejected, preview.valuesRejected);
    QStringList expected = values;
    for (const auto& change : changes) {
        if (change.rejected.isEmpty())
            expected.replaceInStrings(
                QRegularExpression(u"^"_s + QRegularExpression::escape(change.oldText) + u"$"_s),
                change.newText);
    }
    EXPECT_EQ(column(u"T"_s), expected);
}

TEST_F(ChangeRunTest, ATableThatCouldNotBeWrittenBackIsRefusedBeforeTheCopy)
{
    makeTable(u"T"_s, { alpha(u"F"_s) }, { texts({ u"a b" }) });
    const QString db = paradox::findTableFile(install.paradoxFolder(), u"T"_s);
    ASSERT_TRUE(QFile::setPermissions(db, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    const QByteArray before = folderFingerprint();
    auto result = run(u"T"_s, u"F"_s, 1);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::Refused);
    ASSERT_EQ(view.messages.size(), 1);
    EXPECT_TRUE(view.messages[0].contains(u"is read-only"_s)) << view.messages[0].toStdString();
    EXPECT_TRUE(statements.isEmpty()) << "nothing was copied: " << statements.join(u'\n').toStdString();
    EXPECT_FALSE(view.log.contains(u"busy"_s));
    EXPECT_EQ(folderFingerprint(), before);
    ASSERT_TRUE(QFile::setPermissions(db, QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    // A folder that cannot be written. Its administrator may write any folder, except one
    // marked immutable (where the file system knows the mark).
    const QString folder = install.paradoxFolder();
    const bool isAdministrator = ::geteuid() == 0;
    const auto lockFolder = [&](bool isLocked) {
        if (isAdministrator)
            return QProcess::execute(u"chattr"_s, { isLocked ? u"+i"_s : u"-i"_s, folder }) == 0;
        return QFile::setPermissions(folder,
            QFileDevice::ReadOwner | QFileDevice::ExeOwner
                | (isLocked ? QFileDevice::Permissions() : QFileDevice::WriteOwner));
    };
    if (lockFolder(true)) {
        view.messages.clear();
        result = run(u"T"_s, u"F"_s, 1);
        lockFolder(false);
        EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::Refused);
        ASSERT_EQ(view.messages.size(), 1);
        EXPECT_TRUE(view.messages[0].contains(u"cannot be written"_s)) << view.messages[0].toStdString();
        EXPECT_TRUE(statements.isEmpty());
        EXPECT_EQ(folderFingerprint(), before);
    }
    // A preview writes nothing, so it is not refused.
    ASSERT_TRUE(QFile::setPermissions(db, QFileDevice::ReadOwner));
    result = cleaning::previewChange(view, places(), [](const cleaning::ValueChange&) {});
    QFile::setPermissions(db, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(result.outcome, cleaning::ChangeRunResult::Outcome::Previewed) << result.problem.toStdString();
    EXPECT_EQ(result.recordsChanged, 1);
}

TEST(UpdateNames, PlainNamesStayBareOthersGetBackquotes)
{
    EXPECT_EQ(data::nameForUpdate(u"City"_s), u"City"_s);
    EXPECT_EQ(data::nameForUpdate(u"CUST_2"_s), u"CUST_2"_s);
    EXPECT_EQ(data::nameForUpdate(u"First Name"_s), u"`First Name`"_s);
    EXPECT_EQ(data::nameForUpdate(u"Order"_s), u"`Order`"_s);
    EXPECT_EQ(data::nameForUpdate(u"2nd"_s), u"`2nd`"_s);
    EXPECT_EQ(data::nameForUpdate(u"Größe"_s), u"`Größe`"_s);
}

} // namespace
