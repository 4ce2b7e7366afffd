#include "data/replace/table_journal.h"

#include "core/error_report.h"
#include "core/helpers.h"
#include "data/safety/safe_files.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace data::journal {

// .NAME.fieldwright-journal: hidden, and no table listing takes it for a table.
QString journalPath(const QString& folder, const QString& table)
{
    return QDir(folder).absoluteFilePath(u".%1.fieldwright-journal"_s.arg(table));
}

// Where a journal is also named, so that the next start finds it whatever folder it is in.
QString registryFolder()
{
    return core::userDataFolder() + u"/interrupted"_s;
}

QString registryEntry(const QString& journal)
{
    const QByteArray key
        = QCryptographicHash::hash(QFile::encodeName(journal), QCryptographicHash::Sha1).toHex();
    return registryFolder() + u'/' + QString::fromLatin1(key);
}

bool isDbFile(const QString& path)
{
    return path.endsWith(u".db"_s, Qt::CaseInsensitive);
}

QByteArray encode(const Journal& journal)
{
    QJsonArray moves;
    for (std::size_t i = 0; i < journal.moves.size(); ++i) {
        const FileMove& move = journal.moves[i];
        QJsonObject object { { u"temporary"_s, move.temporary }, { u"target"_s, move.target } };
        // What finishes the target in place: a finished journal leaves the files as the
        // backup's note says this write-back leaves them.
        QJsonArray writes;
        for (const auto& [offset, bytes] : move.laterWrites)
            writes.append(QJsonArray { static_cast<qint64>(offset), QString::fromLatin1(bytes.toBase64()) });
        if (!writes.isEmpty())
            object.insert(u"laterWrites"_s, writes);
        if (journal.cutBackTo[i] >= 0)
            object.insert(u"cutBackTo"_s, static_cast<qint64>(journal.cutBackTo[i]));
        moves.append(object);
    }
    return QJsonDocument(
        QJsonObject { { u"table"_s, journal.table }, { u"backup"_s, journal.backup }, { u"moves"_s, moves } })
        .toJson();
}

std::optional<Journal> decode(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    if (object.isEmpty())
        return std::nullopt;
    Journal journal { object.value(u"table"_s).toString(), object.value(u"backup"_s).toString(), {}, {} };
    for (const QJsonValue value : object.value(u"moves"_s).toArray()) {
        const QJsonObject move = value.toObject();
        FileMove decoded { move.value(u"temporary"_s).toString(), move.value(u"target"_s).toString() };
        for (const QJsonValue write : move.value(u"laterWrites"_s).toArray()) {
            const QJsonArray pair = write.toArray();
            const qint64 offset = pair.at(0).toInteger(-1);
            if (pair.size() != 2 || offset < 0)
                return std::nullopt;
            decoded.laterWrites.emplace_back(
                static_cast<std::uint64_t>(offset), QByteArray::fromBase64(pair.at(1).toString().toLatin1()));
        }
        journal.moves.push_back(decoded);
        journal.cutBackTo.push_back(move.value(u"cutBackTo"_s).toInteger(-1));
    }
    return journal;
}

// The moves not yet made, in their order; a temporary file that is gone was moved already.
void carryOut(const QString& folder, const std::vector<FileMove>& moves)
{
    const QDir dir(folder);
    for (const FileMove& move : moves) {
        if (QFileInfo::exists(dir.filePath(move.temporary)))
            files::rename(dir.filePath(move.temporary), dir.filePath(move.target));
    }
    files::syncFolder(folder);
}

void forget(const QString& journal)
{
    files::remove(journal);
    files::syncFolder(QFileInfo(journal).absolutePath());
    try {
        files::remove(registryEntry(journal));
    } catch (const core::Error&) {
        // The entry only helps a later start find the journal, which is gone now.
    }
}

void noteInRegistry(const QString& journal)
{
    try {
        files::makeFolder(registryFolder());
        files::writeSynced(registryEntry(journal), QFile::encodeName(journal));
    } catch (const core::Error&) {
        // Without the entry the journal is still found when its folder is next used.
    }
}

bool afterPlacing(
    const QString& folder, const std::vector<FileMove>& ordered, const std::vector<std::int64_t>& cutBackTo)
{
    const QDir dir(folder);
    bool isDone = true;
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        try {
            if (!ordered[i].laterWrites.empty())
                files::writeInPlace(dir.filePath(ordered[i].target), ordered[i].laterWrites);
            if (cutBackTo[i] >= 0)
                files::truncate(dir.filePath(ordered[i].target), cutBackTo[i]);
        } catch (const core::Error&) {
            isDone = false;
        }
    }
    return isDone;
}

bool hasWorkAfterPlacing(const Journal& journal)
{
    return std::ranges::any_of(journal.moves, [](const FileMove& move) { return !move.laterWrites.empty(); })
        || std::ranges::any_of(journal.cutBackTo, [](std::int64_t length) { return length >= 0; });
}

} // namespace data::journal
