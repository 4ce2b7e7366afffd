#include "tools/cli_support.h"

#include "core/procedure.h"
#include "data/paradox_folder.h"
#include "data/preview.h"

using namespace Qt::StringLiterals;

namespace tools {

// Up to 101 values of a field, as the preview list shows them: one CSV field per line.
int runPreview(const QStringList& args)
{
    if (args.size() != 3) {
        printErr(u"usage: fieldwright-cli preview FOLDER TABLE FIELD"_s);
        return 2;
    }
    PrintedDescriptions errors;
    try {
        const auto values = data::paradoxFieldValues(args[0], tableArgument(args[1]), args[2]);
        core::Procedure proc(errors, u"preview"_s);
        core::NoEvents events;
        data::readPreview(proc, { 116, 118, 120, 122, 124 }, *values, events,
            [](const QString& text, bool isNull) { printOut(csvField(text, isNull)); });
    } catch (const core::Error& e) {
        errors.showErrorReport(e.description());
    }
    return errors.count() == 0 ? 0 : 1;
}

} // namespace tools
