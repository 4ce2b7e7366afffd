#pragma once

// The table list: every Paradox table file under the Paradox folder, by its bare name.

#include "core/dialogs.h"
#include "core/error_report.h"
#include "core/folder_box.h"

#include <QString>
#include <QStringList>

namespace data {

// A list that shows table names: the window's table list, a vector in tests, standard
// output on the command line.
class TableList
{
public:
    virtual ~TableList() = default;
    virtual void clear() = 0;
    virtual void add(const QString& name) = 0;
    virtual int count() const = 0;
    // The name with the folder its file lies in, for a list that shows where each table is.
    virtual void addFromFolder(const QString& name, const QString& /*folder*/) { add(name); }
};

// A table list that only keeps the names.
class TableNames : public TableList
{
public:
    void clear() override { names.clear(); }
    void add(const QString& name) override { names.append(name); }
    int count() const override { return static_cast<int>(names.size()); }

    QStringList names;
};

// Empties list, then adds one name per "*.db" file in the folder of folderBox and in all
// its sub-folders (as the folder scan finds them, level by level, each folder's files in
// name order). A name is the file name upper-cased with every ".DB" removed from it, so
// my.dbase.db gives MYASE. Files starting with "~", and names with a line break or a
// backslash (isListableTableName), are left out; equal names from
// different folders are all added. An empty folder text leaves the list empty. A failing
// step is reported to errors and the listing goes on.
void AddTablesToParadoxListbox(
    TableList& list, const core::FolderBox& folderBox, core::ErrorSink& errors, core::EventPump& events);

// The text after the last separator of path, or the whole path when it has none.
QString FileNameOfPath(const QString& path);

} // namespace data
