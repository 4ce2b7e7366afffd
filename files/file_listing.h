#pragma once

// The files of one folder that match a pattern, and the connection test built on it.

#include "core/folder_box.h"

#include <QString>
#include <QStringList>

namespace files {

// The names (without their folder) of the files in folder that match pattern, such as
// "*.db", and can really be opened. The pattern matches ignoring case; hidden files are
// included, folders never. Ordered by name ignoring case. A folder with no match, or one
// that does not exist, gives an empty list.
QStringList ListFiles(const QString& folder, const QString& pattern);

// True when path can be opened as an existing file. Opening asks for no read or write
// access, so a file we may not read still counts; a folder, a missing path, a broken
// link or a special file (pipe, device, socket) does not. Never fails, never blocks.
bool IsOpenableFile(const QString& path);

// The connection test: true when the folder box is not empty and the folder itself (not
// its sub-folders) holds at least one "*.db" file. An empty box is answered without
// touching the disk.
bool FolderHasTables(const core::FolderBox& folderBox);

} // namespace files
