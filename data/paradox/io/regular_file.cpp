#include "data/paradox/io/regular_file.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return u"a FIFO (named pipe)"_s;
    if (S_ISSOCK(mode))
        return u"a socket"_s;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return u"a device"_s;
    if (S_ISDIR(mode))
        return u"a folder"_s;
    return u"no regular file"_s;
}

QString problemOf(const QString& path, mode_t mode)
{
    return u"%1 is %2, not a file; only regular files can be a table's files"_s.arg(
        QFileInfo(path).fileName(), kindOf(mode));
}

} // namespace

QString irregularFileProblem(const QString& path)
{
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return {};
    return problemOf(path, status.st_mode);
}

int openRegularFile(const QString& path, QString* problem)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *problem = u"%1: cannot open the file: %2"_s.arg(
            QFileInfo(path).fileName(), QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *problem = problemOf(path, status.st_mode);
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool openRegularFile(QFile& file, const QString& path, QString* problem)
{
    const int fd = openRegularFile(path, problem);
    if (fd < 0)
        return false;
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        *problem = u"%1: cannot open the file: %2"_s.arg(QFileInfo(path).fileName(), file.errorString());
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace paradox
