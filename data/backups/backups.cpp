#include "data/backups/backups.h"

#include "core/error_report.h"
#include "core/helpers.h"
#include "data/backups/backup_copies.h"
#include "data/paradox/paradox.h"
#include "data/safety/safe_files.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <future>

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

QString extensionKey(const QString& name)
{
    return QFileInfo(name).suffix().toLower();
}

// A replacement as it is once finished in place, which is how its write-back leaves it.
QByteArray finalDigest(const Replacement& replacement)
{
    if (!replacement.digest.isEmpty() && replacement.laterWrites.empty() && replacement.length < 0)
        return replacement.digest;
    const QString digest = fileDigest(replacement.replacement, replacement.laterWrites, replacement.length);
    if (digest.isEmpty())
        throw core::Error(u"Cannot read %1."_s.arg(QDir::toNativeSeparators(replacement.replacement)));
    return digest.toLatin1();
}

QJsonArray encodeFiles(const std::vector<BackedUpFile>& files)
{
    QJsonArray array;
    for (const BackedUpFile& file : files)
        array.append(QJsonObject { { u"name"_s, file.name }, { u"held"_s, file.isHeld },
            { u"before"_s, QString::fromLatin1(file.before) },
            { u"after"_s, QString::fromLatin1(file.after) } });
    return array;
}

std::vector<BackedUpFile> decodeFiles(const QJsonArray& array)
{
    std::vector<BackedUpFile> files;
    for (const QJsonValue value : array) {
        const QJsonObject file = value.toObject();
        files.push_back({ file.value(u"name"_s).toString(), file.value(u"held"_s).toBool(),
            file.value(u"before"_s).toString().toLatin1(), file.value(u"after"_s).toString().toLatin1() });
    }
    return files;
}

// Going back in time through one folder's backups (newest first): `state` is the table as the
// next newer write-back found it (or as it is now). A write-back that found the table just so
// and would have changed it, never did: it was cut short before its first rename, and
// taking it back would bring back nothing.
std::vector<Backup> tookPlace(std::vector<Backup> backups, TableState* state, bool* isStateKnown)
{
    std::vector<Backup> kept;
    for (Backup& backup : backups) {
        if (!backup.note.hasDigests()) {
            *isStateKnown = false;
            kept.push_back(std::move(backup));
            continue;
        }
        const TableState before = backup.note.before();
        if (*isStateKnown && before == *state && backup.note.after() != before)
            continue;
        *state = before;
        *isStateKnown = true;
        kept.push_back(std::move(backup));
    }
    return kept;
}

} // namespace

TableState BackupNote::before() const
{
    TableState state;
    for (const BackedUpFile& file : files) {
        if (!file.before.isEmpty())
            state.insert(extensionKey(file.name), file.before);
    }
    return state;
}

TableState BackupNote::after() const
{
    TableState state;
    for (const BackedUpFile& file : files) {
        if (!file.after.isEmpty())
            state.insert(extensionKey(file.name), file.after);
    }
    return state;
}

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

