#include "files/file_listing.h"
#include "files/folder_copy.h"

#include "tests/files/temp_tree.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using testing_tree::TempTree;

namespace {

TEST(FileListing, MatchesIgnoringCaseHiddenIncludedOpenableFilesOnly)
{
    TempTree tree;
    for (const char* name :
        { "b.db", "ORDERS.DB", "orders.db", "Orders.Db", ".hidden.db", "c.dbx", "d.db.bak", "db" })
        tree.file(QString::fromLatin1(name));
    tree.folder(u"folder.db"_s);
    tree.pipe(u"pipe.db"_s);
    tree.link(u"broken.db"_s, tree.path(u"missing"_s));
    tree.link(u"linked.db"_s, tree.path(u"b.db"_s));
    tree.file(u"sub/deeper.db"_s);

    const QStringList expected { u".hidden.db"_s, u"b.db"_s, u"linked.db"_s, u"ORDERS.DB"_s, u"Orders.Db"_s,
        u"orders.db"_s };
    EXPECT_EQ(files::ListFiles(tree.root(), u"*.db"_s), expected);
    EXPECT_EQ(files::ListFiles(tree.path(u"sub"_s), u"*.DB"_s), QStringList { u"deeper.db"_s });
    EXPECT_EQ(files::ListFiles(tree.path(u"folder.db"_s), u"*.db"_s), QStringList());
    EXPECT_EQ(files::ListFiles(tree.path(u"missing"_s), u"*.db"_s), QStringList());
}

TEST(FileListing, FolderHasTablesOfItsOwn)
{
    TempTree onlyBelow;
    onlyBelow.file(u"sub/table.db"_s);
    TempTree onlyHidden;
    onlyHidden.file(u".table.db"_s);
    TempTree upperCase;
    upperCase.file(u"TABLE.DB"_s);

    const auto hasTables
        = [](const QString& text) { return files::FolderHasTables(core::PlainFolderBox(text)); };
    EXPECT_FALSE(hasTables(QString()));
    EXPECT_FALSE(hasTables(onlyBelow.root()));
    EXPECT_FALSE(hasTables(onlyBelow.path(u"missing"_s)));
    EXPECT_TRUE(hasTables(onlyHidden.root()));
    EXPECT_TRUE(hasTables(upperCase.root().chopped(1)));
}

TEST(FolderCopy, CopiesEveryDepthOnceAndNeverIntoItself)
{
    TempTree source;
    source.file(u"t.db"_s, "new");
    source.file(u".hidden.db"_s);
    source.file(u"sub/deep/t2.db"_s);
    source.pipe(u"pipe"_s);
    source.link(u"sub/loop"_s, source.root());
    source.link(u"sub/slash"_s, u"/"_s);
    TempTree target;
    target.file(u"t.db"_s, "old");
    target.file(u"stale.db"_s, "stale");

    files::copyFolderContents(source.root(), target.root());
    EXPECT_EQ(target.read(u"t.db"_s), "new");
    EXPECT_EQ(target.read(u"stale.db"_s), "stale");
    EXPECT_TRUE(QFileInfo::exists(target.path(u".hidden.db"_s)));
    EXPECT_TRUE(QFileInfo::exists(target.path(u"sub/deep/t2.db"_s)));
    EXPECT_FALSE(QFileInfo::exists(target.path(u"sub/loop"_s)));
    EXPECT_FALSE(QFileInfo::exists(target.path(u"sub/slash"_s)));
    EXPECT_FALSE(QFileInfo::exists(target.path(u"pipe"_s)));

    EXPECT_THROW(files::copyFolderContents(source.root(), source.root().chopped(1)), core::Error);
    EXPECT_EQ(source.read(u"t.db"_s), "new");
}

} // namespace
