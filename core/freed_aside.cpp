#include "core/freed_aside.h"

#include <QFile>

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace core {

namespace {

struct Pending
{
    std::mutex mutex;
    std::condition_variable done;
    int count = 0;
};

Pending& pending()
{
    static Pending* const closes = new Pending; // never destroyed: a close may end after main
    return *closes;
}

} // namespace

void closeAside(int fd)
{
    Pending& closes = pending();
    {
        const std::lock_guard lock(closes.mutex);
        ++closes.count;
    }
    const auto close = [&closes, fd] {
        ::close(fd);
        const std::lock_guard lock(closes.mutex);
        if (--closes.count == 0)
            closes.done.notify_all();
    };
    try {
        std::thread(close).detach();
    } catch (const std::system_error&) {
        close();
    }
}

void waitForClosesAside()
{
    Pending& closes = pending();
    std::unique_lock lock(closes.mutex);
    closes.done.wait(lock, [&] { return closes.count == 0; });
}

namespace {

// An empty file beside path, with its permissions and owner, in place of it; false when it
// could not be put there (nothing is then changed).
bool replaceWithEmpty(const QByteArray& path, const struct stat& old)
{
    // One name, reused: a kill before the rename leaves an empty file that the next call takes.
    const QByteArray fresh = path + "-emptied";
    const int fd = ::open(fresh.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    struct stat made
    {
    };
    bool isLikeOld = ::fstat(fd, &made) == 0 && ::fchmod(fd, old.st_mode & 07777) == 0
        && ((made.st_uid == old.st_uid && made.st_gid == old.st_gid) || ::fchown(fd, old.st_uid, old.st_gid) == 0);
    isLikeOld = ::close(fd) == 0 && isLikeOld;
    if (isLikeOld && ::rename(fresh.constData(), path.constData()) == 0)
        return true;
    ::unlink(fresh.constData());
    return false;
}

} // namespace

bool emptyAside(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status
    {
    };
    if (::lstat(name.constData(), &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1
        && status.st_size > 0) {
        // Held open across the rename: the old file's blocks are freed when this closes.
        const int old = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        struct stat opened
        {
        };
        if (old >= 0 && ::fstat(old, &opened) == 0 && opened.st_ino == status.st_ino
            && opened.st_dev == status.st_dev && replaceWithEmpty(name, status)) {
            closeAside(old);
            return true;
        }
        if (old >= 0)
            ::close(old);
    }
    return ::truncate(name.constData(), 0) == 0;
}

} // namespace core
