#pragma once

// Creating a folder and copying a folder's whole contents into another one.

#include <QString>

namespace files {

// Creates one folder (its parent must exist). Throws core::Error saying why it failed.
void createFolder(const QString& folder);

// Copies everything in source (files, hidden ones too, and sub-folders at every depth)
// into the existing folder target, replacing files of the same name and leaving other
// files of target in place. Links are followed, but every real folder is copied once, and
// never target itself nor a folder above source, so a link loop cannot make the copy run
// away. Pipes, sockets and devices are skipped. Throws core::Error at the first failure
// (what was copied so far stays), and at once when source and target are the same
// folder, since copying a file onto itself would destroy it.
void copyFolderContents(const QString& source, const QString& target);

} // namespace files
