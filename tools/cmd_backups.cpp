// fieldwright-cli backups FOLDER TABLE: the kept versions of a table, newest first, as CSV
// with a header row (id, time, field, operation, records changed, the answers as one JSON
// array, and the folder the version was made in when the table has moved since).
// fieldwright-cli restore FOLDER TABLE [ID]: puts the table back as it was before that
// backup (the newest when no ID is given); the version it replaces is kept in turn.

#include "tools/cli_support.h"

#include "data/backup_restore.h"
#include "data/backups/backups.h"
#include "data/safe_names.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

// The place of the table named, or nullopt after a usage error (*status 2): no such folder,
// an argument leading out of it, or a name no table may have.
std::optional<TablePlace> placeOf(const CommandLine& line, int* status)
{
    auto place = findTablePlace(line, line.argument(0), line.argument(1), false, status);
    if (!place)
        return std::nullopt;
    if (const QString problem = data::tableNameProblem(place->table); !problem.isEmpty()) {
        *status = line.usageError(problem);
        return std::nullopt;
    }
    return place;
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
    CommandLine line(u"backups"_s, u"Lists the kept versions of a table, newest first."_s);
    line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
    line.addArgument(u"TABLE"_s, u"The table, as \"tables\" lists it."_s);
    if (const auto status = line.parse(args))
        return *status;
    int status = 0;
    const auto place = placeOf(line, &status);
    if (!place)
        return status;
    const auto backups = backupsOf(place->folder, place->table);
    if (!backups)
        return 1;
    printCsvRow(
        { u"id"_s, u"time"_s, u"field"_s, u"operation"_s, u"records"_s, u"answers"_s, u"moved_from"_s });
    for (const data::Backup& backup : *backups) {
        const data::BackupNote& note = backup.note;
        printCsvRow({ backup.id, note.time.toString(Qt::ISODate), note.field, note.operation,
            QString::number(note.recordsChanged), jsonText(QJsonArray::fromStringList(note.answers)),
            QDir::toNativeSeparators(backup.movedFrom) });
    }
    return 0;
}

int runRestore(const QStringList& args)
{
    CommandLine line(u"restore"_s, u"Puts a table back as it was before a kept version was made."_s);
    line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
    line.addArgument(u"TABLE"_s, u"The table, as \"tables\" lists it."_s);
    line.addOptionalArgument(u"ID"_s, u"The version, as \"backups\" lists it (the newest when left out)."_s);
    if (const auto status = line.parse(args))
        return *status;
    int status = 0;
    const auto place = placeOf(line, &status);
    if (!place)
        return status;
    const QString& folder = place->folder;
    const QString& table = place->table;
    QString id = line.argument(2);
    const auto backups = backupsOf(folder, table);
    if (!backups)
        return 1;
    if (id.isEmpty()) {
        if (backups->empty()) {
            printErr(u"fieldwright-cli: no version of the table %1 of %2 is kept"_s.arg(
                table, QDir::toNativeSeparators(folder)));
            return 1;
        }
        id = backups->front().id;
    }
    const data::RestoreResult result = data::restoreBackup(folder, table, id);
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
