#include "data/paradox/io/table_family.h"

#include "data/paradox/io/file_faults.h"
#include "data/paradox/io/find_table.h"
#include "data/paradox/io/uncached_io.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

bool isDataFile(const QString& path)
{
    return path.endsWith(u".db"_s, Qt::CaseInsensitive);
}

// Flushes a folder's entries (creations, renames, removals) to the disk.
bool syncFolder(const QString& folder, QString* error)
{
    const int fd = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || !io::mayProceed("flush-folder", folder) || ::fsync(fd) != 0) {
        const int code = errno;
        if (fd >= 0)
            ::close(fd);
        *error = u"cannot flush folder %1: %2"_s.arg(folder, io::failure(code));
        return false;
    }
    ::close(fd);
    return true;
}

bool writeFully(int fd, std::uint64_t offset, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
        offset += static_cast<std::uint64_t>(done);
    }
    return true;
}

// Puts a copy of `from` at `to` (which must not exist), flushed to the disk: a hard link
// when the file system allows it, else a full copy written under a temporary name first.
bool backUpFile(const QString& from, const QString& to, QString* error)
{
    if (io::mayProceed() && ::link(nativePath(from).constData(), nativePath(to).constData()) == 0)
        return true;
    if (errno == EEXIST) {
        *error = u"cannot back up %1: %2 exists"_s.arg(from, to);
        return false;
    }
    const QFileInfo target(to);
    writer::TemporaryFile copy;
    if (!copy.create(target.absolutePath(), target.completeBaseName(), target.suffix(), error)
        || !copy.copyFrom(from, error) || !copy.finish(error))
        return false;
    if (!writer::renameNew(copy.path(), to)) {
        *error = u"cannot back up %1 to %2: %3"_s.arg(from, to, io::failure(errno));
        return false;
    }
    copy.markPlaced();
    return true;
}

// .DB first when removing, .DB last when adding: a table exists exactly while its .DB does.
void sortDataFileFirst(std::vector<QString>& paths)
{
    std::stable_partition(paths.begin(), paths.end(), isDataFile);
}

bool removeFiles(const std::vector<QString>& paths, QString* error)
{
    QStringList failures;
    for (const QString& path : paths) {
        if (!io::mayProceed() || (::unlink(nativePath(path).constData()) != 0 && errno != ENOENT))
            failures << u"%1 (%2)"_s.arg(path, io::failure(errno));
    }
    if (failures.isEmpty())
        return true;
    *error = u"cannot remove %1"_s.arg(failures.join(u", "_s));
    return false;
}

} // namespace

bool dropTable(const QString& folder, const QString& name, QString* error)
{
    std::vector<QString> family = tableFamily(folder, name);
    if (family.empty())
        return true;
    sortDataFileFirst(family);
    QString failure;
    if (!removeFiles(family, &failure)) {
        if (error)
            *error = failure;
        return false;
    }
    return syncFolder(folder, error ? error : &failure);
}

