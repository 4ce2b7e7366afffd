#include "data/scratch_copy.h"

#include "core/error_report.h"
#include "data/paradox/format/memo_layout.h"
#include "data/paradox/io/file_faults.h"
#include "data/paradox/io/table_family.h"
#include "data/paradox/paradox.h"
#include "data/paradox_folder.h"
#include "data/replace/table_replace.h"
#include "data/replace/table_write.h"
#include "data/safety/safe_files.h"
#include "data/safety/table_checks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace data {
namespace {

bool haveSameBytes(const QString& a, const QString& b)
{
    QFile left(a);
    QFile right(b);
    if (!left.open(QIODevice::ReadOnly) || !right.open(QIODevice::ReadOnly))
        throw core::Error(u"Cannot read %1 or %2 to compare them."_s.arg(
            QDir::toNativeSeparators(a), QDir::toNativeSeparators(b)));
    if (left.size() != right.size())
        return false;
    constexpr qint64 kChunk = 1 << 20;
    while (!left.atEnd()) {
        if (left.read(kChunk) != right.read(kChunk))
            return false;
    }
    return true;
}

QStringList fileNames(const std::vector<QString>& paths)
{
    QStringList names;
    for (const QString& path : paths)
        names.append(QFileInfo(path).fileName());
    names.sort();
    return names;
}

// A memo file is put in place before its .DB, and the old .DB must still find every value it
// reads in it until its own replacement follows: the new .MB holds the old file's bytes with
// the copy's new blocks after them, and what the steps changed within the old bytes (the old
// values freed, the file's header) is written in place once the new .DB is there. The runs on
// the copy only ever add blocks at the end and change old ones in place, so the file they
// left is exactly the old one with those writes made.
InPlaceWrites laterMemoWrites(const QString& old, const QString& changed)
{
    QFile before(old);
    QFile after(changed);
    if (!before.open(QIODevice::ReadOnly) || !after.open(QIODevice::ReadOnly))
        throw core::Error(u"Cannot read %1 or %2 to compare them."_s.arg(
            QDir::toNativeSeparators(old), QDir::toNativeSeparators(changed)));
    if (after.size() < before.size())
        throw core::Error(u"The steps made the memo file %1 shorter, which this write-back cannot put in "
                          "place safely; the table was not written back."_s.arg(QFileInfo(old).fileName()));
    InPlaceWrites writes;
    constexpr qint64 kChunk = 1 << 20;
    std::uint64_t offset = 0;
    while (!before.atEnd()) {
        const QByteArray a = before.read(kChunk);
        const QByteArray b = after.read(a.size());
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (a[i] == b[i])
                continue;
            qsizetype end = i + 1;
            while (end < a.size() && a[end] != b[end])
                ++end;
            const std::uint64_t at = offset + static_cast<std::uint64_t>(i);
            // Neighbouring changes become one write.
            if (!writes.empty()
                && writes.back().first + static_cast<std::uint64_t>(writes.back().second.size()) == at)
                writes.back().second += b.mid(i, end - i);
            else
                writes.emplace_back(at, b.mid(i, end - i));
            i = end;
        }
        offset += static_cast<std::uint64_t>(a.size());
    }
    return writes;
}

} // namespace

ScratchCopy::ScratchCopy(const paradox::TablePlace& place)
{
    if (!place.isFound())
        throw core::Error(
            u"The folder %1 has no table %2."_s.arg(QDir::toNativeSeparators(place.folder), place.name));
    m_place = { place.realFolder(), QFileInfo(place.realDbPath()).completeBaseName(), place.realDbPath() };
    m_claim = std::make_unique<TableLock>(m_place);
    if (!m_claim->problem().isEmpty())
        throw core::Error(m_claim->problem());
    if (!m_dir.isValid())
        throw core::Error(u"Cannot make a private folder to work on a copy of %1: %2"_s.arg(
            place.name, m_dir.errorString()));
    if (const QString refusal = writeBackRefusal(m_place.dbPath); !refusal.isEmpty())
        throw core::Error(refusal);
    QDir(m_dir.path()).mkpath(u"table"_s);
    QDir(m_dir.path()).mkpath(u"backups"_s);
    // The state first: a change between it and the copies shows at the write-back.
    m_snapshot = takeSnapshot(m_place.dbPath);
    for (const QString& member : m_place.family())
        files::copySynced(member, folder() + u'/' + QFileInfo(member).fileName());
}

QString ScratchCopy::folder() const
{
    return m_dir.path() + u"/table"_s;
}

QString ScratchCopy::backupRoot() const
{
    return m_dir.path() + u"/backups"_s;
}

QString ScratchCopy::writeBack(const QString& backupRoot, BackupNote note, std::vector<HistoryEntry> history)
{
    const QString tableFolder = m_place.folder;
    const std::vector<QString> now = m_place.family();
    const std::vector<QString> changed = paradox::tableFamily(folder(), m_place.name);
    // A run that added or dropped a file of the family (an index) is not one this write-back can
    // mirror without leaving a stray file: refused rather than half done.
    if (fileNames(now) != fileNames(changed))
        throw core::Error(
            u"The steps changed which files the table %1 has; it was not written back."_s.arg(m_place.name));

    std::vector<std::unique_ptr<paradox::writer::TemporaryFile>> temporaries;
    std::vector<FileMove> moves;
    for (const QString& copy : changed) {
        const QString target = tableFolder + u'/' + QFileInfo(copy).fileName();
        if (haveSameBytes(copy, target))
            continue;
        const QFileInfo info(target);
        const bool isMemo = info.suffix().compare(u"mb"_s, Qt::CaseInsensitive) == 0;
        InPlaceWrites later;
        if (isMemo)
            later = laterMemoWrites(target, copy);
        auto temporary = std::make_unique<paradox::writer::TemporaryFile>();
        QString error;
        paradox::io::takeLastFailure(); // a failure seen earlier is not this one's
        const bool isMade = temporary->create(tableFolder, m_place.name, info.suffix(), &error)
            && (isMemo ? temporary->copyFrom(target, &error) : temporary->copyFrom(copy, &error))
            && temporary->finish(&error);
        if (!isMade)
            files::throwFailure(error);
        if (isMemo) {
            files::appendTail(copy, info.size(), temporary->path());
            // The header block (its modification counter) is the new one at once, as a run's
            // own memo patch writes it: the old .DB reads nothing there.
            InPlaceWrites header;
            std::erase_if(later, [&](const auto& write) {
                const bool isInHeader = write.first + static_cast<std::uint64_t>(write.second.size())
                    <= paradox::memo::kBlockUnit;
                if (isInHeader)
                    header.push_back(write);
                return isInHeader;
            });
            if (!header.empty())
                files::writeInPlace(temporary->path(), header);
        }
        files::copyOwnership(target, temporary->path());
        moves.push_back({ temporary->path(), target, std::move(later) });
        temporaries.push_back(std::move(temporary));
    }
    if (moves.empty())
        return {};
    QString backupFolder;
    try {
        backupFolder = writeTable(
            { m_place, *m_claim, m_snapshot, moves, std::move(note), backupRoot, std::move(history) })
                           .backupFolder;
    } catch (const SwapRefusal& refusal) {
        for (auto& temporary : temporaries)
            temporary->markPlaced(); // the write-back removed them
        throw core::Error(refusal.reason);
    } catch (const core::Error&) {
        // A journal may still need the files the replacement did not move yet.
        for (auto& temporary : temporaries)
            temporary->markPlaced();
        throw;
    }
    for (auto& temporary : temporaries)
        temporary->markPlaced();
    return backupFolder;
}

} // namespace data
