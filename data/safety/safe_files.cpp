#include "data/safety/safe_files.h"

#include "core/error_report.h"
#include "data/digests/quick_digest.h"
#include "data/digests/sha256.h"
#include "data/digests/table_state.h"
#include "data/paradox/io/file_faults.h"
#include "data/paradox/io/regular_file.h"
#include "data/paradox/io/table_family.h"
#include "data/paradox/io/uncached_io.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <optional>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace data::files {
namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void fail(const QString& what, const QString& path)
{
    const int error = errno;
    core::throwFileError(
        error, u"%1 %2: %3"_s.arg(what, shown(path), QString::fromLocal8Bit(std::strerror(error))));
}

class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    { }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(Descriptor&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    { }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

void writeAll(int fd, const char* data, std::size_t size, const QString& path)
{
    while (size > 0) {
        if (!paradox::io::mayProceed("write", path))
            fail(u"Cannot write"_s, path);
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            fail(u"Cannot write"_s, path);
        data += done;
        size -= static_cast<std::size_t>(done);
    }
}

void syncAndClose(Descriptor& file, const QString& path)
{
    if (!paradox::io::mayProceed("flush", path) || ::fsync(file.get()) != 0)
        fail(u"Cannot flush"_s, path);
    if (::close(file.release()) != 0)
        fail(u"Cannot close"_s, path);
}

Descriptor createNew(const QString& path)
{
    if (!paradox::io::mayProceed("create", path))
        fail(u"Cannot create"_s, path);
    Descriptor file(::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (file.get() < 0)
        fail(u"Cannot create"_s, path);
    return file;
}

} // namespace

void throwFailure(const QString& message, const QString& outcome)
{
    core::throwFileError(paradox::io::takeLastFailure(), message, outcome);
}

namespace {

// Writes size bytes at offset, past the page cache while *isPastCache, and through it from the
// first write the file system refuses there.
void writePiece(
    int fd, const char* data, std::size_t size, off_t offset, bool* isPastCache, const QString& path)
{
    for (std::size_t done = 0; done < size;) {
        if (!paradox::io::mayProceed("write", path))
            fail(u"Cannot write"_s, path);
        const ssize_t put = ::pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno == EINVAL && *isPastCache) {
            *isPastCache = false;
            if (paradox::uncached::setBypass(fd, false))
                continue;
        }
        if (put <= 0)
            fail(u"Cannot write"_s, path);
        done += static_cast<std::size_t>(put);
    }
}

// What a copy worked out of the bytes it handed over: their SHA-256 when asked for, else their
// quick digest. A copy the file system or the kernel made hands over no bytes: no quick digest,
// and its SHA-256 is read back.
struct Copied
{
    std::optional<quint64> quick;
    QByteArray sha256;
};

// Copies, flushes and renames into place. The copy shares the original's blocks where the file
// system can (a clone). Else the bytes pass through here and are written past the page cache
// where the file system allows it (uncached_io.h): a backup is not read again soon, and a copy
// of a large table would otherwise claim as much fresh memory. Where it does not, the kernel
// copies them (a server-side copy on a network share), or this does.
Copied copyFlushed(const QString& from, const QString& to, bool withSha256)
{
    QString problem;
    Descriptor source(paradox::openRegularFile(from, &problem));
    if (source.get() < 0)
        throw core::Error(u"Cannot read %1: %2"_s.arg(shown(from), problem));
    const QString partial = to + u".part"_s;
    remove(partial);
    Descriptor target = createNew(partial);
    struct stat status
    {
    };
    if (!paradox::io::mayProceed("copy", partial))
        fail(u"Cannot write"_s, partial);
    if (::fstat(source.get(), &status) != 0)
        fail(u"Cannot read"_s, from);
    const bool isCloned = ::ioctl(target.get(), FICLONE, source.get()) == 0;
    bool isPastCache = !isCloned && paradox::uncached::setBypass(target.get(), true);
    bool isInKernel = !isCloned && !isPastCache;
    QuickDigest quick(status.st_size);
    Sha256 sha;
    // Through the kernel a server-side copy on a network share is asked for in large pieces.
    constexpr std::size_t kKernelPiece = std::size_t { 8 } << 20;
    constexpr std::size_t kPiece = paradox::uncached::kPiece;
    paradox::uncached::AlignedBuffer buffer; // only where the kernel does not copy
    for (off_t written = 0; !isCloned;) {
        ssize_t done = 0;
        if (isInKernel) {
            if (!paradox::io::mayProceed())
                fail(u"Cannot write"_s, partial);
            done = ::copy_file_range(source.get(), nullptr, target.get(), nullptr, kKernelPiece, 0);
            if (done < 0 && written == 0
                && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                isInKernel = false;
                continue;
            }
        } else {
            buffer.reserve(kPiece);
            done = ::read(source.get(), buffer.data(), kPiece);
            const auto size = static_cast<std::size_t>(std::max<ssize_t>(done, 0));
            // The last piece, off the units, goes through the cache.
            if (isPastCache && size % paradox::uncached::kUnit != 0)
                isPastCache = !paradox::uncached::setBypass(target.get(), false);
            writePiece(target.get(), buffer.data(), size, written, &isPastCache, partial);
            if (withSha256)
                sha.add(buffer.data(), size);
            else
                quick.add(buffer.data(), size);
        }
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            fail(isInKernel ? u"Cannot write"_s : u"Cannot read"_s, isInKernel ? partial : from);
        if (done == 0)
            break;
        // Through the cache, on its way to the disk at once: the flush below then waits for little.
        if (!isPastCache)
            ::sync_file_range(target.get(), written, done, SYNC_FILE_RANGE_WRITE);
        written += done;
    }
    syncAndClose(target, partial);
    Copied copied;
    const bool isHandedOver = !isCloned && !isInKernel;
    if (withSha256)
        copied.sha256 = isHandedOver ? sha.hex() : requiredDigest(partial);
    else if (isHandedOver)
        copied.quick = quick.value();
    rename(partial, to);
    return copied;
}

} // namespace

