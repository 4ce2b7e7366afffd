#include "data/copy_db.h"

#include "tests/files/temp_tree.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using testing_tree::TempTree;

namespace {

// Answers the question from the script and records what it was asked and told.
struct ScriptedDialogs : core::Dialogs
{
    bool answer = true;
    QStringList questions;
    QStringList reports;
    std::optional<QString> inputBox(const QString&) override { return std::nullopt; }
    void messageBox(const QString&) override { }
    bool askYesNo(const QString& question) override
    {
        questions.append(question);
        return answer;
    }
    void showErrorReport(const QString& report) override { reports.append(report); }
};

struct RecordingFolderBox : core::PlainFolderBox
{
    using PlainFolderBox::PlainFolderBox;
    QStringList changes;
    void setText(const QString& text) override
    {
        changes.append(text);
        PlainFolderBox::setText(text);
    }
};

// A drive with the database in "My Data", and TestDB to be made beside it.
class CopyDb : public ::testing::Test
{
protected:
    void SetUp() override
    {
        drive.file(u"My Data/orders.db"_s, "orders");
        drive.file(u"My Data/.hidden.db"_s);
        drive.file(u"My Data/2021/sales.db"_s);
    }
    data::CopyDbOutcome copy(bool isSample = false, const QString& driveRoot = {})
    {
        return data::CopyDB(isSample, box, dialogs, driveRoot.isEmpty() ? drive.root() : driveRoot);
    }

    TempTree drive;
    RecordingFolderBox box { drive.path(u"My Data"_s) };
    ScriptedDialogs dialogs;
};

TEST_F(CopyDb, YesCopiesTheWholeTreeIntoTestDbAndSwitchesTheFolder)
{
    for (const bool isSample : { false, true }) {
        box.setText(drive.path(u"My Data"_s));
        dialogs.questions.clear();
        EXPECT_EQ(copy(isSample), data::CopyDbOutcome::Copied);
        ASSERT_EQ(dialogs.questions.size(), 1);
        EXPECT_EQ(dialogs.questions[0],
            u"In some cases the software needs to use a folder without spaces.\r\nIs it OK to create the folder "_s
                + drive.root() + u"TestDB and put "_s + (isSample ? u"sample"_s : u"Your"_s)
                + u" db files in it?"_s);
        EXPECT_EQ(box.text(), drive.path(u"TestDB"_s));
    }
    EXPECT_EQ(drive.read(u"TestDB/orders.db"_s), "orders");
    EXPECT_TRUE(QFileInfo::exists(drive.path(u"TestDB/.hidden.db"_s)));
    EXPECT_TRUE(QFileInfo::exists(drive.path(u"TestDB/2021/sales.db"_s)));
    EXPECT_TRUE(dialogs.reports.isEmpty());
}

TEST_F(CopyDb, AsksNothingWithoutASpaceBetweenTheEnds)
{
    for (const QString& text :
        { QString(), u"  "_s, drive.path(u"NoSpace"_s), u" "_s + drive.path(u"NoSpace  "_s) }) {
        RecordingFolderBox plain(text);
        EXPECT_EQ(data::CopyDB(false, plain, dialogs, drive.root()), data::CopyDbOutcome::NoSpace);
        EXPECT_TRUE(plain.changes.isEmpty());
    }
    EXPECT_TRUE(dialogs.questions.isEmpty());
}

TEST_F(CopyDb, NoChangesNothing)
{
    dialogs.answer = false;
    EXPECT_EQ(copy(), data::CopyDbOutcome::Declined);
    EXPECT_TRUE(box.changes.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(drive.path(u"TestDB"_s)));
}

TEST_F(CopyDb, FailedCopyKeepsTheFolderText)
{
    // TestDB holds another database from an earlier run.
    drive.file(u"TestDB/orders.db"_s, "someone else's");
    box.setText(drive.path(u"Missing Folder"_s));
    box.changes.clear();
    EXPECT_EQ(copy(), data::CopyDbOutcome::NotCopied);
    EXPECT_TRUE(box.changes.isEmpty());
    ASSERT_EQ(dialogs.reports.size(), 1);
    EXPECT_TRUE(dialogs.reports[0].contains(u"\r\nin Tidewell2021/08/31.Paradox.CopyDB at line 120\r\r"_s));
}

TEST_F(CopyDb, TestDbThatCannotBeCreatedIsReportedAndNothingCopied)
{
    drive.file(u"TestDB"_s, "a file, not a folder");
    EXPECT_EQ(copy(), data::CopyDbOutcome::NotCopied);
    EXPECT_TRUE(box.changes.isEmpty());
    ASSERT_EQ(dialogs.reports.size(), 1);
    EXPECT_TRUE(dialogs.reports[0].contains(u"at line 116\r\r"_s));
}

TEST_F(CopyDb, TestDbInsideOrEqualToTheFolderIsNeverCopiedIntoItself)
{
    // With "My Data" as the drive root, TestDB lands inside the folder being copied.
    EXPECT_EQ(copy(false, drive.path(u"My Data/"_s)), data::CopyDbOutcome::Copied);
    EXPECT_TRUE(QFileInfo::exists(drive.path(u"My Data/TestDB/2021/sales.db"_s)));
    EXPECT_FALSE(QFileInfo::exists(drive.path(u"My Data/TestDB/TestDB"_s)));

    // Now the folder is that TestDB, whose path still holds a space: copying it onto
    // itself would destroy its files.
    EXPECT_EQ(copy(false, drive.path(u"My Data/"_s)), data::CopyDbOutcome::NotCopied);
    EXPECT_EQ(drive.read(u"My Data/TestDB/orders.db"_s), "orders");
    EXPECT_EQ(dialogs.reports.size(), 1);
}

} // namespace
