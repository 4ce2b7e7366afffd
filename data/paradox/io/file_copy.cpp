// Copies of a table's files: the patch's new files start as byte-for-byte copies of the old
// ones, and reads the old ones where it needs to look.

#include "data/paradox/io/file_faults.h"
#include "data/paradox/io/format_error.h"
#include "data/paradox/io/regular_file.h"
#include "data/paradox/io/source_file.h"
#include "data/paradox/io/table_family.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace paradox {
namespace {

// The portable way, for file systems and kernels without copy_file_range.
bool copyByReading(int from, int to, std::int64_t size)
{
    std::vector<char> buffer(1 << 20);
    std::int64_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        for (ssize_t written = 0; written < got;) {
            const ssize_t put = ::pwrite(to, buffer.data() + written, static_cast<std::size_t>(got - written),
                static_cast<off_t>(done + written));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            written += put;
        }
        done += got;
    }
    return true;
}

} // namespace

SourceFile::~SourceFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SourceFile::open(const QString& path, QString* error)
{
    m_path = path;
    m_fd = openRegularFile(path, error);
    if (m_fd < 0)
        return false;
    struct stat status
    {
    };
    if (::fstat(m_fd, &status) != 0) {
        *error = u"%1: cannot open the file: %2"_s.arg(QFileInfo(path).fileName(), io::failure(errno));
        return false;
    }
    m_size = status.st_size;
    return true;
}

void SourceFile::readAt(std::int64_t offset, char* data, std::int64_t size, const QString& name) const
{
    if (offset < 0 || size < 0 || offset > m_size || size > m_size - offset)
        throw FormatError { name, offset,
            u"%1 bytes at byte %2 lie past the end of the file (%3 bytes): it is truncated or corrupt"_s
                .arg(size)
                .arg(offset)
                .arg(m_size) };
    for (std::int64_t done = 0; done < size;) {
        const ssize_t got = ::pread(
            m_fd, data + done, static_cast<std::size_t>(size - done), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            throw FormatError { name, offset + done,
                u"cannot read byte %1: %2"_s.arg(offset + done)
                    .arg(got == 0 ? u"the file is shorter than it was"_s : io::failure(errno)) };
        done += got;
    }
}

namespace writer {

bool TemporaryFile::copyFrom(const QString& source, QString* error)
{
    unfollow();
    SourceFile from;
    if (!from.open(source, error))
        return false;
    if (m_fd < 0) {
        *error = u"cannot write %1: the file is closed"_s.arg(m_path);
        return false;
    }
    if (!io::mayProceed()) {
        *error = u"cannot copy %1 to %2: %3"_s.arg(source, m_path, io::failure(errno));
        return false;
    }
    std::int64_t done = 0;
    while (done < from.size()) {
        const ssize_t copied = ::copy_file_range(
            from.descriptor(), nullptr, m_fd, nullptr, static_cast<std::size_t>(from.size() - done), 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied > 0) {
            done += copied;
            continue;
        }
        // Not offered here (another file system, an old kernel) or the source shrank: the
        // plain way finds out which.
        if (done != 0
            || (copied < 0 && errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
            || !copyByReading(from.descriptor(), m_fd, from.size())) {
            *error = u"cannot copy %1 to %2: %3"_s.arg(
                source, m_path, copied == 0 ? u"the file is shorter than it was"_s : io::failure(errno));
            return false;
        }
        done = from.size();
    }
    return true;
}

void TemporaryFile::startFlush(std::uint64_t offset, std::uint64_t size)
{
    // Only a hint: finish() flushes and reports whatever this does not.
    if (m_fd >= 0)
        ::sync_file_range(m_fd, static_cast<off_t>(offset), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
}

} // namespace writer
} // namespace paradox