QByteArray copySyncedWithDigest(const QString& from, const QString& to)
{
    return copyFlushed(from, to, true).sha256;
}

std::optional<quint64> copySynced(const QString& from, const QString& to)
{
    return copyFlushed(from, to, false).quick;
}

void writeSynced(const QString& path, const QByteArray& bytes)
{
    const QString partial = path + u".part"_s;
    remove(partial);
    Descriptor file = createNew(partial);
    writeAll(file.get(), bytes.constData(), static_cast<std::size_t>(bytes.size()), partial);
    syncAndClose(file, partial);
    rename(partial, path);
}

int writeSyncedLockedNew(const QString& path, const QByteArray& bytes)
{
    const QString partial
        = u"%1.%2.part"_s.arg(path).arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
    Descriptor file = createNew(partial);
    try {
        if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            fail(u"Cannot lock"_s, partial);
        writeAll(file.get(), bytes.constData(), static_cast<std::size_t>(bytes.size()), partial);
        if (!paradox::io::mayProceed("flush", partial) || ::fsync(file.get()) != 0)
            fail(u"Cannot flush"_s, partial);
        if (!paradox::writer::renameNew(partial, path)) {
            if (errno != EEXIST)
                fail(u"Cannot move"_s, partial);
            ::unlink(native(partial).constData());
            return -1;
        }
    } catch (const core::Error&) {
        ::unlink(native(partial).constData());
        throw;
    }
    return file.release();
}

void rename(const QString& from, const QString& to)
{
    if (!paradox::io::mayProceed("rename", QFileInfo(from).fileName() + u' ' + QFileInfo(to).fileName())
        || ::rename(native(from).constData(), native(to).constData()) != 0) {
        const int error = errno;
        core::throwFileError(error,
            u"Cannot move %1 to %2: %3"_s.arg(
                shown(from), shown(to), QString::fromLocal8Bit(std::strerror(error))));
    }
}

