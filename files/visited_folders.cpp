#include "files/visited_folders.h"

#include "files/paths.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace files {

bool VisitedFolders::claim(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(toFsPath(path).c_str(), &info) != 0)
        return false;
    return m_seen
        .emplace(static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino))
        .second;
#else
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    if (m_seen.contains(canonical))
        return false;
    m_seen.insert(canonical);
    return true;
#endif
}

void VisitedFolders::claimWithAncestors(const QString& path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(withoutTrailingSeparator(path)).absoluteFilePath());
    const QString canonical = QFileInfo(absolute).canonicalFilePath();
    for (const QString& start : { absolute, canonical }) {
        QString folder = start;
        while (!folder.isEmpty()) {
            claim(folder);
            const QString parent = QFileInfo(folder).path();
            if (parent == folder)
                break;
            folder = parent;
        }
    }
}

} // namespace files
