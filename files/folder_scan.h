#pragma once

// The walk over a folder tree behind the table list: level by level, leaving out
// hidden system folders, folders with unsafe names and folders that cannot be read.

#include "core/dialogs.h"
#include "core/error_report.h"

#include <QString>
#include <QStringList>

namespace files {

// Folder attributes in the values the file system reports them on Windows. Elsewhere:
// a name starting with "." is hidden, a symbolic link is a reparse point, and nothing
// is a system folder.
inline constexpr int kHiddenAttribute = 2;
inline constexpr int kSystemAttribute = 4;
inline constexpr int kDirectoryAttribute = 16;
inline constexpr int kReparsePointAttribute = 1024;

// Paths and names of this length or more are never scanned.
inline constexpr qsizetype kPathLimit = 260;

// Extends folders (each ending with a separator) with their sub-folders, level by level
// (breadth first); with recurse set, with every level below. Within a level the order is
// by parent, then by name ignoring case. Left out:
// - sub-folders whose name is 260 characters or more or has an unsafe character;
// - folders whose attributes are exactly hidden+system+directory (22) or that plus
//   reparse point (1046), unless they are a root;
// - folders that cannot be read (permission denied, path not found): these are also
//   removed, silently, from the list given in;
// - a real folder that was reached before, through another path or a symbolic link.
// Lets events run once per folder and once per sub-folder. Other failures are reported
// to errors with the scan's context (line 106: a listed folder's attributes, before the
// level's first listing; line 114: a found folder's), and the scan goes on.
void GetSubDirectories2016(
    QStringList& folders, bool recurse, core::ErrorSink& errors, core::EventPump& events);

// True when path (followed through links) is a folder. Never fails: an unreadable or
// missing path is simply not a folder.
bool IsFolder(const QString& path);

// True when name holds a character that a folder name must not have: a control code
// (below 32 or 127 to 159) or "?". An empty name is safe.
bool HasUnsafeCharacters(const QString& name);

// A folder passes unless its attributes are exactly 22 or 1046; a root always passes.
bool passesAttributeRule(int attributes, bool isRoot);

// The attributes of folder (see above). Throws core::Error when they cannot be read.
int folderAttributes(const QString& folder);

} // namespace files