void remove(const QString& path)
{
    struct stat status
    {
    };
    if (::lstat(native(path).constData(), &status) != 0 && errno == ENOENT)
        return;
    if (!paradox::io::mayProceed("remove", path)
        || (::unlink(native(path).constData()) != 0 && errno != ENOENT))
        fail(u"Cannot remove"_s, path);
}

void syncFolder(const QString& folder)
{
    Descriptor dir(::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 || !paradox::io::mayProceed("flush-folder", folder) || ::fsync(dir.get()) != 0)
        fail(u"Cannot flush the folder"_s, folder);
}

void copyOwnership(const QString& from, const QString& to)
{
    struct stat original
    {
    };
    if (::stat(native(from).constData(), &original) != 0)
        fail(u"Cannot read the permissions of"_s, from);
    if (!paradox::io::mayProceed() || ::chmod(native(to).constData(), original.st_mode & 07777) != 0)
        fail(u"Cannot set the permissions of"_s, to);
    struct stat copy
    {
    };
    if (::stat(native(to).constData(), &copy) != 0)
        fail(u"Cannot read the permissions of"_s, to);
    if ((copy.st_uid != original.st_uid || copy.st_gid != original.st_gid)
        && ::chown(native(to).constData(), original.st_uid, original.st_gid) != 0)
        fail(u"Cannot give the owner and group of %1 to"_s.arg(shown(from)), to);
}

void makeFolder(const QString& folder)
{
    if (!paradox::io::mayProceed())
        fail(u"Cannot create the folder"_s, folder);
    // Each missing folder of the path in turn, so that the system's reason for a failure is
    // known (a full disk, a name too long) and said.
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    for (qsizetype end = path.indexOf(u'/', 1);; end = path.indexOf(u'/', end + 1)) {
        const QString part = end < 0 ? path : path.left(end);
        if (::mkdir(native(part).constData(), 0777) != 0 && errno != EEXIST)
            fail(u"Cannot create the folder"_s, part);
        if (end < 0)
            break;
    }
    if (!QFileInfo(path).isDir()) {
        errno = ENOTDIR;
        fail(u"Cannot create the folder"_s, path);
    }
}

void writeInPlace(const QString& path, const std::vector<std::pair<std::uint64_t, QByteArray>>& writes)
{
    Descriptor file(::open(native(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        fail(u"Cannot write"_s, path);
    for (const auto& [offset, bytes] : writes) {
        if (!paradox::io::mayProceed("write", path)
            || ::pwrite(file.get(), bytes.constData(), static_cast<std::size_t>(bytes.size()),
                   static_cast<off_t>(offset))
                != bytes.size())
            fail(u"Cannot write"_s, path);
    }
    syncAndClose(file, path);
}

void appendTail(const QString& from, std::int64_t offset, const QString& to)
{
    QString problem;
    Descriptor source(paradox::openRegularFile(from, &problem));
    if (source.get() < 0)
        throw core::Error(u"Cannot read %1: %2"_s.arg(shown(from), problem));
    Descriptor target(::open(native(to).constData(), O_WRONLY | O_APPEND | O_CLOEXEC));
    if (target.get() < 0)
        fail(u"Cannot write"_s, to);
    std::vector<char> buffer(1 << 20);
    for (off_t at = static_cast<off_t>(offset);;) {
        const ssize_t got = ::pread(source.get(), buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(u"Cannot read"_s, from);
        if (got == 0)
            break;
        writeAll(target.get(), buffer.data(), static_cast<std::size_t>(got), to);
        at += got;
    }
    syncAndClose(target, to);
}

void truncate(const QString& path, std::int64_t size)
{
    Descriptor file(::open(native(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0 || !paradox::io::mayProceed("truncate", path)
        || ::ftruncate(file.get(), static_cast<off_t>(size)) != 0)
        fail(u"Cannot shorten"_s, path);
    syncAndClose(file, path);
}

} // namespace data::files
