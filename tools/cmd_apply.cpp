#include "tools/cli_support.h"

#include "cleaning/recipes/apply_recipe.h"
#include "core/error_report.h"
#include "core/helpers.h"

using namespace Qt::StringLiterals;

namespace tools {

// Standard output: one CSV line per step run on a table (what it changed, or would change);
// standard error: one line per table saying what happened to it. Exit 0 when every table
// ended as its steps said, 1 when a table was left as it was because a step failed.
int runApply(const QStringList& args)
{
    const QString usage = u"usage: fieldwright-cli apply RECIPE FOLDER [--dry-run]"_s;
    QStringList positional;
    cleaning::recipes::ApplyOptions options;
    for (const QString& arg : args) {
        if (arg == u"--dry-run"_s) {
            options.isDryRun = true;
        } else if (arg.startsWith(u"--"_s)) {
            printErr(u"fieldwright-cli: unknown option %1"_s.arg(arg));
            printErr(usage);
            return 2;
        } else {
            positional.append(arg);
        }
    }
    if (positional.size() != 2) {
        printErr(usage);
        return 2;
    }
    // Refused before anything is copied: a recipe that does not say exactly what to do.
    const cleaning::recipes::ParsedRecipe parsed = cleaning::recipes::readRecipeFile(positional[0]);
    if (!parsed.problem.isEmpty()) {
        printErr(u"fieldwright-cli: "_s + parsed.problem);
        return 2;
    }
    options.applicationFolder = core::applicationFolder();
    std::vector<cleaning::recipes::TableOutcome> outcomes;
    try {
        outcomes = cleaning::recipes::applyRecipe(parsed.recipe, positional[1], options);
    } catch (const core::Error& e) {
        printErr(u"fieldwright-cli: "_s + e.description());
        return 2;
    }
    using State = cleaning::recipes::TableOutcome::State;
    bool hasFailed = false;
    printOut(u"table,step,field,records"_s);
    for (const cleaning::recipes::TableOutcome& outcome : outcomes) {
        if (outcome.state != State::Failed) {
            for (const cleaning::recipes::StepOutcome& step : outcome.steps)
                printOut(u"%1,%2,%3,%4"_s.arg(csvField(outcome.table, false), QString::number(step.step),
                    csvField(step.field, false), QString::number(step.recordsChanged)));
        }
        for (const QString& note : outcome.notes)
            printErr(u"%1: %2"_s.arg(outcome.table, note));
        printErr(cleaning::recipes::describeOutcome(outcome));
        hasFailed = hasFailed || outcome.state == State::Failed;
    }
    return hasFailed ? 1 : 0;
}

} // namespace tools
