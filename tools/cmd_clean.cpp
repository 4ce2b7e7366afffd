#include "tools/cli_support.h"

#include "cleaning/change_preview.h"
#include "cleaning/change_run.h"
#include "cleaning/operation_catalogue.h"
#include "cleaning/run_request.h"
#include "core/folder_box.h"
#include "core/helpers.h"
#include "data/paradox_folder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

const cleaning::Operation* operationOf(const QString& argument)
{
    bool isNumber = false;
    const int position = argument.toInt(&isNumber);
    if (const cleaning::Operation* operation = isNumber ? cleaning::operationAt(position) : nullptr)
        return operation;
    return cleaning::findOperation(argument);
}

// The answers against the operation's prompts, before anything is copied: nullopt when they
// fit; otherwise the exit status, all said. A missing answer or one the operation rejects
// abandons the run (3): the window would have asked again.
std::optional<int> checkAnswers(
    const CommandLine& line, const cleaning::Operation& operation, const QStringList& answers)
{
    const QStringList prompts = cleaning::operationPrompts(operation);
    if (answers.size() > prompts.size()) {
        const QString asks
            = prompts.isEmpty() ? u"asks nothing"_s : u"asks only \"%1\""_s.arg(prompts.join(u"\", \""_s));
        return line.usageError(u"operation %1 %2; the --answer \"%3\" is one too many"_s.arg(
            QString::number(operation.position), asks, answers.value(prompts.size())));
    }
    if (answers.size() < prompts.size()) {
        printErr(u"fieldwright-cli: operation %1 asks \"%2\"; give it with --answer"_s.arg(
            QString::number(operation.position), prompts.value(answers.size())));
        return 3;
    }
    if (operation.kind != cleaning::ParameterKind::Count)
        return std::nullopt;
    QString problem;
    if (!cleaning::isNumericAnswer(answers.first())) {
        problem = u"is not a number"_s;
    } else {
        // The count fails alike for every value (the run would report it once and abandon).
        try {
            cleaning::applyOperation(operation, { answers.first(), {} }, u"x"_s);
        } catch (const core::Error& e) {
            problem = u"is refused (%1)"_s.arg(e.description());
        }
    }
    if (problem.isEmpty())
        return std::nullopt;
    printErr(
        u"fieldwright-cli: operation %1 asks \"%2\"; the answer \"%3\" %4: give another with --answer"_s.arg(
            QString::number(operation.position), prompts.first(), answers.first(), problem));
    return 3;
}

int exitStatus(const cleaning::ChangeRunResult& result)
{
    using Outcome = cleaning::ChangeRunResult::Outcome;
    if (result.wasAbandoned || result.outcome == Outcome::Closed)
        return 3;
    return result.outcome == Outcome::WrittenBack || result.outcome == Outcome::Previewed ? 0 : 1;
}

// The preview of the change: a CSV (old, new, records) of each value that would change, and the
// total on standard error; or, with --json, one document with both. A value whose new text the
// field could not hold is said on standard error (in the document: under "rejected").
int previewClean(
    PrintingRunView& view, const cleaning::RunPlaces& places, bool isJson, const cleaning::RecordLimit& limit)
{
    QJsonArray changes;
    QJsonArray rejected;
    if (!isJson)
        printCsvRow({ u"old"_s, u"new"_s, u"records"_s });
    const auto result = cleaning::previewChange(
        view, places,
        [&](const cleaning::ValueChange& change) {
            const QJsonValue old = change.isNull ? QJsonValue() : QJsonValue(change.oldText);
            if (isJson && change.rejected.isEmpty())
                changes.append(QJsonObject { { u"old"_s, old }, { u"new"_s, change.newText },
                    { u"records"_s, qint64(change.records) } });
            else if (isJson)
                rejected.append(QJsonObject { { u"old"_s, old }, { u"new"_s, change.newText },
                    { u"records"_s, qint64(change.records) }, { u"reason"_s, change.rejected } });
            else if (change.rejected.isEmpty())
                printOut(u"%1,%2,%3"_s
                             .arg(csvField(change.oldText, change.isNull), csvField(change.newText, false))
                             .arg(change.records));
            else
                printErr(u"fieldwright-cli: %1 would stay as it is (%2 records): %3"_s.arg(
                    csvField(change.oldText, change.isNull), QString::number(change.records),
                    change.rejected));
        },
        limit);
    const int status = exitStatus(result);
    if (result.outcome != cleaning::ChangeRunResult::Outcome::Previewed)
        return status;
    // A preview reports nothing when all goes well (a value the field cannot hold is listed, not
    // reported): a report means that the work database failed and the list is incomplete.
    if (view.reports.count() > 0) {
        printErr(u"fieldwright-cli: the preview failed (said above), so what it lists is incomplete."_s);
        return 1;
    }
    if (!isJson) {
        printErr(cleaning::outcomeLine(result));
        return status;
    }
    const QJsonObject document { { u"recordCount"_s, qint64(result.recordCount) },
        { u"recordsChanged"_s, qint64(result.recordsChanged) },
        { u"valuesChanged"_s, qint64(result.valuesChanged) }, { u"changes"_s, changes },
        { u"rejected"_s, rejected }, { u"summary"_s, cleaning::outcomeLine(result) } };
    printOut(QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)).trimmed());
    return status;
}

} // namespace