TableState writeBackup(const QString& backupFolder, const QString& tableFolder,
    const std::vector<Replacement>& replacements, BackupNote note, BackupCopies* early)
{
    const QFileInfo named(backupFolder);
    const QString partial = partialBackupFolder(backupFolder);
    try {
        // The copies begun early are of the table as it was then: the last check before the
        // first rename finds any change since, as it does for copies made now.
        QMap<QString, QByteArray> copied;
        if (early)
            copied = early->take();
        else
            files::makeFolder(partial);
        const QDir table(tableFolder);
        // By file name in lower case: the family may spell a target otherwise.
        QMap<QString, Replacement> replacementOf;
        for (const Replacement& replacement : replacements)
            replacementOf.insert(QFileInfo(replacement.target).fileName().toLower(), replacement);
        // The new files are read on a thread of their own while the old ones are copied.
        std::future<QMap<QString, QByteArray>> finalDigests = std::async(std::launch::async, [replacementOf] {
            QMap<QString, QByteArray> digests;
            for (auto replacement = replacementOf.cbegin(); replacement != replacementOf.cend();
                 ++replacement)
                digests.insert(replacement.key(), finalDigest(*replacement));
            return digests;
        });
        note.files.clear();
        std::vector<std::size_t> replaced; // by index into note.files: their digests come last
        for (const QString& name : dataFileNames(tableFolder, note.table)) {
            BackedUpFile file { name, true, {}, {} };
            const bool isRemoved = note.removes.contains(name);
            file.isHeld = replacementOf.contains(name.toLower()) || isRemoved || isAlwaysHeld(name);
            if (const auto made = copied.constFind(name.toLower()); file.isHeld && made != copied.cend())
                file.before = *made;
            else if (file.isHeld)
                file.before = files::copySyncedWithDigest(table.filePath(name), QDir(partial).filePath(name));
            else
                file.before = requiredDigest(table.filePath(name));
            if (replacementOf.remove(name.toLower()) > 0)
                replaced.push_back(note.files.size());
            else if (!isRemoved)
                file.after = file.before;
            note.files.push_back(file);
        }
        const QMap<QString, QByteArray> after = finalDigests.get();
        for (const std::size_t index : replaced)
            note.files[index].after = after.value(note.files[index].name.toLower());
        for (auto added = replacementOf.cbegin(); added != replacementOf.cend(); ++added)
            note.files.push_back(
                { QFileInfo(added->target).fileName(), false, {}, after.value(added.key()) });
        note.folder = paradox::canonicalFolder(note.folder);
        writeBackupNote(partial, note);
        files::syncFolder(partial);
        files::rename(partial, backupFolder);
        files::syncFolder(named.absolutePath());
    } catch (const core::Error&) {
        QDir(partial).removeRecursively();
        throw;
    }
    return note.after();
}

void writeBackupNote(const QString& backupFolder, const BackupNote& note)
{
    QJsonObject object { { u"table"_s, note.table }, { u"folder"_s, note.folder }, { u"field"_s, note.field },
        { u"operation"_s, note.operation }, { u"answers"_s, QJsonArray::fromStringList(note.answers) },
        { u"recordsChanged"_s, static_cast<qint64>(note.recordsChanged) },
        { u"time"_s, note.time.toString(Qt::ISODateWithMs) } };
    if (note.hasDigests())
        object.insert(u"files"_s, encodeFiles(note.files));
    files::writeSynced(noteFile(backupFolder), QJsonDocument(object).toJson());
}

BackupNote readBackupNote(const QString& backupFolder)
{
    const QFileInfo info(noteFile(backupFolder));
    if (!info.exists() && !info.isSymLink())
        return {};
    if (info.isSymLink() || !info.isFile())
        throw core::Error(
            u"%1 is no regular file; it is not read."_s.arg(QDir::toNativeSeparators(info.filePath())));
    if (info.size() > kLargestBackupNote)
        throw core::Error(u"%1 is larger than %2 bytes, which no note of this program is; it is not read."_s
                              .arg(QDir::toNativeSeparators(info.filePath()))
                              .arg(kLargestBackupNote));
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        throw core::Error(u"Cannot read %1."_s.arg(QDir::toNativeSeparators(info.filePath())));
    const QJsonObject object = QJsonDocument::fromJson(file.read(kLargestBackupNote)).object();
    BackupNote note;
    note.table = object.value(u"table"_s).toString();
    note.folder = object.value(u"folder"_s).toString();
    note.field = object.value(u"field"_s).toString();
    note.operation = object.value(u"operation"_s).toString();
    for (const QJsonValue answer : object.value(u"answers"_s).toArray())
        note.answers << answer.toString();
    note.recordsChanged = object.value(u"recordsChanged"_s).toInteger();
    note.time = QDateTime::fromString(object.value(u"time"_s).toString(), Qt::ISODateWithMs);
    note.files = decodeFiles(object.value(u"files"_s).toArray());
    return note;
}

