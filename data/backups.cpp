#include "data/backups.h"

#include "core/error_report.h"
#include "core/helpers.h"
#include "data/paradox/table.h"
#include "data/safe_files.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace data {
namespace {

constexpr char16_t kNoteFile[] = u"backup.json";

// Only folders named like ours are ever listed or pruned: the root might hold other things.
const QRegularExpression& backupName()
{
    static const QRegularExpression pattern(u"^\\d{8}-\\d{6}-\\d{3}(-\\d+)?-.+$"_s);
    return pattern;
}

QString noteFile(const QString& backupFolder)
{
    return QDir(backupFolder).filePath(QString::fromUtf16(kNoteFile));
}

} // namespace

QString defaultBackupRoot()
{
    return core::userDataFolder() + u"/backups"_s;
}

QString shownBackupFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(folder);
#ifdef Q_OS_UNIX
    const QString home = QDir::cleanPath(QDir::homePath());
    if (home != u"/"_s && clean.startsWith(home + u'/'))
        return u'~' + clean.mid(home.size());
#endif
    return QDir::toNativeSeparators(clean);
}

QString newBackupFolder(const QString& root, const QString& table)
{
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss-zzz"_s);
    const QDir dir(root);
    QString folder = dir.absoluteFilePath(stamp + u'-' + table);
    for (int attempt = 2; QFileInfo::exists(folder); ++attempt)
        folder = dir.absoluteFilePath(u"%1-%2-%3"_s.arg(stamp).arg(attempt).arg(table));
    return folder;
}

bool isCompleteBackup(const QString& backupFolder, const QString& table)
{
    return !paradox::findTableFile(backupFolder, table).isEmpty();
}

void writeBackupNote(const QString& backupFolder, const BackupNote& note)
{
    const QJsonObject object { { u"table"_s, note.table }, { u"folder"_s, note.folder }, { u"field"_s, note.field },
        { u"operation"_s, note.operation }, { u"answers"_s, QJsonArray::fromStringList(note.answers) },
        { u"recordsChanged"_s, static_cast<qint64>(note.recordsChanged) },
        { u"time"_s, note.time.toString(Qt::ISODateWithMs) } };
    files::writeSynced(noteFile(backupFolder), QJsonDocument(object).toJson());
}

BackupNote readBackupNote(const QString& backupFolder)
{
    QFile file(noteFile(backupFolder));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    BackupNote note;
    note.table = object.value(u"table"_s).toString();
    note.folder = object.value(u"folder"_s).toString();
    note.field = object.value(u"field"_s).toString();
    note.operation = object.value(u"operation"_s).toString();
    for (const QJsonValue answer : object.value(u"answers"_s).toArray())
        note.answers << answer.toString();
    note.recordsChanged = object.value(u"recordsChanged"_s).toInteger();
    note.time = QDateTime::fromString(object.value(u"time"_s).toString(), Qt::ISODateWithMs);
    return note;
}

std::vector<Backup> listBackups(const QString& root, const QString& folder, const QString& table)
{
    std::vector<Backup> backups;
    const QDir dir(root);
    const QString wantedFolder = QDir(folder).absolutePath();
    // The names start with the time, so the newest sort last.
    QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto name = names.crbegin(); name != names.crend(); ++name) {
        const QString path = dir.absoluteFilePath(*name);
        if (!backupName().match(*name).hasMatch() || !isCompleteBackup(path, table))
            continue;
        BackupNote note = readBackupNote(path);
        // A backup without a note (from an older version of the program) names its table
        // only by its folder name; it is listed for a table of that name in any folder.
        if (!note.folder.isEmpty() && QDir(note.folder).absolutePath() != wantedFolder)
            continue;
        if (note.table.isEmpty() && !name->endsWith(u'-' + table, Qt::CaseInsensitive))
            continue;
        if (!note.table.isEmpty() && note.table.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        QStringList fileNames = QDir(path).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        fileNames.removeAll(QString::fromUtf16(kNoteFile));
        backups.push_back({ *name, path, std::move(note), std::move(fileNames) });
    }
    return backups;
}

void pruneBackups(const QString& root, const QString& folder, const QString& table, int kept)
{
    // While the table is missing from its folder, its backups may be the only copies left.
    if (paradox::findTableFile(folder, table).isEmpty())
        return;
    const std::vector<Backup> backups = listBackups(root, folder, table);
    for (std::size_t i = static_cast<std::size_t>(std::max(kept, 0)); i < backups.size(); ++i)
        QDir(backups[i].path).removeRecursively();
}

} // namespace data
