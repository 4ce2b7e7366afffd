#include "data/safety/table_checks.h"

#include "data/digests/quick_digest.h"
#include "data/digests/sha256.h"
#include "data/paradox/io/file_faults.h"
#include "data/paradox/io/regular_file.h"
#include "data/paradox/paradox.h"
#include "data/safety/table_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace data {
namespace {

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The files of the table: the .db first. Found through symbolic links, which stay as they are.
std::vector<QString> familyOf(const QString& dbPath)
{
    const QFileInfo db(dbPath);
    std::vector<QString> files { dbPath };
    for (const QString& file : paradox::tableFamily(db.absolutePath(), db.completeBaseName())) {
        if (QFileInfo(file).absoluteFilePath() != db.absoluteFilePath())
            files.push_back(file);
    }
    return files;
}

// A lock that another program holds on the file: a record lock (fcntl) or a whole-file
// lock (flock). Paradox programs on this machine, Samba serving Windows clients and most
// database tools take one of the two.
QString otherProgramsLock(const QString& path)
{
    QString ignored;
    const int fd = paradox::openRegularFile(path, &ignored);
    if (fd < 0)
        return {};
    QString held;
    struct flock probe
    {
    };
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    // Up to the byte of our own runs' claim, which says nothing about other programs.
    probe.l_len = kTableClaimByte;
    if (::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK)
        held = u"another program (process %1) holds a lock on %2"_s.arg(probe.l_pid).arg(shown(path));
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        held = u"another program holds a lock on %1"_s.arg(shown(path));
    ::close(fd);
    return held;
}

QString lockFileIn(const QString& folder, const QString& table)
{
    const QStringList names { table + u".LCK"_s, u"PDOXUSRS.LCK"_s, u"PARADOX.LCK"_s, u"PDOXUSRS.NET"_s };
    for (const QString& entry : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        for (const QString& name : names) {
            if (entry.compare(name, Qt::CaseInsensitive) == 0)
                return QDir(folder).absoluteFilePath(entry);
        }
    }
    return {};
}

QString fileRefusal(const QString& file, const QString& folder)
{
    const QFileInfo info(file);
    const QString target = info.canonicalFilePath();
    if (QFileInfo(target).absolutePath() != QFileInfo(folder).canonicalFilePath())
        return u"%1 lies in another folder than the table's .db file, so the two cannot be replaced together"_s
            .arg(shown(file));
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(target).constData(), &status) != 0)
        return u"%1 cannot be read"_s.arg(shown(file));
    // A file marked read-only is left alone even where the system would let us write it.
    if (::access(QFile::encodeName(target).constData(), W_OK) != 0 || (status.st_mode & S_IWUSR) == 0)
        return u"%1 is read-only"_s.arg(shown(file));
    if (status.st_uid != ::geteuid() && ::geteuid() != 0)
        return u"%1 belongs to another user, and a new copy of it would belong to you"_s.arg(shown(file));
    return otherProgramsLock(target);
}

// The bytes [from, to) of file, read whole, or false: a file cut short while it is read
// (another program's edit) is a failure to read it, never a crash as with a mapping.
bool readWhole(QFile& file, qint64 from, qint64 to, char* into)
{
    while (from < to) {
        const ssize_t got = ::pread(file.handle(), into, static_cast<std::size_t>(to - from), from);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        from += got;
        into += got;
    }
    return true;
}

// The quick digest of the bytes [from, to) of file, with seed; sha, when given, is fed them.
std::optional<quint64> digestOfRange(QFile& file, qint64 from, qint64 to, quint64 seed, Sha256* sha)
{
    constexpr qint64 kChunk = qint64 { 1 } << 20;
    RangeDigest digest(seed);
    std::vector<char> buffer(static_cast<std::size_t>(std::min(kChunk, std::max<qint64>(to - from, 0))));
    for (qint64 start = from; start < to; start += kChunk) {
        const auto length = static_cast<std::size_t>(std::min(kChunk, to - start));
        if (!readWhole(file, start, start + static_cast<qint64>(length), buffer.data()))
            return std::nullopt;
        digest.add(buffer.data(), length);
        if (sha)
            sha->add(buffer.data(), length);
    }
    return digest.value();
}

