#include "cleaning/apply_recipe.h"

#include "cleaning/change_run.h"
#include "cleaning/merge_run.h"
#include "cleaning/windowless_view.h"
#include "core/error_report.h"
#include "core/folder_box.h"
#include "data/backups/backups.h"
#include "data/backups/run_history.h"
#include "data/paradox_folder.h"
#include "data/replace/table_replace.h"
#include "data/scratch_copy.h"

#include <QDir>
#include <optional>

using namespace Qt::StringLiterals;

namespace cleaning::recipes {
namespace {

// The operation that a recipe's backup names; its answers say what each step did.
constexpr char16_t kRecipeOperation[] = u"Recipe";

// A recipe's step on the private copy: what the run says is kept for the report, not shown.
class StepView : public WindowlessView
{
public:
    StepView(QString tableName, QString fieldName, const RecipeStep& step, int fields)
    {
        table = std::move(tableName);
        field = std::move(fieldName);
        operation = step.isMerge() ? QString() : step.operation->captionText();
        fieldCount = fields;
        answers.assign(step.answers.begin(), step.answers.end());
    }

    void messageBox(const QString& text) override { lastMessage = text; }
    void showErrorReport(const QString&) override { }
    void reportError(const QString& description, const QString&, int) override
    {
        if (firstReport.isEmpty())
            firstReport = description;
    }

    QString lastMessage;
    QString firstReport;
};

QString oneLine(QString text)
{
    text.replace(u"\r\n"_s, u" "_s);
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text.simplified();
}

// Why a run on the copy did not end "Done.", as the run itself said it.
QString runProblem(const ChangeRunResult& result, const StepView& view)
{
    if (!result.problem.isEmpty())
        return oneLine(result.problem);
    if (!view.lastMessage.isEmpty() && !view.lastMessage.startsWith(u"Done."_s))
        return oneLine(view.lastMessage);
    if (!view.firstReport.isEmpty())
        return oneLine(view.firstReport);
    return u"the run did not end"_s;
}

struct PlannedRun
{
    int step = 0;
    const RecipeStep* recipeStep = nullptr;
    QString field;
};

// The runs the recipe makes on one table, or why it cannot make them.
std::vector<PlannedRun> planTable(
    const Recipe& recipe, const paradox::TablePlace& place, const QString& table, TableOutcome* outcome)
{
    std::vector<PlannedRun> runs;
    std::vector<paradox::Field> fields;
    bool isRead = false;
    for (std::size_t i = 0; i < recipe.steps.size(); ++i) {
        const RecipeStep& step = recipe.steps[i];
        const int number = static_cast<int>(i) + 1;
        if (!step.takesTable(table))
            continue;
        if (!isRead) {
            fields = data::fieldsAt(place);
            isRead = true;
        }
        QStringList missing;
        for (const QString& field : step.fields.pick(fields, &missing))
            runs.push_back({ number, &step, field });
        for (const QString& field : missing) {
            const QString text = u"step %1: the table %2 has no field %3"_s.arg(number).arg(table, field);
            // A step written for this very table means that field; one for every table passes over it.
            if (!step.isForEveryTable())
                throw core::Error(text);
            outcome->notes.append(text + u", so the step passed over it"_s);
        }
    }
    return runs;
}

// What the history keeps of the runs once their table is written: each step as it ran.
std::vector<data::HistoryEntry> historyOf(const std::vector<PlannedRun>& runs, const TableOutcome& outcome)
{
    std::vector<data::HistoryEntry> entries;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        RecipeStep step = *runs[i].recipeStep;
        step.table = outcome.table;
        step.fields = FieldSet { FieldSet::Kind::Named, { runs[i].field } };
        entries.push_back({ QDateTime::currentDateTime(), {}, outcome.table, runs[i].field,
            step.isMerge() ? 0 : step.operation->position, step.describe(), step.answers,
            outcome.steps[i].recordsChanged, stepJson(step) });
    }
    return entries;
}

QStringList stepSummaries(const std::vector<PlannedRun>& runs, const TableOutcome& outcome)
{
    QStringList summaries;
    for (std::size_t i = 0; i < runs.size(); ++i)
        summaries.append(u"step %1, %2: %3 (%4 records)"_s.arg(runs[i].step)
                             .arg(runs[i].field, runs[i].recipeStep->describe())
                             .arg(outcome.steps[i].recordsChanged));
    return summaries;
}

TableOutcome applyToTable(
    const Recipe& recipe, const paradox::TablePlace& place, const QString& table, const ApplyOptions& options)
{
    TableOutcome outcome;
    outcome.table = table;
    try {
        const std::vector<PlannedRun> runs = planTable(recipe, place, table, &outcome);
        if (runs.empty())
            return outcome;
        std::optional<data::ScratchCopy> scratch;
        try {
            scratch.emplace(place);
        } catch (const core::Error& e) {
            throw core::Error(u"before step %1: %2"_s.arg(runs.front().step).arg(e.description()));
        }
        data::ScratchCopy& copy = *scratch;
        const int fieldCount = static_cast<int>(data::tableFields(copy.folder(), copy.table()).size());
        const core::PlainFolderBox box(copy.folder());
        const RunPlaces places { box, options.applicationFolder, copy.backupRoot(), false };
        std::int64_t recordsChanged = 0;
        for (const PlannedRun& run : runs) {
            StepView view(copy.table(), run.field, *run.recipeStep, fieldCount);
            const RecipeStep& step = *run.recipeStep;
            const ChangeRunResult result = step.isMerge() ? mergeValues(view, places, step.merges, step.limit)
                                                          : PushButton1_Click(view, places, step.limit);
            if (result.outcome != ChangeRunResult::Outcome::WrittenBack || result.wasAbandoned)
                throw core::Error(
                    u"step %1, field %2: %3"_s.arg(run.step).arg(run.field, runProblem(result, view)));
            outcome.steps.push_back({ run.step, run.field, result.recordsChanged, result.valuesRejected });
            recordsChanged += result.recordsChanged;
        }
        if (options.isDryRun) {
            outcome.state = TableOutcome::State::Previewed;
            return outcome;
        }
        data::BackupNote note;
        note.field = outcome.steps.size() == 1 ? outcome.steps.front().field : QString();
        note.operation = QString::fromUtf16(kRecipeOperation);
        note.answers = stepSummaries(runs, outcome);
        note.recordsChanged = recordsChanged;
        note.time = QDateTime::currentDateTime();
        outcome.backupFolder = copy.writeBack(options.backupRoot, note, historyOf(runs, outcome));
        outcome.state
            = outcome.backupFolder.isEmpty() ? TableOutcome::State::Unchanged : TableOutcome::State::Written;
    } catch (const data::SwapNotUndone& e) {
        outcome.state = TableOutcome::State::Failed;
        outcome.isLeftAsItWas = false;
        outcome.problem = oneLine(e.description());
    } catch (const core::Error& e) {
        outcome.state = TableOutcome::State::Failed;
        outcome.problem = oneLine(e.description());
    }
    return outcome;
}

} // namespace

