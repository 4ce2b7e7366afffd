// fieldwright-cli backups FOLDER TABLE: the kept versions of a table, newest first, one CSV
// line each (id, time, field, operation, records changed, then the answers as typed).
// fieldwright-cli restore FOLDER TABLE [ID]: puts the table back as it was before that
// backup (the newest when no ID is given); the version it replaces is kept in turn.

#include "tools/cli_support.h"

#include "data/backup_restore.h"
#include "data/backups.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace tools {
namespace {

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

} // namespace

int runBackups(const QStringList& args)
{
    CommandLine line(u"backups"_s, u"Lists the kept versions of a table, newest first."_s);
    line.addArgument(u"FOLDER"_s, u"The Paradox folder."_s);
    line.addArgument(u"TABLE"_s, u"The table, as \"tables\" lists it."_s);
    if (const auto status = line.parse(args))
        return *status;
    int status = 0;
    const auto place = findTablePlace(line, line.argument(0), line.argument(1), false, &status);
    if (!place)
        return status;
    const auto backups = backupsOf(place->folder, place->table);
    if (!backups)
        return 1;
    for (const data::Backup& backup : *backups) {
        const data::BackupNote& note = backup.note;
        QStringList fields { csvField(backup.id, false), csvField(note.time.toString(Qt::ISODate), false),
            csvField(note.field, false), csvField(note.operation, false),
            QString::number(note.recordsChanged) };
        for (const QString& answer : note.answers)
            fields << csvField(answer, false);
        printOut(fields.join(u','));
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
    const auto place = findTablePlace(line, line.argument(0), line.argument(1), false, &status);
    if (!place)
        return status;
    const QString& folder = place->folder;
    const QString& table = place->table;
    QString id = line.argument(2);
    if (id.isEmpty()) {
        const auto backups = backupsOf(folder, table);
        if (!backups)
            return 1;
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
    return 0;
}

} // namespace tools
