#include "tools/cli_support.h"

#include "core/procedure.h"
#include "data/paradox_folder.h"
#include "data/preview.h"

using namespace Qt::StringLiterals;

namespace tools {

// Up to 101 values of a field, as the preview list shows them: a CSV of one column, "value".
int runPreview(const QStringList& args)
{
    CommandLine line(u"preview"_s, u"Shows up to 101 values of a field, as the preview list does."_s);
    line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
    line.addArgument(u"TABLE"_s, u"The table, as \"tables\" lists it."_s);
    line.addArgument(u"FIELD"_s, u"The field."_s);
    if (const auto status = line.parse(args))
        return *status;
    int status = 0;
    const auto place = findTablePlace(line, line.argument(0), line.argument(1), true, &status);
    if (!place)
        return status;
    if (const auto fieldStatus = checkField(line, *place, line.argument(2)))
        return *fieldStatus;
    PrintedDescriptions errors;
    try {
        const auto values = data::paradoxFieldValues(place->folder, place->table, line.argument(2));
        printCsvRow({ u"value"_s });
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