// The file's quick digest (quick_digest.h). Its halves are read side by side unless sha is
// to be fed every byte in order.
quint64 digestOf(const QString& path, bool* isRead, Sha256* sha = nullptr)
{
    QFile file;
    QString ignored;
    *isRead = paradox::openRegularFile(file, path, &ignored);
    const qint64 size = *isRead ? file.size() : 0;
    const quint64 seed = QuickDigest::seedOf(size);
    const qint64 half = QuickDigest::halfOf(size);
    if (half == size) {
        const std::optional<quint64> digest = digestOfRange(file, 0, size, seed, sha);
        *isRead = *isRead && digest;
        return digest.value_or(0);
    }
    std::optional<quint64> first;
    std::optional<quint64> rest;
    if (sha) {
        first = digestOfRange(file, 0, half, seed, sha);
        rest = digestOfRange(file, half, size, ~seed, sha);
    } else {
        std::future<std::optional<quint64>> second = std::async(std::launch::async, [&] {
            QFile other;
            QString unused;
            return paradox::openRegularFile(other, path, &unused)
                ? digestOfRange(other, half, size, ~seed, nullptr)
                : std::nullopt;
        });
        first = digestOfRange(file, 0, half, seed, nullptr);
        rest = second.get();
    }
    *isRead = first && rest;
    return *isRead ? QuickDigest::combine(*first, *rest) : 0;
}

// The files whose contents a snapshot digests: the records and the memo values.
bool isDigested(const QString& file)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    return suffix == u"db"_s || suffix == u"mb"_s;
}

// A digest not worked out yet, which no file's matches.
constexpr char16_t kPendingDigest[] = u"pending";

QJsonObject stateOf(const QString& file, bool withDigest)
{
    const QString target = QFileInfo(file).canonicalFilePath();
    struct stat status
    {
    };
    if (target.isEmpty() || ::stat(QFile::encodeName(target).constData(), &status) != 0)
        return { { u"name"_s, QFileInfo(file).fileName() }, { u"missing"_s, true } };
    QJsonObject state { { u"name"_s, QFileInfo(file).fileName() },
        { u"device"_s, QString::number(status.st_dev) }, { u"inode"_s, QString::number(status.st_ino) },
        { u"size"_s, QString::number(status.st_size) },
        { u"modified"_s, u"%1.%2"_s.arg(status.st_mtim.tv_sec).arg(status.st_mtim.tv_nsec) },
        { u"changed"_s, u"%1.%2"_s.arg(status.st_ctim.tv_sec).arg(status.st_ctim.tv_nsec) } };
    if (withDigest && isDigested(file)) {
        bool isRead = false;
        const quint64 digest = digestOf(target, &isRead);
        state.insert(u"digest"_s, isRead ? QString::number(digest, 16) : u"unreadable"_s);
    }
    return state;
}

} // namespace

QString writeBackRefusal(const QString& dbPath)
{
    const QFileInfo db(dbPath);
    const QString folder = QFileInfo(db.canonicalFilePath()).absolutePath();
    const QString table = db.completeBaseName();
    if (const QString lock = lockFileIn(db.absolutePath(), table); !lock.isEmpty())
        return u"The table %1 may be open in a Paradox program: its folder holds the lock file %2. Close "
               u"that "
               "program (or, if none uses the folder, remove the stale lock file) and start again; the table "
               "was "
               "not changed."_s.arg(table, shown(lock));
    if (!QFileInfo(folder).isWritable())
        return u"The table %1 cannot be written back: its folder %2 cannot be written. The table was not "
               "changed."_s.arg(table, shown(folder));
    for (const QString& file : familyOf(dbPath)) {
        if (const QString irregular = paradox::irregularFileProblem(file); !irregular.isEmpty())
            return u"The table %1 cannot be used: %2. The table was not changed."_s.arg(table, irregular);
    }
    for (const QString& file : familyOf(dbPath)) {
        if (const QString problem = fileRefusal(file, folder); !problem.isEmpty())
            return u"The table %1 cannot be written back: %2. The table was not changed."_s.arg(
                table, problem);
    }
    return {};
}

