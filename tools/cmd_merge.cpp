// merge FOLDER TABLE FIELD --into TEXT --value TEXT [--value TEXT]... | --clusters FILE.csv
//       [--where-value TEXT]... [--where-match REGEX] [--dry-run]

#include "tools/cli_support.h"
#include "tools/limit_options.h"

#include "cleaning/merge_run.h"
#include "core/folder_box.h"
#include "core/helpers.h"
#include "data/paradox_folder.h"

#include <QFile>
#include <QMap>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

const QString kUsage
    = u"usage: fieldwright-cli merge FOLDER TABLE FIELD (--into TEXT --value TEXT [--value TEXT]... "
      "| --clusters FILE.csv) [--where-value TEXT]... [--where-match REGEX] [--dry-run]"_s;

// One record of CSV text: fields quoted or not (an empty unquoted field is the null);
// *at moves past the record's line break. Quoted fields may hold line breaks.
QList<cleaning::FieldValue> csvRecord(const QString& text, qsizetype* at, QString* problem)
{
    QList<cleaning::FieldValue> fields;
    qsizetype i = *at;
    for (;;) {
        cleaning::FieldValue field;
        if (i < text.size() && text[i] == u'"') {
            QString value;
            for (++i;; ++i) {
                if (i >= text.size()) {
                    *problem = u"a quoted field is not closed"_s;
                    return {};
                }
                if (text[i] == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                    value += u'"';
                    ++i;
                } else if (text[i] == u'"') {
                    ++i;
                    break;
                } else {
                    value += text[i];
                }
            }
            field = value;
        } else {
            const qsizetype start = i;
            while (i < text.size() && text[i] != u',' && text[i] != u'\n' && text[i] != u'\r')
                ++i;
            if (i > start)
                field = text.mid(start, i - start);
        }
        fields << field;
        if (i < text.size() && text[i] == u',') {
            ++i;
            continue;
        }
        if (i < text.size() && text[i] == u'\r')
            ++i;
        if (i < text.size() && text[i] == u'\n')
            ++i;
        *at = i;
        return fields;
    }
}

// The clusters file: a header row, then cluster number, value, records, proposed value. Each
// cluster's values are merged into its proposed value; a cluster whose proposed value is left
// empty is left alone.
bool readClusters(const QString& path, QList<cleaning::MergeRequest>& merges, QString* problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = u"the clusters file %1 cannot be read: %2"_s.arg(path, file.errorString());
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    qsizetype at = 0;
    QString fault;
    csvRecord(text, &at, &fault); // the header row
    QMap<qint64, cleaning::MergeRequest> clusters;
    QMap<qint64, bool> isLeftAlone;
    for (int line = 2; fault.isEmpty() && at < text.size(); ++line) {
        const QList<cleaning::FieldValue> fields = csvRecord(text, &at, &fault);
        if (!fault.isEmpty())
            break;
        if (fields.size() == 1 && !fields[0])
            continue; // a blank line, as spreadsheets leave at the end
        bool isNumber = false;
        const qint64 cluster = fields.size() == 4 && fields[0] ? fields[0]->toLongLong(&isNumber) : 0;
        if (!isNumber) {
            fault = u"record %1 is not: cluster number, value, records, proposed value"_s.arg(line);
            break;
        }
        cleaning::MergeRequest& merge = clusters[cluster];
        const bool isFirst = merge.from.isEmpty();
        if (!isFirst && (isLeftAlone[cluster] != !fields[3] || (fields[3] && merge.into != *fields[3]))) {
            fault
                = u"record %1 proposes another value for cluster %2 than its earlier records"_s.arg(line).arg(
                    cluster);
            break;
        }
        isLeftAlone[cluster] = !fields[3];
        merge.into = fields[3].value_or(QString());
        merge.from << fields[1];
    }
    if (!fault.isEmpty()) {
        *problem = u"the clusters file %1 cannot be used: %2"_s.arg(path, fault);
        return false;
    }
    for (auto cluster = clusters.cbegin(); cluster != clusters.cend(); ++cluster) {
        if (!isLeftAlone[cluster.key()])
            merges << cluster.value();
    }
    return true;
}

