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
    if (args.size() != 2) {
        printErr(u"usage: fieldwright-cli backups FOLDER TABLE"_s);
        return 2;
    }
    const auto backups = backupsOf(args[0], tableArgument(args[1]));
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
    if (args.size() != 2 && args.size() != 3) {
        printErr(u"usage: fieldwright-cli restore FOLDER TABLE [ID]"_s);
        return 2;
    }
    const QString table = tableArgument(args[1]);
    QString id = args.value(2);
    if (id.isEmpty()) {
        const auto backups = backupsOf(args[0], table);
        if (!backups)
            return 1;
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
    return 0;
}

} // namespace tools
