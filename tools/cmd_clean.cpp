#include "tools/cli_support.h"
#include "tools/limit_options.h"

#include "cleaning/change_preview.h"
#include "cleaning/change_run.h"
#include "cleaning/operation_catalogue.h"
#include "core/folder_box.h"
#include "core/helpers.h"
#include "data/paradox_folder.h"

#include <deque>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

// The change run's view on the command line: the selection comes from the arguments,
// prompts take the next --answer (none left is Cancel), messages go to standard output.
class CommandLineView : public cleaning::ChangeRunView
{
public:
    QString table;
    QString field;
    QString operation;
    int fieldCount = 0;
    std::deque<QString> answers;
    PrintedErrorReports reports;

    QString selectedTable() const override { return table; }
    QString selectedField() const override { return field; }
    int fieldListCount() const override { return fieldCount; }
    QString operationText() const override { return operation; }
    void setProgressValue(double) override { }
    void setProgressText(const QString&) override { }
    void clearPreview() override { }
    void addPreviewEntry(const QString&) override { }
    void setBusy(bool) override { }
    void processEvents() override { }
    void pause(float) override { }
    std::optional<QString> inputBox(const QString&) override
    {
        if (answers.empty())
            return std::nullopt;
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void messageBox(const QString& text) override { printOut(terminalText(text)); }
    bool askYesNo(const QString&) override { return false; }
    void showErrorReport(const QString& report) override { reports.showErrorReport(report); }
};

QString operationCaption(const QString& argument)
{
    bool isNumber = false;
    const int position = argument.toInt(&isNumber);
    if (const cleaning::Operation* operation = isNumber ? cleaning::operationAt(position) : nullptr)
        return operation->captionText();
    return cleaning::findOperation(argument) ? argument : QString();
}

// The preview of the change: one CSV line (old, new, records) per value that would change,
// then the total. A value whose new text the field could not hold is said on standard error.
int previewClean(CommandLineView& view, const cleaning::RunPlaces& places, const cleaning::RecordLimit& limit)
{
    const auto result = cleaning::previewChange(
        view, places,
        [&](const cleaning::ValueChange& change) {
            if (change.rejected.isEmpty())
                printOut(u"%1,%2,%3"_s
                             .arg(csvField(change.oldText, change.isNull), csvField(change.newText, false))
                             .arg(change.records));
            else
                printErr(u"fieldwright-cli: %1 would stay as it is (%2 records): %3"_s.arg(
                    csvField(change.oldText, change.isNull), QString::number(change.records),
                    change.rejected));
        },
        limit);
    if (result.outcome != cleaning::ChangeRunResult::Outcome::Previewed)
        return 1;
    printOut(cleaning::outcomeLine(result));
    return view.reports.count() == 0 ? 0 : 1;
}

} // namespace

int runClean(const QStringList& args)
{
    const QString usage = u"usage: fieldwright-cli clean FOLDER TABLE FIELD OPERATION [--answer TEXT]... "
                          "[--where-value TEXT]... [--where-match REGEX] [--dry-run]"_s;
    if (args.size() < 4) {
        printErr(usage);
        return 2;
    }
    CommandLineView view;
    view.table = tableArgument(args[1]);
    view.field = args[2];
    view.operation = operationCaption(args[3]);
    if (view.operation.isEmpty()) {
        printErr(u"fieldwright-cli: no operation is called \""_s + args[3]
            + u"\" (give its caption or a number from 1 to %1)"_s.arg(
                cleaning::operations().size() + cleaning::moreOperations().size()));
        return 2;
    }
    bool isDryRun = false;
    cleaning::RecordLimit limit;
    for (qsizetype i = 4; i < args.size(); ++i) {
        if (args[i] == u"--dry-run"_s) {
            isDryRun = true;
        } else if (args[i] == u"--answer"_s && i + 1 < args.size()) {
            view.answers.push_back(args[++i]);
        } else if (!takeLimitOption(args, &i, limit)) {
            printErr(usage);
            return 2;
        }
    }
    if (const QString problem = cleaning::limitProblem(limit); !problem.isEmpty()) {
        printErr(u"fieldwright-cli: --where-match: "_s + problem);
        printErr(usage);
        return 2;
    }
    // A table that cannot be read is said so at once, not taken for one without fields.
    try {
        view.fieldCount = static_cast<int>(data::tableFields(args[0], view.table).size());
    } catch (const core::Error& e) {
        printErr(u"fieldwright-cli: "_s + e.description());
        return 1;
    }

    const core::PlainFolderBox folderBox(args[0]);
    const cleaning::RunPlaces places { folderBox, core::applicationFolder(), QString() };
    if (isDryRun)
        return previewClean(view, places, limit);
    const auto result = cleaning::PushButton1_Click(view, places, limit);
    using Outcome = cleaning::ChangeRunResult::Outcome;
    const bool hasFailed = result.outcome == Outcome::CopyFailed || result.outcome == Outcome::WriteBackFailed
        || result.outcome == Outcome::Refused;
    return view.reports.count() == 0 && !hasFailed ? 0 : 1;
}

} // namespace tools
