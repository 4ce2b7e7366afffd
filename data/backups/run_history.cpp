#include "data/backups/run_history.h"

#include "core/helpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace data {
namespace {

// A log past this size is read from where its newest entries start: a history is for
// people, and no person reads back further than that.
constexpr qint64 kNewestRead = 16 * 1024 * 1024;
constexpr qsizetype kLongestEntry = 256 * 1024;

QJsonObject entryJson(const HistoryEntry& entry)
{
    return { { u"time"_s, entry.time.toString(Qt::ISODateWithMs) }, { u"folder"_s, entry.folder },
        { u"table"_s, entry.table }, { u"field"_s, entry.field }, { u"number"_s, entry.operationNumber },
        { u"operation"_s, entry.operation }, { u"answers"_s, QJsonArray::fromStringList(entry.answers) },
        { u"records"_s, static_cast<qint64>(entry.recordsChanged) }, { u"step"_s, entry.recipeStep } };
}

bool readEntry(const QByteArray& line, HistoryEntry* entry)
{
    if (line.size() > kLongestEntry)
        return false;
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    if (object.isEmpty())
        return false;
    entry->time = QDateTime::fromString(object.value(u"time"_s).toString(), Qt::ISODateWithMs);
    entry->folder = object.value(u"folder"_s).toString();
    entry->table = object.value(u"table"_s).toString();
    entry->field = object.value(u"field"_s).toString();
    entry->operationNumber = object.value(u"number"_s).toInt();
    entry->operation = object.value(u"operation"_s).toString();
    entry->answers.clear();
    for (const QJsonValue answer : object.value(u"answers"_s).toArray())
        entry->answers.append(answer.toString());
    entry->recordsChanged = object.value(u"records"_s).toInteger();
    entry->recipeStep = object.value(u"step"_s).toObject();
    return entry->time.isValid() && !entry->table.isEmpty();
}

} // namespace

QString defaultHistoryFile()
{
    return core::userDataFolder() + u"/history.jsonl"_s;
}

void recordHistory(const HistoryEntry& entry, const QString& logFile)
{
    try {
        const QString path = logFile.isEmpty() ? defaultHistoryFile() : logFile;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        // One write of a whole line in append mode: two programs recording at once never
        // interleave inside a line.
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write(QJsonDocument(entryJson(entry)).toJson(QJsonDocument::Compact) + '\n');
    } catch (const std::exception&) {
        // No user data folder: the run stands as it is, only unrecorded.
    }
}

std::vector<HistoryEntry> readHistory(const QString& folder, const QString& table, const QString& logFile)
{
    std::vector<HistoryEntry> entries;
    QFile file(logFile.isEmpty() ? defaultHistoryFile() : logFile);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    if (file.size() > kNewestRead) {
        file.seek(file.size() - kNewestRead);
        file.readLine(kLongestEntry); // the rest of a line cut by the seek
    }
    const QString wanted = paradox::canonicalFolder(folder);
    HistoryEntry entry;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(kLongestEntry + 2);
        if (!readEntry(line.trimmed(), &entry))
            continue;
        if (entry.folder == wanted
            && (table.isEmpty() || entry.table.compare(table, Qt::CaseInsensitive) == 0))
            entries.push_back(entry);
    }
    return entries;
}

} // namespace data
