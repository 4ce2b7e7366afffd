#include "tools/cli_support.h"

#include "cleaning/change_run.h"

using namespace Qt::StringLiterals;

namespace tools {

// Up to 101 values of a field, as the preview list shows them: one CSV field per line.
int runPreview(const QStringList& args)
{
    if (args.size() != 3) {
        printErr(u"usage: fieldwright-cli preview FOLDER TABLE FIELD"_s);
        return 2;
    }
    try {
        const auto opened = openParadoxRows(args[0], cleaning::previewQuery(args[1], args[2]));
        data::Recordset& rows = opened->rows;
        for (int count = 0; !rows.isEof() && count <= 100; ++count) {
            printOut(csvField(rows.valueText(0), rows.isNull(0)));
            rows.moveNext();
        }
        return 0;
    } catch (const core::Error& e) {
        printErr(e.description());
        return 1;
    }
}

} // namespace tools
