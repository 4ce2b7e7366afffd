#include "data/table_listing.h"

#include "tests/files/temp_tree.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using testing_tree::RecordedErrors;
using testing_tree::TempTree;

namespace {

struct Listing
{
    QStringList tables;
    QStringList reports;
};

Listing listTables(const QString& folder)
{
    data::TableNames list;
    list.names = QStringList { u"left over"_s };
    RecordedErrors errors;
    core::NoEvents events;
    data::AddTablesToParadoxListbox(list, core::PlainFolderBox(folder), errors, events);
    return { list.names, errors.reports };
}

TEST(TableListing, ListsEveryLevelByBareUpperCaseName)
{
    TempTree tree;
    for (const char* file : { "Orders.db", "~Orders.db", "my.dbase.db", "notes.txt", "b/Orders.DB",
             "a/Customer.db", ".hidden/secret.db", "a/deep/z.db", "empty/nothing.px" })
        tree.file(QString::fromLatin1(file));
    tree.file(u"straße.db"_s);
    // Names no list shows whole, or that would not lead back to their file, are not offered.
    tree.file(u"back\\x.db"_s);
    tree.file(u"line\nbreak.db"_s);

    const QStringList expected { u"MYASE"_s, u"ORDERS"_s, u"STRAßE"_s, u"SECRET"_s, u"CUSTOMER"_s,
        u"ORDERS"_s, u"Z"_s };
    for (const QString& folder : { tree.root(), tree.root().chopped(1) }) {
        const Listing listing = listTables(folder);
        EXPECT_EQ(listing.tables, expected);
        EXPECT_TRUE(listing.reports.isEmpty());
    }
}

TEST(TableListing, TablesOnlyInSubFolders)
{
    TempTree tree;
    tree.file(u"2021/sales.db"_s);
    tree.file(u"2022/sales.db"_s);
    EXPECT_EQ(listTables(tree.root().chopped(1)).tables, QStringList({ u"SALES"_s, u"SALES"_s }));
}

TEST(TableListing, EmptyOrMissingFolderGivesAnEmptyListQuietly)
{
    TempTree tree;
    for (const QString& folder : { QString(), tree.path(u"missing"_s) }) {
        const Listing listing = listTables(folder);
        EXPECT_TRUE(listing.tables.isEmpty()) << folder.toStdString();
        EXPECT_TRUE(listing.reports.isEmpty()) << folder.toStdString();
    }
}

} // namespace