namespace {

QJsonArray statesOf(const QString& dbPath, bool withDigests)
{
    QJsonArray files;
    for (const QString& file : familyOf(dbPath))
        files.append(stateOf(file, withDigests));
    return files;
}

} // namespace

QJsonObject takeSnapshot(const QString& dbPath)
{
    return { { u"files"_s, statesOf(dbPath, true) } };
}

LaterDigestedSnapshot takeSnapshotDigestedLater(const QString& dbPath)
{
    QJsonArray files = statesOf(dbPath, false);
    for (qsizetype i = 0; i < files.size(); ++i) {
        QJsonObject file = files.at(i).toObject();
        if (!file.contains(u"missing"_s) && isDigested(file.value(u"name"_s).toString())) {
            file.insert(u"digest"_s, QString::fromUtf16(kPendingDigest));
            files.replace(i, file);
        }
    }
    QJsonObject now { { u"files"_s, files } };
    const auto digest = [snapshot = now, folder = QFileInfo(dbPath).absolutePath()]() mutable {
        QJsonArray digested = snapshot.value(u"files"_s).toArray();
        for (qsizetype i = 0; i < digested.size(); ++i) {
            QJsonObject file = digested.at(i).toObject();
            if (file.value(u"digest"_s).toString() != QStringView(kPendingDigest))
                continue;
            const QString path
                = QFileInfo(QDir(folder).filePath(file.value(u"name"_s).toString())).canonicalFilePath();
            bool isRead = false;
            Sha256 sha;
            const quint64 quick = digestOf(path, &isRead, &sha);
            const QByteArray hex = isRead ? sha.hex() : QByteArray();
            file.insert(u"digest"_s, isRead ? QString::number(quick, 16) : u"unreadable"_s);
            if (!hex.isEmpty())
                file.insert(u"sha256"_s, QString::fromLatin1(hex));
            digested.replace(i, file);
        }
        snapshot.insert(u"files"_s, digested);
        return snapshot;
    };
    return { now,
        std::async(paradox::io::isFaultPlanned() ? std::launch::deferred : std::launch::async, digest) };
}

QByteArray snapshotSha256(
    const QJsonObject& snapshot, const QString& name, const QString& copy, std::optional<quint64> copied)
{
    for (const QJsonValue value : snapshot.value(u"files"_s).toArray()) {
        const QJsonObject file = value.toObject();
        if (file.value(u"name"_s).toString().compare(name, Qt::CaseInsensitive) != 0
            || !file.contains(u"sha256"_s))
            continue;
        bool isRead = copied.has_value();
        const quint64 quick = copied ? *copied : digestOf(copy, &isRead);
        if (isRead && QString::number(quick, 16) == file.value(u"digest"_s).toString())
            return file.value(u"sha256"_s).toString().toLatin1();
    }
    return {};
}

QString snapshotDifference(const QJsonObject& snapshot, const QString& dbPath, bool withDigests)
{
    const QJsonArray then = snapshot.value(u"files"_s).toArray();
    const QJsonArray now = statesOf(dbPath, withDigests);
    const QString table = QFileInfo(dbPath).completeBaseName();
    for (const QJsonValue file : then) {
        const QString name = file.toObject().value(u"name"_s).toString();
        const auto same = std::find_if(now.begin(), now.end(),
            [&](const QJsonValue& other) { return other.toObject().value(u"name"_s).toString() == name; });
        QJsonObject expected = file.toObject();
        expected.remove(u"sha256"_s);
        if (!withDigests)
            expected.remove(u"digest"_s);
        if (same == now.end() || same->toObject() != expected)
            return u"The table %1 was changed by another program while this run worked on it (%2 is not as "
                   u"the "
                   "copy read it). The table was not written back, so those changes stay; start the run again."_s
                       .arg(table, name);
    }
    if (now.size() != then.size())
        return u"The table %1 gained a file while this run worked on it. The table was not written back; "
               u"start "
               "the run again."_s.arg(table);
    return {};
}

} // namespace data
