#include "files/file_listing.h"

#include "files/paths.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace files {

QStringList ListFiles(const QString& folder, const QString& pattern)
{
    const QString path = withTrailingSeparator(folder);
    // QDir matches name filters ignoring case unless told otherwise, as the Windows file
    // search does. System also brings special files and broken links; the open test
    // below sorts those out.
    QStringList names
        = QDir(path).entryList({ pattern }, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    std::sort(names.begin(), names.end(), isBeforeInListing);
    QStringList openable;
    for (const QString& name : std::as_const(names)) {
        if (IsOpenableFile(path + name))
            openable.append(name);
    }
    return openable;
}

bool IsOpenableFile(const QString& path)
{
    if (path.isEmpty())
        return false;
#ifdef Q_OS_UNIX
#ifdef O_PATH
    // An open for no access at all: it needs no read permission and touches no data.
    constexpr int kFlags = O_PATH | O_CLOEXEC;
#else
    // Without O_PATH a read-only open it is; non-blocking, or a named pipe would wait
    // for a writer for ever.
    constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
#endif
    const int handle = ::open(toFsPath(path).c_str(), kFlags);
    if (handle < 0)
        return false;
    struct stat info
    {
    };
    const bool isFile = ::fstat(handle, &info) == 0 && S_ISREG(info.st_mode);
    ::close(handle);
    return isFile;
#else
    return QFileInfo(path).isFile();
#endif
}

bool FolderHasTables(const core::FolderBox& folderBox)
{
    const QString folder = folderBox.text();
    if (folder.isEmpty())
        return false;
    return !ListFiles(folder, u"*.db"_s).isEmpty();
}

} // namespace files