int previewMerge(PrintingRunView& view, const cleaning::RunPlaces& places,
    const QList<cleaning::MergeRequest>& merges, const cleaning::RecordLimit& limit)
{
    const auto result = cleaning::previewMerge(
        view, places, merges,
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

int help()
{
    printOut(kUsage + uR"(
Replaces chosen values of a field by one value, through a change run: only the changed records
are written back, and a previous version is kept.

Options:
  -h, --help           Shows this help.
  --into TEXT          The value that the chosen values become.
  --value TEXT         A value to replace; once per value.
  --clusters FILE.csv  The clusters that "clusters" printed: each cluster is merged into its
                       proposed value (edit that column; leave it empty in every row of a cluster
                       to leave the cluster alone).
  --where-value TEXT   Only the records holding this value; once per value.
  --where-match REGEX  Only the records whose value this regular expression finds.
  --dry-run            Lists what would change and writes nothing.)"_s);
    return 0;
}

int usageError(const QString& what)
{
    if (!what.isEmpty())
        printErr(u"fieldwright-cli: "_s + what);
    printErr(kUsage);
    return 2;
}

} // namespace

int runMerge(const QStringList& args)
{
    const auto isHelp = [](const QString& arg) { return arg == u"--help"_s || arg == u"-h"_s; };
    if (!args.isEmpty() && isHelp(args.first()))
        return help();
    if (args.size() < 3)
        return usageError({});
    PrintingRunView view;
    view.table = tableArgument(args[1]);
    view.field = args[2];
    cleaning::MergeRequest given;
    std::optional<QString> into;
    QString clustersFile;
    cleaning::RecordLimit limit;
    bool isDryRun = false;
    for (qsizetype i = 3; i < args.size(); ++i) {
        if (args[i] == u"--dry-run"_s)
            isDryRun = true;
        else if (isHelp(args[i]))
            return help();
        else if (args[i] == u"--into"_s && i + 1 < args.size() && !into)
            into = args[++i];
        else if (args[i] == u"--value"_s && i + 1 < args.size())
            given.from << args[++i];
        else if (args[i] == u"--clusters"_s && i + 1 < args.size() && clustersFile.isEmpty())
            clustersFile = args[++i];
        else if (!takeLimitOption(args, &i, limit))
            return usageError(u"unknown or incomplete option "_s + args[i]);
    }
    QList<cleaning::MergeRequest> merges;
    if (!clustersFile.isEmpty() && (into || !given.from.isEmpty()))
        return usageError(u"give either --clusters or --into with --value, not both"_s);
    if (clustersFile.isEmpty() && (!into || given.from.isEmpty()))
        return usageError(u"give --into TEXT and at least one --value TEXT, or --clusters FILE.csv"_s);
    if (!clustersFile.isEmpty()) {
        QString problem;
        if (!readClusters(clustersFile, merges, &problem))
            return usageError(problem);
    } else {
        given.into = *into;
        merges << given;
    }
    if (QString problem = cleaning::limitProblem(limit); !problem.isEmpty())
        return usageError(u"--where-match: "_s + problem);
    if (merges.isEmpty()) {
        printOut(u"Every cluster of %1 is left alone: there is nothing to merge."_s.arg(clustersFile));
        return 0;
    }
    if (QString problem = cleaning::mergeProblem(merges); !problem.isEmpty())
        return usageError(problem);
    try {
        const std::vector<paradox::Field> fields = data::tableFields(args[0], view.table);
        view.fieldCount = static_cast<int>(fields.size());
        if (std::none_of(fields.begin(), fields.end(), [&](const paradox::Field& f) {
                return f.name.compare(view.field, Qt::CaseInsensitive) == 0;
            }))
            return usageError(u"the table %1 has no field %2"_s.arg(view.table, view.field));
    } catch (const core::Error& e) {
        return usageError(e.description());
    }

    const core::PlainFolderBox folderBox(args[0]);
    const cleaning::RunPlaces places { folderBox, core::applicationFolder(), QString() };
    if (isDryRun)
        return previewMerge(view, places, merges, limit);
    const auto result = cleaning::mergeValues(view, places, merges, limit);
    using Outcome = cleaning::ChangeRunResult::Outcome;
    const bool hasFailed = result.outcome == Outcome::CopyFailed || result.outcome == Outcome::WriteBackFailed
        || result.outcome == Outcome::Refused || result.outcome == Outcome::AlreadyRunning;
    return view.reports.count() == 0 && !hasFailed ? 0 : 1;
}

} // namespace tools
