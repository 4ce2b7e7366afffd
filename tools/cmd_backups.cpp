// fieldwright-cli backups FOLDER TABLE: the kept versions of a table, newest first, as CSV
// with a header row (id, time, field, operation, records changed, the answers as one JSON
// array, and the folder the version was made in when the table has moved since).
// fieldwright-cli restore FOLDER TABLE [ID]: puts the table back as it was before that
// backup (the newest when no ID is given); the version it replaces is kept in turn.

#include "tools/cli_support.h"

#include "data/backup_restore.h"
#include "data/backups.h"
#include "data/safe_names.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

// The folder and table named, or the exit status of a usage error after saying what is wrong.
int checkArguments(const QString& folder, const QString& table, const QString& usage)
{
    QString problem;
    if (!QFileInfo(folder).isDir())
        problem = u"no such folder: %1"_s.arg(QDir::toNativeSeparators(folder));
    else if (const QString name = data::tableNameProblem(table); !name.isEmpty())
        problem = name;
    if (problem.isEmpty())
        return 0;
    printErr(u"fieldwright-cli: "_s + problem);
    printErr(usage);
    return 2;
}

// The table's backups, or nullopt after saying why there are none to be had.
std::optional<std::vector<data::Backup>> backupsOf(const QString& folder, const QString& table)
{
    try {
        return data::listBackups(data::defaultBackupRoot(), folder, table);
    } catch (const core::Error& e) {
        printErr(u"fieldwright-cli: "_s + e.description());
        return std::nullopt;
    }
}

QString movedNote(const data::Backup& backup)
{
    return u"That version was kept when the table was in %1, a folder that is gone now."_s.arg(
        QDir::toNativeSeparators(backup.movedFrom));
}

} // namespace

int runBackups(const QStringList& args)
{
    const QString usage = u"usage: fieldwright-cli backups FOLDER TABLE"_s;
    if (args.size() != 2) {
        printErr(usage);
        return 2;
    }
    if (const int status = checkArguments(args[0], tableArgument(args[1]), usage))
        return status;
    const auto backups = backupsOf(args[0], tableArgument(args[1]));
    if (!backups)
        return 1;
    printOut(u"id,time,field,operation,records,answers,moved_from"_s);
    for (const data::Backup& backup : *backups) {
        const data::BackupNote& note = backup.note;
        const QString answers = QString::fromUtf8(
            QJsonDocument(QJsonArray::fromStringList(note.answers)).toJson(QJsonDocument::Compact));
        printOut(QStringList { csvField(backup.id, false), csvField(note.time.toString(Qt::ISODate), false),
            csvField(note.field, false), csvField(note.operation, false),
            QString::number(note.recordsChanged), csvField(answers, false),
            csvField(QDir::toNativeSeparators(backup.movedFrom), false) }
                     .join(u','));
    }
    return 0;
}

int runRestore(const QStringList& args)
{
    const QString usage = u"usage: fieldwright-cli restore FOLDER TABLE [ID]"_s;
    if (args.size() != 2 && args.size() != 3) {
        printErr(usage);
        return 2;
    }
    const QString table = tableArgument(args[1]);
    if (const int status = checkArguments(args[0], table, usage))
        return status;
    QString id = args.value(2);
    const auto backups = backupsOf(args[0], table);
    if (!backups)
        return 1;
    if (id.isEmpty()) {
        if (backups->empty()) {
            printErr(u"fieldwright-cli: no version of the table %1 of %2 is kept"_s.arg(
                table, QDir::toNativeSeparators(args[0])));
            return 1;
        }
        id = backups->front().id;
    }
    const data::RestoreResult result = data::restoreBackup(args[0], table, id);
    if (!result.isRestored) {
        printErr(u"fieldwright-cli: "_s + terminalText(result.problem));
        return 1;
    }
    printOut(u"The table %1 is back as it was before %2.\nThe version it replaced is kept in %3."_s.arg(
        table, id, data::shownBackupFolder(result.backupFolder)));
    const auto chosen = std::find_if(
        backups->cbegin(), backups->cend(), [&](const data::Backup& backup) { return backup.id == id; });
    if (chosen != backups->cend() && !chosen->movedFrom.isEmpty())
        printOut(movedNote(*chosen));
    return 0;
}

} // namespace tools
