// fieldwright-cli tables FOLDER: every table of the folder and its sub-folders, one a line, as
// the table list finds them; a table of a sub-folder with that folder before it ("SUB/NAME"),
// which is how the commands that take TABLE accept it.

#include "tools/cli_support.h"

#include "core/dialogs.h"
#include "core/folder_box.h"
#include "data/table_listing.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tools {

namespace {

// Prints each table as it is added; the list's order is the output's order.
class PrintedTableList : public data::TableList
{
public:
    explicit PrintedTableList(const QString& root)
        : m_root(root)
    { }
    void clear() override { m_count = 0; }
    void add(const QString& name) override
    {
        printOut(name);
        ++m_count;
    }
    void addFromFolder(const QString& name, const QString& folder) override
    {
        const QString relative = m_root.relativeFilePath(folder);
        add(relative.isEmpty() || relative == u"."_s ? name : relative + u'/' + name);
    }
    int count() const override { return m_count; }

private:
    QDir m_root;
    int m_count = 0;
};

} // namespace

int runTables(const QStringList& args)
{
    CommandLine line(u"tables"_s, u"Lists the tables of FOLDER and of its sub-folders."_s);
    line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
    if (const auto status = line.parse(args))
        return *status;
    const QString folder = line.argument(0);
    if (!QFileInfo(folder).isDir())
        return line.usageError(u"the folder %1 does not exist"_s.arg(QDir::toNativeSeparators(folder)));
    const core::PlainFolderBox folderBox(folder);
    PrintedTableList list(folder);
    PrintedErrorReports errors;
    core::NoEvents events;
    data::AddTablesToParadoxListbox(list, folderBox, errors, events);
    return errors.count() == 0 ? 0 : 1;
}

} // namespace tools
