#include "tools/cli_support.h"

#include "cleaning/recipes/recipe.h"
#include "core/error_report.h"
#include "data/backups/run_history.h"
#include "data/paradox_folder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

// The runs as a recipe that `apply` takes as it is: restores, and runs of operations this
// program no longer has, are no steps to repeat.
int printRecipe(const std::vector<data::HistoryEntry>& entries)
{
    QJsonArray steps;
    for (const data::HistoryEntry& entry : entries) {
        if (const QJsonObject step = cleaning::recipes::historyStep(entry); !step.isEmpty())
            steps.append(step);
    }
    const QByteArray json = QJsonDocument(
        QJsonObject { { u"recipe"_s, cleaning::recipes::kRecipeVersion },
            { u"steps"_s,
                steps } }).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, static_cast<std::size_t>(json.size()), stdout);
    return 0;
}

} // namespace

int runHistory(const QStringList& args)
{
    CommandLine line(u"history"_s, u"Lists the runs and restores of the folder's tables, oldest first."_s);
    line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
    line.addOptionalArgument(u"TABLE"_s, u"Only this table, as \"tables\" lists it."_s);
    line.addOption({ u"json"_s, u"The runs as a recipe that \"apply\" takes as it is."_s });
    if (const auto status = line.parse(args))
        return *status;
    int status = 0;
    QString folder = line.argument(0);
    QString table;
    if (!line.argument(1).isEmpty()) {
        const auto place = findTablePlace(line, folder, line.argument(1), false, &status);
        if (!place)
            return status;
        folder = place->folder;
        table = place->table;
    }
    std::vector<data::HistoryEntry> entries;
    try {
        data::checkParadoxFolder(folder);
        entries = data::readHistory(folder, table);
    } catch (const core::Error& e) {
        return line.usageError(e.description());
    }
    const bool isJson = line.isSet(u"json"_s);
    if (isJson)
        return printRecipe(entries);
    printCsvRow(
        { u"time"_s, u"table"_s, u"field"_s, u"number"_s, u"operation"_s, u"answers"_s, u"records"_s });
    for (const data::HistoryEntry& entry : entries)
        printCsvRow({ entry.time.toString(Qt::ISODateWithMs), entry.table, entry.field,
            QString::number(entry.operationNumber), entry.operation,
            jsonText(QJsonArray::fromStringList(entry.answers)), QString::number(entry.recordsChanged) });
    return 0;
}

} // namespace tools