std::vector<Backup> listBackups(
    const QString& root, const QString& folder, const QString& table, const TableState* current)
{
    const QDir dir(root);
    const QString wantedFolder = paradox::canonicalFolder(folder);
    // Each folder's backups, newest first (the names start with the time).
    QMap<QString, std::vector<Backup>> byFolder;
    QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto name = names.crbegin(); name != names.crend(); ++name) {
        const QString path = dir.absoluteFilePath(*name);
        // A backup is named after its table; others are not even opened.
        if (!backupName().match(*name).hasMatch() || !name->endsWith(u'-' + table, Qt::CaseInsensitive)
            || QFileInfo(path).isSymLink() || !isCompleteBackup(path, table))
            continue;
        BackupNote note;
        try {
            note = readBackupNote(path);
        } catch (const core::Error&) {
            continue; // a restore of it says why
        }
        if (!note.table.isEmpty() && note.table.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        // A backup without a note (from an older version of the program) names its table
        // only by its folder name; it is listed for a table of that name in any folder.
        const QString madeIn = note.folder.isEmpty() ? wantedFolder : paradox::canonicalFolder(note.folder);
        QStringList fileNames = QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        fileNames.removeAll(QString::fromUtf16(kNoteFile));
        byFolder[madeIn].push_back({ *name, path, std::move(note), std::move(fileNames), {} });
    }
    const QStringList madeIn = byFolder.keys();
    if (std::none_of(madeIn.cbegin(), madeIn.cend(),
            [&](const QString& key) { return key == wantedFolder || !QFileInfo(key).isDir(); }))
        return {}; // the table need not be read
    TableState state = current ? *current : tableState(wantedFolder, table);
    bool isStateKnown = true;
    std::vector<Backup> backups = tookPlace(byFolder.take(wantedFolder), &state, &isStateKnown);
    // A folder that is gone: its table came here when its last state is this table's first.
    for (bool isLinked = true; isLinked && isStateKnown && state.contains(u"db"_s);) {
        isLinked = false;
        for (auto group = byFolder.begin(); group != byFolder.end(); ++group) {
            if (QFileInfo(group.key()).isDir())
                continue;
            auto last = std::find_if(group->begin(), group->end(),
                [&](const Backup& b) { return b.note.after().value(u"db"_s) == state.value(u"db"_s); });
            if (last == group->end())
                continue;
            std::vector<Backup> moved = tookPlace(
                std::vector<Backup>(std::make_move_iterator(last), std::make_move_iterator(group->end())),
                &state, &isStateKnown);
            for (Backup& backup : moved)
                backup.movedFrom = group.key();
            backups.insert(
                backups.end(), std::make_move_iterator(moved.begin()), std::make_move_iterator(moved.end()));
            byFolder.erase(group);
            isLinked = true;
            break;
        }
    }
    std::stable_sort(
        backups.begin(), backups.end(), [](const Backup& a, const Backup& b) { return a.id > b.id; });
    return backups;
}

void pruneBackups(
    const QString& root, const QString& folder, const QString& table, int kept, const TableState* current)
{
    // While the table is missing from its folder, its backups may be the only copies left.
    if (paradox::findTableFile(folder, table).isEmpty())
        return;
    const std::vector<Backup> backups = listBackups(root, folder, table, current);
    for (std::size_t i = static_cast<std::size_t>(std::max(kept, 0)); i < backups.size(); ++i)
        QDir(backups[i].path).removeRecursively();
    // Backups a kill cut short while they were filled; one of today may still be filling.
    const QDir dir(root);
    const QDateTime yesterday = QDateTime::currentDateTime().addDays(-1);
    for (const QString& name : dir.entryList({ u".*-"_s + table + u".part"_s }, QDir::Dirs | QDir::Hidden)) {
        const QDateTime made = QDateTime::fromString(name.mid(1, 19), u"yyyyMMdd-HHmmss-zzz"_s);
        if (made.isValid() && made < yesterday && backupName().match(name.mid(1).chopped(5)).hasMatch())
            QDir(dir.filePath(name)).removeRecursively();
    }
}

} // namespace data