int runClean(const QStringList& args)
{
    CommandLine line(u"clean"_s,
        u"Applies an operation to one field of a table, as \"Start Changing\" does.\n"
        u"Exit status: 0 done, 1 failed (the table was left as it was), 2 wrong usage, 3 abandoned."_s);
    line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
    line.addArgument(u"TABLE"_s, u"The table, as \"tables\" lists it."_s);
    line.addArgument(u"FIELD"_s, u"The field to change."_s);
    line.addArgument(u"OPERATION"_s, u"The operation's number or caption, as \"operations\" lists them."_s);
    line.addOption({ u"answer"_s, u"The answer to the operation's next prompt; once per prompt, in order."_s,
        u"TEXT"_s });
    line.addOption({ u"dry-run"_s, u"Lists what would change (CSV: old,new,records) and writes nothing."_s });
    line.addOption({ u"json"_s, u"With --dry-run: one JSON document with the changes and the total."_s });
    line.addOption(
        { u"where-value"_s, u"Only the records holding this value; once per value."_s, u"TEXT"_s });
    line.addOption(
        { u"where-match"_s, u"Only the records whose value this regular expression finds."_s, u"REGEX"_s });
    if (const auto status = line.parse(args))
        return *status;
    const cleaning::Operation* operation = operationOf(line.argument(3));
    if (!operation)
        return line.usageError(u"no operation is called \"%1\" (give its caption or its number, as "
                               u"\"fieldwright-cli operations\" lists them)"_s.arg(line.argument(3)));
    const bool isDryRun = line.isSet(u"dry-run"_s);
    if (line.isSet(u"json"_s) && !isDryRun)
        return line.usageError(u"--json goes with --dry-run"_s);
    cleaning::RecordLimit limit;
    for (const QString& value : line.values(u"where-value"_s))
        limit.values.append(value);
    limit.pattern = line.value(u"where-match"_s);
    if (line.values(u"where-match"_s).size() > 1)
        return line.usageError(u"--where-match is given more than once"_s);
    if (const QString problem = cleaning::limitProblem(limit); !problem.isEmpty())
        return line.usageError(u"--where-match: "_s + problem);
    int status = 0;
    const auto place = findTablePlace(line, line.argument(0), line.argument(1), true, &status);
    if (!place)
        return status;
    if (const auto fieldStatus = checkField(line, *place, line.argument(2)))
        return *fieldStatus;
    const QStringList answers = line.values(u"answer"_s);
    if (const auto answerStatus = checkAnswers(line, *operation, answers))
        return *answerStatus;

    PrintingRunView view;
    view.table = place->table;
    view.field = line.argument(2);
    view.operation = operation->captionText();
    view.answers.assign(answers.cbegin(), answers.cend());
    try {
        view.fieldCount = static_cast<int>(data::tableFields(place->folder, view.table).size());
    } catch (const core::Error& e) {
        printErr(u"fieldwright-cli: "_s + e.description());
        return 1;
    }

    const core::PlainFolderBox folderBox(place->folder);
    const cleaning::RunPlaces places { folderBox, core::applicationFolder(), QString() };
    if (isDryRun)
        return previewClean(view, places, line.isSet(u"json"_s), limit);
    return exitStatus(cleaning::PushButton1_Click(view, places, limit));
}

} // namespace tools