namespace writer {

bool renameNew(const QString& from, const QString& to)
{
    if (!io::mayProceed())
        return false;
    if (::renameat2(
            AT_FDCWD, nativePath(from).constData(), AT_FDCWD, nativePath(to).constData(), RENAME_NOREPLACE)
        == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // The file system cannot refuse a replace for us: check, then rename.
    if (QFileInfo::exists(to)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(nativePath(from).constData(), nativePath(to).constData()) == 0;
}

TemporaryFile::~TemporaryFile()
{
    // Removed before the lock goes, so nobody else ever takes it for a leftover.
    if (!m_path.isEmpty() && !m_isPlaced)
        ::unlink(nativePath(m_path).constData());
    for (const int fd : { m_fd, m_lockFd }) {
        if (fd >= 0)
            ::close(fd);
    }
}

void TemporaryFile::markPlaced()
{
    m_isPlaced = true;
    if (m_lockFd >= 0)
        ::close(std::exchange(m_lockFd, -1));
}

bool TemporaryFile::create(
    const QString& folder, const QString& name, const QString& extension, QString* error)
{
    m_extension = extension;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = QDir(folder).absoluteFilePath(
            u".%1.%2.%3.tmp"_s.arg(name)
                .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'))
                .arg(extension));
        m_fd = io::mayProceed()
            ? ::open(nativePath(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)
            : -1;
        if (m_fd >= 0) {
            m_path = candidate;
            // Held while the file is written: a clean-up of left-over temporary files (after a
            // program was killed) passes over a file that is still being written.
            ::flock(m_fd, LOCK_EX | LOCK_NB);
            return true;
        }
        if (errno != EEXIST) {
            *error = u"cannot create a file in %1: %2"_s.arg(folder, io::failure(errno));
            return false;
        }
    }
    *error = u"cannot create a file in %1: every temporary name is taken"_s.arg(folder);
    return false;
}

void TemporaryFile::unfollow()
{
    if (m_follower)
        std::exchange(m_follower, {})(-1, nullptr, 0);
}

void TemporaryFile::bypassCache(bool isOn)
{
    m_isBypassing = m_fd >= 0 && uncached::setBypass(m_fd, isOn) && isOn;
}

bool TemporaryFile::writeAt(std::uint64_t offset, const char* data, std::size_t size, QString* error)
{
    const bool mayWrite = m_fd >= 0 && io::mayProceed();
    bool isWritten = mayWrite && writeFully(m_fd, offset, data, size);
    // A file system may take the bypass and still refuse writes through it: the cache takes them.
    if (mayWrite && !isWritten && errno == EINVAL && m_isBypassing) {
        bypassCache(false);
        isWritten = writeFully(m_fd, offset, data, size);
    }
    if (isWritten) {
        if (m_follower && offset == static_cast<std::uint64_t>(m_writtenStart)) {
            m_writtenStart += static_cast<std::int64_t>(size);
            m_follower(m_writtenStart, data, size);
        } else {
            unfollow();
        }
        return true;
    }
    unfollow();
    *error = u"cannot write %1: %2"_s.arg(m_path, io::failure(m_fd >= 0 ? errno : EBADF));
    return false;
}

bool TemporaryFile::resize(std::uint64_t size, QString* error)
{
    unfollow();
    if (m_fd >= 0 && io::mayProceed() && ::ftruncate(m_fd, static_cast<off_t>(size)) == 0)
        return true;
    *error = u"cannot write %1: %2"_s.arg(m_path, io::failure(m_fd >= 0 ? errno : EBADF));
    return false;
}

bool TemporaryFile::finish(QString* error)
{
    if (m_fd < 0) {
        *error = u"cannot write %1: the file is closed"_s.arg(m_path);
        return false;
    }
    // Disk-full and I/O errors of delayed writes show up here, not in pwrite.
    const bool isSynced = io::mayProceed("flush", m_path) && ::fsync(m_fd) == 0;
    const int syncError = errno;
    m_lockFd = std::exchange(m_fd, -1);
    if (isSynced)
        return true;
    *error = u"cannot write %1: %2"_s.arg(m_path, io::failure(syncError));
    return false;
}

namespace {

// A folder for the old family, safe to hold it: created if needed (and its entry flushed),
// not the table's own folder, and without any file of a table of that name.
bool prepareBackupFolder(
    const QString& folder, const QString& name, const QString& backupFolder, QString* error)
{
    const bool isNewBackupFolder = !QFileInfo(backupFolder).isDir();
    if (!QDir().mkpath(backupFolder)) {
        *error = u"cannot create the backup folder %1"_s.arg(QDir::toNativeSeparators(backupFolder));
        return false;
    }
    // The backup must survive a power cut, its folder's own entry included.
    if (isNewBackupFolder
        && !syncFolder(QFileInfo(QFileInfo(backupFolder).absoluteFilePath()).absolutePath(), error))
        return false;
    if (QFileInfo(backupFolder).canonicalFilePath() == QFileInfo(folder).canonicalFilePath()) {
        *error = u"the backup folder must not be the table's own folder"_s;
        return false;
    }
    // Never overwrite an earlier backup, nor put one beside it that a system ignoring case
    // would mix up with it: it may be the only copy of older data.
    if (!filesNamedLike(backupFolder, name).empty()) {
        *error = u"the backup folder %1 already holds a table %2"_s.arg(
            QDir::toNativeSeparators(backupFolder), name);
        return false;
    }
    return true;
}

// A table in a shared folder is often group-writable: the new files keep the old access
// bits. Best effort; a file we may not chmod keeps the usual mode.
void keepAccessBits(const QString& oldData, const std::vector<TemporaryFile*>& files)
{
    struct stat oldStatus
    {
    };
    if (::stat(nativePath(oldData).constData(), &oldStatus) != 0)
        return;
    for (const TemporaryFile* file : files)
        ::chmod(nativePath(file->path()).constData(), oldStatus.st_mode & 07777);
}

// Steps 1 and 2 of placeFamily: the old files (.DB first) into backupFolder, then out of
// their folder.
bool moveToBackup(const std::vector<QString>& old, const QString& backupFolder, QString* error)
{
    const QDir backup(backupFolder);
    for (auto it = old.rbegin(); it != old.rend(); ++it) {
        if (!backUpFile(*it, backup.absoluteFilePath(QFileInfo(*it).fileName()), error))
            return false;
    }
    if (!syncFolder(backupFolder, error))
        return false;
    if (!removeFiles(old, error)) {
        *error += u"; the old table is kept in %1"_s.arg(QDir::toNativeSeparators(backupFolder));
        return false;
    }
    return true;
}

// Step 3: the new files under the table's name, the .DB last.
bool renameIntoPlace(const QString& folder, const QString& name, std::vector<TemporaryFile*> files,
    bool isLowerCase, QString* error)
{
    std::stable_partition(files.begin(), files.end(), [](const TemporaryFile* file) {
        return file->extension().compare(u"DB"_s, Qt::CaseInsensitive) != 0;
    });
    const QDir dir(folder);
    std::vector<QString> placed;
    for (TemporaryFile* file : files) {
        const QString extension = isLowerCase ? file->extension().toLower() : file->extension().toUpper();
        const QString target = dir.absoluteFilePath(name + u'.' + extension);
        if (!renameNew(file->path(), target)) {
            *error = u"cannot move the new table into place as %1: %2"_s.arg(target, io::failure(errno));
            // Without its .DB a placed .MB is only clutter that would block the next attempt.
            QString ignored;
            removeFiles(placed, &ignored);
            return false;
        }
        placed.push_back(target);
        file->markPlaced();
    }
    return syncFolder(folder, error);
}

} // namespace

bool placeFamily(const QString& folder, const QString& name, std::vector<TemporaryFile*> files,
    const QString& backupFolder, QString* error)
{
    std::vector<QString> old = tableFamily(folder, name);
    sortDataFileFirst(old);
    bool isLowerCase = false;
    if (!old.empty()) {
        if (backupFolder.isEmpty()) {
            *error = u"table %1 already exists in %2"_s.arg(name, QDir::toNativeSeparators(folder));
            return false;
        }
        if (!prepareBackupFolder(folder, name, backupFolder, error))
            return false;
        // Keep the old spelling of the extensions, so that other programs still find the table.
        if (isDataFile(old.front())) {
            isLowerCase = QFileInfo(old.front()).suffix() == u"db"_s;
            keepAccessBits(old.front(), files);
        }
        if (!moveToBackup(old, backupFolder, error))
            return false;
    }
    return renameIntoPlace(folder, name, std::move(files), isLowerCase, error);
}

} // namespace writer
} // namespace paradox
