#include "files/folder_scan.h"

#include "tests/files/temp_tree.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;
using testing_tree::RecordedErrors;
using testing_tree::TempTree;

namespace {

// Runs an action at a numbered yield of the scan, as a window's event handler might.
struct ScriptedEvents : core::EventPump
{
    std::function<void(int)> atCall = [](int) {};
    int calls = 0;
    void processEvents() override { atCall(++calls); }
};

struct Scan
{
    QStringList folders;
    QStringList reports;
};

Scan scan(const TempTree& tree, bool recurse = true, ScriptedEvents events = {})
{
    RecordedErrors errors;
    QStringList folders { tree.root() };
    files::GetSubDirectories2016(folders, recurse, errors, events);
    return { tree.relative(folders), errors.reports };
}

TEST(FolderScan, ListsLevelByLevelInNameOrderIgnoringCase)
{
    TempTree tree;
    for (const char* folder : { "beta/Zed", "beta/alpha", "Alpha/x", "gamma/d/e", ".hidden/inside" })
        tree.folder(QString::fromLatin1(folder));
    tree.file(u"beta/file.db"_s);

    EXPECT_EQ(scan(tree).folders,
        QStringList({ u""_s, u".hidden/"_s, u"Alpha/"_s, u"beta/"_s, u"gamma/"_s, u".hidden/inside/"_s,
            u"Alpha/x/"_s, u"beta/alpha/"_s, u"beta/Zed/"_s, u"gamma/d/"_s, u"gamma/d/e/"_s }));
    EXPECT_EQ(scan(tree, false).folders,
        QStringList({ u""_s, u".hidden/"_s, u"Alpha/"_s, u"beta/"_s, u"gamma/"_s }));
}

TEST(FolderScan, LeavesOutUnsafeNamesAndEverythingBelowThem)
{
    TempTree tree;
    const QStringList unsafe { u"ctrl\u0001"_s, u"tab\t"_s, u"what?"_s, u"del\u007f"_s, u"c1\u0085"_s,
        u"c1end\u009f"_s };
    for (const QString& name : unsafe)
        tree.folder(name + u"/below"_s);
    for (const char16_t* name : { u"nbsp\u00a0", u"café", u"smile\U0001F600" })
        tree.folder(QString::fromUtf16(name));

    EXPECT_EQ(
        scan(tree).folders, QStringList({ u""_s, u"café/"_s, u"nbsp\u00a0/"_s, u"smile\U0001F600/"_s }));
}

TEST(FolderScan, DropsUnreadableFoldersWithoutAWord)
{
    if (testing_tree::isRoot())
        GTEST_SKIP() << "root reads every folder; run as another user to test permission denied";
    TempTree tree;
    for (const char* folder : { "locked1/inner", "locked2", "open/inner" })
        tree.folder(QString::fromLatin1(folder));
    QFile::setPermissions(tree.path(u"locked1"_s), {});
    QFile::setPermissions(tree.path(u"locked2"_s), {});

    const Scan result = scan(tree);
    QFile::setPermissions(tree.path(u"locked1"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(tree.path(u"locked2"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(result.folders, QStringList({ u""_s, u"open/"_s, u"open/inner/"_s }));
    EXPECT_TRUE(result.reports.isEmpty());
}

TEST(FolderScan, FolderRemovedDuringAYieldIsDropped)
{
    // Yields: 1 root, 2 and 3 its sub-folders a and b, 4 folder a, 5 folder b.
    TempTree tree;
    tree.folder(u"a"_s);
    tree.folder(u"b"_s);
    ScriptedEvents removeB;
    removeB.atCall = [&](int call) {
        if (call == 5)
            QDir(tree.path(u"b"_s)).removeRecursively();
    };
    const Scan quiet = scan(tree, true, removeB);
    EXPECT_EQ(quiet.folders, QStringList({ u""_s, u"a/"_s }));
    EXPECT_TRUE(quiet.reports.isEmpty()) << "after the first listing of a level, failures are silent";

    // The first folder of a level fails before any listing began: that one is reported.
    ScriptedEvents removeA;
    removeA.atCall = [&](int call) {
        if (call == 3)
            QDir(tree.path(u"a"_s)).removeRecursively();
    };
    tree.folder(u"a"_s);
    QDir(tree.path(u"b"_s)).removeRecursively();
    const Scan reported = scan(tree, true, removeA);
    EXPECT_EQ(reported.folders, QStringList({ u""_s }));
    ASSERT_EQ(reported.reports.size(), 1);
    EXPECT_TRUE(reported.reports[0].contains(
        u"\r\nin Corvane2021/08/31.AddFolder.GetSubDirectories2016 at line 106\r\r"_s))
        << reported.reports[0].toStdString();
}

TEST(FolderScan, EndsOnLinkLoopsAndEntersEachRealFolderOnce)
{
    TempTree tree;
    TempTree outside;
    outside.folder(u"sub"_s);
    tree.folder(u"a/deep/x"_s);
    tree.link(u"a/up"_s, tree.path(u"a"_s));
    tree.link(u"a/top"_s, tree.root());
    tree.link(u"a/slash"_s, u"/"_s);
    tree.link(u"a/deep/x/parent"_s, QFileInfo(tree.path(u"a"_s)).path() + u"/.."_s);
    tree.link(u"b"_s, tree.path(u"a"_s));
    tree.link(u"ext"_s, outside.root());

    EXPECT_EQ(scan(tree).folders,
        QStringList({ u""_s, u"a/"_s, u"ext/"_s, u"a/deep/"_s, u"ext/sub/"_s, u"a/deep/x/"_s }));
}

TEST(FolderScan, NeverScansAPathOf260CharactersOrMore)
{
    TempTree tree;
    // Folders whose paths have 258 and 259 characters, each with a child one name longer.
    const QString name258 = QString(258 - tree.root().size() - 1, u'n');
    const QString name259 = name258 + u'n';
    tree.folder(name258 + u"/x/below"_s);
    tree.folder(name259 + u"/y/below"_s);
    ASSERT_EQ((tree.root() + name258 + u"/x/"_s).size(), 260);

    EXPECT_EQ(scan(tree).folders,
        QStringList({ u""_s, name258 + u'/', name259 + u'/', name258 + u"/x/"_s, name259 + u"/y/"_s }));
}

TEST(FolderScan, AttributesFollowThePlatform)
{
    TempTree tree;
    tree.folder(u"plain"_s);
    tree.folder(u".dot"_s);
    tree.link(u"link"_s, tree.path(u"plain"_s));
    tree.link(u".dotlink"_s, tree.path(u"plain"_s));
    EXPECT_EQ(files::folderAttributes(tree.path(u"plain/"_s)), 16);
    EXPECT_EQ(files::folderAttributes(tree.path(u".dot"_s)), 18);
    EXPECT_EQ(files::folderAttributes(tree.path(u"link/"_s)), 1040);
    EXPECT_EQ(files::folderAttributes(tree.path(u".dotlink"_s)), 1042);
    EXPECT_THROW(files::folderAttributes(tree.path(u"missing"_s)), core::Error);

    // Only exactly hidden+system+directory, with or without the reparse point, is skipped.
    EXPECT_FALSE(files::passesAttributeRule(1046, false));
    EXPECT_TRUE(files::passesAttributeRule(22 | 8192, false));
    EXPECT_TRUE(files::passesAttributeRule(22, true));
}

} // namespace
