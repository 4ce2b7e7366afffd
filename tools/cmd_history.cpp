#include "tools/cli_support.h"

#include "cleaning/recipes/recipe.h"
#include "core/error_report.h"
#include "data/paradox_folder.h"
#include "data/run_history.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

// The runs as a recipe that `apply` takes as it is: restores, and runs of operations this
// program no longer has, are no steps to repeat.
int printRecipe(const std::vector<data::HistoryEntry>& entries)
{
    cleaning::recipes::Recipe recipe;
    for (const data::HistoryEntry& entry : entries) {
        const cleaning::Operation* operation = cleaning::findOperation(entry.operation);
        if (!operation || entry.field.isEmpty())
            continue;
        cleaning::recipes::RecipeStep step;
        step.table = entry.table;
        step.fields.names = QStringList { entry.field };
        step.operation = operation;
        step.answers = entry.answers;
        recipe.steps.push_back(step);
    }
    const QByteArray json = cleaning::recipes::recipeJson(recipe);
    std::fwrite(json.constData(), 1, static_cast<std::size_t>(json.size()), stdout);
    return 0;
}

} // namespace

int runHistory(const QStringList& args)
{
    const QString usage = u"usage: fieldwright-cli history FOLDER [TABLE] [--json]"_s;
    QStringList positional;
    bool isJson = false;
    for (const QString& arg : args) {
        if (arg == u"--json"_s) {
            isJson = true;
        } else if (arg.startsWith(u"--"_s)) {
            printErr(u"fieldwright-cli: unknown option %1"_s.arg(arg));
            printErr(usage);
            return 2;
        } else {
            positional.append(arg);
        }
    }
    if (positional.isEmpty() || positional.size() > 2) {
        printErr(usage);
        return 2;
    }
    std::vector<data::HistoryEntry> entries;
    try {
        data::checkParadoxFolder(positional[0]);
        entries = data::readHistory(
            positional[0], positional.value(1).isEmpty() ? QString() : tableArgument(positional[1]));
    } catch (const core::Error& e) {
        printErr(u"fieldwright-cli: "_s + e.description());
        return 2;
    }
    if (isJson)
        return printRecipe(entries);
    printOut(u"time,table,field,number,operation,answers,records"_s);
    for (const data::HistoryEntry& entry : entries) {
        const QString answers = QString::fromUtf8(
            QJsonDocument(QJsonArray::fromStringList(entry.answers)).toJson(QJsonDocument::Compact));
        printOut(u"%1,%2,%3,%4,%5,%6,%7"_s.arg(entry.time.toString(Qt::ISODateWithMs),
            csvField(entry.table, false), csvField(entry.field, false),
            QString::number(entry.operationNumber), csvField(entry.operation, false),
            csvField(answers, false), QString::number(entry.recordsChanged)));
    }
    return 0;
}

} // namespace tools
