#include "tools/cli_support.h"

#include "core/dialogs.h"
#include "core/folder_box.h"
#include "data/table_listing.h"

using namespace Qt::StringLiterals;

namespace tools {

namespace {

// Prints each table name as it is added; the list's order is the output's order.
class PrintedTableList : public data::TableList
{
public:
    void clear() override { m_count = 0; }
    void add(const QString& name) override
    {
        printOut(name);
        ++m_count;
    }
    int count() const override { return m_count; }

private:
    int m_count = 0;
};

} // namespace

int runTables(const QStringList& args)
{
    if (args.size() != 1) {
        printErr(u"usage: fieldwright-cli tables FOLDER"_s);
        return 2;
    }
    const core::PlainFolderBox folderBox(args.first());
    PrintedTableList list;
    PrintedErrorReports errors;
    core::NoEvents events;
    data::AddTablesToParadoxListbox(list, folderBox, errors, events);
    return errors.count() == 0 ? 0 : 1;
}

} // namespace tools
