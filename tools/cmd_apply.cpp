#include "tools/cli_support.h"

#include "cleaning/apply_recipe.h"
#include "core/error_report.h"
#include "core/helpers.h"

using namespace Qt::StringLiterals;

namespace tools {

// Standard output: one CSV line per step run on a table (what it changed, or would change);
// standard error: one line per table saying what happened to it. Exit 0 when every table
// ended as its steps said, 1 when a table was left as it was because a step failed.
int runApply(const QStringList& args)
{
    CommandLine line(
        u"apply"_s, u"Applies a recipe's steps to the tables of a folder, each table all or nothing."_s);
    line.addArgument(u"RECIPE"_s, u"The recipe, a JSON file (see the README)."_s);
    line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
    line.addOption({ u"dry-run"_s, u"Lists what each step would change, and writes nothing."_s });
    if (const auto status = line.parse(args))
        return *status;
    cleaning::recipes::ApplyOptions options;
    options.isDryRun = line.isSet(u"dry-run"_s);
    const QStringList positional { line.argument(0), line.argument(1) };
    // Refused before anything is copied: a recipe that does not say exactly what to do.
    const cleaning::recipes::ParsedRecipe parsed = cleaning::recipes::readRecipeFile(positional[0]);
    if (!parsed.problem.isEmpty()) {
        return line.usageError(parsed.problem);
    }
    options.applicationFolder = core::applicationFolder();
    std::vector<cleaning::recipes::TableOutcome> outcomes;
    try {
        outcomes = cleaning::recipes::applyRecipe(parsed.recipe, positional[1], options);
    } catch (const core::Error& e) {
        return line.usageError(e.description());
    }
    using State = cleaning::recipes::TableOutcome::State;
    bool hasFailed = false;
    printCsvRow({ u"table"_s, u"step"_s, u"field"_s, u"records"_s });
    for (const cleaning::recipes::TableOutcome& outcome : outcomes) {
        if (outcome.state != State::Failed) {
            for (const cleaning::recipes::StepOutcome& step : outcome.steps)
                printCsvRow({ outcome.table, QString::number(step.step), step.field,
                    QString::number(step.recordsChanged) });
        }
        for (const QString& note : outcome.notes)
            printErr(u"%1: %2"_s.arg(outcome.table, note));
        printErr(cleaning::recipes::describeOutcome(outcome));
        hasFailed = hasFailed || outcome.state == State::Failed;
    }
    return hasFailed ? 1 : 0;
}

} // namespace tools
