#include "data/backups.h"

#include "core/error_report.h"
#include "core/helpers.h"
#include "data/paradox/table.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace data {
namespace {

// Only folders named like ours are ever pruned: the root might be shared with something else.
const QRegularExpression& backupName()
{
    static const QRegularExpression pattern(u"^\\d{8}-\\d{6}-\\d{3}(-\\d+)?-.+$"_s);
    return pattern;
}

} // namespace

QString defaultBackupRoot()
{
    return core::userDataFolder() + u"/backups"_s;
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

void restoreTable(const QString& backupFolder, const QString& folder)
{
    QStringList files = QDir(backupFolder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    // The .DB last: a table exists exactly while its .DB does.
    std::stable_partition(files.begin(), files.end(),
        [](const QString& name) { return !name.endsWith(u".db"_s, Qt::CaseInsensitive); });
    for (const QString& name : files) {
        const QString from = QDir(backupFolder).absoluteFilePath(name);
        const QString to = QDir(folder).absoluteFilePath(name);
        if (QFileInfo::exists(to))
            throw core::Error(u"%1 is in the way"_s.arg(QDir::toNativeSeparators(to)));
        QFile source(from);
        if (!source.copy(to))
            throw core::Error(u"cannot copy %1 to %2: %3"_s.arg(
                QDir::toNativeSeparators(from), QDir::toNativeSeparators(to), source.errorString()));
    }
}

void pruneBackups(const QString& root, int kept)
{
    QDir dir(root);
    QStringList folders;
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (backupName().match(name).hasMatch())
            folders << name;
    }
    // The names start with the time, so the oldest sort first.
    for (qsizetype i = 0; i + kept < folders.size(); ++i)
        QDir(dir.absoluteFilePath(folders[i])).removeRecursively();
}

} // namespace data