QStringList tablesOf(const QString& folder)
{
    QStringList tables;
    for (const paradox::TablePlace& place : data::paradoxTablePlaces(folder))
        tables.append(place.name.toUpper());
    return tables;
}

std::vector<TableOutcome> applyRecipe(
    const Recipe& recipe, const QString& folder, const ApplyOptions& options)
{
    std::vector<TableOutcome> outcomes;
    // Found once: each table's place is what its plan, its private copy and its write-back use.
    const std::vector<paradox::TablePlace> places = data::paradoxTablePlaces(folder);
    QStringList tables;
    for (const paradox::TablePlace& place : places)
        tables.append(place.name.toUpper());
    // A step that names a table the folder lacks is said, not silently skipped.
    for (const RecipeStep& step : recipe.steps) {
        if (!step.isForEveryTable() && !tables.contains(step.table, Qt::CaseInsensitive)) {
            TableOutcome missing;
            missing.table = step.table;
            missing.state = TableOutcome::State::Failed;
            missing.problem = u"the folder has no table %1"_s.arg(step.table);
            outcomes.push_back(missing);
        }
    }
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (options.startingTable)
            options.startingTable(tables[static_cast<qsizetype>(i)]);
        TableOutcome outcome = applyToTable(recipe, places[i], tables[static_cast<qsizetype>(i)], options);
        if (outcome.state != TableOutcome::State::Unchanged || !outcome.steps.empty()
            || !outcome.notes.isEmpty())
            outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

QString describeOutcome(const TableOutcome& outcome)
{
    std::int64_t records = 0;
    for (const StepOutcome& step : outcome.steps)
        records += step.recordsChanged;
    switch (outcome.state) {
    case TableOutcome::State::Written:
        return u"%1: written; %2 record changes; the previous version is kept in %3"_s.arg(outcome.table)
            .arg(records)
            .arg(data::shownBackupFolder(outcome.backupFolder));
    case TableOutcome::State::Unchanged:
        return u"%1: no record changed, so the table was not written"_s.arg(outcome.table);
    case TableOutcome::State::Previewed:
        return u"%1: %2 record changes would be made"_s.arg(outcome.table).arg(records);
    case TableOutcome::State::Failed:
        break;
    }
    return (outcome.isLeftAsItWas ? u"%1: left as it was: %2"_s : u"%1: failed: %2"_s)
        .arg(outcome.table, outcome.problem);
}

} // namespace cleaning::recipes
