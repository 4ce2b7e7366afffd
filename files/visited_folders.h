#pragma once

#include <QSet>
#include <QString>
#include <set>
#include <utility>

namespace files {

// The real folders a walk has already reached. A symbolic link can lead back to a folder
// above it, or to "/": following links by path alone would then never end. A folder is
// known by its device and inode (its canonical path where the platform has no inodes),
// so every real folder is entered once, whatever the path that leads there.
class VisitedFolders
{
public:
    // True the first time the real folder behind path is claimed; false when it was
    // claimed before or cannot be identified (it no longer exists, say).
    bool claim(const QString& path);

    // Claims the folder and every folder above it, both along the path as written and
    // along its real path: a link inside the tree that points at one of them would
    // otherwise walk the tree again, or the whole disk.
    void claimWithAncestors(const QString& path);

private:
#ifdef Q_OS_UNIX
    std::set<std::pair<unsigned long long, unsigned long long>> m_seen;
#else
    QSet<QString> m_seen;
#endif
};

} // namespace files
